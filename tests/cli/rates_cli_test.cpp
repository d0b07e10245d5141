// veltrix-cli rates and scan, run as separate processes on the simulated board.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/file_text.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

using Cli = test::CliResult;

struct RatesCli : ::testing::Test {
  test::CliHome home{"dt5743", "trigger_rate_hz = 2000\npulse.polarity = positive\n"};

  Cli run(const std::string& args) { return home.run(args); }
};

// The default pulses are negative: the thresholds and edges that see them are given as to run.
TEST_F(RatesCli, RatesOverTheRunMatchThePulseRate) {
  home.sim_config = "trigger_rate_hz = 2000\n";
  const Cli r = run(
      "rates --seconds 2 --channels 0,3 --trigger normal --threshold all=-0.05 --edge all=falling");
  ASSERT_EQ(r.rc, 0) << r.out;
  // Channel, hits, seconds counted and rate of each channel asked, with its uncertainty.
  const std::string header = "time (s)                rate\n";
  ASSERT_NE(r.out.find(header), std::string::npos) << r.out;
  std::istringstream table(r.out.substr(r.out.find(header) + header.size()));
  for (int expected : {0, 3}) {
    int channel = -1;
    double hits = 0, seconds = 0, rate = 0, error = 0;
    std::string plus_minus, unit;
    table >> channel >> hits >> seconds >> rate >> plus_minus >> error >> unit;
    ASSERT_EQ(channel, expected) << r.out;
    const double hz = unit == "kHz" ? 1e3 : unit == "Hz" ? 1.0 : 0.0;
    EXPECT_GT(seconds, 0.0);  // how much of the run is counted depends on the machine
    // Five Poisson standard deviations of the hits counted: a slow (sanitizer) build counts
    // fewer of them. The uncertainty shown is one, to the digits shown.
    const double sigma = std::sqrt(hits) / seconds;
    EXPECT_NEAR(rate * hz, 2000.0, 5.0 * sigma) << r.out;
    EXPECT_NEAR(error * hz, sigma, 0.05 * sigma + 0.01 * hz) << r.out;
  }
}

TEST_F(RatesCli, ScanShowsItsStepsAndSavesTheChannelAsked) {
  // A fast pulser, so that a step's 50 ms count holds enough hits for a tight bound.
  home.sim_config = "trigger_rate_hz = 20000\npulse.polarity = positive\n";
  const auto file = home.path() / "scan.dat";
  const Cli r = run("--yes scan --from 0.05 --to 0.25 --steps 3 --time 0.05 --channel 1 --save '" +
                    file.string() + "'");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("step 3/3  threshold +0.2500 V"), std::string::npos) << r.out;
  const auto lines = test::file_lines(file);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "0.0500 0.1500 0.2500 ");
  EXPECT_EQ(lines[3], "== Y AXIS : RATE VALUES [HZ] FOR CHANNEL : 1 ==");
  std::istringstream rates(lines[4]);
  int low = 0, mid = 0, high = -1;
  ASSERT_TRUE(rates >> low >> mid >> high);
  // Five Poisson standard deviations of a count over at least the 50 ms asked.
  const double bound = 5.0 * std::sqrt(20000.0 / 0.05);
  EXPECT_NEAR(low, 20000, bound);
  EXPECT_NEAR(mid, 20000, bound);
  EXPECT_EQ(high, 0);
  // The table printed holds the very numbers of the file.
  const auto header = r.out.find("threshold (V)");
  ASSERT_NE(header, std::string::npos) << r.out;
  std::istringstream table(r.out.substr(r.out.find('\n', header)));
  for (int in_file : {low, mid, high}) {
    double threshold = 0;
    int printed = -1;
    ASSERT_TRUE(table >> threshold >> printed) << r.out;
    EXPECT_EQ(printed, in_file) << r.out;
  }
}

TEST_F(RatesCli, RunWritesBothHistogramFiles) {
  const auto dir = home.path() / "histos";
  const Cli r =
      run("run --events 200 --trigger normal --charge software --time-jitter 0,1 "
          "--save-histos '" +
          dir.string() + "'");
  ASSERT_EQ(r.rc, 0) << r.out;
  std::vector<fs::path> files = test::files_under(dir);
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), 2u);
  EXPECT_NE(files[0].filename().string().find("_ChargeHistos_"), std::string::npos);
  EXPECT_NE(files[1].filename().string().find("_TimeHistos_"), std::string::npos);
  const auto charge = test::file_lines(files[0]);
  ASSERT_GE(charge.size(), 8u);
  int entries = 0;
  ASSERT_EQ(std::sscanf(charge[2].c_str(), "== Nb Of Entries in Histogram : %d  ==", &entries), 1);
  EXPECT_GT(entries, 0);
  const auto time = test::file_lines(files[1]);
  ASSERT_EQ(time.size(), 12u);
  EXPECT_EQ(
      time[0].rfind("=== TIME DIFFERENCE DISTRIBUTION BETWEEN CHANNEL [0] AND CHANNEL [1] ON ", 0),
      0u);
}

}  // namespace
}  // namespace vx
