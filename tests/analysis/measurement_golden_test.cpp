// The measurement pass against its frozen predecessor: every value it produces (times,
// amplitudes, charges, baselines, spectra, the run's lists) must be the same bits, on
// events of the simulated board and on waveforms built to stress the shortcuts. And the
// pass spread over threads must give exactly what it gives on one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "acquisition/run_control.h"
#include "analysis/fft_noise.h"
#include "analysis/measurement_pass.h"
#include "analysis/time_amplitude.h"
#include "measurement_setup.h"
#include "reference/reference_measurement_pass.h"
#include "support/sim_core.h"
#include "support/test_state.h"

namespace vx {
namespace {

struct Variant {
  const char* name;
  int spline;         // PerformSplineInterp
  int bins;           // NbOfBinsForSpline
  int cfd;            // CFDMethod
  float ratio;        // CFDRatio
  int baseline_bins;  // NbOfBinsForBaseline
  int no_limit;       // NoMaxPeakThresholdDistance
  float limit_ns;     // MaxPeakThresholdDistance
  int peak_interp;    // PeakInterp
};

constexpr Variant kVariants[] = {
    {"cfd, spline 5", 1, 5, 1, 0.5f, 32, 1, 5.0f, 1},
    {"cfd 0.3, spline 4, distance limit", 1, 4, 1, 0.3f, 20, 0, 2.0f, 1},
    {"fixed threshold, spline 5, no peak interpolation", 1, 5, 0, 0.5f, 32, 0, 3.0f, 0},
    {"cfd, spline 7, baseline past the record", 1, 7, 1, 0.7f, 5000, 1, 5.0f, 1},
    {"cfd without spline", 0, 5, 1, 0.5f, 32, 1, 5.0f, 1},
};

void configure(State& st, const Variant& v, int record_length) {
  test::set_measurement_defaults(st);
  st.sys.RecordLength = record_length;
  st.meas.PerformSplineInterp = v.spline;
  st.meas.PeakInterp = v.peak_interp;
  st.acq.NbOfBinsForSpline = v.bins;
  st.acq.CFDRatio = v.ratio;
  st.acq.NbOfBinsForBaseline = v.baseline_bins;
  st.acq.NoMaxPeakThresholdDistance = v.no_limit;
  st.acq.MaxPeakThresholdDistance = v.limit_ns;
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.acq.FFTMode = 1;
  st.gui.DisplayModulo = 1 << 30;  // no histogram refresh
  if (v.cfd == 0) Set_FixedThresholdTiming(st, -0.03);
  st.acq.CFDMethod = v.cfd;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    st.sam[b].ChargeNoBaseline = b % 2;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      // Windows of different lengths, one reaching past the record.
      st.sam[b].ChargeStartIndex[c] = 17 + 3 * c + b;
      st.sam[b].ChargeLength[c] = static_cast<std::uint16_t>(b == 7 ? 2000 : 1005 - 40 * b - c);
      if (v.cfd == 0 && (b + c) % 3 == 0) {  // positive thresholds and rising edges too
        st.acq.PulseThreshold[b][c] = 0.02f * 1638.0f;
        st.acq.PulseEdge[b][c] = c;
      }
    }
  }
  st.gui.ChannelEnabled[5] = 0;  // a gap in the channel list
  Prepare_MeasurementsForRun(st);
}

