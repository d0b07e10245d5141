#include "analysis/measurement_pass.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <span>
#include <thread>

#include "analysis/channel_measurement.h"
#include "analysis/charge.h"
#include "analysis/histo_ranges.h"
#include "analysis/measurement_context.h"
#include "analysis/time_amplitude.h"
#include "analysis/time_histogram.h"
#include "app/message_log.h"
#include "app/run_from_file.h"

namespace vx {

namespace {

constexpr int kChargeBaselineSamples = 16;

bool keeps_time_lists(const AcqParams& acq) {
  return acq.EnTimeJitter == 1;
}
bool keeps_charge_lists(const AcqParams& acq) {
  return acq.EnSoftwareChargeHisto == 1;
}

constexpr float kNotMeasured = std::numeric_limits<float>::quiet_NaN();

// Entry k of a list: the entries of events where the channel was off read NaN. Memory
// running out drops the entry (the readers take a missing entry for an unmeasured one).
void store(RunState& st, RunList<float>& list, std::size_t k, float value) {
  try {
    list.resize(k, kNotMeasured);
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
      fn(m.PeakAmplitudeForHisto[b][c]);
      fn(m.ComputedChargeForHisto[b][c]);
    }
  }
}

// The lists the run keeps for channel (b, c).
template <typename Fn>
void for_each_kept_list(RunState& st, const AcqParams& acq, int b, int c, Fn fn) {
  MeasurementData& m = st.meas;
  if (keeps_time_lists(acq)) {
    fn(m.RiseTimeInstantForHisto[b][c]);
    fn(m.PeakAmplitudeForHisto[b][c]);
  }
  if (keeps_charge_lists(acq)) fn(m.ComputedChargeForHisto[b][c]);
}

// Room for the next entry of a list that is up to date.
void reserve_next(RunState& st, RunList<float>& list) {
  if (list.size() != static_cast<std::size_t>(st.meas.ListEntries)) return;
  try {
    list.reserve_next();
  } catch (const std::bad_alloc&) {
    st.meas.ListGrowthFailed = true;
  }
}

}  // namespace

void Free_MeasurementHistos(RunState& st) {
  MeasurementData& m = st.meas;
  for_each_list(m, [](RunList<float>& list) { list.release(); });
  m.ListEntries = 0;
  m.NbOfValidTimes = 0;
  m.ListGrowthFailed = false;
  m.ListCapTold = false;
  m.TimeHistoBuild = HistoBuild{};
  m.RecentDistancesTaken = 0;
  for (auto& block : m.ChargeHistoBuild) block.fill(HistoBuild{});
}

void Reset_RunSummary(RunState& st) {
  st.meas.AmplitudeSum = {};
  st.meas.ChargeSum = {};
  st.meas.MeasuredEvents = {};
  st.meas.ContinuingRun = 0;
  st.run.AcquisitionSeconds = 0.0;
  st.run.SavingQueueWaitSeconds = 0.0;
  st.run.SavingQueueWaits = 0;
}

void Prepare_MeasurementsForRun(RunState& st, FrontEndLinks& links, const RunConfig& cfg) {
  MeasurementData& m = st.meas;
  // A restart after a settings change goes on with the same run: its lists and histograms
  // stay.
  const bool continuing = m.ContinuingRun.exchange(0) == 1;
  Init_HistoRanges(st, cfg, continuing);
  if (!keeps_time_lists(cfg.acq) && !keeps_charge_lists(cfg.acq)) return;
  if (!continuing) {
    m.TimeHisto = TimeHistoResults{};
    m.TimeHistoPlotted = false;
    Free_MeasurementHistos(st);
    Init_ChargeHistos(st, cfg);
  }
  const auto cap = static_cast<std::size_t>(std::max<std::int64_t>(m.ListEntriesKept.load(), 1));
  for_each_list(m, [cap](RunList<float>& list) { list.set_cap(cap); });
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      if (Is_ChannelEnabled(cfg, b, c))
        for_each_kept_list(st, cfg.acq, b, c,
                           [&](RunList<float>& list) { reserve_next(st, list); });
  // A run that goes on keeps showing its histogram until the next refresh.
  if (continuing) return;
  m.ThresholdCrossingDistri.fill(0);
  m.ThresholdCrossingAxis.fill(0.0);
  m.GaussFittedThresholdCrossingDistri.fill(0.0);
  links.ui.refresh_panel(Panel::TimeHistogram);
}

