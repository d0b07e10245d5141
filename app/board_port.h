// What writing settings to the board takes, and nothing else of the state: the records the
// board is configured from, the board, the panels that show what was written, the run's two
// flags that say whether a readout is under way (a write waits for it to be over), and where
// a failed access is counted and told (the log, the clock, and the run's event number, which
// the message names). A function that takes a port cannot start or end a run, touch its
// files, results or indicators, or call the front end's hooks.
//
// A caller holding the whole state passes it, and the port is made from it; a caller that
// holds the parts makes one from them. A port passes for its records and its board, as the
// whole state passes for each of its parts.
#pragma once

#include "app/message_log.h"
#include "app/state.h"

namespace vx {

struct BoardPort {
  BoardPort(Settings& settings, BoardLink& link, FrontEndLinks& links, const RunState& run)
      : settings(settings),
        link(link),
        log(links.log),
        clock(links.clock),
        ui(links.ui),
        event_number(run.EventNumber),
        acquisition_running(run.AcquisitionRunning),
        acquisition_busy(run.AcquisitionBusy) {}
  // NOLINTNEXTLINE(google-explicit-constructor): the whole state holds every part a port takes.
  BoardPort(State& st) : BoardPort(st, st, st, st) {}

  // NOLINTNEXTLINE(google-explicit-constructor)
  operator Settings&() const { return settings; }
  // NOLINTNEXTLINE(google-explicit-constructor)
  operator BoardLink&() const { return link; }

  Settings& settings;
  BoardLink& link;
  MessageLog& log;
  Clock& clock;
  FrontEnd& ui;
  const AtomicI32& event_number;
  const AtomicI32& acquisition_running;
  const AtomicI32& acquisition_busy;
};

}  // namespace vx