bool same_bits(float a, float b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
bool same_span(const RunList<float>& a, const RunList<float>& b) {
  return a.first() == b.first() && a.size() == b.size();
}

// Reference and production pass side by side under one variant.
struct Pair {
  test::TestCore ref, prod;
  std::unique_ptr<reference::Spectra> ref_spectra = std::make_unique<reference::Spectra>();
  const Variant& variant;
  bool spectra = true;  // the spectrum does not depend on the variant's settings
  long compared = 0;
  long mismatches = 0;
  std::string first_mismatch;

  Pair(const Variant& v, int record_length) : variant(v) {
    configure(ref.state, v, record_length);
    configure(prod.state, v, record_length);
  }

  void note(const char* what, int b, int c, int k, double want, double got) {
    if (mismatches++ > 0) return;
    std::ostringstream out;
    out.precision(17);
    out << variant.name << ": " << what << " block " << b << " channel " << c << " [" << k
        << "] reference " << want << " production " << got;
    first_mismatch = out.str();
  }

  void measure(const DecodedEvent& event, int event_number) {
    for (State* st : {&ref.state, &prod.state}) {
      st->event.FullyOrderedValues = event.FullyOrderedValues;
      st->EventNumber = event_number;
    }
    reference::Compute_EventMeasurements(ref.state);
    Compute_EventMeasurements(prod.state, 1);
    if (spectra) {
      reference::Compute_FFT(ref.state, *ref_spectra);
      Compute_FFT(prod.state);
    }
    Grow_MeasurementLists(ref.state);
    Grow_MeasurementLists(prod.state);
    compare_results();
  }

  void compare_results() {
    const EventResults& a = ref.state.results;
    const EventResults& b = prod.state.results;
    for (int bl = 0; bl < kMaxSamBlocks; ++bl) {
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        const struct {
          const char* what;
          float want, got;
        } values[] = {{"leading time", a.RiseTimeInstant[bl][c], b.RiseTimeInstant[bl][c]},
                      {"trailing time", a.FallTimeInstant[bl][c], b.FallTimeInstant[bl][c]},
                      {"amplitude", a.AmplitudeValue[bl][c], b.AmplitudeValue[bl][c]},
                      {"charge", a.ComputedCharge[bl][c], b.ComputedCharge[bl][c]},
                      {"baseline", a.MeasuredBaseline[bl][c], b.MeasuredBaseline[bl][c]}};
        for (const auto& v : values) {
          ++compared;
          if (!same_bits(v.want, v.got)) note(v.what, bl, c, 0, v.want, v.got);
        }
        // The production pass keeps magnitudes; what is shown and saved of them is the
        // reference's spectrum in dB, bin for bin.
        const auto& fa = ref_spectra->db[bl][c];
        const ChannelSpectrum& fb = prod.state.meas.Spectra[bl][c];
        for (int k = 0; k < kMaxSamples; ++k) {
          ++compared;
          const float db = Spectrum_Db(fb, k);
          if (!same_bits(fa[k], db)) note("spectrum bin", bl, c, k, fa[k], db);
        }
      }
    }
  }

  void compare_lists() {
    const MeasurementData& a = ref.state.meas;
    const MeasurementData& b = prod.state.meas;
    for (int bl = 0; bl < kMaxSamBlocks; ++bl) {
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        const struct {
          const char* what;
          const RunList<float>& want;
          const RunList<float>& got;
        } lists[] = {
            {"rise list", a.RiseTimeInstantForHisto[bl][c], b.RiseTimeInstantForHisto[bl][c]},
            {"amplitude list", a.PeakAmplitudeForHisto[bl][c], b.PeakAmplitudeForHisto[bl][c]},
            {"charge list", a.ComputedChargeForHisto[bl][c], b.ComputedChargeForHisto[bl][c]}};
        for (const auto& l : lists) {
          if (!same_span(l.want, l.got)) {
            note(l.what, bl, c, -1, static_cast<double>(l.want.size()),
                 static_cast<double>(l.got.size()));
            continue;
          }
          for (std::size_t k = l.want.first(); k < l.want.size(); ++k)
            if (!same_bits(l.want[k], l.got[k]))
              note(l.what, bl, c, static_cast<int>(k), l.want[k], l.got[k]);
        }
      }
    }
  }
};

sim::SimConfig varied_board() {
  sim::SimConfig config;
  config.seed = 21;
  config.trigger_rate_hz = 20000.0;
  for (int ch = 0; ch < 16; ++ch) {
    auto& s = config.channel[ch];
    s.pulse_amplitude_mv = 40.0 + 60.0 * ch;
    s.pulse_polarity = ch % 3 == 1 ? sim::PulsePolarity::kPositive : sim::PulsePolarity::kNegative;
    s.pulse_delay_ns = 20.0 + 17.0 * ch;
    s.pulse_rise_ns = 0.5 + 0.3 * (ch % 4);
    s.pulse_fall_ns = 2.0 + ch;
    s.pulse_jitter_ps = 50.0;
    s.noise_mv = 0.3 + 0.4 * (ch % 5);
  }
  config.channel[6].input = sim::InputKind::kNone;  // noise only
  config.channel[9].input = sim::InputKind::kSine;  // no pulse at all
  config.channel[12].pulse_delay_ns = 300.0;        // past the record at 3.2 GS/s
  return config;
}

