#include "calibration/trigger_dac_calibration.h"

#include <cstdio>

#include "acquisition/run_control.h"
#include "app/message_log.h"
#include "app/messages.h"
#include "app/parameters.h"
#include "app/register_images.h"
#include "calibration/calibration_pass.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "digitizer/register_access.h"

namespace vx {

namespace {

void threshold_scan_mode(BoardLink& st, int enable) {
  if (board_usable(st)) st.digitizer->TriggerThreshold(st.DeviceHandle.load(), enable);
}

void prepare_threshold_scan(BoardPort port) {
  port.settings.sys.TriggerSource = kTriggerNormal;
  Set_SystemTriggerMode(port);
  threshold_scan_mode(port, 0);
  for (int b = 0; b < board_blocks(port); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      port.settings.sam[b].TriggerEnable[c] = 1;
      port.settings.sam[b].TriggerPolarity[c] = 0;
      Build_TriggerReg(port.settings.sam[b]);
      Set_TriggerPolarity(port, 2 * b + c);
    }
  }
  Set_SystemEnabledTriggerSources(port);
  port.links.clock.delay(0.1);
}

bool scan(State& st, CalibrationProgress& progress, PerChannel<HitWindow>& windows) {
  const int blocks = board_blocks(st);
  for (int k = 0; k < kThresholdScanSteps; ++k) {
    if (!progress.update(k * 99 / kThresholdScanSteps)) return false;
    const float threshold = kThresholdScanStep * static_cast<float>(k) + kThresholdScanStart;
    for (int b = 0; b < blocks; ++b) st.sam[b].TriggerThreshold[0] = threshold;
    for (int b = 0; b < blocks; ++b) st.sam[b].TriggerThreshold[1] = threshold;
    Load_DACs(st, 0, -1);
    Load_DACs(st, 1, -1);
    Start_RateCounters(st, -1);
    for (int b = 0; b < blocks; ++b) Read_RateCounters(st, b, st.event);
    for (int b = 0; b < blocks; ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c)
        if (st.event.TrigCount[b][c] != 0) windows[b][c].hit(k);
  }
  return true;
}

// Every channel fired, on its noise alone. Each one that did not is reported; then the
// calibration is refused as a whole.
bool offsets_measured(BoardPort port, const PerChannel<HitWindow>& windows) {
  bool ok = true;
  for (int b = 0; b < board_blocks(port); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const int channel = 2 * b + c;
      const HitWindow& w = windows[b][c];
      if (!w.found()) {
        Write_InfoMessage(port.links.log, kInfo, "No threshold found for channel %d !\n", channel);
        Write_InfoMessage(
            port, kError,
            "ERROR: Trigger DACs Offset calibration refused: channel %d never fired between %.0f "
            "and %.0f mV; its discriminator or its input is out of order.\n",
            channel, kThresholdScanStart * 1000.0, -kThresholdScanStart * 1000.0);
        ok = false;
      } else if (!w.noise_only()) {
        Write_InfoMessage(
            port, kError,
            "ERROR: Trigger DACs Offset calibration refused: channel %d fired from %.2f to %.2f mV "
            "(a noise band is a few mV wide): a signal is present at its input. Remove every "
            "input signal and calibrate again.\n",
            channel, (kThresholdScanStep * w.first + kThresholdScanStart) * 1000.0,
            (kThresholdScanStep * w.last + kThresholdScanStart) * 1000.0);
        ok = false;
      }
    }
  if (!ok)
    Write_InfoMessage(port.links.log, "The previous Trigger DACs Offsets are kept.\n", kInfo);
  return ok;
}

}  // namespace

void HitWindow::hit(int step) {
  if (first == kThresholdScanSteps) first = step;
  last = step;
  if (step >= 0 && step < kThresholdScanSteps) steps.set(static_cast<std::size_t>(step));
}

bool HitWindow::noise_only() const {
  if (!found()) return true;
  if (last - first > kNoiseBandMaxSteps) return false;
  int previous = first;
  for (int k = first + 1; k <= last; ++k) {
    if (!steps.test(static_cast<std::size_t>(k))) continue;
    if (k - previous > kNoiseBandMaxGap) return false;
    previous = k;
  }
  return true;
}

float HitWindow::mean_threshold() const {
  return kThresholdScanStep * static_cast<float>(first + last) / 2.0f + kThresholdScanStart;
}

bool Calibrate_TriggerThresholdDACsOffset(State& st) {
  CalibrationSlot slot(st);
  if (!slot.acquired()) {
    Write_InfoMessage(st, kCalibrationAlreadyRunning, kError);
    return false;
  }
  if (!calibration_board_ready(st, st, st.log)) return false;
  CalibrationProgress progress(st);
  Save_Params(st, Snapshot::Calibration);
  Write_InfoMessage(
      st, kInfo,
      "Calibrating the Trigger DACs Offset between %1.3f V and %1.3f V with %d steps ...\n", -0.05,
      0.05, kThresholdScanSteps);
  Write_InfoMessage(st, "No signal has to be put on the inputs during this calibration...\n",
                    kWarning);
  prepare_threshold_scan(st);

  const auto previous = st.calib.MeanThreshold;
  for (auto& block : st.calib.MeanThreshold) block.fill(0.0f);
  PerChannel<HitWindow> windows{};
  const bool scanned = scan(st, progress, windows);
  const bool ok = scanned && !slot.communication_failed() && offsets_measured(st, windows);
  if (ok) {
    progress.update(100);
    for (int b = 0; b < board_blocks(st); ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        st.calib.MeanThreshold[b][c] = windows[b][c].mean_threshold();
        Write_InfoMessage(st, kInfo, "Trigger DAC Offset for Ch%d = %2.5f mV \n", 2 * b + c,
                          st.calib.MeanThreshold[b][c] * 1000.0);
      }
  } else {
    st.calib.MeanThreshold = previous;
    if (!scanned && calibration_cancelled(st))
      Write_InfoMessage(
          st, "Trigger DACs Offset calibration cancelled by user: the previous offsets are kept.\n",
          kInfo);
    else if (slot.communication_failed())
      Write_InfoMessage(st,
                        "ERROR during Trigger DACs Offset calibration: a communication error "
                        "with the board. The previous offsets are kept.\n",
                        kError);
  }

  Run_Reset(st, 0, -1);
  Restore_Params(st, st, Snapshot::Calibration);
  st.ui.refresh_panel(Panel::Main);
  threshold_scan_mode(st, 1);
  if (ok) Write_InfoMessage(st, "End of Trigger DACs Offset calibration.\n", kInfo);
  if (ok) st.calib.TriggerDACsOffsetDone = true;
  return ok;
}

}  // namespace vx
