// Starting, stopping and restarting runs, and the board commands around a run.
#pragma once

#include <string>

#include "app/state.h"

namespace vx {

inline constexpr int kUnlimitedEvents = 100000000;

// The start path of the Run menu and of a remote start. Returns Prepare_Run's result: 1
// when the acquisition thread was started.
int Start_AcquisitionFromUser(State& st);
int Prepare_Run(State& st, const std::string& directory);
// The acquisition thread's body.
void Start_Acquisition(State& st);
// The Run menu's stop: asks the loop to stop and waits until it has.
void Stop_AcquisitionFromUser(State& st);

// Restart protocol around a settings change: the constructor stops a running loop, the
// destructor starts it again within the same run (same files, the event counter one lower
// so that the interrupted event is taken again).
class RestartGuard {
 public:
  explicit RestartGuard(State& st);
  // For a caller that stops the loop itself (a front end that keeps its event loop alive
  // while waiting): begin() before stopping, then the guard with its result.
  static bool begin(State& st);
  RestartGuard(State& st, bool was_running);
  ~RestartGuard();
  RestartGuard(const RestartGuard&) = delete;
  RestartGuard& operator=(const RestartGuard&) = delete;

 private:
  State& st_;
  bool was_running_;
};

// The run-settings controls.
void Set_RunType(State& st, int run_type, int events_entry);
void Set_RunDuration(State& st, int days, int hours, int minutes, int seconds);
void Set_NbOfEventsRequired(State& st, int events);
// Events per readout: stops a run, re-sizes the library's readout buffer for the new
// value and makes it the display modulo too.
void Set_MaxNumEventsBLT(State& st, int events);
int events_required_for(int run_type, int events_entry);

void Start_run(State& st);
void Stop_run(State& st);
void Run_Reset(State& st, int kind, int block);
void Start_Acq(State& st);
void Force_Trigger(State& st);

}  // namespace vx
