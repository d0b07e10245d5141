#include <cstdio>

#include "app/shipped_files.h"
#include "app/user_path.h"
#include "cli/commands.h"

namespace vx::cli {

int command_guide() {
  const auto exe_dir = executable_directory();
  const auto guide = find_user_guide(exe_dir);
  if (guide.empty()) {
    std::fprintf(stderr, "The user's guide is not installed (looked in %s).\n",
                 user_guide_dir(exe_dir).c_str());
    return 1;
  }
  std::printf("%s\n", guide.c_str());
  return 0;
}

}  // namespace vx::cli
