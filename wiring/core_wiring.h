// Connects the core's bottom layer to the layers above it: what Init_Params, Restore_Params,
// the connection and the one-second tick trigger in the board, measurement and run code.
// Every front end calls it once after creating the state.
#pragma once

#include "app/state.h"

namespace vx {

void Install_CoreHooks(State& st);

}  // namespace vx
