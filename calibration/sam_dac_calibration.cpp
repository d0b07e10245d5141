#include "calibration/sam_dac_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "acquisition/acquisition_loop.h"
#include "acquisition/run_control.h"
#include "analysis/main_graph.h"
#include "app/dac_conversions.h"
#include "app/message_log.h"
#include "app/messages.h"
#include "app/parameters.h"
#include "app/register_images.h"
#include "calibration/calibration_pass.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "eeprom/calibration_tables.h"
#include "platform/numeric.h"

namespace vx {

namespace {

constexpr int kCodes = 128;
constexpr int kEventsPerCode = 10;
constexpr int kCellsPerLine = 64;

using LineSums = PerChannel<std::array<double, 16>>;

void set_all_codes(Settings& st, int code) {
  for (int b = 0; b < board_blocks(st); ++b) {
    std::fill(std::begin(st.sam[b].SamDacOffsetCh0), std::end(st.sam[b].SamDacOffsetCh0), code);
    std::fill(std::begin(st.sam[b].SamDacOffsetCh1), std::end(st.sam[b].SamDacOffsetCh1), code);
  }
}

void copy_best_codes(Settings& st, const PerChannel<std::array<LineSearch, 16>>& search) {
  for (int b = 0; b < board_blocks(st); ++b) {
    for (int line = 0; line < 16; ++line) {
      st.sam[b].SamDacOffsetCh0[line] = static_cast<std::uint8_t>(search[b][0][line].best_code);
      st.sam[b].SamDacOffsetCh1[line] = static_cast<std::uint8_t>(search[b][1][line].best_code);
    }
  }
}

// Decodes event i and rebuilds its physical-cell views; false when the event is bad.
bool take_event(State& st, int i) {
  const RunConfig cfg = Freeze_RunConfig(st);
  if (Decode_Event(st, st, st.log, cfg, i) != kDone) return false;
  for (int b = 0; b < board_blocks(st); ++b) Build_PhysicallyOrderedValues(st, b);
  call(st.hooks.compute_display, cfg, st.event);
  return true;
}

// Sums the lines' raw values over at least kEventsPerCode events. Returns the number of
// events summed, or 0 when the board stopped delivering them (or the user cancelled).
int sum_lines(State& st, LineSums& sums) {
  for (auto& block : sums)
    for (auto& lines : block) lines.fill(0.0);
  int counted = 0;
  Start_run(st);
  while (counted < kEventsPerCode) {
    if (Read_CalibrationPass(st) != PassResult::Events) {
      counted = 0;
      break;
    }
    const int events = Get_NbOfEvents(st);
    for (int i = 0; i < events; ++i) {
      st.EventNumber.fetch_add(1);
      if (!take_event(st, i)) continue;
      ++counted;
      for (int b = 0; b < board_blocks(st); ++b)
        for (int c = 0; c < kChannelsPerBlock; ++c) {
          const auto& v = st.calib.PhysicallyOrderedValues[b][c];
          for (int p = 0; p < kMaxSamples; ++p) sums[b][c][p % 16] += v[p];
        }
    }
    call(st.hooks.show_event);
  }
  Stop_run(st, st);
  return counted;
}

void prepare(State& st) {
  st.acq.EnTimeJitter = 0;
  st.acq.INLCalibrationRunning = 0;
  st.acq.RunFromFile = 0;  // the board is read, whatever the run menu replays
  st.gui.GraphMode = kGraphCells;
  call(st.hooks.recompute_main_graph);
  // Every line's 64 cells in every event: a shorter record would leave most of them out.
  for (auto& k : st.sam) k.RecordLength16 = kMaxSamples / 16;
  st.sys.RecordLength = kMaxSamples;
  Enable_AllChannelsForCalibration(st);
  Load_HardwareSetup(st, 19, -1);
  for (int b = 0; b < board_blocks(st); ++b) {
    st.sam[b].ChargeModeEnabled = 0;
    Build_ControlReg(st.sam[b], st.sys);
    st.sam[b].DCOffset[0] = st.sam[b].DCOffset[1] = 0.0f;
  }
  st.sys.TriggerSource = kTriggerAuto;
  Set_SystemTriggerMode(st);
  st.ui.refresh_panel(Panel::Main);
  Load_HardwareSetup(st, 12, -1);
  Load_DACs(st, 2, -1);
  Load_DACs(st, 3, -1);
  st.clock.delay(0.1);
  Run_Reset(st, 0, -1);

  st.calib.PedestalMeasurement = true;
  Set_SAMCorrectionLevel(st, st);
  Enable_SamDacs(st, -1);
  st.StopRequest().store(0);
  st.EventNumber = 0;
}

// The scan over every code. False when it had to stop.
bool scan(State& st, CalibrationProgress& progress,
          PerChannel<std::array<LineSearch, 16>>& search) {
  LineSums sums{};
  for (int code = 0; code < kCodes; ++code) {
    if (!progress.update(code * 96 / kCodes + 2)) return false;
    set_all_codes(st, code);
    Load_HardwareSetup(st, 6, -1);
    st.StopRequest().store(0);
    const int events = sum_lines(st, sums);
    if (events == 0) return false;
    // A readout may bring more than the events asked for: all of them are in the sums.
    const double divisor = static_cast<double>(events) * kCellsPerLine;
    for (int b = 0; b < board_blocks(st); ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c)
        for (int line = 0; line < 16; ++line) {
          LineSearch& s = search[b][c][line];
          const auto mean = static_cast<float>(sums[b][c][line] / divisor);
          if (s.offer(code, mean) && (s.best_code == 63 || s.best_code == 127))
            Write_InfoMessage(st, kInfo,
                              "Optimised value (2048) not reached on channel %d, line %d!\n",
                              2 * b + c, line);
        }
  }
  return true;
}

void log_ranges(Settings& st, MessageLog& log,
                const PerChannel<std::array<LineSearch, 16>>& search) {
  for (int b = 0; b < board_blocks(st); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      int lo = 128;
      int hi = 0;
      for (const LineSearch& s : search[b][c]) {
        lo = std::min(lo, s.best_value);
        hi = std::max(hi, s.best_value);
      }
      Write_InfoMessage(log, kInfo, "Channel = %d, min = %d dacc, max = %d dacc\n", 2 * b + c, lo,
                        hi);
    }
}

// One event with the new codes, its mean level and spread per channel.
void check_event(State& st) {
  st.EventNumber.fetch_add(1);
  call(st.hooks.show_event);
  Start_run(st);
  if (Read_CalibrationPass(st) == PassResult::Events && Get_NbOfEvents(st) > 0 &&
      take_event(st, 0)) {
    for (int b = 0; b < board_blocks(st); ++b)
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        const auto& v = st.calib.PhysicallyOrderedValues[b][c];
        const std::vector<double> values(v.begin(), v.end());
        const MeanAndSigma m = StdDev(values);
        constexpr double kMilli = kVoltsPerAdcCount * 1000.0;
        Write_InfoMessage(
            st, kInfo,
            "Result after SAM DAC correction on channel%d:\n MeanValue=%f ADC Count =%f mV, RMS "
            "=%f ADC Count =%f mV.\n",
            2 * b + c, m.mean, (m.mean - kSamDacTarget) * kMilli, m.sigma, m.sigma * kMilli);
      }
  }
  Stop_run(st, st);
}

}  // namespace

