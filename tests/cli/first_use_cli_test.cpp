// What a new user meets on the command line, each command run as its own process on the
// simulated board: exit codes, messages and the files left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/tcp_client.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

struct FirstUse : ::testing::Test {
  test::CliHome home{""};  // the model the command line or the configuration gives

  // sim_config: the simulated board's configuration ("" for its defaults).
  test::CliResult run(const std::string& args, const std::string& sim_config = "") {
    home.sim_config = sim_config;
    return home.run(args);
  }
  fs::path run_dir(const std::string& name) { return home.path() / "RunData" / name; }
};

TEST_F(FirstUse, TheSimulationConfigurationChoosesTheModelUnlessTheCommandLineDoes) {
  const std::string desktop = "model = DT5743\n";
  test::CliResult r = run("info", desktop);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("DT5743"), std::string::npos) << r.out;
  r = run("--model v1743 info", desktop);
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("V1743"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("DT5743"), std::string::npos) << r.out;
}

// The default pulses are negative and the default thresholds +20 mV rising: nothing
// triggers, and the run says why.
TEST_F(FirstUse, ARunThatNeverTriggersSaysWhyAndWhatWouldSeeThePulses) {
  const test::CliResult r = run("--model dt5743 run --trigger normal --seconds 7");
  ASSERT_EQ(r.rc, 0) << r.out;
  for (const char* said :
       {"No event for 5 s with the Normal trigger",
        "ch0-7    threshold +0.020 V, rising edge: on the other side of the baseline from the "
        "negative pulses (200 mV)",
        "Negative pulses need a negative threshold, between 0 and -0.200 V", "and the falling edge",
        "--threshold SEL=VOLTS, --edge SEL=rising|falling"})
    EXPECT_NE(r.out.find(said), std::string::npos) << said << "\n" << r.out;
}

TEST_F(FirstUse, NoiseIsMeasuredBeforeThePulsesUnlessAWindowIsGiven) {
  // 0.5 mV of noise, 200 mV pulses at 50 ns of a 320 ns record.
  test::CliResult r = run("--model dt5743 run --events 200 --noise");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("noise window       0.000 to 9.688 ns (samples 0 to 31)"), std::string::npos)
      << r.out;
  auto rows = r.rows_after("noise (mV)");
  ASSERT_EQ(rows.size(), 8u) << r.out;
  for (const auto& row : rows) EXPECT_NEAR(row.at(3), 0.5, 0.15) << r.out;

  r = run("--model dt5743 run --events 200 --noise-window 40-70");
  ASSERT_EQ(r.rc, 0) << r.out;
  rows = r.rows_after("noise (mV)");
  ASSERT_EQ(rows.size(), 8u) << r.out;
  for (const auto& row : rows)
    EXPECT_GT(row.at(3), 10.0) << "the window holds the pulses\n" << r.out;
}

// A data file without any channel could never be read back: such a run does not start.
TEST_F(FirstUse, ARunWithoutChannelsIsNotSaved) {
  const test::CliResult r = run("--model dt5743 run --channels none --save binary --events 5");
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("Unable to save a run without any channel acquired"), std::string::npos)
      << r.out;
  EXPECT_FALSE(fs::exists(run_dir("veltrix_run1"))) << r.out;
  EXPECT_EQ(run("--model dt5743 rates --seconds 1 --channels none").rc, 2);
}

// A setup saved on another machine (another user directory) is loaded by the remote client:
// the runs that serve starts keep its run options and this machine's data directory.
TEST_F(FirstUse, ARemoteSetupLoadKeepsTheRunOptionsOfServeAndTheLocalDataDirectory) {
  const fs::path other = home.path() / "other";
  const fs::path setup = home.path() / "elsewhere.dat";
  ASSERT_EQ(test::run_cli("--user-dir '" + other.string() + "' --model dt5743 setup save '" +
                          setup.string() + "'")
                .rc,
            0);
  auto server = home.start(
      "--model dt5743 serve --commands --bind 127.0.0.1 --port 0 --events 5 --save binary "
      "--no-split");
  ASSERT_TRUE(server->wait_for("disconnects the client.\n")) << server->output();
  const std::string started = server->output();
  test::TcpClient client(std::atoi(started.c_str() + started.find(" port ") + 6));
  // Each command once the server has shown what it did with the previous one.
  client.send("LOAD_SETUP_FROM_FILE:" + setup.string());
  ASSERT_TRUE(server->wait_for("Setup values succesfully restored")) << server->output();
  client.send("RUN_START00000007");
  EXPECT_TRUE(client.wait_received("RUN_STOPPED", 60.0)) << "the run of 5 events ends by itself\n"
                                                         << server->output();
  EXPECT_EQ(server->interrupt(), 0) << server->output();

  std::vector<fs::path> runs;
  for (const auto& e : fs::directory_iterator(run_dir("")))
    if (e.is_directory()) runs.push_back(e.path());
  ASSERT_EQ(runs.size(), 1u) << server->output();
  const fs::path data = runs[0] / (runs[0].filename().string() + "_Binary.bin");
  EXPECT_TRUE(fs::exists(data)) << data;
  EXPECT_FALSE(fs::exists(other / "RunData") && !fs::is_empty(other / "RunData"));
}

}  // namespace
}  // namespace vx
