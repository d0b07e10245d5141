// veltrix-cli run as a separate process, its output (stdout and stderr) and exit code kept.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace vx::test {

struct CliResult {
  int rc = -1;
  std::string out;
  bool says(const std::string& text) const { return out.find(text) != std::string::npos; }
};

// The command line's binary of this build, beside the test binaries' folder.
inline std::filesystem::path cli_binary() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" /
         "veltrix-cli";
}

// Runs the program at binary; args: everything after it, shell-quoted where needed.
inline CliResult run_program(const std::string& binary, const std::string& args) {
  const std::string command = "'" + binary + "' " + args + " 2>&1";
  CliResult result;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), p) != nullptr) result.out += buffer.data();
  const int status = ::pclose(p);
  result.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// veltrix-cli of this build.
inline CliResult run_cli(const std::string& args) {
  return run_program(cli_binary().string(), args);
}

}  // namespace vx::test
