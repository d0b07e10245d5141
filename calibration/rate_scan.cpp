#include "calibration/rate_scan.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "acquisition/run_control.h"
#include "app/message_log.h"
#include "app/parameters.h"
#include "app/record_loan.h"
#include "app/register_images.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "digitizer/register_access.h"

namespace vx {

namespace {

void log_line(FrontEndLinks& st, const char* format, auto... args) {
  char text[256];
  std::snprintf(text, sizeof text, format, args...);
  Write_InfoMessage(st, text, kInfo);
}

// The board's hit and time counters are 16 bits wide and stop together when either fills:
// the time counter (microseconds) fills after 65.5 ms. A step is counted in stretches that
// are read and restarted well before that, and summed.
constexpr double kCountingStretchSeconds = 0.05;

struct StepCounts {
  std::array<double, kMaxChannels> hits{}, micros{};
};

void add_counters(State& st, StepCounts& counts) {
  for (int b = 0; b < board_blocks(st); ++b) {
    Read_RateCounters(st, b, st.event);
    for (int k = 0; k < kChannelsPerBlock; ++k) {
      counts.hits[2 * b + k] += st.event.TrigCount[b][k];
      counts.micros[2 * b + k] += st.event.TimeCount[b][k];
    }
  }
}

// Counts for the given time; false when a break cut the count short.
bool count_for(State& st, double seconds, StepCounts& counts) {
  const double end = st.clock.now() + seconds;
  Start_RateCounters(st, -1);
  double stretch_end = std::min(end, st.clock.now() + kCountingStretchSeconds);
  for (;;) {
    if (st.RateScanFlag.load() == 1) return false;
    const double now = st.clock.now();
    if (now < stretch_end) {
      st.clock.delay(std::min(stretch_end - now, 0.01));
      continue;
    }
    add_counters(st, counts);
    if (now >= end) break;
    Start_RateCounters(st, -1);
    stretch_end = std::min(end, st.clock.now() + kCountingStretchSeconds);
  }
  return st.RateScanFlag.load() == 0;
}

void begin_result(Settings& st, RunState& run_state, int steps) {
  std::lock_guard lock(run_state.rates.result_mutex);
  RateScanResult& r = run_state.rates.result;
  r.steps = steps;
  r.measured = 0;
  r.channels = 2 * board_blocks(st);
  r.start = st.acq.RateScanStartThreshold;
  r.end = st.acq.RateScanEndThreshold;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const std::size_t n = ch < r.channels ? static_cast<std::size_t>(steps) : 0;
    r.ThresholdValuesForPlot[ch].assign(n, 0.0);
    r.RateValuesForPlot[ch].assign(n, 0.0);
  }
}

void set_trigger_for_counting(BoardPort port) {
  port.settings.sys.TriggerSource = kTriggerNormal;
  Set_SystemTriggerMode(port);
  for (int b = 0; b < board_blocks(port); ++b) {
    port.settings.sam[b].TriggerEnable[0] = port.settings.sam[b].TriggerEnable[1] = 1;
    Build_TriggerReg(port.settings.sam[b]);
  }
  Set_SystemEnabledTriggerSources(port);
}

// Counts one step at threshold t; false when a break or a board error ended the scan.
bool measure_step(State& st, int i, float t) {
  const int errors = st.NbOfCommunicatonErrors.load();
  for (int b = 0; b < board_blocks(st); ++b) {
    st.sam[b].TriggerThreshold[0] = st.sam[b].TriggerThreshold[1] = t;
    Load_DACs(st, 0, b);
    Load_DACs(st, 1, b);
  }
  StepCounts counts;
  if (!count_for(st, st.acq.RateScanStepValue, counts)) return false;
  if (st.NbOfCommunicatonErrors.load() != errors) return false;

  std::lock_guard lock(st.rates.result_mutex);
  RateScanResult& r = st.rates.result;
  for (int ch = 0; ch < 2 * board_blocks(st); ++ch) {
    const double time = counts.micros[ch];
    r.ThresholdValuesForPlot[ch][i] = t;
    r.RateValuesForPlot[ch][i] = time == 0.0 ? 0.0 : counts.hits[ch] * 1000000.0 / time;
  }
  r.measured = i + 1;
  return true;
}

void scan_thread(State& st) {
  st.RateScanFlag = 0;
  st.ui.show_panel(Panel::Main, false);
  st.ui.refresh_panel(Panel::RateVsThreshold);
  Compute_RateVsThreshold(st);
  st.RateScanFlag = 0;
  st.RateScanRunning = 0;
  st.ui.show_panel(Panel::Main, true);
  st.ui.show_panel(Panel::RateVsThreshold, true);
  st.ui.refresh_panel(Panel::RateVsThreshold);
  st.rates.ScansFinished.fetch_add(1);
}

}  // namespace

