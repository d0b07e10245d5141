#include <gtest/gtest.h>

#include <cmath>

#include "acquisition/run_control.h"
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

Measured run_two_pulses(double amplitude_mv, double delay_a_ns, double delay_b_ns,
                        double jitter_ps) {
  sim::SimConfig config;
  config.seed = 7;
  for (auto& ch : config.channel) {
    ch.pulse_amplitude_mv = amplitude_mv;
    ch.pulse_jitter_ps = jitter_ps;
    ch.pulse_delay_ns = delay_a_ns;
  }
  config.channel[3].pulse_delay_ns = delay_b_ns;
  test::SimCore sim("DT5743", config);
  sim.connect();
  State& st = sim.st;
  st.acq.EnTimeJitter = 1;
  st.acq.TimeHistoChannelA = 0;
  st.acq.TimeHistoChannelB = 3;
  // A sanitizer build on a busy machine is slow; the sums are read once the loop has ended.
  EXPECT_TRUE(test::run_events(st, 600));
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
  // Two independent 20 ps jitters: 28 ps, plus what the board's own timing adds.
  EXPECT_GT(r.rms_ps, 24.0);
  EXPECT_LT(r.rms_ps, 40.0);
}

TEST(MeasurementAccuracy, TimeDifferenceSpreadTracksTheJitter) {
  const Measured quiet = run_two_pulses(200.0, 30.0, 35.0, 0.0);
  const Measured noisy = run_two_pulses(200.0, 30.0, 35.0, 60.0);
  EXPECT_LT(quiet.rms_ps, 20.0);
  const double expected = std::sqrt(2.0) * 60.0;
  EXPECT_NEAR(noisy.rms_ps, std::hypot(expected, quiet.rms_ps), 0.15 * expected);
  EXPECT_NEAR(noisy.mean_ns, 30.0 - 35.0, 0.010);
}

}  // namespace
}  // namespace vx
