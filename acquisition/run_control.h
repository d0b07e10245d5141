// Starting, stopping and restarting runs, and the board commands around a run.
#pragma once

#include <string>

#include "app/board_port.h"
#include "app/run_config.h"
#include "app/state.h"
#include "app/status.h"

namespace vx {

inline constexpr int kUnlimitedEvents = 100000000;

// Who asks for a run. The remote client is never kept waiting by a dialog: its run goes into
// the data directory of the settings, a start that would need a question is refused, and
// State::StartRefusal says why, for the client.
enum class StartOrigin { User, Remote };

// The start path of the Run menu and of a remote start. Returns Prepare_Run's result: kDone
// when the acquisition thread was started, kNotDone when the user declined (a replay file of
// another version, replacing an earlier run's files), kFailed when the start was refused (told,
// and said in State::StartRefusal for a client).
Status Start_AcquisitionFromUser(State& st, StartOrigin origin = StartOrigin::User);
Status Prepare_Run(State& st, const std::string& directory);
// The acquisition thread's body.
void Start_Acquisition(State& st, const RunConfig& cfg);
// The Run menu's stop: asks the loop to stop and waits until it has.
void Stop_AcquisitionFromUser(State& st);
// Called by the loop once, when it leaves: true when a settings restart holds the run (its
// files stay open and its end is not told), false when the run ends.
bool Decide_LoopEnd(RunState& st, FrontEndLinks& links);
// A run is on, or its end has not been told yet.
bool Run_OnOrEnding(const RunState& st);

// Restart protocol around a settings change: the constructor stops a running loop, the
// destructor starts it again within the same run (same files; the numbering goes on: a number
// the run gave is never given again). This is where a loop takes new settings:
// the records change only while it is stopped. A popup that the change raises meanwhile is
// shown once the run goes on again, never while it holds the run stopped.
class RestartGuard {
 public:
  explicit RestartGuard(const ControlPort& port);
  // For a caller that stops the loop itself (a front end that keeps its event loop alive
  // while waiting): begin() before stopping, then the guard with its result.
  static bool begin(const ControlPort& port);
  RestartGuard(const ControlPort& port, bool was_running);
  ~RestartGuard();
  RestartGuard(const RestartGuard&) = delete;
  RestartGuard& operator=(const RestartGuard&) = delete;

 private:
  State& st_;
  bool was_running_;
};

// The run-settings controls.
void Set_RunType(ControlPort port, RunState& run, int run_type, int events_entry);
void Set_RunDuration(ControlPort port, int days, int hours, int minutes, int seconds);
void Set_NbOfEventsRequired(Settings& st, int events);
// Events per readout: stops a run, re-sizes the library's readout buffer for the new
// value and makes it the display modulo too.
void Set_MaxNumEventsBLT(ControlPort port, int events);
int events_required_for(int run_type, int events_entry);

// The board's run start and stop, with the records' run stamps (BoardRunState, the start
// time) for the workers that own the records.
void Start_run(State& st);
void Stop_run(Settings& st, BoardLink& link);
// The board side alone, for the loop: the thread that launches it stamps the records. A
// replay (the loop's settings say so) has no board to stop.
void Start_BoardRun(State& st);
void Stop_BoardRun(BoardLink& st, bool replaying_file);
void Run_Reset(BoardPort port, int kind, int block);
void Start_Acq(BoardPort port);
void Force_Trigger(BoardLink& st);

}  // namespace vx
