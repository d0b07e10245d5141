#include "web/monitor_copies.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "acquisition/acquisition_loop.h"
#include "analysis/main_graph.h"
#include "analysis/measurement_context.h"
#include "app/dac_conversions.h"
#include "app/record_loan.h"
#include "app/run_config.h"
#include "app/run_from_file.h"
#include "app/timer_tick.h"
#include "digitizer/board_configuration.h"
#include "platform/digitizer.h"

namespace vx {

namespace {

// "V1-3.8" from the connection's message "... Version is: V1-3.8.\n".
std::string version_of(const std::string& text) {
  std::string v = text.substr(text.rfind(':') == std::string::npos ? 0 : text.rfind(':') + 1);
  while (!v.empty() && (v.back() == '\n' || v.back() == '.' || v.back() == ' ')) v.pop_back();
  v.erase(0, v.find_first_not_of(' '));
  return v;
}

template <std::size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, text_length(field));
}

// What the data files of the run hold so far, and the one being written; left as they were
// when the writer holds the files at this moment (the next copy will see them).
void copy_files(const FileData& files, StatusCopy& s) {
  std::unique_lock lock(files.io_mutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  std::uint64_t bytes = 0;
  for (const ClosedFile& f : files.ClosedDataFiles) bytes += f.bytes;
  if (files.data.fd.valid()) {
    bytes += files.data.committed;
    s.data_file = files.data.path.string();
  }
  if (files.measurements.fd.valid()) bytes += files.measurements.committed;
  s.bytes_saved = bytes;
}

}  // namespace

void Decimate_Record(const float* samples, int count, int max_points, double scale,
                     std::vector<float>& min, std::vector<float>& max) {
  count = std::max(count, 0);
  const int points = std::min(count, std::max(max_points, 1));
  min.resize(static_cast<std::size_t>(points));
  max.resize(static_cast<std::size_t>(points));
  for (int p = 0; p < points; ++p) {
    // Bin p holds samples [p*count/points, (p+1)*count/points): every sample in one bin.
    const int from = static_cast<int>(static_cast<std::int64_t>(p) * count / points);
    const int to = static_cast<int>(static_cast<std::int64_t>(p + 1) * count / points);
    const auto [lo, hi] = std::minmax_element(samples + from, samples + to);
    min[p] = static_cast<float>(*lo * scale);
    max[p] = static_cast<float>(*hi * scale);
  }
}

StatusCopy Copy_Status(State& st) {
  StatusCopy s;
  const RecordsView records = Shown_Records(st);
  // A worker that holds the records writes them as it goes: the live switches are read
  // through their atomics only when no worker holds them, and from the copy shown otherwise.
  const bool lent = Records_Lent(st);
  const bool running = st.AcquisitionRunning.load() == 1 || st.RunEndPending.load() == 1;
  const bool ending =
      st.RestartPending.load() == 0 &&
      ((lent ? records.acq.StopRequest : st.StopRequest().load()) == 1 ||
       st.RunEndWanted.load() == 1 || st.LoopEnding.load() == 1 || st.RunEndPending.load() == 1);
  s.state = !running ? MonitorRunState::Idle
                     : (ending ? MonitorRunState::Stopping : MonitorRunState::Running);
  s.run_type = records.acq.RunType;
  s.replay = replaying(records.acq);
  s.events_required = records.acq.NbOfEventsRequired;
  s.duration_s = records.acq.RunType == kRunFiniteTime ? records.acq.RunDuration : 0.0;
  if (records.acq.SaveDataInFile == 1 || records.acq.SaveMeasurementsInFile == 1)
    s.run_directory = text_of(records.acq.RunDirectory);
  if (running && !lent) s.elapsed_s = Run_Seconds(st, st);
  s.events = st.NbOfEventsInRun.load();
  s.event_number = st.EventNumber.load();
  s.rate_hz = running ? st.EventRate : 0.0;
  s.connected = st.Board_Connected.load() == 1;
  copy_files(st.files, s);
  return s;
}

BoardCopy Copy_Board(const Settings& st, const BoardLink& link) {
  BoardCopy b;
  b.connected = link.Board_Connected.load() == 1;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    b.colours[ch] = channel_colour(ch);
    b.enabled[ch] = st.gui.ChannelEnabled[ch] != 0;
  }
  if (!b.connected) return b;
  BoardInfo info{};
  std::memcpy(&info, st.board.BoardInfo, sizeof info);
  b.model = std::string(info.ModelName, strnlen(info.ModelName, sizeof info.ModelName));
  b.link = link.SelectedModel == 0 ? "desktop" : (link.SelectedModel == 1 ? "VME" : "");
  b.channels = st.sys.NbOfChannels;
  const double period_ps = sampling_period_from_index(st.sam[0].FrequencyIndex);
  b.sampling_mhz = period_ps > 0.0 ? 1.0e6 / period_ps : 0.0;
  b.samples = st.sys.RecordLength;
  b.inl_correction = st.acq.INLCorrectionEnabled == 1;
  b.trigger_dac_offsets_measured = link.calib.TriggerDACsOffsetDone;
  b.board_serial = std::to_string(info.SerialNumber);
  b.motherboard_firmware = version_of(link.MotherBoardFirmware);
  b.daughterboard_firmware = version_of(link.DaughterBoardFirmware);
  const int blocks = std::clamp(int{st.sys.NbOfSAMBlocks}, 0, kMaxSamBlocks);
  for (int k = 0; k < blocks; ++k) {
    BlockCopy block;
    block.serial = std::to_string(st.sam[k].SerialNumberMajor) + "." +
                   std::to_string(st.sam[k].SerialNumberMinor);
    block.pedestals_held = link.calib.PedestalTableHeld[k];
    block.pedestals_in_use = link.calib.AppliedPedestalsValid[k];
    block.inl_held = link.calib.TimePedestalsHeld[k][0] && link.calib.TimePedestalsHeld[k][1];
    block.sam_dac_held = link.calib.SamDacCodesHeld[k];
    b.blocks.push_back(std::move(block));
  }
  return b;
}

