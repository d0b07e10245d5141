// Per-run measurement state: the per-event lists of a run, the charge and time-difference
// histograms, the spectra, the noise means and the work buffers of the measurements.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "app/event_data.h"
#include "app/params.h"
#include "app/run_list.h"
#include "platform/fft.h"
#include "platform/numeric.h"

namespace vx {

inline constexpr int kMaxChargeHistoBins = 2000;
inline constexpr int kMaxTimeHistoBins = 1000;
inline constexpr int kLastDistancesKept = 100;
// Events whose entries the per-run lists keep by default: with 16 channels and both the
// time and the charge lists (12 bytes per channel and event), about 40 MB.
inline constexpr std::int64_t kDefaultListEntriesKept = 200000;

struct TimeHistoResults {
  double mean_ns = 0.0;
  double rms_ps = 0.0;
  int entries = 0;
  float fwhm_ps = 0.0f;
  bool fitted = false;  // the fit converged on the histogram as it stands (fitted curve valid)
  double fitted_centre_ns = 0.0;
  double fitted_sigma_ps = 0.0;
  double fitted_fwhm_ps = 0.0;
  // The fit's quality over the bins it was fitted on, from the first bin's centre to the
  // last one's.
  double chi2 = 0.0;
  int ndf = 0;
  double fit_from_ps = 0.0, fit_to_ps = 0.0;
};

// What a histogram built from the per-run lists has taken so far: the entries up to
// next_entry, their statistics, and the extremes its automatic range was cut from. A new
// value beyond those extremes counts where the present bins hold it and marks the range
// stale; the histogram is then rebuilt from the lists, at most once per eighth of growth of
// the run (or at its end), so that rebuilds cost a constant per event whatever the run's
// length. Like the lists, written by the acquisition thread while its loop runs and by the
// user-interface thread while it is stopped (between runs, or inside a settings restart).
struct HistoBuild {
  bool built = false;
  std::int64_t next_entry = 0;
  std::int64_t rebuilt_at = 0;  // list entries when last rebuilt from the lists
  RunningStats stats;
  double range_min = 0.0;
  double range_max = 0.0;
  bool range_stale = false;
  HistogramBins bins;
};

// The settings a time-difference histogram was built with; a change rebuilds it.
struct TimeHistoSettings {
  int channel_a = 0, channel_b = 0;
  int exclude_pulses = 0;
  float min_distance = 0.0f, max_distance = 0.0f;
  int exclude_below = 0;
  float min_amplitude = 0.0f;
  int exclude_above = 0;
  float max_amplitude = 0.0f;
  int auto_bins = 0, auto_range = 0;
  double manual_min = 0.0, manual_max = 0.0;  // when the range is not automatic
  int manual_bins = 0;                        // when the bin count is not automatic
  bool operator==(const TimeHistoSettings&) const = default;
};

// The range and bin count a run's time-difference histogram is cut into, as the records
// hold them (TimeHistoMin, TimeHistoMax in ns, TimeHistoNbOfBins).
struct TimeHistoBounds {
  double min = -100.0, max = 100.0;
  std::int32_t bins = 100;
  bool operator==(const TimeHistoBounds&) const = default;
};

// A channel's charge range (pC), as the records hold it (ChargeHistoMin, ChargeHistoMax): the
// firmware histogram's range, and the charges' cut when the channel's cut is on.
struct ChargeBounds {
  float min = -50.0f, max = 50.0f;
  bool operator==(const ChargeBounds&) const = default;
};

// The settings a software charge histogram was built with.
struct ChargeHistoSettings {
  int bins = 0;
  int cut = 0;
  float cut_min = 0.0f, cut_max = 0.0f;  // when cut
  bool operator==(const ChargeHistoSettings&) const = default;
};

// The spectrum of one channel of the current event: the magnitudes of the bins a real
// record of n samples has (k = 0 ... n/2; the others mirror them). They are turned into
// decibels only where a spectrum is shown, saved or sent (Spectrum_Db).
struct ChannelSpectrum {
  std::array<double, kMaxSamples / 2 + 1> magnitude{};
  int samples = 0;  // n of the record transformed; 0 before the first
  int half = 0;     // the decibel reference, RecordLength / 2
};

struct MeasurementData {
  // Options the user toggles at any time, also during a run; not kept in setup files.
  std::atomic<std::int32_t> PerformSplineInterp{1};
  std::atomic<std::int32_t> PeakInterp{1};
  std::atomic<std::int32_t> EnableExcludePulses{0};
  std::atomic<std::int32_t> ResetChargeHisto{0};

