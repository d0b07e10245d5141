#include "analysis/histo_ranges.h"

#include "app/record_loan.h"

namespace vx {

namespace {

void write_time_range(GuiParams& gui, const TimeHistoBounds& r) {
  gui.TimeHistoMin = r.min;
  gui.TimeHistoMax = r.max;
  gui.TimeHistoNbOfBins = r.bins;
}

// The loop that posted is still the one that last ran, and the records are the
// user-interface thread's.
bool records_as_left(const RunState& st, const Settings& settings, int generation) {
  return st.AcquisitionGeneration.load() == generation && !Records_Lent(settings);
}

bool firmware_automatic(const RunConfig& cfg) {
  return cfg.charge_mode() && cfg.acq.EnSoftwareChargeHisto != 1 && cfg.acq.ChargeRangeAuto == 1;
}

}  // namespace

TimeHistoBounds Time_HistoRangeOf(const GuiParams& gui) {
  return {gui.TimeHistoMin, gui.TimeHistoMax, gui.TimeHistoNbOfBins};
}

ChargeBounds Charge_RangeOf(const AcqParams& acq, int b, int c) {
  return {acq.ChargeHistoMin[b][c], acq.ChargeHistoMax[b][c]};
}

void Init_HistoRanges(RunState& st, const RunConfig& cfg, bool continuing) {
  MeasurementData& m = st.meas;
  m.TimeHistoRangeInRecords = Time_HistoRangeOf(cfg.gui);
  if (!continuing) m.TimeHistoRange = m.TimeHistoRangeInRecords;
  const bool own_charge_ranges = continuing && firmware_automatic(cfg);
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      m.ChargeRangeInRecords[b][c] = Charge_RangeOf(cfg.acq, b, c);
      if (!own_charge_ranges) m.ChargeRange[b][c] = m.ChargeRangeInRecords[b][c];
    }
  }
}

void Post_HistoRanges(Settings& st, RunState& run_state, FrontEndLinks& links) {
  MeasurementData& m = run_state.meas;
  const int generation = run_state.AcquisitionGeneration.load();
  if (!(m.TimeHistoRange == m.TimeHistoRangeInRecords)) {
    links.ui.post(
        [&st, &run_state, generation, was = m.TimeHistoRangeInRecords, now = m.TimeHistoRange] {
          if (records_as_left(run_state, st, generation) && Time_HistoRangeOf(st.gui) == was)
            write_time_range(st.gui, now);
        });
    m.TimeHistoRangeInRecords = m.TimeHistoRange;
    // Queued after the task: the panel's controls then show the records as it left them.
    links.ui.refresh_panel(Panel::TimeHistogram);
  }
  if (!(m.ChargeRange == m.ChargeRangeInRecords)) {
    links.ui.post([&st, &run_state, generation, was = m.ChargeRangeInRecords, now = m.ChargeRange] {
      if (!records_as_left(run_state, st, generation)) return;
      for (int b = 0; b < kMaxSamBlocks; ++b) {
        for (int c = 0; c < kChannelsPerBlock; ++c) {
          if (was[b][c] == now[b][c] || !(Charge_RangeOf(st.acq, b, c) == was[b][c])) continue;
          st.acq.ChargeHistoMin[b][c] = now[b][c].min;
          st.acq.ChargeHistoMax[b][c] = now[b][c].max;
        }
      }
    });
    m.ChargeRangeInRecords = m.ChargeRange;
    links.ui.refresh_panel(Panel::ChargeHistogram);
  }
}

void Store_TimeHistoRange(Settings& st, RunState& run_state) {
  write_time_range(st.gui, run_state.meas.TimeHistoRange);
}

}  // namespace vx