bool Measurements_Needed(const RunConfig& cfg) {
  return cfg.gui.DisplayTimeOnWaveforms == 1 ||
         (cfg.acq.SaveDataInFile == 1 && cfg.acq.MeasurementsEnabled == 1) ||
         cfg.acq.SaveMeasurementsInFile == 1 || keeps_time_lists(cfg.acq) ||
         keeps_charge_lists(cfg.acq);
}

namespace {

// One event's channels, measured in `parts` contiguous groups, each on its own thread.
struct EventChannels {
  EventJobs in;
  std::array<ChannelResult, kMaxChannels> results{};
  std::size_t parts = 1;
};

void measure_group(void* context, std::size_t part) {
  auto& e = *static_cast<EventChannels*>(context);
  const std::size_t first = e.in.count * part / e.parts;
  const std::size_t last = e.in.count * (part + 1) / e.parts;
  Measure_Channels(e.in.settings,
                   std::span<const ChannelJob>(e.in.jobs.data() + first, last - first),
                   std::span<ChannelResult>(e.results.data() + first, last - first));
}

// Each channel's results into the event's, in channel order; with sums, the run's amplitude
// and charge sums too.
void write_results(const EventJobs& in, const ChannelResult* results, EventResults& r,
                   MeasurementData* sums) {
  for (std::size_t i = 0; i < in.count; ++i) {
    const int b = in.block[i], c = in.channel[i];
    const ChannelResult& res = results[i];
    r.RiseTimeInstant[b][c] = res.leading;
    r.FallTimeInstant[b][c] = res.trailing;
    r.AmplitudeValue[b][c] = res.amplitude;
    r.ComputedCharge[b][c] = res.charge;
    r.MeasuredBaseline[b][c] = res.baseline;
    if (sums == nullptr) continue;
    sums->AmplitudeSum[b][c] += res.amplitude;
    sums->ChargeSum[b][c] += res.charge;
    ++sums->MeasuredEvents[b][c];
  }
}

// Fewer channels than this per thread cost more in hand-over than they save.
constexpr std::size_t kChannelsPerThread = 4;

}  // namespace

// Handing an event's channels over to other threads costs tens of microseconds, about what
// the whole pass takes: on two cores, whose second one reads out and decodes the next
// events, one thread measures faster (16 channels: 52 us serial against 71 us on two
// threads). With four cores or more, half of them measure. VELTRIX_MEASUREMENT_THREADS
// (1 to 16) overrides the choice.
int Measurement_Threads() {
  if (const char* forced = std::getenv("VELTRIX_MEASUREMENT_THREADS")) {
    const int n = std::atoi(forced);
    if (n >= 1 && n <= 16) return n;
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores >= 4 ? static_cast<int>(std::min(cores / 2, 4u)) : 1;
}

void Collect_EventJobs(const RunState& st, const RunConfig& cfg, const DecodedEvent& event,
                       EventJobs& e) {
  e.settings = Snapshot_MeasurementSettings(st, cfg);
  e.count = 0;
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    const int nb_baseline = cfg.sam[b].ChargeNoBaseline == 1 ? 0 : kChargeBaselineSamples;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(cfg, b, c)) continue;
      ChannelJob& job = e.jobs[e.count];
      job = ChannelJob{};
      job.waveform = event.FullyOrderedValues[b][c].data();
      job.threshold = cfg.acq.PulseThreshold[b][c];
      job.edge = cfg.acq.PulseEdge[b][c];
      job.charge_baseline_samples = nb_baseline;
      job.charge_start = cfg.sam[b].ChargeStartIndex[c];
      job.charge_length = cfg.sam[b].ChargeLength[c];
      e.block[e.count] = b;
      e.channel[e.count] = c;
      ++e.count;
    }
  }
}

void Measure_EventJobs(const EventJobs& in, EventResults& r, MeasurementData* sums) {
  std::array<ChannelResult, kMaxChannels> results{};
  Measure_Channels(in.settings, std::span<const ChannelJob>(in.jobs.data(), in.count),
                   std::span<ChannelResult>(results.data(), in.count));
  write_results(in, results.data(), r, sums);
}

bool Measurements_OnlyForMeasurementFile(const RunConfig& cfg) {
  return cfg.acq.SaveMeasurementsInFile == 1 && !cfg.replaying() &&
         cfg.gui.DisplayTimeOnWaveforms == 0 &&
         !(cfg.acq.SaveDataInFile == 1 && cfg.acq.MeasurementsEnabled == 1) &&
         !keeps_time_lists(cfg.acq) && !keeps_charge_lists(cfg.acq);
}

