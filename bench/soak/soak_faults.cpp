// Saving runs on the simulated board with a fault injected after a few thousand events:
// a readout failure, an undecodable event, a board that falls silent, a full disk. Each
// run goes in a child process (the full disk is a file-size limit there). After each one,
// the saved series is read back: every event handed to the writer before the fault must
// be there, whole and in order, the fault must have been told as an error, and every
// "saved successfully" the run told must be true of the file it names.
//   soak_faults [CYCLES] [SEED]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "acquisition/acquisition_controls.h"
#include "acquisition/run_control.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "platform/clock.h"
#include "soak/soak_core.h"

namespace {

namespace fs = std::filesystem;
using vx::soak::SoakFrontEnd;

enum class Fault { kReadout, kUndecodable, kSilence, kDiskFull };
constexpr const char* kFaultNames[] = {"readout failure", "undecodable event", "board silence",
                                       "disk full"};
constexpr int kSamples = 64;  // 4 columns: short events, many of them
constexpr int kPerReadout = 10;
constexpr int kPerFile = 1500;  // splits the series between faults
constexpr int kChannels = 8;    // the desktop model

struct Cycle {
  Fault fault;
  int at;  // events before the fault
  bool binary;
};

// What the reader finds in a saved series.
struct ReadBack {
  int events = 0;
  bool in_order = true;
  bool reader_errors = false;
  std::map<std::string, int> per_file;  // events in each file of the series
};

ReadBack read_series(const fs::path& first, const fs::path& scratch) {
  ReadBack out;
  SoakFrontEnd ui(true);
  vx::SystemClock clock;
  vx::ThreadPool pool{1};
  vx::State st{ui, clock, pool};
  st.UserPath = scratch;
  st.log.file = scratch / "reader.log";
  if (vx::Open_DataFileForLoading(st, first) != 1) {
    out.reader_errors = true;
    return out;
  }
  std::string file = first.string();
  for (int got = vx::Read_EventsFromFile(st); got == 1;) {
    ++out.events;
    ++out.per_file[file];
    if (st.EventNumber.load() != out.events) out.in_order = false;
    got = vx::Read_EventsFromFile(st);
    if (got != 1) {
      got = vx::Load_EventFromNextFile(st);
      file = st.files.ReadingFilePath.string();
    }
  }
  vx::Close_FileForLoadingData(st, st);
  for (const auto& m : ui.messages()) out.reader_errors |= m.kind == vx::MessageKind::Error;
  return out;
}

bool told(const std::vector<SoakFrontEnd::Message>& messages, const std::string& text,
          vx::MessageKind kind) {
  for (const auto& m : messages)
    if (m.kind == kind && m.text.find(text) != std::string::npos) return true;
  return false;
}

// Runs one cycle; returns 0 when every check held, and prints one line.
int run_cycle(const Cycle& c, int index) {
  vx::sim::SimConfig config;
  config.external_rate_hz = 100000.0;
  config.memory_events = 1024;
  config.register_access_us = 0.0;
  config.seed = 1000 + index;
  switch (c.fault) {
    case Fault::kReadout:
      config.fault.fail_readout = c.at / kPerReadout;
      break;
    case Fault::kUndecodable:
      config.fault.undecodable_event = c.at;
      break;
    case Fault::kSilence:
      config.fault.stop_after_events = c.at;
      break;
    case Fault::kDiskFull:
      break;
  }
  vx::soak::SoakCore core("DT5743", config, "soak-faults", true);
  vx::State& st = core.st;
  if (!core.connected()) {
    std::printf("cycle %d: no board\n", index);
    return 1;
  }
  // A board triggered at every readout is faulty when it answers none; an external
  // trigger may rightly stay quiet, so the silence cycle triggers by software.
  st.sys.TriggerSource = c.fault == Fault::kSilence ? 0 : 3;
  vx::Set_SystemTriggerMode(st);
  vx::Set_RecordColumns(st, kSamples / 16);
  vx::Set_MaxNumEventsBLT(st, kPerReadout);
  const fs::path run_data = core.dir / "RunData";
  fs::create_directories(run_data);
  st.acq.PopupForFileName = 0;
  vx::set_text(st.acq.DataDirectory, run_data.c_str());
  st.acq.SaveDataInFile = 1;
  st.acq.DataFileType = c.binary ? 1 : 0;
  // The file-size limit holds for each file: the full disk has one file for the run.
  st.acq.SplitFileToSaveData = c.fault == Fault::kDiskFull ? 0 : 1;
  st.acq.NbOfEventsPerFile = kPerFile;
  const int required = c.at + 2500;
  vx::Set_RunType(st, st, 1, required);
  if (c.fault == Fault::kDiskFull) {
    // Header lines, then whole events of 71 bytes and per channel 48 and the samples.
    const rlim_t bytes = 1024 + static_cast<rlim_t>(c.at) * (71 + kChannels * (48 + 2 * kSamples));
    const rlimit limit{bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &limit);
  }

  const auto t0 = std::chrono::steady_clock::now();
  const int generation = st.AcquisitionGeneration.load();
  if (vx::Start_AcquisitionFromUser(st) != 1) {
    std::printf("cycle %d: the run did not start\n", index);
    return 1;
  }
  const bool ended = vx::wait_for_flag(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      600.0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
  setrlimit(RLIMIT_FSIZE, &unlimited);
  if (!ended) {
    std::printf("cycle %d: the run did not end\n", index);
    return 1;
  }

  const int delivered = st.EventNumber.load();
  const long long saved = vx::Saved_EventCount(st, st);
  const fs::path first = st.files.FileForSavingData;
  const auto messages = core.ui.messages();
  const ReadBack back = read_series(first, core.dir);

  std::string problems;
  auto require = [&](bool ok, const std::string& what) {
    if (!ok) problems += " [" + what + "]";
  };
  require(!back.reader_errors, "the reader refused part of the series");
  require(back.in_order, "events out of order");
  require(back.events == saved, "the writer's count is not what the files hold");
  switch (c.fault) {
    case Fault::kReadout:
      require(told(messages, "Communication Error!\n", vx::MessageKind::Error), "fault not told");
      require(delivered < required, "the run went on after the failed readout");
      require(back.events == delivered, "an event delivered before the fault is missing");
      break;
    case Fault::kUndecodable:
      require(told(messages, "Invalid Event: event ", vx::MessageKind::Error), "fault not told");
      require(delivered >= required, "the run did not go on past the undecodable event");
      require(back.events == delivered, "an event delivered is missing");
      break;
    case Fault::kSilence:
      require(told(messages, "Board fault: no event for", vx::MessageKind::Error),
              "fault not told");
      require(delivered == c.at, "not every event before the silence was taken");
      require(back.events == delivered, "an event delivered before the fault is missing");
      break;
    case Fault::kDiskFull: {
      const std::string count = "Saving stopped: " + std::to_string(saved) + " events";
      require(told(messages, count, vx::MessageKind::Error), "the write error is not told");
      require(back.events > 0 && back.events < delivered, "the disk never filled");
      require(back.events + kPerReadout + 1 >= c.at * 9 / 10, "the disk filled too early");
      break;
    }
  }
  // Every success told must be true: the file it names reads back whole, and a file
  // that failed is never called saved.
  for (const auto& m : messages) {
    const std::string prefix = "Data saved in file '";
    if (m.text.rfind(prefix, 0) != 0) continue;
    const std::string file =
        m.text.substr(prefix.size(), m.text.find('\'', prefix.size()) - prefix.size());
    require(c.fault != Fault::kDiskFull, "success told for a file on the full disk: " + file);
    require(back.per_file.count(file) == 1, "success told for a file that does not read: " + file);
  }

  std::printf(
      "cycle %2d  %-17s after %5d events  %-6s  delivered %5d  read back %5d in %zu "
      "file(s)  %5.1f s  %s%s\n",
      index, kFaultNames[static_cast<int>(c.fault)], c.at, c.binary ? "binary" : "ascii", delivered,
      back.events, back.per_file.size(), seconds, problems.empty() ? "ok" : "FAILED",
      problems.c_str());
  return problems.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 12;
  std::mt19937 rng(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 743);
  std::uniform_int_distribution<int> at(2000, 5000);
  int failed = 0, total_events = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < cycles; ++i) {
    const Cycle c{static_cast<Fault>(i % 4), at(rng), (i / 4) % 2 == 0 || i % 4 == 3};
    total_events += c.at;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
      alarm(900);
      const int rc = run_cycle(c, i);
      std::fflush(stdout);
      _exit(rc);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ++failed;
      if (WIFSIGNALED(status)) std::printf("cycle %2d  killed by signal %d\n", i, WTERMSIG(status));
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf(
      "fault soak: %d cycles (%d faults injected after %d events in all), %d failed, "
      "%.0f s\n",
      cycles, cycles, total_events, failed, seconds);
  return failed == 0 ? 0 : 1;
}
