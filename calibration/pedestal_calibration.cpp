#include "calibration/pedestal_calibration.h"

#include <cctype>
#include <charconv>
#include <cstdint>

#include "acquisition/acquisition_loop.h"
#include "acquisition/run_control.h"
#include "analysis/main_graph.h"
#include "app/message_log.h"
#include "app/messages.h"
#include "app/parameters.h"
#include "app/register_images.h"
#include "calibration/calibration_pass.h"
#include "digitizer/board_configuration.h"
#include "digitizer/dacs.h"
#include "platform/clock.h"

namespace vx {

namespace {

constexpr const char* kFailure = "ERROR during Pedestal Calibration.\n";

void reset_block_arrays(CalibrationData& k, int b) {
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    k.IndividualOffsetSum[b][c].fill(0.0f);
    k.OffsetDistribution[b][c].fill(2048.0f);
  }
}

void accumulate(Settings& st, BoardLink& link, int b) {
  CalibrationData& k = link.calib;
  const bool per_cell = st.sam[b].PedestalPerCell != 0;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    const auto& values = k.PhysicallyOrderedValues[b][c];
    if (per_cell) {
      auto& sum = k.IndividualOffsetSum[b][c];
      for (int p = 0; p < kMaxSamples; ++p) sum[p] += values[p];
    } else {
      auto& lines = k.OffsetDistribution[b][c];
      for (int p = 0; p < kMaxSamples; ++p) lines[p % 16] += values[p] / 16.0f;
    }
  }
}

enum class Outcome { Measured, Failed, Cancelled };

// The event loop: readout passes until more than the requested number of events were
// accumulated. A failure has been logged; a cancel has not.
Outcome accumulate_events(State& st, CalibrationProgress& progress, std::int64_t& n) {
  const std::int64_t wanted = st.calib.NbOfRunsForPedestalCalibration;
  const int blocks = board_blocks(st);
  n = 0;
  while (n <= wanted) {
    if (n % 10 != 0 && wanted > 0) progress.update(static_cast<int>(98 * n / wanted));
    if (calibration_cancelled(st)) return Outcome::Cancelled;
    const PassResult read =
        st.StopRequest().load() == 1 ? PassResult::Nothing : Read_CalibrationPass(st);
    if (calibration_cancelled(st)) return Outcome::Cancelled;
    if (read != PassResult::Events) {
      st.StopRequest().store(1);
      Write_InfoMessage(st, kFailure, kError);
      return Outcome::Failed;
    }
    const int events = Get_NbOfEvents(st);
    const RunConfig cfg = Freeze_RunConfig(st);
    for (int i = 0; i < events; ++i) {
      st.EventNumber.fetch_add(1);
      st.meas.EventNumberForSigma.fetch_add(1);
      ++n;
      if (Decode_Event(st, st, st.log, cfg, i) != kDone) {
        st.StopRequest().store(1);
        Write_InfoMessage(st, kFailure, kError);
        break;
      }
      for (int b = 0; b < blocks; ++b) {
        Build_PhysicallyOrderedValues(st, b);
        accumulate(st, st, b);
      }
      call(st.hooks.compute_display, cfg, st.event);
      call(st.hooks.show_event);
    }
    if (st.StopRequest().load() == 1) {
      if (calibration_cancelled(st)) return Outcome::Cancelled;
      Write_InfoMessage(st, kFailure, kError);
      return Outcome::Failed;
    }
  }
  return Outcome::Measured;
}

// Every cell is recorded in every event, at the 0 V offset the table is subtracted at:
// with a shorter record most cells would miss most events, and an offset in force would
// end up in the table and be taken off every later run.
void prepare_blocks(BoardPort port) {
  for (auto& k : port.settings.sam) {
    k.RecordLength16 = kMaxSamples / 16;
    k.DCOffset[0] = k.DCOffset[1] = 0.0f;
  }
  port.settings.sys.RecordLength = kMaxSamples;
  Enable_AllChannelsForCalibration(port);
  Load_HardwareSetup(port, 19, -1);
  Load_DACs(port, 2, -1);
  Load_DACs(port, 3, -1);
  for (int b = 0; b < board_blocks(port); ++b) {
    port.settings.sam[b].ChargeModeEnabled = 0;
    Build_ControlReg(port.settings.sam[b], port.settings.sys);
    reset_block_arrays(port.link.calib, b);
  }
  Set_SAMAcquisitionMode(port, port);
  port.settings.sys.TriggerSource = kTriggerAuto;  // every readout pass sends a software trigger
  Set_SystemTriggerMode(port);
}

