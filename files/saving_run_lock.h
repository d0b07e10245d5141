// A run that saves its events or sends them to the TCP client keeps one header for its
// files and its stream: what that header says of every record (the record length, the
// sampling period, the channels acquired, the INL correction) and the names of its files do
// not change until the run ends. The operations that change them ask here first.
#pragma once

#include <string_view>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// The settings say that a run writes a data or measurement file or sends its events to the
// TCP client.
bool Saves_OrTransmits(Settings& st);
// A run is on (or held stopped by a settings restart) and writes a data or measurement file
// or sends its events to the TCP client.
bool Run_SavesOrTransmits(const ControlPort& port);
// True, with the refusal told, when a change of `setting` must wait for the end of such a run.
bool Refuse_ChangeDuringSavingRun(const ControlPort& port, std::string_view setting);

}  // namespace vx
