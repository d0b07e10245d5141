#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "files/record_format.h"
#include "support/printf_reference_writer.h"
#include "support/test_state.h"

namespace vx {
namespace {

std::string fixed(double v, int precision, int width) {
  char out[kMaxFixedChars + 32];
  return std::string(out, write_fixed(out, v, precision, width));
}

std::string printf_fixed(double v, int precision, int width) {
  char out[512];
  std::snprintf(out, sizeof out, "%*.*f", width, precision, v);
  return out;
}

TEST(FixedFormat, MatchesPrintfByteForByte) {
  const std::pair<int, int> formats[] = {{6, 7},  {3, 8}, {3, 0}, {3, 6},
                                         {3, 12}, {1, 3}, {9, 0}, {0, 0}};
  constexpr double kInf = std::numeric_limits<double>::infinity();
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  // Zeros, ties of rounding, magnitudes from denormal to huge, and what is not a number.
  std::vector<double> values = {0.0,       -0.0,      -0.0000004, 0.0000005, -0.0000005,
                                0.0000015, 0.0000025, 0.0005,     0.0015,    0.0025,
                                1.0005,    0.125,     0.375,      2.5};
  values.insert(values.end(), {-2.5, 1e-300, -1e-310, 4.9e-324, 9007199254740993.0, 1e15, -1e22,
                               1e300, 0.753082, 1796565907.123456, kInf, -kInf, kNaN, -kNaN});
  // Exact decimal ties at every precision used: k/2^n with few bits.
  for (int n = 1; n <= 12; ++n)
    for (int k = -9; k <= 9; k += 2) values.push_back(k / std::ldexp(1.0, n));
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-40, 60);
  for (int i = 0; i < 20000; ++i) values.push_back(std::ldexp(unit(rng), exponent(rng)));
  for (int i = 0; i < 20000; ++i) {  // samples as the writer sees them: float counts to volts
    const auto counts = static_cast<float>(unit(rng) * 4096.0);
    values.push_back(static_cast<double>(counts) * kVoltsPerAdcCount);
  }
  for (int i = 0; i < 5000; ++i) {  // any bit pattern
    const std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);
  }
  for (int i = 0; i < 20000; ++i)  // spectra in dB as the writer sees them
    values.push_back(static_cast<float>(unit(rng) * 400.0));
  for (const auto& [precision, width] : formats)
    for (const double v : values)
      ASSERT_EQ(fixed(v, precision, width), printf_fixed(v, precision, width))
          << "value " << v << " precision " << precision << " width " << width;
  // The records' own writer of six decimals, every fraction's digits included.
  char out[kMaxFixedChars + 32];
  for (int k = 0; k < 1000000; ++k) values.push_back(k / 1e6 - 3.0);
  for (const int width : {7, 0, 12})
    for (const double v : values)
      ASSERT_EQ(std::string(out, write_fixed6_value(out, v, width)), printf_fixed(v, 6, width))
          << "value " << v << " width " << width;
}

struct EventFixture {
  EventFixture() {
    st.sys.NbOfSAMBlocks = 3;
    st.sys.NbOfChannels = 6;
    st.sys.RecordLength = 1024;
    for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 0;
    st.gui.ChannelEnabled[1] = st.gui.ChannelEnabled[4] = st.gui.ChannelEnabled[5] = 1;
    st.gui.ChannelEnabled[7] = 1;  // beyond the board's blocks: never written
    st.EventNumber = 4242;
    st.run.EpochTime = 1796565907.4567;
    st.run.Year = 2026;
    st.run.Month = 12;
    st.run.Day = 6;
    st.run.Hour = 14;
    st.run.Minute = 5;
    st.run.Second = 7;
    st.run.Millisecond = 456.9;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> counts(-2048.0f, 2048.0f);
    for (int b = 0; b < 3; ++b) {
      st.event.EventTDC[b] = 123456789012ull + static_cast<std::uint64_t>(b);
      st.event.EventID[b] = 200u + static_cast<std::uint32_t>(b);
      st.event.EventFCR[b] = 1000u + static_cast<std::uint32_t>(b);
      for (int c = 0; c < 2; ++c) {
        st.event.TrigCount[b][c] = static_cast<std::uint16_t>(65535 - b);
        st.event.TimeCount[b][c] = static_cast<std::uint16_t>(7 * c);
        for (float& v : st.event.FullyOrderedValues[b][c]) v = counts(rng);
        st.results.MeasuredBaseline[b][c] = -0.0000004f;
        st.results.AmplitudeValue[b][c] = 0.2345675f;
        st.results.ComputedCharge[b][c] = -12345.6785f;
        st.results.RiseTimeInstant[b][c] = -1.0f;
        st.results.FallTimeInstant[b][c] = 50.0625f;
      }
    }
    st.event.FullyOrderedValues[2][0][0] = 1234.56f;
    std::memcpy(st.event.EventTimeChain.data(), "14h05m07s,000.000.001ns", 24);
  }
  test::TestCore core;
  State& st = core.state;
};

