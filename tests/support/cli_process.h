// veltrix-cli run as a separate process: to its end (output and exit code kept) or in the
// background (output in a file, signals sent to it), on a user directory of its own.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/file_text.h"
#include "support/test_state.h"

namespace vx::test {

struct CliResult {
  int rc = -1;
  std::string out;
  bool says(const std::string& text) const { return out.find(text) != std::string::npos; }
  // The numbers of each line after the one holding `header`, up to a line without any.
  std::vector<std::vector<double>> rows_after(const std::string& header) const {
    std::vector<std::vector<double>> rows;
    if (!says(header)) return rows;
    std::istringstream lines(out.substr(out.find('\n', out.find(header)) + 1));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream numbers(line);
      std::vector<double> row;
      for (double x; numbers >> x;) row.push_back(x);
      if (row.empty()) break;
      rows.push_back(std::move(row));
    }
    return rows;
  }
};

// The command line's binary of this build, beside the test binaries' folder.
inline std::filesystem::path cli_binary() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" /
         "veltrix-cli";
}

inline std::string quoted(const std::filesystem::path& p) {
  return "'" + p.string() + "'";
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

inline CliResult run_cli(const std::string& args) {
  return run_program(cli_binary().string(), args);
}

// Polls pred every 20 ms for up to `seconds`.
template <typename Pred>
bool poll_until(Pred pred, double seconds = 60.0) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// veltrix-cli in the background, its output (stdout and stderr) in a file. A process still
// running when the object goes is killed.
class CliProcess {
 public:
  CliProcess(const std::string& args, std::filesystem::path output) : output_(std::move(output)) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const std::string command =
          "exec " + quoted(cli_binary()) + " " + args + " >" + quoted(output_) + " 2>&1";
      ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~CliProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  std::string output() const { return read_file(output_); }
  bool says(const std::string& text) const { return output().find(text) != std::string::npos; }
  // True once the output holds text; false after `seconds` or when the process ended first.
  bool wait_for(const std::string& text, double seconds = 60.0) {
    return poll_until([&] { return says(text) || !running(); }, seconds) && says(text);
  }
  bool running() { return pid_ > 0 && !reap(WNOHANG); }
  void signal(int sig) const { ::kill(pid_, sig); }
  // Its exit code once it ended by itself; -1 when it had to be killed after `seconds`.
  int wait(double seconds = 60.0) {
    if (pid_ <= 0) return rc_;
    if (!poll_until([&] { return reap(WNOHANG); }, seconds)) {
      ::kill(pid_, SIGKILL);
      reap(0);
      rc_ = -1;
    }
    return rc_;
  }
  // Ctrl-C, then its exit code.
  int interrupt(double seconds = 60.0) {
    if (pid_ > 0) signal(SIGINT);
    return wait(seconds);
  }

 private:
  bool reap(int flags) {
    int status = 0;
    if (::waitpid(pid_, &status, flags) != pid_) return false;
    rc_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
  }

  std::filesystem::path output_;
  pid_t pid_ = -1;
  int rc_ = -1;
};

// A fresh user directory for the command line, the simulated board's model and, when not
// empty, its configuration text.
struct CliHome {
  explicit CliHome(std::string model_name = "dt5743", std::string config = "")
      : model(std::move(model_name)), sim_config(std::move(config)) {}

  // The global options that point the program at this directory.
  std::string options() const {
    std::string o = "--user-dir " + quoted(dir.path()) + " ";
    if (!sim_config.empty()) {
      std::ofstream(dir.path() / "sim.cfg", std::ios::trunc) << sim_config;
      o += "--sim-config " + quoted(dir.path() / "sim.cfg") + " ";
    }
    if (!model.empty()) o += "--model " + model + " ";
    return o;
  }
  CliResult run(const std::string& args) const { return run_cli(options() + args); }
  // The same in the background; its output goes to process.out in the directory.
  std::unique_ptr<CliProcess> start(const std::string& args) const {
    return std::make_unique<CliProcess>(options() + args, dir.path() / "process.out");
  }
  const std::filesystem::path& path() const { return dir.path(); }

  TempDir dir;
  std::string model;
  std::string sim_config;
};

// The simulated board's EEPROM files of the directory, by path, to tell what a command stored.
inline std::map<std::filesystem::path, std::string> eeprom_files(const CliHome& home) {
  std::map<std::filesystem::path, std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(home.path() / "SimBoard"))
    out[e.path()] = read_file(e.path());
  return out;
}

}  // namespace vx::test
