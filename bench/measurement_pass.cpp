// The per-event measurement pass on a full board: 16 channels of 1024 samples, spline
// with 5 points per sample, constant fraction, charge, per-run lists, on one thread and on
// two, and on one thread with the band-limited edge timing, side by side under the same
// machine load.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "analysis/fft_noise.h"
#include "analysis/measurement_pass.h"
#include "app/state.h"
#include "platform/null_front_end.h"

namespace {

// Records every front-end call away; the pass itself makes none.

struct Bench {
  vx::NullFrontEnd ui;
  vx::SystemClock clock;
  vx::ThreadPool pool;
  vx::State st{ui, clock, pool};
};

void configure(vx::State& st) {
  st.sys.NbOfSAMBlocks = 8;
  st.sys.RecordLength = 1024;
  st.acq.NbOfBinsForSpline = 5;
  st.acq.NbOfBinsForBaseline = 32;
  st.acq.CFDMethod = 1;
  st.acq.CFDRatio = 0.5f;
  st.acq.NoMaxPeakThresholdDistance = 1;
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.gui.DisplayModulo = 100;
  for (int ch = 0; ch < vx::kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 1;
  for (auto& block : st.sam) {
    block.ChargeStartIndex[0] = block.ChargeStartIndex[1] = 17;
    block.ChargeLength[0] = block.ChargeLength[1] = 1005;
  }
  // Pulses with noise, a different position on every channel.
  for (int b = 0; b < vx::kMaxSamBlocks; ++b) {
    for (int c = 0; c < vx::kChannelsPerBlock; ++c) {
      auto& w = st.event.FullyOrderedValues[b][c];
      const double centre = 300.0 + 23.7 * (2 * b + c);
      const double sign = c == 0 ? -1.0 : 1.0;
      for (int i = 0; i < 1024; ++i) {
        const double z = (i - centre) / 4.0;
        w[i] = static_cast<float>(sign * 800.0 * std::exp(-0.5 * z * z) + 3.0 * std::sin(i * 1.3));
      }
    }
  }
}

void run_pass(benchmark::State& state, int threads,
              vx::EdgeTiming timing = vx::EdgeTiming::kStandard) {
  auto bench = std::make_unique<Bench>();
  vx::State& st = bench->st;
  configure(st);
  st.acq.TimeMeasSpareOption = static_cast<std::int32_t>(timing);
  const vx::RunConfig cfg = vx::Freeze_RunConfig(st);
  vx::Prepare_MeasurementsForRun(st, st, cfg);
  int event = 0;
  for (auto _ : state) {
    st.EventNumber = ++event;
    vx::Compute_EventMeasurements(st, st.pool, cfg, st.event, threads);
    vx::Grow_MeasurementLists(st, st.log, cfg);
    benchmark::DoNotOptimize(st.results.RiseTimeInstant[7][1]);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_MeasurementPass(benchmark::State& state) {
  run_pass(state, 1);
}
// Two threads: what the parallel stage gives on two cores (it is used by default from four).
void BM_MeasurementPassParallel(benchmark::State& state) {
  run_pass(state, 2);
}
// The same pass with the band-limited edge timing in place of the spline's.
void BM_MeasurementPassBandLimited(benchmark::State& state) {
  run_pass(state, 1, vx::EdgeTiming::kBandLimited);
}
// Wall time: the parallel pass's work on pool threads is not the benchmark thread's CPU time.
BENCHMARK(BM_MeasurementPass)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_MeasurementPassParallel)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_MeasurementPassBandLimited)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The spectra of the same 16 channels: the magnitudes of the bins a real record has, the dB
// worked out only for the events shown (one in 100, the default display modulo) or saved.
void spectra(benchmark::State& state, int shown_every) {
  auto bench = std::make_unique<Bench>();
  vx::State& st = bench->st;
  configure(st);
  long event = 0;
  float sum = 0.0f;
  const vx::RunConfig cfg = vx::Freeze_RunConfig(st);
  for (auto _ : state) {
    vx::Compute_FFT(st, cfg, st.event);
    if (++event % shown_every == 0)
      for (const auto& block : st.meas.Spectra)
        for (const auto& s : block) {
          std::array<float, 1024> db;
          vx::Spectrum_DbValues(s, db);
          sum += db[1] + db[1023];
        }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations());
}
void BM_Spectra(benchmark::State& state) {
  spectra(state, 100);
}
// Every event in dB too, as a run saving its spectra does (on the writer's thread).
void BM_SpectraAllInDb(benchmark::State& state) {
  spectra(state, 1);
}
BENCHMARK(BM_Spectra)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectraAllInDb)->Unit(benchmark::kMicrosecond);

}  // namespace
