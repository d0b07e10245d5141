// The command line's "setup show" on a file of arbitrary bytes: it reads a setup file
// without a board, so nothing has checked the values it prints.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/commands.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto path = [] {
    // What it prints is of no interest here; the fuzzer reports on stderr.
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("stdout");
    return std::filesystem::temp_directory_path() /
           ("veltrix-fuzz-show-" + std::to_string(::getpid()) + ".dat");
  }();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  vx::cli::command_setup_show(path.string());
  return 0;
}
