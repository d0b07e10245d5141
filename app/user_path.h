// Where the program keeps its log, run data, setups and calibration files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vx {

struct UserPathEnvironment {
  std::optional<std::string> override_dir;  // --user-dir, else VELTRIX_USER_DIR
  std::optional<std::string> user_profile;  // USERPROFILE
  std::optional<std::string> xdg_data_home;
  std::optional<std::string> home;
  std::filesystem::path executable_dir;
};

// Reads the environment variables; cli_override is the --user-dir value, if any.
UserPathEnvironment read_user_path_environment(const std::optional<std::string>& cli_override,
                                               const std::filesystem::path& executable_dir);

// Picks the first usable directory (an override, USERPROFILE/AppData/Local/Veltrix,
// XDG_DATA_HOME/Veltrix, ~/.local/share/Veltrix, then the executable's directory),
// creating it, and creates the folders the program writes into under it. An override
// that cannot be used is not replaced by another directory: the result is then empty.
std::filesystem::path Resolve_UserPath(const UserPathEnvironment& env);

// The directory of the running executable (from /proc/self/exe), or the current one.
std::filesystem::path executable_directory();

inline constexpr const char* kUserFolders[] = {"RunData",           "Setup",     "Histos",
                                               "OtherMeasurements", "FlashDump", "INL_Files"};

}  // namespace vx