void Compute_EventMeasurements(RunState& st, ThreadPool& pool, const RunConfig& cfg,
                               const DecodedEvent& event) {
  Compute_EventMeasurements(st, pool, cfg, event, Measurement_Threads());
}

void Compute_EventMeasurements(RunState& st, ThreadPool& pool, const RunConfig& cfg,
                               const DecodedEvent& event, int threads) {
  if (!Measurements_Needed(cfg)) return;
  MeasurementData& m = st.meas;
  EventResults& r = st.results;
  const bool time_lists = keeps_time_lists(cfg.acq);
  const bool charge_lists = keeps_charge_lists(cfg.acq);
  const auto entry = static_cast<std::size_t>(m.ListEntries);

  EventChannels e;
  Collect_EventJobs(st, cfg, event, e.in);
  // The groups only read the event and write their own results; everything shared is
  // written below, on this thread, in channel order.
  const auto most = (e.in.count + kChannelsPerThread - 1) / kChannelsPerThread;
  e.parts = std::clamp<std::size_t>(static_cast<std::size_t>(std::max(threads, 1)), 1,
                                    std::max<std::size_t>(most, 1));
  if (e.parts > 1) {
    pool.run_batch(e.parts, measure_group, &e);
  } else {
    measure_group(&e, 0);
  }

  write_results(e.in, e.results.data(), r, &m);
  for (std::size_t i = 0; i < e.in.count; ++i) {
    const int b = e.in.block[i], c = e.in.channel[i];
    const ChannelResult& res = e.results[i];
    if (time_lists) {
      store(st, m.RiseTimeInstantForHisto[b][c], entry, res.leading);
      store(st, m.PeakAmplitudeForHisto[b][c], entry, res.amplitude);
    }
    if (charge_lists) store(st, m.ComputedChargeForHisto[b][c], entry, res.charge);
  }
  if (time_lists || charge_lists) ++m.ListEntries;
}

void Grow_MeasurementLists(RunState& st, MessageLog& log, const RunConfig& cfg) {
  MeasurementData& m = st.meas;
  std::size_t full_at = 0;  // the cap of a list that let entries go
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!Is_ChannelEnabled(cfg, b, c)) continue;
      for_each_kept_list(st, cfg.acq, b, c, [&](RunList<float>& list) {
        reserve_next(st, list);
        if (list.dropped()) full_at = list.cap();
      });
    }
  }
  if (full_at > 0 && !m.ListCapTold) {
    m.ListCapTold = true;
    char text[200];
    std::snprintf(text, sizeof text,
                  "The per-run lists now keep the last %llu events only: the histograms go on "
                  "counting every event, within their present ranges.\n",
                  static_cast<unsigned long long>(full_at));
    Write_InfoMessage(log, text, 0);
  }
}

void Update_RunMeasurements(Settings& settings, RunState& st, FrontEndLinks& links,
                            const RunConfig& cfg) {
  if (!keeps_time_lists(cfg.acq) && !keeps_charge_lists(cfg.acq)) return;
  Grow_MeasurementLists(st, links.log, cfg);
  const bool refresh = Is_HistoRefreshEvent(settings, st, cfg);
  if (keeps_time_lists(cfg.acq)) {
    if (refresh) {
      Refresh_TimeHisto(st, links, cfg, false);
      if (st.meas.NbOfValidTimes > 0) Compute_TimeHistoParameters(st, links, cfg, 1, 0);
    } else {
      Update_TimeHisto(st, links.log, cfg);
    }
  }
  if (keeps_charge_lists(cfg.acq)) {
    if (refresh) {
      Refresh_SoftwareChargeHistos(st, cfg, false);
      Plot_ChargeHisto(links);
    } else {
      Update_SoftwareChargeHistos(st, cfg);
    }
  }
}

void Finish_MeasurementsForRun(RunState& st, FrontEndLinks& links, const RunConfig& cfg) {
  if (keeps_time_lists(cfg.acq)) {
    Refresh_TimeHisto(st, links, cfg, true);
    if (st.meas.NbOfValidTimes > 0) Compute_TimeHistoParameters(st, links, cfg, 1, 1);
  }
  if (keeps_charge_lists(cfg.acq)) {
    Refresh_SoftwareChargeHistos(st, cfg, true);
    Plot_ChargeHisto(links);
  }
}

}  // namespace vx
