// Whether the run replays a saved run's data file instead of reading the board (the Run menu's
// "Run from file", AcqParams::RunFromFile). The field is written on the user-interface thread
// while no loop runs, so every reader reads it in place.
#pragma once

#include "app/state.h"

namespace vx {

inline bool replaying(const AcqParams& a) {
  return a.RunFromFile == 1;
}
inline bool replaying(const Settings& st) {
  return replaying(st.acq);
}

}  // namespace vx
