#include "analysis/fft_noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/main_graph.h"
#include "measurement_setup.h"
#include "support/test_state.h"

namespace vx {
namespace {

// A sine of amplitude A counts on bin 64 of a 1024-sample record reads 20 log10(A) dB
// there: the magnitude A * 512 is divided by 1024 / 2. The main graph's spectrum axis holds
// every bin of the largest signals the ADC gives: a full-scale sine, and a baseline offset
// to the top of the range.
TEST(analysis_fft_noise, SpectrumIsNormalisedByHalfTheRecord) {
  test::MeasurementCore core;
  State& st = core.st;
  st.sys.NbOfSAMBlocks = 3;
  st.gui.ChannelEnabled[3] = 0;
  const auto sine = [](Samples& w, double amplitude, int bin) {
    for (int j = 0; j < 1024; ++j)
      w[j] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * bin * j / 1024.0));
  };
  const double amplitude = 250.0;
  sine(st.event.FullyOrderedValues[1][0], amplitude, 64);
  sine(st.event.FullyOrderedValues[1][1], amplitude, 64);
  st.meas.Spectra[1][1].magnitude.fill(1.0);
  st.event.FullyOrderedValues[0][0].fill(0.0f);  // zero magnitude everywhere
  sine(st.event.FullyOrderedValues[0][1], 2047.0, 100);
  st.event.FullyOrderedValues[2][0].fill(2047.0f);

  Compute_FFT(st, Freeze_RunConfig(st), st.event);
  const ChannelSpectrum& spectrum = st.meas.Spectra[1][0];
  EXPECT_NEAR(Spectrum_Db(spectrum, 64), 20.0 * std::log10(amplitude), 1e-3);
  EXPECT_NEAR(Spectrum_Db(spectrum, 1024 - 64), 20.0 * std::log10(amplitude), 1e-3);
  EXPECT_LT(Spectrum_Db(spectrum, 100), -100.0f);
  EXPECT_EQ(Spectrum_Db(spectrum, 1024), 0.0f);         // past the record
  EXPECT_EQ(st.meas.Spectra[1][1].magnitude[64], 1.0);  // disabled channel untouched
  for (int k = 0; k < 1024; ++k) {
    const float v = Spectrum_Db(st.meas.Spectra[0][0], k);
    ASSERT_TRUE(std::isfinite(v));
    EXPECT_EQ(v, kSpectrumFloorDb);
  }

  st.gui.GraphMode = kGraphFft;
  Compute_MainGraphParameters(st);
  const GraphAxes axes = main_graph_axes(st.gui);
  for (const ChannelSpectrum* full_scale : {&st.meas.Spectra[0][1], &st.meas.Spectra[2][0]}) {
    float top = kSpectrumFloorDb;
    for (int k = 0; k < 512; ++k) top = std::max(top, Spectrum_Db(*full_scale, k));
    EXPECT_GT(top, 60.0f);
    EXPECT_LE(top, axes.y_max);
  }
}

TEST(analysis_fft_noise, WaveformSigmaOverTheWindow) {
  const std::vector<float> w{9, 2, 4, 4, 4, 5, 5, 7, 9, 100};
  EXPECT_FLOAT_EQ(Compute_WaveformSigma(w, 1, 8), 2.0f);
  EXPECT_EQ(Compute_WaveformSigma(w, 4, 4), 0.0f);    // one sample
  EXPECT_EQ(Compute_WaveformSigma(w, 6, 2), 0.0f);    // reversed
  EXPECT_GT(Compute_WaveformSigma(w, 0, 500), 0.0f);  // past the end: cut
}

// Up to the 99th event after a reset the mean is arithmetic; from the 100th on each event
// weighs 1/100. The 100th event still equals the arithmetic mean of the 100, the 101st no
// longer does.
TEST(analysis_fft_noise, RunningMeanSwitchesFormAtTheHundredthEvent) {
  test::MeasurementCore core;
  State& st = core.st;
  st.sys.NbOfSAMBlocks = 1;
  st.StartSigmaSample = 0;
  st.EndSigmaSample = 1;
  Reset_MeanSigma(st, -1);
  double sum = 0.0;
  float previous = 0.0f;
  for (int event = 1; event <= 101; ++event) {
    const float sigma = static_cast<float>(event);  // samples +-sigma around 0
    auto& w = st.event.FullyOrderedValues[0][1];
    w[0] = sigma, w[1] = -sigma;
    st.meas.EventNumberForSigma = event;
    Compute_NoiseMeasurement(st, Freeze_RunConfig(st), st.event);
    sum += sigma;
    const float mean = st.meas.MeanSigma[0][1].load();
    if (event <= 100)
      ASSERT_NEAR(mean, sum / event, 1e-3) << event;
    else
      EXPECT_NEAR(mean, (sigma + 99.0 * previous) / 100.0, 1e-3);
    previous = mean;
  }
  EXPECT_NE(previous, static_cast<float>(sum / 101));
  EXPECT_NEAR(st.MeanSigmaForStripChart[1].load(), previous * 0.00061 * 1000.0, 1e-6);
  EXPECT_EQ(Update_MeanSigma(3.0f, 7.0f, 0), 7.0f);  // right after a reset
}

}  // namespace
}  // namespace vx