TEST(AsciiRecord, SameBytesAsPrintfWithAndWithoutMeasurements) {
  EventFixture f;
  std::string text;  // the record without measurements
  for (const int measured : {1, 0}) {
    f.st.acq.MeasurementsEnabled = measured;
    ByteBuffer fast;
    append_ascii_event(f.st, f.st, Freeze_RunConfig(f.st), f.st.event, fast);
    text.assign(fast.data.data(), fast.size);
    std::string reference;
    test::printf_ascii_event(f.st, reference);
    ASSERT_EQ(text, reference) << "measurements " << measured;
  }
  EXPECT_NE(
      text.find(
          "=== CH: 4 EVENTID: 202 FCR: 1002 Baseline: 0.000000 V Amplitude: 0.000000 V Charge:    "
          "0.000 pC LeadingEdgeTime:  0.000 ns"),
      std::string::npos);
  EXPECT_NE(text.find("\n0.753082 "), std::string::npos) << "1234.56 counts in volts";
  EXPECT_EQ(text.find("CH: 7 "), std::string::npos);
}

// The data header gives the layout of every record and the INL correction as it is set,
// whichever it is.
TEST(DataHeader, GivesTheRecordLayoutAndTheInlCorrectionAsSet) {
  EventFixture f;
  for (const int inl : {0, 1}) {
    f.st.acq.INLCorrectionEnabled = inl;
    EXPECT_EQ(data_header_line(Freeze_RunConfig(f.st), f.st.acq.FFTMode == 1),
              "=== DATA SAMPLES [1024] in Volts == NB OF CHANNELS ACQUIRED: 3 == Sampling Period: "
              "312.5 ps == INL Correction: " +
                  std::to_string(inl) + " ===\n");
  }
}

TEST(BinaryRecord, LayoutSizeAndSamples) {
  EventFixture f;
  f.st.acq.MeasurementsEnabled = 1;
  f.st.event.FullyOrderedValues[2][0][1] = 4000.0f;  // beyond 16 bits in tenths
  f.st.event.FullyOrderedValues[2][0][2] = -4000.0f;
  f.st.event.FullyOrderedValues[2][0][3] = -0.09f;
  f.st.event.FullyOrderedValues[2][0][4] = std::numeric_limits<float>::quiet_NaN();
  f.st.event.FullyOrderedValues[2][0][5] = -std::numeric_limits<float>::infinity();
  f.st.event.FullyOrderedValues[2][0][6] = 3276.79f;
  ByteBuffer out;
  append_binary_event(f.st, f.st, Freeze_RunConfig(f.st), f.st.event, out);
  ASSERT_EQ(out.size, 71u + 3u * (48u + 2u * 1024u));
  const char* p = out.data.data();
  auto at = [&](std::size_t offset, auto value) {
    std::memcpy(&value, p + offset, sizeof value);
    return value;
  };
  // Event: number, epoch time, date and time, time stamp, time text.
  const std::size_t ch = 71 + 48 + 2048;  // the second channel written: channel 4, block 2
  const std::pair<std::size_t, std::int32_t> ints[] = {
      {0, 4242}, {12, 2026}, {32, 7}, {ch, 4}, {ch + 4, 202}, {ch + 8, 1002}, {ch + 40, 65533}};
  for (const auto& [offset, value] : ints) EXPECT_EQ(at(offset, std::int32_t{}), value) << offset;
  EXPECT_EQ(at(4, double{}), 1796565907.4567);
  EXPECT_EQ(at(36, std::uint32_t{}), 456u);
  EXPECT_EQ(at(40, std::uint64_t{}), 123456789012ull);
  EXPECT_EQ(std::string(p + 48, 23), "14h05m07s,000.000.001ns");
  // Channel: baseline, charge, leading and trailing edge times, amplitude, then the samples
  // in tenths of a count: saturated rather than wrapped, truncated toward zero, NaN as 0.
  EXPECT_EQ(at(ch + 12, float{}), -0.0000004f);
  EXPECT_EQ(at(ch + 16, float{}), -12345.6785f);
  EXPECT_EQ(at(ch + 20, double{}), -1.0 + 123456789014.0 * 5.0);
  EXPECT_EQ(at(ch + 28, double{}), 50.0625 + 123456789014.0 * 5.0);
  EXPECT_EQ(at(ch + 36, float{}), 0.2345675f);
  const std::int16_t samples[] = {12345, 32767, -32768, 0, 0, -32768, 32767};
  for (std::size_t k = 0; k < std::size(samples); ++k)
    EXPECT_EQ(at(ch + 48 + 2 * k, std::int16_t{}), samples[k]) << "sample " << k;

  f.st.acq.MeasurementsEnabled = 0;
  out.size = 0;
  append_binary_event(f.st, f.st, Freeze_RunConfig(f.st), f.st.event, out);
  for (std::size_t off = ch + 12; off < ch + 40; ++off) EXPECT_EQ(p[off], 0) << off;
}

}  // namespace
}  // namespace vx
