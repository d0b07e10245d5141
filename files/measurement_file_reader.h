// Reading a run's measurement file (text, one block per event, one line per channel) event by
// event beside its data file.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "app/state.h"

namespace vx {

class MeasurementFileReader {
 public:
  // The measurement file of a run whose first data file is given; false when there is none.
  bool open(const std::filesystem::path& first_data_file);
  // Where that file is.
  static std::filesystem::path path_for(const std::filesystem::path& first_data_file);
  const std::filesystem::path& path() const { return path_; }
  // Reads the block of the given event into the event's StoredMeasurements, passing over the
  // blocks of earlier events (those of data files skipped as missing). False when the
  // block is missing or has an unreadable line.
  bool read_event(DecodedEvent& event, int event_number);

 private:
  bool next_line();

  std::filesystem::path path_;
  std::ifstream in_;
  std::string line_;
  bool have_line_ = false;
};

}  // namespace vx
