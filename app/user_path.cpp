#include "app/user_path.h"

#include <cstdlib>
#include <system_error>
#include <vector>

namespace vx {

namespace {

std::optional<std::string> env_value(const char* name) {
  const char* v = std::getenv(name);
  if (v == nullptr || *v == '\0') return std::nullopt;
  return std::string(v);
}

bool make_usable(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!std::filesystem::is_directory(dir, ec)) return false;
  // A directory we cannot write into is no place for the log and run data.
  const auto probe = dir / ".veltrix-write-probe";
  std::FILE* f = std::fopen(probe.c_str(), "w");
  if (f == nullptr) return false;
  std::fclose(f);
  std::filesystem::remove(probe, ec);
  return true;
}

}  // namespace

UserPathEnvironment read_user_path_environment(const std::optional<std::string>& cli_override,
                                               const std::filesystem::path& executable_dir) {
  UserPathEnvironment env;
  env.override_dir = cli_override ? cli_override : env_value("VELTRIX_USER_DIR");
  env.user_profile = env_value("USERPROFILE");
  env.xdg_data_home = env_value("XDG_DATA_HOME");
  env.home = env_value("HOME");
  env.executable_dir = executable_dir;
  return env;
}

std::filesystem::path Resolve_UserPath(const UserPathEnvironment& env) {
  // The user named this directory: data must not silently land elsewhere.
  if (env.override_dir && !make_usable(*env.override_dir)) return {};
  std::vector<std::filesystem::path> candidates;
  if (env.override_dir) candidates.emplace_back(*env.override_dir);
  if (env.user_profile) {
    candidates.push_back(std::filesystem::path(*env.user_profile) / "AppData" / "Local" /
                         "Veltrix");
  }
  if (env.xdg_data_home)
    candidates.push_back(std::filesystem::path(*env.xdg_data_home) / "Veltrix");
  if (env.home) {
    candidates.push_back(std::filesystem::path(*env.home) / ".local" / "share" / "Veltrix");
  }

  std::filesystem::path chosen = env.executable_dir;
  for (const auto& c : candidates) {
    if (make_usable(c)) {
      chosen = c;
      break;
    }
  }
  std::error_code ec;
  for (const char* folder : kUserFolders) std::filesystem::create_directories(chosen / folder, ec);
  return chosen;
}

std::filesystem::path executable_directory() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path(ec);
  return exe.parent_path();
}

}  // namespace vx
