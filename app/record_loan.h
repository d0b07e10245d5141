// While a worker drives the board (a connection, a calibration, the rate scan) the parameter
// records are its alone: it writes them as it goes and restores them at its end. Lending is
// the hand-over: the user-interface thread waits for any run to end, publishes a copy of the
// records that it shows meanwhile, and runs the work on the pool; the records come back to
// the user-interface thread once the work has returned.
#pragma once

#include <functional>

#include "app/state.h"

namespace vx {

// The records as the user-interface thread may read them.
struct RecordsView {
  const AcqParams& acq;
  const BoardParams& board;
  const SystemParams& sys;
  const GuiParams& gui;
  const std::array<SAMBlockParams, kMaxSamBlocks>& sam;
};

// On the user-interface thread. Stops a run first, and waits for an earlier loan to end.
// returned runs on the user-interface thread once the records are back.
void Lend_Records(State& st, std::function<void()> work, std::function<void()> returned = {});

// Whether a worker holds the records now. The worker lowers it when its work has returned:
// whoever then sees it lowered also sees everything the worker wrote.
bool Records_Lent(const Settings& st);

// The live records, or while a worker holds them, the copy published when they were lent.
RecordsView Shown_Records(const Settings& st);

}  // namespace vx
