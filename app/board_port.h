// What configuring the board takes, and nothing else of the state: the records the board is
// configured from, the board, the links to the front end (the panels that show what was
// written, the log and the clock a failed access is told with), and three flags of the run:
// whether a readout is under way and whether the loop is busy with one (a write waits for
// them), and the event number a failure's message names. A function that takes a port cannot
// start or restart a run (it may only ask a running one to stop, through the records' stop
// request, as a failed access does), nor touch its data, results, files or indicators.
//
// A caller holding the whole state passes it, and the port is made from it; a caller that
// holds the parts makes one from them. A port passes for its records, its board and its links,
// as the whole state passes for each of its parts. A settings control takes a ControlPort
// (below).
#pragma once

#include "app/state.h"

namespace vx {

struct BoardPort {
  BoardPort(Settings& settings, BoardLink& link, FrontEndLinks& links, const RunState& run)
      : settings(settings),
        link(link),
        links(links),
        event_number(run.EventNumber),
        acquisition_running(run.AcquisitionRunning),
        acquisition_busy(run.AcquisitionBusy) {}
  // NOLINTNEXTLINE(google-explicit-constructor): the whole state holds every part a port takes.
  BoardPort(State& st) : BoardPort(st, st, st, st) {}

  // NOLINTNEXTLINE(google-explicit-constructor)
  operator Settings&() const { return settings; }
  // NOLINTNEXTLINE(google-explicit-constructor)
  operator BoardLink&() const { return link; }
  // NOLINTNEXTLINE(google-explicit-constructor)
  operator FrontEndLinks&() const { return links; }

  Settings& settings;
  BoardLink& link;
  FrontEndLinks& links;
  const AtomicI32& event_number;
  const AtomicI32& acquisition_running;
  const AtomicI32& acquisition_busy;
};

// What a settings control takes: the board port, the run's restart flag (a run is going on
// while a settings restart holds its loop stopped), and the hold itself: a control that
// changes what a running loop took at its start holds the loop stopped with a RestartGuard
// made from its port, and the guard lets it go on, within the same run, when the change is
// made. A loop runs on the whole state, so the port keeps it for the guard alone; the control
// reaches through its port only what a board port reaches.
class ControlPort : public BoardPort {
 public:
  // NOLINTNEXTLINE(google-explicit-constructor): as a board port, made from the whole state.
  ControlPort(State& st) : BoardPort(st), restart_pending(st.RestartPending), st_(st) {}

  // A run is on, also while a settings restart holds its loop stopped.
  bool run_going_on() const {
    return acquisition_running.load() == 1 || restart_pending.load() == 1;
  }

  const AtomicI32& restart_pending;

 private:
  friend class RestartGuard;
  State& st_;
};

}  // namespace vx
