#include <gtest/gtest.h>

#include <cmath>

#include "sim/signal_model.h"
#include "support/sim_core.h"

namespace vx {
namespace {

// Pulses of known amplitude and delay go through the whole chain: simulated board, library
// corrections, readout, decoding and the measurements, and must come back as configured.
struct Measured {
  double amplitude_a, amplitude_b;  // V, run means
  double mean_ns, rms_ps;
  int entries;
};

// The board's own timing besides the pulses: its noise and how far its time tables miss.
struct Board {
  double noise_mv = 0.5;
  double inl_table_error_ps = 2.0;
  EdgeTiming timing = EdgeTiming::kStandard;
  int events = 600;
};

Measured run_two_pulses(double amplitude_mv, double delay_a_ns, double delay_b_ns, double jitter_ps,
                        const Board& board = {}) {
  sim::SimConfig config;
  config.seed = 7;
  config.factory_inl_error_ps = board.inl_table_error_ps;
  for (auto& ch : config.channel) {
    ch.pulse_amplitude_mv = amplitude_mv;
    ch.pulse_jitter_ps = jitter_ps;
    ch.pulse_delay_ns = delay_a_ns;
    ch.noise_mv = board.noise_mv;
  }
  config.channel[3].pulse_delay_ns = delay_b_ns;
  test::SimCore sim("DT5743", config);
  sim.connect();
  State& st = sim.st;
  st.acq.EnTimeJitter = 1;
  st.acq.TimeHistoChannelA = 0;
  st.acq.TimeHistoChannelB = 3;
  st.acq.TimeMeasSpareOption = static_cast<std::int32_t>(board.timing);
  // A sanitizer build on a busy machine is slow; the sums are read once the loop has ended.
  EXPECT_TRUE(test::run_events(st, board.events));
  const auto& m = st.meas;
  return {m.AmplitudeSum[0][0] / static_cast<double>(m.MeasuredEvents[0][0]),
          m.AmplitudeSum[1][1] / static_cast<double>(m.MeasuredEvents[1][1]), m.TimeHisto.mean_ns,
          m.TimeHisto.rms_ps, m.TimeHisto.entries};
}

TEST(MeasurementAccuracy, AmplitudeAndDelayComeBackAsConfigured) {
  const Measured r = run_two_pulses(300.0, 40.0, 52.5, 20.0);
  EXPECT_NEAR(r.amplitude_a, -0.300, 0.003);
  EXPECT_NEAR(r.amplitude_b, -0.300, 0.003);
  EXPECT_GE(r.entries, 590);
  // d = t(channel A) - t(channel B): A's pulse comes 12.5 ns earlier.
  EXPECT_NEAR(r.mean_ns, 40.0 - 52.5, 0.010);
}

TEST(MeasurementAccuracy, TimeDifferenceSpreadTracksTheJitter) {
  const Measured quiet = run_two_pulses(200.0, 30.0, 35.0, 0.0);
  const Measured noisy = run_two_pulses(200.0, 30.0, 35.0, 60.0);
  EXPECT_LT(quiet.rms_ps, 20.0);
  const double expected = std::sqrt(2.0) * 60.0;
  EXPECT_NEAR(noisy.rms_ps, std::hypot(expected, quiet.rms_ps), 0.15 * expected);
}

// What noise allows a threshold crossing on two channels: each one's noise (the configured
// noise and the ADC's rounding) over the edge's steepest slope, the constant fraction adding
// its share of the amplitude's noise.
double two_channel_noise_bound_ps(double amplitude_mv, double noise_mv, double fraction) {
  const sim::PulseShape shape(1.0, 5.0);
  double steepest = 0.0;  // per ps
  for (double t = -2000.0; t < 2000.0; t += 1.0)
    steepest = std::max(steepest, std::fabs(double{shape.at(t + 0.5)} - shape.at(t - 0.5)));
  const double lsb_mv = 0.61;
  const double sigma_mv = std::hypot(noise_mv, lsb_mv / std::sqrt(12.0));
  return std::sqrt(2.0) * std::hypot(1.0, fraction) * sigma_mv / (amplitude_mv * steepest);
}

// Each edge timing, on pulses with no jitter: the mean time difference does not move as one
// pulse steps through a sample (within 1 ps), and its spread stays within 1.2 times what the
// noise allows when the time tables are exact.
TEST(MeasurementAccuracy, EdgeTimingHasNoBiasWithinASampleAndReachesTheNoiseBound) {
  const double bound = two_channel_noise_bound_ps(200.0, 0.5, 0.5);
  for (const EdgeTiming timing : {EdgeTiming::kStandard, EdgeTiming::kBandLimited}) {
    const std::string name = EdgeTiming_Name(timing);
    double lowest = 1e9, highest = -1e9;
    for (int step = 0; step < 5; ++step) {
      const double delay_b = 30.0 + 0.3125 * step / 5.0;
      const Measured r = run_two_pulses(200.0, 30.0, delay_b, 0.0,
                                        {.noise_mv = 0.0, .timing = timing, .events = 300});
      const double bias_ps = 1000.0 * (r.mean_ns - (30.0 - delay_b));
      lowest = std::min(lowest, bias_ps);
      highest = std::max(highest, bias_ps);
    }
    EXPECT_LT(highest - lowest, 1.0) << name;
    const Measured r = run_two_pulses(
        200.0, 30.0, 30.1, 0.0, {.inl_table_error_ps = 0.0, .timing = timing, .events = 2000});
    EXPECT_LT(r.rms_ps, 1.2 * bound) << name << ": bound " << bound << " ps";
  }
}

// With 20 ps of jitter on each pulse the band-limited timing measures sqrt(2) x 20 ps
// combined with its own resolution, within 2 %.
TEST(MeasurementAccuracy, BandLimitedTimingMeasuresTheJitterItIsGiven) {
  const Board board{.timing = EdgeTiming::kBandLimited, .events = 12000};
  const Measured quiet = run_two_pulses(200.0, 30.0, 35.0, 0.0, board);
  const Measured jittered = run_two_pulses(200.0, 30.0, 35.0, 20.0, board);
  EXPECT_NEAR(jittered.rms_ps, std::hypot(std::sqrt(2.0) * 20.0, quiet.rms_ps),
              0.02 * std::sqrt(2.0) * 20.0);
}

}  // namespace
}  // namespace vx