ChannelValues Copy_ChannelValues(State& st) {
  ChannelValues v;
  const RecordsView records = Shown_Records(st);
  const bool lent = Records_Lent(st);  // the switches as Copy_Status reads them
  v.rates_tracked = (lent ? records.gui.RateMeasurementOn : st.RateMeasurementOn().load()) == 1;
  v.noise_tracked = (lent ? records.gui.NoiseMeasurementOn : st.NoiseMeasurementOn().load()) == 1;
  v.channels = std::clamp(int{records.sys.NbOfChannels}, 0, kMaxChannels);
  constexpr double kMvPerCount = kVoltsPerAdcCount * 1000.0;
  for (int ch = 0; ch < v.channels; ++ch) {
    const int b = ch / kChannelsPerBlock, c = ch % kChannelsPerBlock;
    // A rate is known once the run has counted one: the counters start at zero.
    const float rate = st.rates.RawTriggerRate[ch].load();
    if (v.rates_tracked && st.rates.TriggerRateUnit[ch].load() != 0) {
      v.rate_hz[ch] = rate;
      v.rate_error_hz[ch] = st.rates.RawTriggerRateError[ch].load();
    }
    if (v.noise_tracked && st.meas.EventNumberForSigma.load() > 0)
      v.mean_sigma_mv[ch] = st.meas.MeanSigma[b][c].load() * kMvPerCount;
  }
  return v;
}

EventCopy Copy_Event(State& st, const RunConfig& cfg, const DecodedEvent* event) {
  EventCopy e;
  e.has_event = event != nullptr;
  if (event != nullptr) {
    e.event_number = st.EventNumber.load();
    e.event_time_s = st.EventSeconds;
  }
  if (cfg.replaying()) e.replay_file = st.files.ReadingFilePath.string();
  e.acquisition_s = st.run.AcquisitionSeconds;
  const SaveRing::Waits waits = st.SavingQueue.waits();
  e.saving_queue_waits = st.run.SavingQueueWaits + waits.count;
  e.saving_queue_wait_s = st.run.SavingQueueWaitSeconds + waits.seconds;

  const double dt_ns = Measurement_SamplingPeriodPs(cfg.sam) / 1000.0;
  // The records are packed: their fields are copied, never bound to a reference.
  const int recorded = cfg.replaying() ? int{cfg.acq.NbOfSamplesInFile} : int{cfg.sys.RecordLength};
  const int samples = std::clamp(recorded, 0, kMaxSamples);
  if (event != nullptr && Event_HasSamples(cfg)) {
    for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        const int ch = b * kChannelsPerBlock + c;
        if (!cfg.replaying() && cfg.gui.ChannelEnabled[ch] == 0) continue;
        WaveformCopy w;
        w.channel = ch;
        Decimate_Record(event->FullyOrderedValues[b][c].data(), samples, kMaxMonitorPoints,
                        kVoltsPerAdcCount, w.min, w.max);
        w.dt_ns = w.min.empty() ? dt_ns : dt_ns * samples / static_cast<double>(w.min.size());
        e.waveforms.push_back(std::move(w));
      }
    }
  }

  const MeasurementData& m = st.meas;
  e.time_histogram_shown = cfg.acq.EnTimeJitter == 1;
  e.time_channels = {m.TimeHistoBuiltWith.channel_a, m.TimeHistoBuiltWith.channel_b};
  const int time_bins = e.time_histogram_shown ? std::clamp(static_cast<int>(m.TimeHistoRange.bins),
                                                            1, kMaxTimeHistoBins)
                                               : 0;
  HistogramCopy& t = e.time;
  t.centres.assign(m.ThresholdCrossingAxis.begin(), m.ThresholdCrossingAxis.begin() + time_bins);
  t.counts.assign(m.ThresholdCrossingDistri.begin(), m.ThresholdCrossingDistri.begin() + time_bins);
  t.entries = m.TimeHisto.entries;
  if (t.entries > 0) {
    t.mean = m.TimeHisto.mean_ns;
    t.spread = m.TimeHisto.rms_ps / 1000.0;
  }
  if (m.TimeHisto.fitted) {
    t.fit_mean = m.TimeHisto.fitted_centre_ns;
    t.fit_sigma = m.TimeHisto.fitted_sigma_ps / 1000.0;
  }

  e.charge_histograms_shown = cfg.acq.EnSoftwareChargeHisto == 1 || cfg.charge_mode();
  const int charge_bins = std::clamp(int{cfg.gui.ChargeHistoNbOfBins}, 1, kMaxChargeHistoBins);
  for (int b = 0; b < Run_NbOfBlocks(cfg); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      HistogramCopy h;
      h.channel = b * kChannelsPerBlock + c;
      h.counts.assign(m.ChargeDataDistri[b][c].begin(),
                      m.ChargeDataDistri[b][c].begin() + charge_bins);
      for (std::int64_t n : h.counts) h.entries += n;
      if (h.entries == 0) continue;
      h.centres.assign(m.ChargeDataAxis[b][c].begin(),
                       m.ChargeDataAxis[b][c].begin() + charge_bins);
      h.mean = m.ChargeMean[b][c];
      h.spread = m.ChargeSigma[b][c];
      e.charges.push_back(std::move(h));
    }
  }
  return e;
}

}  // namespace vx
