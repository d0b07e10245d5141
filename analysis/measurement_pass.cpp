#include "analysis/measurement_pass.h"

#include <algorithm>
#include <limits>
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

constexpr double kNotMeasured = std::numeric_limits<double>::quiet_NaN();

// Makes room for `size` entries. Memory running out leaves the list as it is; entries past
// its capacity are then still tried one by one, and dropped when that fails too.
void reserve(State& st, std::vector<double>& list, std::size_t size) {
  if (list.capacity() >= size) return;
  try {
    list.reserve(size);
  } catch (const std::bad_alloc&) {
    st.meas.ListGrowthFailed = true;
  }
}

// Entry k of a list: the entries of events where the channel was off read NaN.
void store(State& st, std::vector<double>& list, std::size_t k, double value) {
  try {
    if (list.size() < k) list.resize(k, kNotMeasured);
    if (list.size() == k) list.push_back(value);
  } catch (const std::bad_alloc&) {
    st.meas.ListGrowthFailed = true;
  }
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
  st.meas.ListEntries = 0;
  st.meas.NbOfValidTimes = 0;
  st.meas.ListGrowthFailed = false;
}

void Reset_RunSummary(State& st) {
  st.meas.AmplitudeSum = {};
  st.meas.ChargeSum = {};
  st.meas.MeasuredEvents = {};
  st.meas.ContinuingRun = 0;
}

void Prepare_MeasurementsForRun(State& st) {
  Reserve_MeasurementBuffers(st);
  MeasurementData& m = st.meas;
  // A restart after a settings change goes on with the same run: its lists stay.
  const bool continuing = m.ContinuingRun.exchange(0) == 1;
  if (!keeps_time_lists(st) && !keeps_charge_lists(st)) return;
  if (!continuing) {
    m.TimeHisto = TimeHistoResults{};
    m.TimeHistoPlotted = false;
    Free_MeasurementHistos(st);
  }
  Init_ChargeHistos(st);
  const auto room = static_cast<std::size_t>(m.ListEntries) + kInitialEntries;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (keeps_time_lists(st)) {
        reserve(st, m.RiseTimeInstantForHisto[b][c], room);
        reserve(st, m.FallTimeInstantForHisto[b][c], room);
        reserve(st, m.PeakAmplitudeForHisto[b][c], room);
      }
      if (keeps_charge_lists(st)) reserve(st, m.ComputedChargeForHisto[b][c], room);
    }
  }
  if (keeps_time_lists(st)) m.ThresholdCrossingDistance.reserve(room);
  // A run that goes on keeps showing its histogram until the next rebuild.
  if (continuing) return;
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
  const auto entry = static_cast<std::size_t>(m.ListEntries);

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

      if (time_lists) {
        store(st, m.RiseTimeInstantForHisto[b][c], entry, lead);
        store(st, m.FallTimeInstantForHisto[b][c], entry, trail);
        store(st, m.PeakAmplitudeForHisto[b][c], entry, amplitude);
      }
      if (charge_lists) store(st, m.ComputedChargeForHisto[b][c], entry, r.ComputedCharge[b][c]);
    }
  }
  if (time_lists || charge_lists) ++m.ListEntries;
}

void Grow_MeasurementLists(State& st) {
  MeasurementData& m = st.meas;
  const int events = m.ListEntries;
  if (events == 0 || events % kListGrowthStep != 0) return;
  const auto size = static_cast<std::size_t>(events) + kInitialEntries;
  for (int b = 0; b < Run_NbOfBlocks(st); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(st, b, c)) continue;
      if (keeps_time_lists(st)) {
        reserve(st, m.RiseTimeInstantForHisto[b][c], size);
        reserve(st, m.FallTimeInstantForHisto[b][c], size);
        reserve(st, m.PeakAmplitudeForHisto[b][c], size);
      }
      if (keeps_charge_lists(st)) reserve(st, m.ComputedChargeForHisto[b][c], size);
    }
  }
  if (keeps_time_lists(st)) reserve(st, m.ThresholdCrossingDistance, size);
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
