#include "app/shipped_files.h"

#include <system_error>

#ifndef VELTRIX_DATA_FROM_BIN
#define VELTRIX_DATA_FROM_BIN "../share"
#endif

namespace vx {

namespace {

std::filesystem::path existing(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec) ? p.lexically_normal() : std::filesystem::path{};
}

}  // namespace

std::filesystem::path shipped_data_dir(const std::filesystem::path& executable_dir) {
  return (executable_dir / VELTRIX_DATA_FROM_BIN).lexically_normal();
}

std::filesystem::path user_guide_dir(const std::filesystem::path& executable_dir) {
  return shipped_data_dir(executable_dir) / "doc" / "veltrix";
}

std::filesystem::path find_user_guide(const std::filesystem::path& executable_dir) {
  const auto dir = user_guide_dir(executable_dir);
  if (auto html = existing(dir / "user-guide.html"); !html.empty()) return html;
  return existing(dir / "user-guide.md");
}

std::filesystem::path find_app_icon(const std::filesystem::path& executable_dir) {
  return existing(shipped_data_dir(executable_dir) / "icons" / "hicolor" / "256x256" / "apps" /
                  "veltrix.png");
}

}  // namespace vx
