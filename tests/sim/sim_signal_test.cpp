#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <vector>

#include "sim/signal_model.h"
#include "sim_fixture.h"

namespace vx::sim {
namespace {

using testing::OpenBoard;

struct Stats {
  double sum = 0, sum_sq = 0;
  long n = 0;
  void add(double v) {
    sum += v;
    sum_sq += v * v;
    ++n;
  }
  double mean() const { return sum / n; }
  double rms() const { return std::sqrt(sum_sq / n - mean() * mean()); }
};

// The mean of the first `n` samples, and the charge (pC into 50 ohm) of [start, end) above it.
std::pair<double, double> baseline_and_charge(std::span<const float> y, int n, int start, int end) {
  double base = 0, sum = 0;
  for (int k = 0; k < n; ++k) base += y[k] / n;
  for (int k = start; k < end; ++k) sum += y[k] - base;
  return {base, sum * 0.00061 * 312.5 / 50.0};
}

int physical_cell(const GroupEvent743& g, int k) {
  const int t = g.StartIndexCell;
  return (k + t - t % 16) & 1023;
}

struct LevelCase {
  int level;
  double offset_v;
  double mean;  // counts, relative to the true pedestal at level 0
  double mean_tolerance;
  double rms_low, rms_high;
};

TEST(SimSignalTest, PedestalsAndNoiseAtEachCorrectionLevel) {
  // 0.5 mV of noise is 0.82 counts; the ADC's rounding adds 0.29 counts in quadrature.
  const LevelCase cases[] = {
      {0, 0.0, 0.0, 0.1, 0.75, 1.0},     {1, 0.0, 0.0, 0.3, 0.75, 1.0},
      {3, 0.0, 0.0, 0.3, 0.55, 1.0},     {1, 0.1, 163.9, 0.4, 0.75, 1.0},
      {3, -0.5, -819.6, 0.4, 0.55, 1.0},
  };
  for (const auto& c : cases) {
    OpenBoard b("input = none\nregister_access_us = 0");
    const auto& truth = b.board->imperfections();
    ASSERT_EQ(b.board->SetSAMCorrectionLevel(b.handle, c.level), 0);
    for (std::uint32_t ch = 0; ch < 16; ++ch) {
      ASSERT_EQ(b.board->SetChannelDCOffset(b.handle, ch, testing::offset_code(c.offset_v)), 0);
    }
    ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    Stats s;
    Stats raw_spread;
    for (int e = 0; e < 20; ++e) {
      const Event743& ev = b.software_event();
      for (int ch = 0; ch < 16; ++ch) {
        const GroupEvent743& g = ev.DataGroup[ch / 2];
        for (int k = 0; k < 1024; ++k) {
          const double v = g.DataChannel[ch % 2][k];
          if (c.level == 0) {
            s.add(v - truth.pedestal[ch][physical_cell(g, k)]);
            raw_spread.add(v);
          } else {
            s.add(v);
          }
        }
      }
    }
    EXPECT_NEAR(s.mean(), c.mean, c.mean_tolerance) << "level " << c.level;
    EXPECT_GT(s.rms(), c.rms_low) << "level " << c.level;
    EXPECT_LT(s.rms(), c.rms_high) << "level " << c.level;
    if (c.level == 0) {
      // Raw samples sit near mid-scale with pedestals far wider than the noise.
      EXPECT_NEAR(raw_spread.mean(), 2048.0, 15.0);
      EXPECT_GT(raw_spread.rms(), 8.0);
    }
  }
}

// The pulse is smooth (a kink on the edge would bias every interpolation by a different
// amount at each position within a sample) and has the rise and fall it is given.
TEST(SimSignalTest, PulseShapeIsSmoothWithTheConfiguredEdges) {
  struct ShapeCase {
    double rise_ns, fall_ns;
  };
  for (const ShapeCase c : {ShapeCase{1.0, 5.0}, ShapeCase{0.5, 20.0}, ShapeCase{3.0, 4.0}}) {
    const PulseShape shape(c.rise_ns, c.fall_ns);
    constexpr double kStep = 1.0;  // ps
    double peak = 0.0, peak_t = 0.0, steepest = 0.0, largest_turn = 0.0, previous_slope = 0.0;
    std::vector<double> t, v;
    for (double x = shape.first_ps(); x < shape.last_ps(); x += kStep) {
      t.push_back(x);
      v.push_back(shape.at(x));
      if (v.back() > peak) peak = v.back(), peak_t = x;
      if (v.size() < 2) continue;
      const double slope = (v.back() - v[v.size() - 2]) / kStep;
      if (v.size() > 2) largest_turn = std::max(largest_turn, std::fabs(slope - previous_slope));
      steepest = std::max(steepest, std::fabs(slope));
      previous_slope = slope;
    }
    const auto first = [&](auto pred) {
      const std::size_t i =
          static_cast<std::size_t>(std::find_if(v.begin(), v.end(), pred) - v.begin());
      return t[std::min(i, t.size() - 1)];
    };
    const auto after_peak = [&](double level) {
      for (std::size_t i = 0; i < v.size(); ++i)
        if (t[i] > peak_t && v[i] <= level) return t[i];
      return t.back();
    };
    const std::string where =
        "rise " + std::to_string(c.rise_ns) + " fall " + std::to_string(c.fall_ns);
    EXPECT_NEAR(peak, 1.0, 1e-3) << where;
    EXPECT_NEAR(first([](double y) { return y >= 0.5; }), 0.0, 2.0) << where;
    EXPECT_NEAR(first([](double y) { return y >= 0.9; }) - first([](double y) { return y >= 0.1; }),
                1000.0 * c.rise_ns, 5.0)
        << where;
    EXPECT_NEAR(after_peak(0.1) - after_peak(0.9), 1000.0 * c.fall_ns, 5.0) << where;
    // The slope turns by a few thousandths of its largest value per table step; the old
    // edge-times-tail shape turned by a fifth of it at once where the tail began.
    EXPECT_LT(largest_turn, 0.02 * steepest) << where;
  }
}

// What the cells record is the pulse at their true times, and the INL correction with an
// exact table puts each sample back at its nominal time: the residuals, in time along the
// edge, are the ADC's rounding and nothing more.
TEST(SimSignalTest, SamplesLieOnThePulseAtTheirTrueTimesAndCorrectedOnTheGrid) {
  constexpr double kAmplitudeCounts = 1.0 / 0.00061;  // 1 V
  constexpr double kDelayPs = 100000.0;
  constexpr double kPeriodPs = 312.5;
  const PulseShape shape(1.0, 5.0);
  for (const int level : {1, 3}) {
    OpenBoard b(
        "register_access_us = 0\nnoise_mv = 0\nfactory_inl_error_ps = 0\n"
        "pulse.amplitude_mv = 1000\npulse.delay_ns = 100\npulse.polarity = negative");
    const auto& truth = b.board->imperfections();
    ASSERT_EQ(b.board->SetSAMCorrectionLevel(b.handle, level), 0);
    ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    Stats residual_ps;
    for (int e = 0; e < 30; ++e) {
      const Event743& ev = b.software_event();
      for (int ch = 0; ch < 16; ++ch) {
        const GroupEvent743& g = ev.DataGroup[ch / 2];
        const float* y = g.DataChannel[ch % 2].data();
        const int p0 = physical_cell(g, 0);
        double base = 0.0;
        for (int k = 0; k < 200; ++k) base += y[k] / 200.0;
        for (int k = 300; k < 340; ++k) {
          const double when =
              level == 3
                  ? k * kPeriodPs
                  : (k + truth.time_error[ch][physical_cell(g, k)] - truth.time_error[ch][p0]) *
                        kPeriodPs;
          const double slope =
              (shape.at(when - kDelayPs + 1.0) - shape.at(when - kDelayPs - 1.0)) / 2.0;
          if (std::fabs(slope) < 0.5e-3) continue;  // off the steep part of the edge
          const double expected = -kAmplitudeCounts * shape.at(when - kDelayPs);
          residual_ps.add((y[k] - base - expected) / (-kAmplitudeCounts * slope));
        }
      }
    }
    ASSERT_GT(residual_ps.n, 1000) << "level " << level;
    // Rounding to whole counts is 0.29 counts RMS, 0.25 ps here; the cells' pedestal table
    // adds 0.15 counts, and the correction's slope, which takes the neighbours as evenly
    // spaced, about 0.45 ps. A correction to first order left 2.4 ps.
    EXPECT_LT(std::fabs(residual_ps.mean()), 0.1) << "level " << level;
    EXPECT_LT(residual_ps.rms(), level == 1 ? 0.4 : 0.8) << "level " << level;
  }
}

struct DacCase {
  std::uint16_t reg2;
  std::uint8_t code_ch0;
  std::uint8_t code_ch1;
  double shift_ch0_mv;
  double shift_ch1_mv;
};

TEST(SimSignalTest, SamDacCodesMoveTheLineOffsetsOfTheirBlockOnly) {
  const DacCase cases[] = {
      {0xC081, 64 + 40, 40, 0.0, 0.0},                   // En_DAC clear: codes have no effect
      {0xC081 | 0x20, 64 + 20, 10, 5.0, -2.5},           // power-up word has DAC_LSB2
      {0xC001 | 0x20, 64 + 20, 10, 10.0, -5.0},          // both LSB bits clear: 0.5 mV
      {0xC001 | 0x20 | 0x80, 64 + 20, 10, 5.0, -2.5},    // DAC_LSB2: 0.25 mV
      {0xC001 | 0x20 | 0x40, 64 + 20, 10, 20.0, -10.0},  // DAC_LSB1: 1 mV
      {0xC001 | 0x20, 127, 63, 31.5, -31.5},             // the ends of the two halves
      {0xC001 | 0x20, 0, 0, 0.0, 0.0},
  };
  constexpr int kBlock = 1;
  for (const auto& c : cases) {
    OpenBoard b("input = none\nregister_access_us = 0\nnoise_mv = 0.3");
    const auto& truth = b.board->imperfections();
    ASSERT_EQ(b.board->SetSAMCorrectionLevel(b.handle, 0), 0);
    const std::uint32_t addr = 0x1084 + 0x100 * kBlock;
    const std::uint32_t data = 0x1028 + 0x100 * kBlock;
    ASSERT_EQ(b.board->WriteRegister(b.handle, addr, 0x2002), 0);
    ASSERT_EQ(b.board->WriteRegister(b.handle, data, c.reg2), 0);
    for (std::uint32_t line = 0; line < 16; ++line) {
      // Only line 5 moves, so the per-line structure is visible.
      const std::uint32_t a = line == 5 ? c.code_ch1 : 64;
      const std::uint32_t bb = line == 5 ? c.code_ch0 : 64;
      ASSERT_EQ(b.board->WriteRegister(b.handle, addr, 0x2010 + line), 0);
      ASSERT_EQ(b.board->WriteRegister(b.handle, data,
                                       a | ((a ^ 0x40) << 8) | (bb << 16) | ((bb ^ 0x40) << 24)),
                0);
    }
    ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    std::array<std::array<Stats, 16>, 4> line_shift;  // channels 0..3 (blocks 0 and 1)
    for (int e = 0; e < 10; ++e) {
      const Event743& ev = b.software_event();
      for (int ch = 0; ch < 4; ++ch) {
        const GroupEvent743& g = ev.DataGroup[ch / 2];
        for (int k = 0; k < 1024; ++k) {
          const int p = physical_cell(g, k);
          line_shift[ch][p % 16].add(g.DataChannel[ch % 2][k] - truth.pedestal[ch][p]);
        }
      }
    }
    const double mv = 1.0 / 0.61;
    EXPECT_NEAR(line_shift[2][5].mean(), c.shift_ch0_mv * mv, 0.3) << std::hex << c.reg2;
    EXPECT_NEAR(line_shift[3][5].mean(), c.shift_ch1_mv * mv, 0.3) << std::hex << c.reg2;
    EXPECT_NEAR(line_shift[2][4].mean(), 0.0, 0.3);
    EXPECT_NEAR(line_shift[0][5].mean(), 0.0, 0.3);  // the other block is untouched
  }
}

TEST(SimSignalTest, SineInputHasItsAmplitudeAndARandomPhase) {
  OpenBoard b(
      "input = sine\nsine.frequency_mhz = 190\nsine.amplitude_mv = 300\n"
      "register_access_us = 0");
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  Stats first_sample;
  for (int e = 0; e < 50; ++e) {
    const Event743& ev = b.software_event();
    const auto& y = ev.DataGroup[4].DataChannel[1];
    const auto [lo, hi] = std::minmax_element(y.begin(), y.end());
    EXPECT_NEAR(*hi, 300 / 0.61, 5.0);
    EXPECT_NEAR(*lo, -300 / 0.61, 5.0);
    first_sample.add(y[0]);
  }
  EXPECT_GT(first_sample.rms(), 150.0);  // the phase changes from event to event
}

TEST(SimSignalTest, FirmwareChargesAgreeWithTheWaveformsAndFollowTheBaselineOption) {
  OpenBoard b("model = DT5743\nregister_access_us = 0\nexternal_rate_hz = 20000\n");
  ASSERT_EQ(b.board->SetExtTriggerInputMode(b.handle, kTrgModeAcqOnly), 0);

  // Software charge over the default window (17, 1005), baseline of 16 samples.
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  Stats software;
  b.clock->advance(10e-3);
  ASSERT_EQ(b.board->SWStopAcquisition(b.handle), 0);
  const auto software_charge = [&](const Event743& ev) {
    software.add(baseline_and_charge(ev.DataGroup[1].DataChannel[0], 16, 17, 17 + 1005).second);
  };
  b.read_all(software_charge);
  ASSERT_GT(software.n, 30);

  ASSERT_EQ(b.board->SetSAMAcquisitionMode(b.handle, kAcqModeCharge), 0);
  ChargeEvents charges;
  std::uint32_t allocated = 0;
  ASSERT_EQ(b.board->MallocDPPEvents(b.handle, &charges, &allocated), 0);
  const auto read_charges = [&](std::array<std::uint32_t, 16>& counts) {
    EXPECT_EQ(b.board->SWStartAcquisition(b.handle), 0);
    b.clock->advance(5e-3);
    EXPECT_EQ(b.board->SWStopAcquisition(b.handle), 0);
    EXPECT_EQ(b.board->ReadData(b.handle, 0, &b.buffer), 0);
    std::uint32_t n = 0;
    EXPECT_EQ(b.board->GetNumEvents(b.handle, b.buffer, &n), 0);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(b.board->GetDPPEvents(b.handle, b.buffer, &charges, counts.data()), 0);
  };
  std::array<std::uint32_t, 16> counts{};
  read_charges(counts);
  EXPECT_GT(counts[0], 50u);
  EXPECT_EQ(counts[7], counts[0]);
  EXPECT_EQ(counts[8], 0u);  // the desktop model has 8 channels
  Stats firmware;
  const auto* bytes = reinterpret_cast<const unsigned char*>(charges.Channel[2]);
  for (std::uint32_t i = 0; i < counts[2]; ++i) {
    float q;
    std::memcpy(&q, bytes + 8 * i, 4);  // records 8 bytes apart, charge first
    firmware.add(q);
  }
  EXPECT_LT(firmware.mean(), -7.0);  // a 200 mV, 5 ns pulse into 50 ohm: about -11 pC
  EXPECT_GT(firmware.mean(), -15.0);
  EXPECT_NEAR(firmware.mean(), software.mean(), 0.02 * std::fabs(software.mean()) + 0.05);

  // Without baseline subtraction a +0.1 V offset adds 164 counts on each of 1005 samples.
  ASSERT_EQ(b.board->SetChannelDCOffset(b.handle, 2, testing::offset_code(0.1)), 0);
  ASSERT_EQ(b.board->WriteRegister(b.handle, 0x8070, 0x0D | 0x20), 0);
  read_charges(counts);
  Stats shifted;
  for (std::uint32_t i = 0; i < counts[2]; ++i) shifted.add(charges.Channel[2][i].Charge);
  EXPECT_NEAR(shifted.mean() - firmware.mean(), 163.9 * 1005 * 0.00061 * 312.5 / 50.0, 3.0);
  EXPECT_EQ(b.board->FreeDPPEvents(b.handle, &charges), 0);
  EXPECT_EQ(charges.Channel[0], nullptr);
}

TEST(SimSignalTest, EachChannelsDecodedChargeCoversItsOwnWindow) {
  // Windows shared by five channels, by two, and single ones, some cut by the record's end
  // or lying past it, so that channels summed side by side never borrow another's window.
  const std::array<int, 16> starts = {17,  17,  100, 17,  0,   17, 100, 17,
                                      480, 600, 3,   150, 150, 0,  140, 300};
  const std::array<int, 16> lengths = {400, 400, 50, 400, 512, 400, 50, 400,
                                       100, 10,  1,  200, 201, 0,   30, 212};
  OpenBoard b("register_access_us = 0\npulse.delay_ns = 45\nch6.pulse.delay_ns = 120");
  ChargeModeParams params;
  for (int c = 0; c < 16; ++c) {
    params.StartCell[c] = starts[c];
    params.Length[c] = static_cast<std::uint16_t>(lengths[c]);
  }
  params.BaselineSamples = 12;
  ASSERT_EQ(b.board->SetDPPParameters(b.handle, 0xFFFF, params), 0);
  ASSERT_EQ(b.board->SetRecordLength(b.handle, 512), 0);
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  for (int e = 0; e < 3; ++e) {
    const Event743& ev = b.software_event();
    for (int c = 0; c < 16; ++c) {
      const GroupEvent743& g = ev.DataGroup[c / 2];
      const auto [base, expected] = baseline_and_charge(g.DataChannel[c % 2], 12, starts[c],
                                                        std::min(starts[c] + lengths[c], 512));
      EXPECT_NEAR(g.Baseline[c % 2], base, 1e-3) << "channel " << c;
      EXPECT_NEAR(g.Charge[c % 2], expected, 1e-3 + 1e-4 * std::fabs(expected)) << "channel " << c;
    }
    // The pulse lies inside channel 11's window and outside channel 10's.
    EXPECT_LT(ev.DataGroup[5].Charge[1], -5.0);
    EXPECT_NEAR(ev.DataGroup[5].Charge[0], 0.0, 0.05);
  }
}

}  // namespace
}  // namespace vx::sim
