#include "analysis/measurement_pass.h"

#include <algorithm>
#include <new>
#include <span>

#include "analysis/charge.h"
#include "analysis/measurement_context.h"
#include "analysis/time_amplitude.h"
#include "analysis/time_histogram.h"

namespace vx {

namespace {

constexpr std::size_t kInitialEntries = kListGrowthStep + 1;
constexpr int kChargeBaselineSamples = 16;

bool keeps_time_lists(const State& st) {
  return st.acq.EnTimeJitter == 1;
}
bool keeps_charge_lists(const State& st) {
  return st.acq.EnSoftwareChargeHisto == 1;
}

// Grows a list to at least `size` entries. Memory running out leaves the list as it is;
// entries past its end are then dropped and the histograms read only what the lists hold.
void grow(State& st, std::vector<double>& list, std::size_t size) {
  if (list.size() >= size) return;
  try {
    list.resize(size, 0.0);
  } catch (const std::bad_alloc&) {
    st.meas.ListGrowthFailed = true;
  }
}

void store(State& st, std::vector<double>& list, std::size_t k, double value) {
  // Only a channel enabled in the middle of a run can be behind the regular growth.
  if (k >= list.size()) grow(st, list, k + kInitialEntries);
  if (k < list.size()) list[k] = value;
}

template <typename Fn>
void for_each_list(MeasurementData& m, Fn fn) {
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      fn(m.RiseTimeInstantForHisto[b][c]);
      fn(m.FallTimeInstantForHisto[b][c]);
      fn(m.PeakAmplitudeForHisto[b][c]);
      fn(m.ComputedChargeForHisto[b][c]);
    }
  }
}

}  // namespace

void Free_MeasurementHistos(State& st) {
  for_each_list(st.meas, [](std::vector<double>& list) { std::vector<double>().swap(list); });
  std::vector<double>().swap(st.meas.ThresholdCrossingDistance);
  st.meas.NbOfValidTimes = 0;
  st.meas.ListGrowthFailed = false;
}

void Reset_RunSummary(State& st) {
  st.meas.AmplitudeSum = {};
  st.meas.ChargeSum = {};
  st.meas.MeasuredEvents = {};
}

void Prepare_MeasurementsForRun(State& st) {
  Reserve_MeasurementBuffers(st);
  if (!keeps_time_lists(st) && !keeps_charge_lists(st)) return;
  MeasurementData& m = st.meas;
  m.TimeHisto = TimeHistoResults{};
  m.TimeHistoPlotted = false;
  Free_MeasurementHistos(st);
  Init_ChargeHistos(st);
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (keeps_time_lists(st)) {
        grow(st, m.RiseTimeInstantForHisto[b][c], kInitialEntries);
        grow(st, m.FallTimeInstantForHisto[b][c], kInitialEntries);
        grow(st, m.PeakAmplitudeForHisto[b][c], kInitialEntries);
      }
      if (keeps_charge_lists(st)) grow(st, m.ComputedChargeForHisto[b][c], kInitialEntries);
    }
  }
  if (keeps_time_lists(st)) m.ThresholdCrossingDistance.reserve(kListGrowthStep);
  m.ThresholdCrossingDistri.fill(0);
  m.ThresholdCrossingAxis.fill(0.0);
  m.GaussFittedThresholdCrossingDistri.fill(0.0);
  st.ui.refresh_panel(Panel::TimeHistogram);
}

bool Measurements_Needed(const State& st) {
  return st.gui.DisplayTimeOnWaveforms == 1 ||
         (st.acq.SaveDataInFile == 1 && st.acq.MeasurementsEnabled == 1) ||
         st.acq.SaveMeasurementsInFile == 1 || keeps_time_lists(st) || keeps_charge_lists(st);
}