TEST(MeasurementGolden, SimulatedEventsGiveTheReferenceBits) {
#ifdef NDEBUG
  constexpr int kEvents = 2000;
#else
  constexpr int kEvents = 250;  // unoptimised sanitizer builds: a shorter series
#endif
  test::SimCore sim("V1743", varied_board());
  sim.connect();
  State& st = sim.st;
  st.acq.DisplayOn = 1;  // every event reaches the display hook below
  const int length = st.sys.RecordLength;
  std::vector<std::unique_ptr<Pair>> pairs;
  for (const Variant& v : kVariants) {
    pairs.push_back(std::make_unique<Pair>(v, length));
    pairs.back()->spectra = pairs.size() == 1;
  }
  int seen = 0;
  // Runs on the acquisition thread, after the event is decoded.
  st.hooks.compute_display = [&] {
    ++seen;
    for (auto& p : pairs) p->measure(st.event, seen);
  };
  Set_RunType(st, 1, kEvents);
  const int generation = st.AcquisitionGeneration.load();
  ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
  ASSERT_TRUE(wait_for_flag(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      900.0));
  EXPECT_EQ(seen, kEvents);
  for (auto& p : pairs) {
    p->compare_lists();
    EXPECT_GT(p->compared, 0);
    EXPECT_EQ(p->mismatches, 0) << p->first_mismatch;
    // The comparison is not vacuous: pulses were found and timed.
    long timed = 0;
    for (const auto& block : p->prod.state.meas.RiseTimeInstantForHisto)
      for (const auto& list : block)
        for (std::size_t k = list.first(); k < list.size(); ++k) timed += list[k] > 0.0f;
    EXPECT_GT(timed, 4L * kEvents) << p->variant.name;
  }
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

TEST(MeasurementGolden, StressShapesGiveTheReferenceBits) {
  for (const Variant& v : kVariants) {
    Pair p(v, kMaxSamples);
    for (int ch = 0; ch < kMaxChannels; ++ch) {
      p.ref.state.gui.ChannelEnabled[ch] = 1;
      p.prod.state.gui.ChannelEnabled[ch] = 1;
    }
    auto event = std::make_unique<DecodedEvent>();
    for (int seed = 1; seed <= 40; ++seed) {
      fill_stress(*event, seed);
      p.measure(*event, seed);
    }
    p.compare_lists();
    EXPECT_EQ(p.mismatches, 0) << p.first_mismatch;
  }
}

// The same events through the pass on one thread and spread over four: the results, the
// run's sums and its lists come out identical, event after event.
TEST(MeasurementGolden, ParallelPassEqualsSerialPass) {
  const Variant& v = kVariants[0];
  test::TestCore serial, parallel;
  configure(serial.state, v, kMaxSamples);
  configure(parallel.state, v, kMaxSamples);
  auto event = std::make_unique<DecodedEvent>();
  long differences = 0;
  for (int n = 1; n <= 300; ++n) {
    fill_stress(*event, 1000 + n);
    for (State* st : {&serial.state, &parallel.state}) {
      st->event.FullyOrderedValues = event->FullyOrderedValues;
      st->EventNumber = n;
    }
    Compute_EventMeasurements(serial.state, 1);
    Compute_EventMeasurements(parallel.state, 4);
    Grow_MeasurementLists(serial.state);
    Grow_MeasurementLists(parallel.state);
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
        ASSERT_TRUE(same_span(la, lb));
        for (std::size_t k = la.first(); k < la.size(); ++k)
          EXPECT_TRUE(same_bits(la[k], lb[k])) << bl << " " << c << " " << k;
      }
    }
  }
}

}  // namespace
}  // namespace vx
