// The synchronisation panel: one master board and its slaves.
#pragma once

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

enum class SyncOption {
  SyncMode,
  BoardMasterMode,
  SlaveNumber,
  NumberOfSlaves,
  UseLvdsIO,
  VetoInExtraLatency
};

// Stores the value, reprograms the trigger mode (which writes the synchronisation
// registers), refreshes the panels and, except for the veto latency, the window title.
void Set_SyncOption(BoardPort port, SyncOption option, int value);

}  // namespace vx