int Run_RateVsThresholdScan(State& st) {
  if (st.RateScanRunning.load() == 1) return 0;
  if (st.Board_Connected.load() == 0 || st.DeviceHandle.load() < 0) {
    Write_InfoMessage(st, "No board connected: the hit rate vs threshold measurement needs one!\n",
                      kError);
    return 0;
  }
  if (!st.ui.confirm("Warning!",
                     "During this measurement, DC-Offsets will be automatically set to 0 for each "
                     "channel in order to match the threshold range (-1.25V to 1.25V).\n Do you "
                     "want to continue?")) {
    return 0;
  }
  Stop_AcquisitionAndWait(st);
  for (int ch = 0; ch < 2 * board_blocks(st); ++ch) {
    st.sam[ch / 2].DCOffset[ch % 2] = 0.0f;
    Load_DACs(st, 2 + ch % 2, ch / 2);
    Update_TriggerThreshold(st, ch);
  }
  st.RateScanRunning = 1;
  st.rates.ScanStep = 0;
  // The scan drives the board with the records as it sets them, and restores them at its end.
  Lend_Records(st, [&st] { scan_thread(st); });
  return 1;
}

void Compute_RateVsThreshold(State& st) {
  const int steps = st.acq.RateScanNbOfSteps;
  const float min = st.acq.RateScanStartThreshold;
  const float max = st.acq.RateScanEndThreshold;
  if (steps < 1) {
    Write_InfoMessage(st, "The hit rate vs threshold measurement needs at least one step!\n",
                      kError);
    return;
  }
  st.RateScanRunning = 1;
  st.RateScanFlag = 0;
  begin_result(st, st, steps);
  st.rates.ScanStep = 0;
  st.ui.refresh_panel(Panel::RateVsThreshold);

  Save_Params(st, Snapshot::RateScan);
  log_line(
      st,
      "Plotting hit rate vs threshold on signal between %1.3f V and %1.3f V with %d steps ...\n",
      static_cast<double>(min), static_cast<double>(max), steps);
  set_trigger_for_counting(st);
  st.clock.delay(0.1);

  // One step has no width to divide: it is taken at the start threshold.
  const float step = steps > 1 ? (max - min) / static_cast<float>(steps - 1) : 0.0f;
  for (int i = 0; i < steps; ++i) {
    if (st.RateScanFlag.load() == 1) break;
    const float t = (i == steps - 1 && steps > 1) ? max : min + step * static_cast<float>(i);
    st.rates.ScanThreshold = t;
    st.rates.ScanStep = i + 1;
    st.ui.refresh_panel(Panel::RateVsThreshold);
    if (!measure_step(st, i, t)) break;
  }

  Plot_RateVsThreshold(st);
  Write_InfoMessage(st, "End of hit rate vs threshold measurement.\n", kInfo);
  const RateScanResult kept = RateScan_Result(st);
  if (kept.partial()) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "Hit rate vs threshold measurement stopped after %d of %d steps: the result "
                  "is partial.\n",
                  kept.measured, kept.steps);
    Write_InfoMessage(st, text, kWarning);
  }
  Run_Reset(st, 0, -1);
  Restore_Params(st, st, Snapshot::RateScan);
  st.RateScanFlag = 0;
  st.RateScanRunning = 0;
}

void Break_RateVsThresholdScan(RunState& st) {
  if (st.RateScanRunning.load() == 1) st.RateScanFlag = 1;
}

void Plot_RateVsThreshold(FrontEndLinks& st) {
  st.ui.refresh_panel(Panel::RateVsThreshold);
}

void Set_RateScanRange(Settings& st, FrontEndLinks& links, float start_volts, float end_volts) {
  st.acq.RateScanStartThreshold = std::clamp(start_volts, -1.25f, 1.25f);
  st.acq.RateScanEndThreshold = std::clamp(end_volts, -1.25f, 1.25f);
  Plot_RateVsThreshold(links);
}

void Set_RateScanNbOfSteps(Settings& st, int steps) {
  st.acq.RateScanNbOfSteps = std::max(steps, 1);
}

void Set_RateScanStepValue(Settings& st, float seconds) {
  if (seconds > 0.0f) st.acq.RateScanStepValue = seconds;
}

void Select_RateVsThresholdChannel(Settings& st, FrontEndLinks& links, int channel) {
  if (channel < -1 || channel >= kMaxChannels) return;
  st.gui.RateVsThresholdChannel = channel;
  Plot_RateVsThreshold(links);
}

}  // namespace vx
