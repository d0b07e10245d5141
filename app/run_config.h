// What a loop of a run reads of the settings: a copy of the records taken as the loop starts.
// The user-interface thread owns the records and may write them while the loop runs (a change
// the loop must follow restarts it, and the next loop takes the records as they then are);
// the loop, the measurements it runs and what it hands events to read this copy, passed to
// them, never the records.
//
// The live switches (DisplayOn, FFTMode, TransmitRunDataToTcpClient, StopRequest,
// DisplayModulo, NoiseMeasurementOn, RateMeasurementOn) are copied with their records but
// read through State's accessors: a user turns them during a run.
#pragma once

#include <algorithm>

#include "app/run_from_file.h"
#include "app/state.h"

namespace vx {

// Each record aligned as in State: the packed records' fields are aligned from there.
struct RunConfig {
  alignas(8) AcqParams acq{};
  alignas(8) SystemParams sys{};
  alignas(8) SamBlocks sam{};
  alignas(8) GuiParams gui{};

  int blocks() const { return std::clamp(int{sys.NbOfSAMBlocks}, 0, kMaxSamBlocks); }
  bool replaying() const { return vx::replaying(acq); }
  bool saving() const { return acq.SaveDataInFile == 1 || acq.SaveMeasurementsInFile == 1; }
  bool charge_mode() const { return sam[0].ChargeModeEnabled == 1; }
};

// The records as they are now, for a loop about to start (or a calibration pass, which holds
// them).
inline RunConfig Freeze_RunConfig(const Settings& st) {
  return RunConfig{st.acq, st.sys, st.sam, st.gui};
}

}  // namespace vx