void Compute_EventMeasurements(State& st) {
  if (!Measurements_Needed(st)) return;
  MeasurementData& m = st.meas;
  EventResults& r = st.results;
  const int samples = st.sys.RecordLength;
  const bool time_lists = keeps_time_lists(st);
  const bool charge_lists = keeps_charge_lists(st);
  const int k = Run_EventCount(st) - 1;

  for (int b = 0; b < Run_NbOfBlocks(st); ++b) {
    const int nb_baseline = st.sam[b].ChargeNoBaseline == 1 ? 0 : kChargeBaselineSamples;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(st, b, c)) continue;
      float lead = -1.0f, trail = -1.0f, amplitude = 0.0f;
      Compute_TimeAndAmplitude(st, b, c, lead, trail, amplitude, 1);
      r.RiseTimeInstant[b][c] = lead;
      r.FallTimeInstant[b][c] = trail;
      r.AmplitudeValue[b][c] = amplitude;

      float baseline = 0.0f;
      const auto& w = st.event.FullyOrderedValues[b][c];
      r.ComputedCharge[b][c] =
          Compute_Charge(st, std::span<const float>(w.data(), w.size()), nb_baseline, samples,
                         st.sam[b].ChargeStartIndex[c], st.sam[b].ChargeLength[c], baseline);
      r.MeasuredBaseline[b][c] = baseline;
      m.AmplitudeSum[b][c] += amplitude;
      m.ChargeSum[b][c] += r.ComputedCharge[b][c];
      ++m.MeasuredEvents[b][c];

      if (k < 0) continue;
      const auto entry = static_cast<std::size_t>(k);
      if (time_lists) {
        store(st, m.RiseTimeInstantForHisto[b][c], entry, lead);
        store(st, m.PeakAmplitudeForHisto[b][c], entry, amplitude);
      }
      if (charge_lists) store(st, m.ComputedChargeForHisto[b][c], entry, r.ComputedCharge[b][c]);
    }
  }
}

void Grow_MeasurementLists(State& st) {
  const int events = Run_EventCount(st);
  if (events == 0 || events % kListGrowthStep != 0) return;
  MeasurementData& m = st.meas;
  const auto size = static_cast<std::size_t>(events) + kInitialEntries;
  for (int b = 0; b < Run_NbOfBlocks(st); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(st, b, c)) continue;
      if (keeps_time_lists(st)) {
        grow(st, m.RiseTimeInstantForHisto[b][c], size);
        grow(st, m.FallTimeInstantForHisto[b][c], size);
        grow(st, m.PeakAmplitudeForHisto[b][c], size);
      }
      if (keeps_charge_lists(st)) grow(st, m.ComputedChargeForHisto[b][c], size);
    }
  }
  if (keeps_time_lists(st)) {
    try {
      m.ThresholdCrossingDistance.reserve(static_cast<std::size_t>(st.EventNumber.load()) +
                                          kInitialEntries);
    } catch (const std::bad_alloc&) {
      m.ListGrowthFailed = true;
    }
  }
}

void Update_RunMeasurements(State& st) {
  if (!keeps_time_lists(st) && !keeps_charge_lists(st)) return;
  Grow_MeasurementLists(st);
  if (!Is_HistoRefreshEvent(st)) return;
  if (keeps_time_lists(st)) {
    Compute_TimeHisto(st);
    if (st.meas.NbOfValidTimes > 0) Compute_TimeHistoParameters(st, 1, 0);
  }
  if (keeps_charge_lists(st)) {
    Compute_SoftwareChargeHisto(st);
    Plot_ChargeHisto(st);
  }
}

void Finish_MeasurementsForRun(State& st) {
  if (keeps_time_lists(st)) {
    Compute_TimeHisto(st);
    if (st.meas.NbOfValidTimes > 0) Compute_TimeHistoParameters(st, 1, 1);
  }
  if (keeps_charge_lists(st)) {
    Compute_SoftwareChargeHisto(st);
    Plot_ChargeHisto(st);
  }
}

}  // namespace vx
