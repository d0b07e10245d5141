#include "calibration/trigger_dac_calibration.h"

#include <cstdio>

#include "acquisition/run_control.h"
#include "app/message_log.h"
#include "app/parameters.h"
#include "app/register_images.h"
#include "calibration/calibration_pass.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "digitizer/register_access.h"

namespace vx {

namespace {

void log(State& st, int kind, const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  Write_InfoMessage(st, text, kind);
}

void threshold_scan_mode(State& st, int enable) {
  if (board_usable(st)) st.digitizer->TriggerThreshold(st.DeviceHandle.load(), enable);
}

void prepare(State& st) {
  st.sys.TriggerSource = 1;  // "Normal"
  Set_SystemTriggerMode(st);
  threshold_scan_mode(st, 0);
  for (int b = 0; b < calibration_blocks(st); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      st.sam[b].TriggerEnable[c] = 1;
      st.sam[b].TriggerPolarity[c] = 0;
      Build_TriggerReg(st.sam[b]);
      Set_TriggerPolarity(st, 2 * b + c);
    }
  }
  Set_SystemEnabledTriggerSources(st);
  st.clock.delay(0.1);
}

bool scan(State& st, CalibrationProgress& progress, PerChannel<HitWindow>& windows) {
  const int blocks = calibration_blocks(st);
  for (int k = 0; k < kThresholdScanSteps; ++k) {
    if (!progress.update(k * 99 / kThresholdScanSteps)) return false;
    const float threshold = kThresholdScanStep * static_cast<float>(k) + kThresholdScanStart;
    for (int b = 0; b < blocks; ++b) st.sam[b].TriggerThreshold[0] = threshold;
    for (int b = 0; b < blocks; ++b) st.sam[b].TriggerThreshold[1] = threshold;
    Load_DACs(st, 0, -1);
    Load_DACs(st, 1, -1);
    Start_RateCounters(st, -1);
    for (int b = 0; b < blocks; ++b) Read_RateCounters(st, b);
    for (int b = 0; b < blocks; ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c)
        if (st.event.TrigCount[b][c] != 0) windows[b][c].hit(k);
  }
  return true;
}

}  // namespace

void HitWindow::hit(int step) {
  if (first == kThresholdScanSteps) first = step;
  last = step;
}

float HitWindow::mean_threshold() const {
  return kThresholdScanStep * static_cast<float>(first + last) / 2.0f + kThresholdScanStart;
}

bool Calibrate_TriggerThresholdDACsOffset(State& st) {
  CalibrationSlot slot(st);
  if (!slot.acquired()) {
    Write_InfoMessage(st, "A calibration is already running.\n", kError);
    return false;
  }
  if (!calibration_board_ready(st)) return false;
  CalibrationProgress progress(st);
  Save_Params(st, Snapshot::Calibration);
  log(st, kInfo,
      "Calibrating the Trigger DACs Offset between %1.3f V and %1.3f V with %d steps ...\n", -0.05,
      0.05, kThresholdScanSteps);
  Write_InfoMessage(st, "No signal has to be put on the inputs during this calibration...\n",
                    kWarning);
  prepare(st);

  const auto previous = st.calib.MeanThreshold;
  for (auto& block : st.calib.MeanThreshold) block.fill(0.0f);
  PerChannel<HitWindow> windows{};
  const bool ok = scan(st, progress, windows);
  if (ok) {
    progress.update(100);
    for (int b = 0; b < calibration_blocks(st); ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        const int channel = 2 * b + c;
        if (!windows[b][c].found())
          log(st, kInfo, "No threshold found for channel %d !\n", channel);
        st.calib.MeanThreshold[b][c] = windows[b][c].mean_threshold();
        log(st, kInfo, "Trigger DAC Offset for Ch%d = %2.5f mV \n", channel,
            st.calib.MeanThreshold[b][c] * 1000.0);
      }
  } else {
    st.calib.MeanThreshold = previous;
    Write_InfoMessage(st, "Trigger DACs Offset calibration cancelled by user.\n", kError);
  }

  Run_Reset(st, 0, -1);
  Restore_Params(st, Snapshot::Calibration);
  st.ui.refresh_panel(Panel::Main);
  threshold_scan_mode(st, 1);
  if (ok) Write_InfoMessage(st, "End of Trigger DACs Offset calibration.\n", kInfo);
  if (ok) st.calib.TriggerDACsOffsetDone = true;
  return ok;
}

}  // namespace vx