  // Per-event lists of the run: entry k belongs to the k-th measured event of the run, across
  // restarts and whatever the event numbers; NaN where the channel was not measured. A list
  // holds only measured entries, and only the latest ListEntriesKept of them (RunList); an
  // empty list is absent. The values are the measurements as they came, in single precision.
  PerChannel<RunList<float>> RiseTimeInstantForHisto{};
  PerChannel<RunList<float>> PeakAmplitudeForHisto{};
  PerChannel<RunList<float>> ComputedChargeForHisto{};
  std::int64_t ListEntries = 0;  // events measured into the lists this run
  bool ListGrowthFailed = false;
  bool ListCapTold = false;  // the log said this run that the lists keep their latest entries
  // The cap of the lists (events), taken at each run setup; the user may change it.
  std::atomic<std::int64_t> ListEntriesKept{kDefaultListEntriesKept};
  // Set by a settings restart: the next loop start continues the run and keeps its lists.
  std::atomic<std::int32_t> ContinuingRun{0};

  // Sums over the run of each channel's amplitude (V) and charge (pC), for run summaries.
  PerChannel<double> AmplitudeSum{};
  PerChannel<double> ChargeSum{};
  PerChannel<std::int64_t>
      MeasuredEvents{};  // memory ran out; entries past a list's end are dropped

  // Time-difference histogram: the count of accepted differences (ns), the histogram, its
  // fitted curve and the strip-chart value. The differences themselves are not kept: the
  // histogram takes them event by event and a rebuild derives them from the lists again.
  std::int32_t NbOfValidTimes = 0;
  // The histogram's range and bins: the run's own, taken from its settings as it starts and
  // moved by the automatic range. The loop posts a change to the records
  // (Post_HistoRanges); TimeHistoRangeInRecords is what it takes the records to hold: theirs
  // as the loop started, then what it posted.
  TimeHistoBounds TimeHistoRange;
  TimeHistoBounds TimeHistoRangeInRecords;
  TimeHistoSettings TimeHistoBuiltWith;
  HistoBuild TimeHistoBuild;
  // The latest accepted differences, oldest overwritten first (a ring), and how many of
  // them are valid.
  std::array<double, kLastDistancesKept> RecentDistances{};
  std::int64_t RecentDistancesTaken = 0;
  std::array<std::int32_t, kMaxTimeHistoBins + 1> ThresholdCrossingDistri{};
  std::array<double, kMaxTimeHistoBins + 1> ThresholdCrossingAxis{};
  std::array<double, kMaxTimeHistoBins + 1> GaussFittedThresholdCrossingDistri{};
  std::array<double, kLastDistancesKept> LastMeanCrossingDistance{};
  double LastMeanDistance = 0.0;
  std::int64_t MeanDistancePoints = 0;  // strip-chart points produced since start-up
  bool TimeHistoPlotted = false;
  TimeHistoResults TimeHisto;

  // Charge histograms, software or firmware; the software ones are built from the lists.
  // The ranges are the run's own, like the time histogram's (the firmware's automatic range
  // moves them).
  PerChannel<ChargeBounds> ChargeRange{};
  PerChannel<ChargeBounds> ChargeRangeInRecords{};
  PerChannel<ChargeHistoSettings> ChargeHistoBuiltWith{};
  PerChannel<HistoBuild> ChargeHistoBuild{};
  PerChannel<std::array<std::int32_t, kMaxChargeHistoBins>> ChargeDataDistri{};
  PerChannel<std::array<std::int32_t, kMaxChargeHistoBins>> ChargeDataDistriPerEvent{};
  PerChannel<std::array<double, kMaxChargeHistoBins>> ChargeDataAxis{};
  PerChannel<double> ChargeMean{};
  PerChannel<double> ChargeSigma{};
  PerChannel<double> MinChargeValue{};
  PerChannel<double> MaxChargeValue{};
  PerChannel<std::int32_t> NbOfValidChargeWords{};
  // Firmware charges of the current event, filled by the readout.
  PerChannel<std::vector<double>> ChargeDataValues{};
  // Firmware mode, automatic range: every charge so far had one value, so the range is only
  // provisional; the readout does not cut on it and the first different charge sets it.
  PerChannel<std::uint8_t> ChargeRangePending{};

  // Spectrum of the current event.
  PerChannel<ChannelSpectrum> Spectra{};
  FftPlanCache FftPlans;

  // Noise: last sigma and running mean sigma per channel (ADC counts), events since the
  // last reset.
  PerChannel<float> Sigma{};
  PerChannel<std::atomic<float>> MeanSigma{};
  std::atomic<std::int32_t> EventNumberForSigma{0};
};

}  // namespace vx
