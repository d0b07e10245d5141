// Defaults of the parameter records and the snapshot copies that calibrations, scans and
// the replay option save before changing settings and restore afterwards.
#pragma once

#include "app/state.h"

namespace vx {

void Init_Params(State& st);
void Save_Params(Settings& st, Snapshot which);
void Restore_Params(Settings& st, FrontEndLinks& links, Snapshot which);

}  // namespace vx
