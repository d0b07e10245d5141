// A test core wired to a simulated board whose every call is recorded.
#pragma once

#include <memory>

#include "acquisition/run_control.h"
#include "digitizer/board_connection.h"
#include "sim/simulated_board.h"
#include "support/recording_digitizer.h"
#include "support/test_state.h"
#include "wiring/core_wiring.h"

namespace vx::test {

// A board whose external trigger input fires at rate_hz.
inline sim::SimConfig external_trigger(double rate_hz) {
  sim::SimConfig c;
  c.external_rate_hz = rate_hz;
  return c;
}

struct SimCore {
  // board_clock: the board's own time (events arrive in it); the system clock by default.
  // on_core_clock: the board runs on the core's fake clock, which only the core's waits move.
  explicit SimCore(const std::string& model = "V1743", sim::SimConfig config = {},
                   std::shared_ptr<Clock> board_clock = nullptr, bool on_core_clock = false) {
    config.model = model;
    if (on_core_clock) board_clock = std::shared_ptr<Clock>(std::shared_ptr<Clock>(), &core.clock);
    board = std::make_unique<sim::SimulatedBoard>(config, dir.path(), std::move(board_clock));
    recorder = std::make_unique<RecordingDigitizer>(*board, calls);
    st.digitizer = recorder.get();
    Install_CoreHooks(st);
    st.board.LinkType = model == "DT5743" ? 0 : 1;
    st.board.VMEBaseAddress = model == "DT5743" ? 0 : 0x32100000;
  }
  ~SimCore() {
    core.pool.wait_idle();
    Close_Device(st);
    st.digitizer = nullptr;
  }

  // Opens and initialises the board on the calling thread.
  void connect() { Sam_Init(st); }
  // Another board connected in place of this one, on the same EEPROM files.
  void replace_board(const sim::SimConfig& config) {
    Close_Device(st);
    board = std::make_unique<sim::SimulatedBoard>(config, dir.path());
    recorder = std::make_unique<RecordingDigitizer>(*board, calls);
    st.digitizer = recorder.get();
    connect();
  }

  std::vector<CallRecord> calls_named(const std::string& name) const { return calls.named(name); }

  TestCore core;
  const TempDir& dir = core.home;  // the user directory, the log's and the board's files
  State& st = core.state;
  CallLog calls;
  std::unique_ptr<sim::SimulatedBoard> board;
  std::unique_ptr<RecordingDigitizer> recorder;  // the core's driver: the board, recorded
};

// Waits for the end of the run started after `generation` was read; false after timeout_s.
inline bool wait_run_end(const State& st, int generation, double timeout_s = 300.0) {
  return wait_for_flag(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      timeout_s);
}

// The register writes recorded, as (address, value).
inline std::vector<std::pair<std::int64_t, std::int64_t>> register_writes(const SimCore& sim) {
  std::vector<std::pair<std::int64_t, std::int64_t>> out;
  for (const auto& r : sim.calls_named("WriteRegister")) out.emplace_back(r.args[1], r.args[2]);
  return out;
}

// Runs an acquisition of `events` events from the user's start path and waits for its end;
// false when it did not start or did not end in time (it is then stopped).
inline bool run_events(State& st, int events, double timeout_s = 300.0) {
  Set_RunType(st, st, 1, events);
  const int generation = st.AcquisitionGeneration.load();
  if (Start_AcquisitionFromUser(st) != 1) return false;
  const bool ended = wait_run_end(st, generation, timeout_s);
  if (st.AcquisitionRunning.load() == 1) Stop_AcquisitionFromUser(st);
  return ended;
}

// The register accesses a connection makes: a fault at the next one strikes the first access
// of whatever follows the connection.
inline std::uint64_t register_accesses_of_a_connection(const std::string& model,
                                                       sim::SimConfig config = {}) {
  SimCore probe(model, std::move(config));
  probe.connect();
  return probe.calls.count("ReadRegister") + probe.calls.count("WriteRegister");
}

}  // namespace vx::test
