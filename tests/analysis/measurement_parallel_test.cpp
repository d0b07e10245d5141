// The measurement pass spread over threads gives exactly what it gives on one, on waveforms
// built to stress its shortcuts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

#include "analysis/measurement_pass.h"
#include "measurement_setup.h"
#include "support/test_state.h"

namespace vx {
namespace {

// Constant fraction on a spline with 5 points per sample, charge windows of different
// lengths (one reaching past the record), baselines subtracted on every other block.
void configure(State& st) {
  test::set_measurement_defaults(st);
  st.sys.RecordLength = kMaxSamples;
  st.meas.PerformSplineInterp = 1;
  st.meas.PeakInterp = 1;
  st.acq.NbOfBinsForSpline = 5;
  st.acq.CFDMethod = 1;
  st.acq.CFDRatio = 0.5f;
  st.acq.NbOfBinsForBaseline = 32;
  st.acq.NoMaxPeakThresholdDistance = 1;
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.gui.DisplayModulo = 1 << 30;  // no histogram refresh
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    st.sam[b].ChargeNoBaseline = b % 2;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      st.sam[b].ChargeStartIndex[c] = 17 + 3 * c + b;
      st.sam[b].ChargeLength[c] = static_cast<std::uint16_t>(b == 7 ? 2000 : 1005 - 40 * b - c);
    }
  }
  st.gui.ChannelEnabled[5] = 0;  // a gap in the channel list
  Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
}

template <typename T>
bool same_bits(T a, T b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Shapes where the shortcuts could go wrong: extremes between samples, ties, flat and
// constant stretches, extremes at the ends, values the bounds cannot cover.
void fill_stress(DecodedEvent& event, int seed) {
  std::mt19937 rng(static_cast<unsigned>(seed));
  std::normal_distribution<double> noise(0.0, 1.0);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    auto& w = event.FullyOrderedValues[ch / 2][ch % 2];
    const double level = 50.0 * (seed % 5) - 100.0;
    for (int i = 0; i < kMaxSamples; ++i) w[i] = static_cast<float>(level + noise(rng));
    switch (ch) {
      case 0:  // flat
        std::fill(w.begin(), w.end(), static_cast<float>(level));
        break;
      case 1:  // a step: the spline overshoots beyond every sample
        for (int i = 400; i < kMaxSamples; ++i) w[i] = static_cast<float>(level + 500.0);
        break;
      case 2:  // a plateau of equal maxima
        for (int i = 300; i < 310; ++i) w[i] = static_cast<float>(level + 300.0);
        break;
      case 3:  // extreme on the first sample
        w[0] = static_cast<float>(level - 700.0);
        break;
      case 4:  // extreme on the last samples
        w[kMaxSamples - 1] = w[kMaxSamples - 2] = static_cast<float>(level + 900.0);
        break;
      case 5:  // a sample that is not a number
        test::fill_gaussian(w, level, -400.0, 500.0, 3.0);
        w[100] = std::numeric_limits<float>::quiet_NaN();
        break;
      case 6:  // too large for the bounds
        test::fill_gaussian(w, 0.0, 3e30, 200.0, 2.0);
        break;
      case 7:  // a stretch lying exactly on a fixed threshold (-0.03 V)
        for (int i = 100; i < 140; ++i) w[i] = -0.03f * 1638.0f;
        test::fill_gaussian(w, level, -300.0, 600.0 + seed, 2.5);
        break;
      case 8:  // one-sample spikes of both signs
        w[200] = static_cast<float>(level + 250.0);
        w[700] = static_cast<float>(level - 250.0);
        break;
      case 9:  // a sine crossing its own baseline many times
        for (int i = 0; i < kMaxSamples; ++i)
          w[i] = static_cast<float>(level + 200.0 * std::sin(0.7 * i));
        break;
      default:  // pulses with noise, either sign, anywhere (edges included)
        test::fill_gaussian(w, level, (ch % 2 ? 1.0 : -1.0) * (20.0 + 90.0 * (ch - 9)),
                            (seed * 97 + ch * 131) % kMaxSamples, 1.0 + 0.7 * (ch % 4));
        for (int i = 0; i < kMaxSamples; ++i) w[i] += static_cast<float>(noise(rng));
    }
  }
}

// The same events through the pass on one thread and spread over four: the results, the
// run's sums and its lists come out identical, event after event.
TEST(MeasurementPass, ParallelPassEqualsSerialPass) {
  test::TestCore serial, parallel;
  configure(serial.state);
  configure(parallel.state);
  auto event = std::make_unique<DecodedEvent>();
  long differences = 0;
  for (int n = 1; n <= 300; ++n) {
    fill_stress(*event, 1000 + n);
    for (const auto& [st, threads] : {std::pair{&serial.state, 1}, {&parallel.state, 4}}) {
      st->event.FullyOrderedValues = event->FullyOrderedValues;
      st->EventNumber = n;
      Compute_EventMeasurements(*st, st->pool, Freeze_RunConfig(*st), st->event, threads);
      Grow_MeasurementLists(*st, st->log, Freeze_RunConfig(*st));
    }
    const EventResults& a = serial.state.results;
    const EventResults& b = parallel.state.results;
    differences += std::memcmp(&a, &b, sizeof a) != 0;
  }
  EXPECT_EQ(differences, 0);
  const MeasurementData& a = serial.state.meas;
  const MeasurementData& b = parallel.state.meas;
  EXPECT_EQ(a.ListEntries, 300);
  EXPECT_EQ(b.ListEntries, 300);
  for (int bl = 0; bl < kMaxSamBlocks; ++bl) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      EXPECT_TRUE(same_bits(a.AmplitudeSum[bl][c], b.AmplitudeSum[bl][c]));
      EXPECT_TRUE(same_bits(a.ChargeSum[bl][c], b.ChargeSum[bl][c]));
      for (auto list :
           {&MeasurementData::RiseTimeInstantForHisto, &MeasurementData::PeakAmplitudeForHisto,
            &MeasurementData::ComputedChargeForHisto}) {
        const auto& la = (a.*list)[bl][c];
        const auto& lb = (b.*list)[bl][c];
        ASSERT_TRUE(la.first() == lb.first() && la.size() == lb.size());
        for (std::size_t k = la.first(); k < la.size(); ++k)
          EXPECT_TRUE(same_bits(la[k], lb[k])) << bl << " " << c << " " << k;
      }
    }
  }
}

}  // namespace
}  // namespace vx
