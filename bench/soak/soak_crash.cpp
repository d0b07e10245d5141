// Saving runs of veltrix-cli killed (SIGKILL) at random moments, splitting on and off, in
// binary and in ASCII. After each kill the files on disk are counted here, independently
// of the reader: every whole event they hold must come out of a replay and of an export,
// both ending with exit code 0 and naming that last whole event.
//   soak_crash [CYCLES] [SEED]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_process.h"

namespace {

namespace fs = std::filesystem;

constexpr int kChannels = 8;  // the desktop model
constexpr int kColumns = 4;   // 64 samples: short events, many of them

struct Cycle {
  bool binary;
  int split;          // events per file, 0 = one file
  double kill_after;  // seconds after the start of the saving run
};

using Cli = vx::test::CliResult;

Cli run_cli(const std::string& args) {
  return vx::test::run_program(VELTRIX_CLI, args);
}

std::string read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string series_file(const fs::path& first, int index) {
  if (index == 0) return first.string();
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "_%04d", index);
  return first.string() + suffix;
}

// Whole events in the series' files, counted from their bytes: a binary event has a fixed
// size, an ASCII event a fixed number of complete lines, after the 4 header lines.
long long whole_events_on_disk(const fs::path& first, bool binary) {
  constexpr std::size_t kSamples = 16 * kColumns;
  const std::size_t binary_event = 71 + kChannels * (48 + 2 * kSamples);
  const std::size_t ascii_lines = 2 + 2 * kChannels;
  long long events = 0;
  for (int i = 0; fs::exists(series_file(first, i)); ++i) {
    const std::string bytes = read_file(series_file(first, i));
    std::size_t at = 0;
    int header = 0;
    while (header < 4 && at < bytes.size()) {
      const std::size_t lf = bytes.find('\n', at);
      if (lf == std::string::npos) break;
      at = lf + 1;
      ++header;
    }
    if (header < 4) continue;
    if (binary) {
      events += static_cast<long long>((bytes.size() - at) / binary_event);
    } else {
      std::size_t lines = 0;
      for (std::size_t k = at; k < bytes.size(); ++k) lines += bytes[k] == '\n' ? 1 : 0;
      events += static_cast<long long>(lines / ascii_lines);
    }
  }
  return events;
}

int run_cycle(const Cycle& c, int index, const fs::path& home) {
  const fs::path runs = home / "runs";
  const std::string global = "--user-dir '" + home.string() + "' --sim-config '" +
                             (home / "sim.cfg").string() + "' --model dt5743 ";
  const std::string save = "run --continuous --trigger external --depth " +
                           std::to_string(kColumns) + " --save " + (c.binary ? "binary" : "ascii") +
                           (c.split > 0 ? " --split " + std::to_string(c.split) : " --no-split") +
                           " --data-dir '" + runs.string() + "' --base-name crash --run-id " +
                           std::to_string(index);
  const std::string command = "exec '" VELTRIX_CLI "' " + global + save + " >/dev/null 2>&1";
  const pid_t child = fork();
  if (child < 0) return 1;
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(c.kill_after));
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);

  const std::string name = "crash_run" + std::to_string(index);
  const fs::path first = runs / name / (name + (c.binary ? "_Binary.bin" : "_Ascii.dat"));
  int files = 0;
  while (fs::exists(series_file(first, files))) ++files;
  const long long on_disk = whole_events_on_disk(first, c.binary);
  std::string problems;
  auto require = [&](bool ok, const std::string& what) {
    if (!ok) problems += " [" + what + "]";
  };
  if (files == 0 || fs::file_size(first) == 0) {
    // Killed before the run's first file had its header: nothing was saved.
    std::printf("cycle %2d  %-6s split %4d  killed after %4.2f s: before the first file\n", index,
                c.binary ? "binary" : "ascii", c.split, c.kill_after);
    return 0;
  }
  const std::string last = "the last whole event is event " + std::to_string(on_disk) + ".";
  const Cli replay =
      run_cli(global + "run --replay '" + first.string() + "' --no-summary-measurements");
  require(replay.rc == 0, "replay exit code " + std::to_string(replay.rc));
  require(!replay.says("ERROR"), "replay told an error");
  require(replay.says("End of the saved run: " + std::to_string(on_disk) + " events read" +
                      (on_disk > 0 ? ", " + last : ".")),
          "replay did not end at the last whole event on disk");
  if (on_disk > 0) {
    const fs::path h5 = home / (name + ".h5");
    const Cli exported =
        run_cli(global + "export '" + first.string() + "' --hdf5 '" + h5.string() + "'");
    require(exported.rc == 0, "export exit code " + std::to_string(exported.rc));
    require(exported.says("Exported " + std::to_string(on_disk) + " events"),
            "export did not take every whole event on disk");
    require(exported.says("The last whole event is event " + std::to_string(on_disk) + "."),
            "export did not name the last whole event");
    std::error_code ec;
    fs::remove(h5, ec);
    if (!problems.empty()) std::printf("%s", exported.out.c_str());
  }
  if (!problems.empty()) std::printf("%s", replay.out.c_str());
  std::printf(
      "cycle %2d  %-6s split %4d  killed after %4.2f s: %6lld whole events in %d file(s)  %s%s\n",
      index, c.binary ? "binary" : "ascii", c.split, c.kill_after, on_disk, files,
      problems.empty() ? "ok" : "FAILED", problems.c_str());
  return problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 12;
  std::mt19937 rng(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 743);
  std::uniform_real_distribution<double> kill_after(0.5, 5.0);
  std::uniform_int_distribution<int> split(50, 800);
  const fs::path home = fs::temp_directory_path() / ("soak-crash-" + std::to_string(::getpid()));
  fs::create_directories(home);
  std::ofstream(home / "sim.cfg") << "external_rate_hz = 5000\n";
  int failed = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < cycles; ++i) {
    const Cycle c{i % 2 == 0, (i / 2) % 2 == 0 ? split(rng) : 0, kill_after(rng)};
    failed += run_cycle(c, i + 1, home);
    std::fflush(stdout);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("crash soak: %d cycles, %d failed, %.0f s\n", cycles, failed, seconds);
  std::error_code ec;
  fs::remove_all(home, ec);
  return failed == 0 ? 0 : 1;
}