bool LineSearch::offer(int code, float mean) {
  const float d = std::fabs(mean - kSamDacTarget);
  if (!(d < best_distance)) return false;
  best_distance = d;
  best_code = code;
  best_value = sam_dac_signed_value(code);
  return true;
}

bool Calibrate_SAMDACsOffset(State& st) {
  CalibrationSlot slot(st);
  if (!slot.acquired()) {
    Write_InfoMessage(st, kCalibrationAlreadyRunning, kError);
    return false;
  }
  if (!calibration_board_ready(st, st, st.log)) return false;
  st.calib.SamDACOffsetDone = false;
  CalibrationProgress progress(st);
  Save_Params(st, Snapshot::Calibration);
  Write_InfoMessage(st, "Calibrating SAM DACs Offsets ... \n", kInfo);
  Write_InfoMessage(st, "NO signal must be present on the inputs during this calibration !\n",
                    kInfo);
  prepare(st);
  progress.update(2);
  Write_InfoMessage(st, "SAM DAC calibration run with DAC LSB Value = 0.5 mV...\n", kInfo);
  Load_SamDacLSB(st, -1, 0, 0);

  PerChannel<std::array<LineSearch, 16>> search{};
  bool ok = scan(st, progress, search);
  if (ok && slot.communication_failed()) {
    ok = false;
    Write_InfoMessage(
        st, "ERROR during SAM DAC Offset calibration: a communication error with the board.\n",
        kError);
  } else if (ok) {
    log_ranges(st, st.log, search);
    copy_best_codes(st, search);
    Write_InfoMessage(st, kInfo, "Loading SAM REG DACs with optimised values for step = %d ... \n",
                      16);
    progress.update(99);
    Load_HardwareSetup(st, 6, -1);
    st.StopRequest().store(0);
    check_event(st);
  } else if (calibration_cancelled(st)) {
    Write_InfoMessage(
        st, "SAM DAC Offset calibration cancelled by user: the previous codes are kept.\n", kInfo);
  } else if (slot.communication_failed()) {
    Write_InfoMessage(
        st, "ERROR during SAM DAC Offset calibration: a communication error with the board.\n",
        kError);
  } else {
    Write_InfoMessage(
        st, "ERROR during SAM DAC Offset calibration: the board delivers no events.\n", kError);
  }

  Run_Reset(st, 0, -1);
  st.calib.PedestalMeasurement = false;
  Restore_Params(st, st, Snapshot::Calibration);
  progress.update(100);
  if (ok) {
    Write_InfoMessage(st, "End of SAM DACs Offset calibration.\n", kInfo);
    copy_best_codes(st, search);  // the restore brought the previous codes back
    for (int b = 0; b < board_blocks(st); ++b) st.calib.SamDacCodesHeld[b] = true;
    Load_HardwareSetup(st, 6, -1);
    st.StopRequest().store(0);
    Enable_SamDacs(st, -1);
    Load_SamDacLSB(st, -1, 0, 0);
    Check_PedestalLineDacs(st, st, st.log);
  } else {
    // The chips get their previous register 2 and codes back.
    Load_HardwareSetup(st, 1, -1);
    Load_HardwareSetup(st, 6, -1);
    st.StopRequest().store(0);
  }
  st.calib.SamDACOffsetDone = ok;
  return ok;
}

}  // namespace vx
