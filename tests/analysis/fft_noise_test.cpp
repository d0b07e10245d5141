#include "analysis/fft_noise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <tuple>
#include <vector>

#include "analysis/main_graph.h"
#include "measurement_setup.h"

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
  for (int k = 0; k < 1024; ++k) EXPECT_EQ(Spectrum_Db(st.meas.Spectra[0][0], k), kSpectrumFloorDb);

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

// The row of a spectrum in dB is bin for bin what Spectrum_Db gives, down to the bit: for
// records of any length (odd, tiny, a row longer than the record), magnitudes over the whole
// range of double and those with no logarithm, and values on float's rounding boundaries.
TEST(analysis_fft_noise, SpectrumRowIsBitForBitTheBinByBinValue) {
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-1074, 1023);
  constexpr double kSpecial[] = {0.0,
                                 -1.0,
                                 std::numeric_limits<double>::infinity(),
                                 std::numeric_limits<double>::quiet_NaN(),
                                 4.9e-324,
                                 1.7e308};
  int checked = 0;
  for (const auto& [samples, half, count] :
       {std::tuple{1024, 512, 1024}, {1023, 511, 1024}, {16, 8, 40}, {2, 1, 3}, {1024, 2, 512}}) {
    for (int trial = 0; trial < 40; ++trial) {
      ChannelSpectrum s;
      s.samples = samples;
      s.half = half;
      for (int k = 0; k <= samples / 2; ++k) {
        double& m = s.magnitude[k];
        switch (trial % 4) {
          case 0:  // what a record of counts gives
            m = unit(rng) * 1e6;
            break;
          case 1:  // anywhere in double's range
            m = std::ldexp(0.5 + 0.5 * unit(rng), exponent(rng));
            break;
          case 2: {  // dB values halfway between two floats, where rounding is decided
            const auto f = static_cast<float>(unit(rng) * 200.0 - 100.0);
            const double mid = 0.5 * (static_cast<double>(f) + std::nextafter(f, 1e3f));
            m = half * std::pow(10.0, mid / 20.0);
            break;
          }
          default:
            m = kSpecial[k % std::size(kSpecial)];
        }
      }
      std::vector<float> row(static_cast<std::size_t>(count));
      Spectrum_DbValues(s, row);
      for (int k = 0; k < count; ++k, ++checked)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(row[k]),
                  std::bit_cast<std::uint32_t>(Spectrum_Db(s, k)))
            << "bin " << k << " of " << samples << ", magnitude "
            << s.magnitude[k <= samples / 2 ? k : samples - k];
    }
  }
  EXPECT_GT(checked, 100000);
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
  EXPECT_NEAR(st.MeanSigmaForStripChart[1].load(), previous * 0.00061 * 1000.0, 1e-6);
  EXPECT_EQ(Update_MeanSigma(3.0f, 7.0f, 0), 7.0f);  // right after a reset
}

}  // namespace
}  // namespace vx
