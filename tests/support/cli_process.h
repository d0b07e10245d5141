// veltrix-cli run as its own process, the way a user or a script runs it: its exit code and
// what it printed (stdout and stderr together).
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
};

// The program built beside the test binary (build/cli/veltrix-cli).
inline std::filesystem::path cli_binary() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" /
         "veltrix-cli";
}

// Runs "veltrix-cli ARGS" through the shell.
inline CliResult run_cli(const std::string& args) {
  const std::string command = "'" + cli_binary().string() + "' " + args + " 2>&1";
  CliResult result;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return result;
  std::array<char, 4096> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), p) != nullptr) result.out += buffer.data();
  const int status = ::pclose(p);
  result.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace vx::test
