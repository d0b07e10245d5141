// Messages shown from several places, each written once.
#pragma once

#include <string>
#include <string_view>

namespace vx {

inline constexpr const char* kCalibrationAlreadyRunning = "A calibration is already running.\n";

// A file written and closed whole: "Data saved in file 'PATH' successfully.\n".
inline std::string data_saved_message(std::string_view path) {
  return "Data saved in file '" + std::string(path) + "' successfully.\n";
}

// A file read back that is refused or ends early: "Error while reading file 'PATH': WHAT."
// (the log's messages add their line end).
inline std::string reading_error_message(std::string_view path, std::string_view what) {
  return "Error while reading file '" + std::string(path) + "': " + std::string(what) + ".";
}

}  // namespace vx
