// Per-run measurement state: the per-event lists of a run, the charge and time-difference
// histograms, the spectra, the noise means and the work buffers of the measurements.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "app/event_data.h"
#include "app/params.h"
#include "platform/fft.h"

namespace vx {

inline constexpr int kMaxChargeHistoBins = 2000;
inline constexpr int kMaxTimeHistoBins = 1000;
inline constexpr int kLastDistancesKept = 100;
inline constexpr int kListGrowthStep = 200;

struct TimeHistoResults {
  double mean_ns = 0.0;
  double rms_ps = 0.0;
  int entries = 0;
  float fwhm_ps = 0.0f;
  bool fitted = false;  // the fit converged on the histogram as it stands (fitted curve valid)
  double fitted_centre_ns = 0.0;
  double fitted_sigma_ps = 0.0;
  double fitted_fwhm_ps = 0.0;
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
  // holds only measured entries (its capacity grows ahead of it); an empty list is absent.
  PerChannel<std::vector<double>> RiseTimeInstantForHisto{};
  PerChannel<std::vector<double>> FallTimeInstantForHisto{};
  PerChannel<std::vector<double>> PeakAmplitudeForHisto{};
  PerChannel<std::vector<double>> ComputedChargeForHisto{};
  std::int32_t ListEntries = 0;  // events measured into the lists this run
  bool ListGrowthFailed = false;
  // Set by a settings restart: the next loop start continues the run and keeps its lists.
  std::atomic<std::int32_t> ContinuingRun{0};

  // Sums over the run of each channel's amplitude (V) and charge (pC), for run summaries.
  PerChannel<double> AmplitudeSum{};
  PerChannel<double> ChargeSum{};
  PerChannel<std::int64_t>
      MeasuredEvents{};  // memory ran out; entries past a list's end are dropped

  // Time-difference histogram: accepted differences (ns) in event order, their count,
  // the histogram, its fitted curve and the strip-chart value.
  std::vector<double> ThresholdCrossingDistance;
  std::int32_t NbOfValidTimes = 0;
  std::array<std::int32_t, kMaxTimeHistoBins + 1> ThresholdCrossingDistri{};
  std::array<double, kMaxTimeHistoBins + 1> ThresholdCrossingAxis{};
  std::array<double, kMaxTimeHistoBins + 1> GaussFittedThresholdCrossingDistri{};
  std::array<double, kLastDistancesKept> LastMeanCrossingDistance{};
  double LastMeanDistance = 0.0;
  std::int64_t MeanDistancePoints = 0;  // strip-chart points produced since start-up
  bool TimeHistoPlotted = false;
  TimeHistoResults TimeHisto;

  // Charge histograms, software or firmware.
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

  // Work buffers reused by every measurement (sized at run setup, grown only when the
  // spline factor grows).
  std::vector<float> SplineValues;
  std::vector<float> NormalizedSplineValues;
  std::array<float, kMaxSamples + 8> NormalizedValues{};
  std::vector<double> ChargeScratch;
};

}  // namespace vx
