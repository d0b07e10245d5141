#include "calibration/calibration_pass.h"

#include <algorithm>

#include "acquisition/acquisition_loop.h"
#include "app/message_log.h"
#include "digitizer/board_configuration.h"
#include "digitizer/register_access.h"

namespace vx {

CalibrationProgress::CalibrationProgress(State& st) : st_(st) {
  st_.ui.progress_show("Completion Status", "Percent Complete");
  st_.ui.progress_update(0);
}

CalibrationProgress::~CalibrationProgress() {
  st_.ui.progress_hide();
}

bool CalibrationProgress::update(int percent) {
  if (!st_.ui.progress_update(percent)) st_.calib.CalibrationCancel = true;
  return !calibration_cancelled(st_);
}

bool calibration_cancelled(const BoardLink& st) {
  return st.calib.CalibrationCancel.load();
}

CalibrationSlot::CalibrationSlot(State& st)
    : st_(st),
      acquired_(!st.calib.CalibrationRunning.exchange(true)),
      errors_at_start_(st.NbOfCommunicatonErrors.load()) {
  if (acquired_) st_.calib.CalibrationCancel = false;
}

bool CalibrationSlot::communication_failed() const {
  return st_.NbOfCommunicatonErrors.load() != errors_at_start_;
}

CalibrationSlot::~CalibrationSlot() {
  if (acquired_) st_.calib.CalibrationRunning = false;
}

PassResult Read_CalibrationPass(State& st, double timeout_s) {
  if (!board_usable(st) || st.readout.data == nullptr) return PassResult::Failed;
  Arm_Boards(st, Freeze_RunConfig(st));
  Digitizer& d = *st.digitizer;
  const int h = st.DeviceHandle.load();
  const double deadline = st.clock.now() + timeout_s;
  for (;;) {
    if (d.ReadData(h, kReadoutSlaveTerminated, &st.readout) < 0) {
      st.readout.filled = 0;
      return PassResult::Failed;
    }
    if (st.readout.filled >= 4) return PassResult::Events;
    if (calibration_cancelled(st) || st.clock.now() >= deadline) {
      st.readout.filled = 0;
      return PassResult::Nothing;
    }
    st.clock.delay(0.001);
  }
}

void Build_PhysicallyOrderedValues(State& st, int b) {
  const int first = static_cast<int>(st.event.EventFCR[b] % kMaxSamples);
  const int shift = first - first % 16;
  const int line = st.acq.SelectedLine % 16;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    const auto& in = st.event.FullyOrderedValues[b][c];
    auto& out = st.calib.PhysicallyOrderedValues[b][c];
    for (int k = 0; k < kMaxSamples; ++k) {
      const int p = (k + shift) % kMaxSamples;
      out[p] = in[k];
      if (p % 16 == line) st.calib.ModuloValues[b][c][p / 16] = in[k];
    }
  }
}

void Enable_AllChannelsForCalibration(BoardPort port) {
  bool switched = false;
  for (int ch = 0; ch < kChannelsPerBlock * board_blocks(port); ++ch) {
    switched = switched || port.settings.gui.ChannelEnabled[ch] == 0;
    port.settings.gui.ChannelEnabled[ch] = 1;
  }
  Set_EnabledSAMBlocks(port);
  if (switched)
    Write_InfoMessage(port.links.log,
                      "Every channel is measured: those switched off are on for the calibration "
                      "and off again after it.\n",
                      kInfo);
}

bool calibration_board_ready(Settings& st, BoardLink& link, MessageLog& log) {
  if (board_usable(link) && st.sys.NbOfSAMBlocks > 0) return true;
  Write_InfoMessage(log, "No board is connected: the calibration cannot run.\n", kError);
  return false;
}

}  // namespace vx