void store_averages(Settings& st, BoardLink& link, std::int64_t n) {
  CalibrationData& k = link.calib;
  for (int b = 0; b < board_blocks(st); ++b) {
    if (st.sam[b].PedestalPerCell == 0) continue;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      for (int p = 0; p < kMaxSamples; ++p)
        k.IndividualOffsetDistribution[b][c][p] =
            static_cast<float>(k.IndividualOffsetSum[b][c][p] / static_cast<double>(n));
    }
    k.PedestalTableHeld[b] = true;
    k.PedestalLineDacs[b] = line_dac_settings(st.sam[b]);
  }
}

}  // namespace

bool Calibrate_Matrice(State& st, int block) {
  if (block >= 0) return false;
  CalibrationSlot slot(st);
  if (!slot.acquired()) {
    Write_InfoMessage(st, kCalibrationAlreadyRunning, kError);
    return false;
  }
  if (!calibration_board_ready(st, st, st.log)) return false;
  if (st.calib.NbOfRunsForPedestalCalibration < 0) {
    Write_InfoMessage(st, "The number of events for pedestal calibration cannot be negative.\n",
                      kError);
    return false;
  }
  CalibrationProgress progress(st);
  st.calib.PedestalMeasurement = true;
  Set_SAMCorrectionLevel(st, st);
  Write_InfoMessage(st, "Calibrating pedestals...\n", kInfo);
  Write_InfoMessage(st, "WARNING: No signal has to be put on the inputs during calibration...\n",
                    kWarningNoPopup);

  Save_Params(st, Snapshot::Calibration);
  st.acq.EnTimeJitter = 0;
  st.acq.INLCalibrationRunning = 0;
  st.acq.RunFromFile = 0;  // the board is read, whatever the run menu replays
  st.gui.GraphMode = kGraphCells;
  Run_Reset(st, 0, -1);
  prepare_blocks(st);

  st.StopRequest().store(0);
  st.EventNumber = 0;
  st.meas.EventNumberForSigma = 0;
  call(st.hooks.recompute_main_graph);
  Start_run(st);
  std::int64_t n = 0;
  Outcome outcome = accumulate_events(st, progress, n);
  Stop_run(st, st);
  if (outcome == Outcome::Measured && slot.communication_failed()) {
    Write_InfoMessage(st, kFailure, kError);
    outcome = Outcome::Failed;
  }
  const bool ok = outcome == Outcome::Measured;
  if (ok) store_averages(st, st, n);
  if (outcome == Outcome::Cancelled)
    Write_InfoMessage(st, "Pedestal Calibration cancelled by user: the previous table is kept.\n",
                      kInfo);

  progress.update(100);
  st.gui.GraphMode = st.sam[0].PedestalPerCell != 0 ? kGraphCells : kGraphPedestals;
  call(st.hooks.recompute_main_graph);
  // The view is drawn once more from the last event; it stays on the graph after the
  // records are restored, until something else is drawn.
  call(st.hooks.compute_display, Freeze_RunConfig(st), st.event);
  st.calib.PedestalMeasurement = false;
  Restore_Params(st, st, Snapshot::Calibration);
  Write_InfoMessage(st, "End of pedestals calibration.\n", kInfo);
  if (ok)
    Write_InfoMessage(st,
                      "The new pedestal table is subtracted from the events once saved" +
                          st.ui.hint(Hint::SavePedestals) + ".\n",
                      kInfo);
  return ok;
}

std::optional<int> parse_pedestal_event_count(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  if (first == last || last - first > 8) return std::nullopt;
  int value = 0;
  const char* begin = text.data() + first;
  const char* end = text.data() + last;
  if (*begin == '+') ++begin;
  const auto [ptr, ec] = std::from_chars(begin, end, value);
  if (ec != std::errc{} || ptr != end || value < 0) return std::nullopt;
  return value;
}

std::optional<int> Ask_PedestalEventCount(FrontEndLinks& st) {
  std::string question = "Enter the number of events for pedestal calibration:";
  for (;;) {
    const auto answer = st.ui.prompt("Pedestal Calibration", question, "");
    if (!answer) {
      Write_InfoMessage(st, "Pedestals calibration cancelled by user.\n", kInfo);
      return std::nullopt;
    }
    if (const auto n = parse_pedestal_event_count(*answer)) return n;
    question = "Please Enter a valid number of events for pedestal calibration:";
  }
}

bool Run_PedestalCalibration(State& st, int events) {
  st.calib.NbOfRunsForPedestalCalibration = events;
  st.StopRequest().store(1);
  wait_for_flag([&] { return st.AcquisitionRunning.load() == 0; });
  st.ui.set_wait_cursor(true);
  const bool ok = Calibrate_Matrice(st, -1);
  st.ui.set_wait_cursor(false);
  return ok;
}

}  // namespace vx
