// The commands a user types, each run as its own process on the simulated board with a user
// directory of its own: exit codes, the lines printed, the files left behind, and what Ctrl-C
// and SIGUSR1 do to a command under way.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/cli_process.h"
#include "support/file_text.h"
#include "support/tcp_client.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::CliHome;
using test::CliResult;
using test::quoted;

const char* const kQuiet = "input = none\n";
const char* const kSine = "input = sine\n";

// The command line words its own hints (or has none) where the desktop names its menus, and
// labels a warning as one. The rows run in order, in one user directory.
TEST(CommandsProcess, MessagesSpeakToTheCommandLineUser) {
  CliHome home("dt5743", kQuiet);
  struct Case {
    std::string args;
    std::string said;
    std::string never;
    std::string warning;  // a line holding it is labelled WARNING
  };
  const Case cases[] = {
      {"run --events 20 --save binary --run-id 1", "Run is over.", "Display is set to OFF",
       "Daugther Board [0] SAM DAC Calibration is not valid!"},
      {"run --seconds 1 --save binary --run-id 2", "Run is over.", "Display is set to OFF",
       "WARNING! Saving data to file while running in continuous mode"},
      {"run --events 20 --save binary --run-id 1", "Saving Data File aborted.\n", "Try again", ""},
      {"calibrate pedestals 10", "once saved (--save-to-flash stores it).\n", "Configuration >",
       "WARNING: No signal has to be put on the inputs"},
      {"calibrate pedestals 10 --save-to-flash", "subtracted from the events once saved.\n",
       "Configuration >", ""},
  };
  for (const Case& c : cases) {
    const CliResult r = home.run(c.args);
    EXPECT_TRUE(r.says(c.said)) << c.args << "\n" << r.out;
    EXPECT_FALSE(r.says(c.never)) << c.args << "\n" << r.out;
    if (c.warning.empty()) continue;
    const auto at = r.out.find(c.warning);
    ASSERT_NE(at, std::string::npos) << c.args << "\n" << r.out;
    EXPECT_EQ(r.out.compare(r.out.rfind('\n', at) + 1, 8, "WARNING "), 0) << c.args << "\n"
                                                                          << r.out;
  }
}

TEST(CommandsProcess, InfoAndDemoShowTheBoardAndItsPulses) {
  CliHome home;
  CliResult r = home.run("info");
  ASSERT_EQ(r.rc, 0) << r.out;
  for (const char* said : {"model              DT5743", "SAM blocks         4 (8 channels)",
                           "Daughter board 1 (SAM blocks 2 and 3, channels 4 to 7)",
                           "serial number      1.11", "pedestals          valid"})
    EXPECT_TRUE(r.says(said)) << said << "\n" << r.out;

  r = home.run("demo");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("events             2000")) << r.out;
  const auto rows = r.rows_after("channel   amplitude (V)   charge (pC)\n");
  ASSERT_EQ(rows.size(), 8u) << r.out;
  for (std::size_t ch = 0; ch < 8; ++ch) {
    EXPECT_EQ(rows[ch][0], ch) << r.out;
    EXPECT_NEAR(rows[ch].at(1), -0.200, 0.005) << "the simulated 200 mV pulses";
  }
}

// A setup saved with a changed threshold and edges is what another user directory loads (and
// lists as changed) and what "setup show" prints; one saved as it was changes nothing.
TEST(CommandsProcess, ASetupSavedIsLoadedAndShownWithItsChanges) {
  CliHome here, there;
  const fs::path changed = here.path() / "neg.dat", plain = here.path() / "plain.dat";
  ASSERT_EQ(here.run("setup save " + quoted(changed) +
                     " --threshold 3=-0.1 --edge all=falling --timing-method band-limited")
                .rc,
            0);
  ASSERT_EQ(here.run("setup save " + quoted(plain)).rc, 0);

  CliResult r = there.run("setup load " + quoted(changed));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says(" values changed:\n")) << r.out;
  EXPECT_TRUE(r.says(": 0.02 -> -0.1\n")) << r.out;
  r = there.run("setup load " + quoted(plain));
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("No setting changed.")) << r.out;

  r = there.run("setup show " + quoted(changed));
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("        2  on     source   falling         +0.020")) << r.out;
  EXPECT_TRUE(r.says("        3  on     source   falling         -0.100")) << r.out;
  EXPECT_TRUE(r.says("constant fraction 0.50, baseline 32 samples; band-limited edge timing"))
      << r.out;
}

// A setup saved with a normal trigger drives a later run; the run's own options override it,
// and its log lists what they changed.
TEST(CommandsProcess, ASetupFileDrivesARunAndTheCommandLineOverridesIt) {
  CliHome home;
  const fs::path setup = home.path() / "normal.dat";
  ASSERT_EQ(home.run("setup save " + quoted(setup) +
                     " --trigger normal --channels 0-3 --edge 0-3=falling --threshold 0-3=-0.05")
                .rc,
            0);
  CliResult r = home.run("run --setup " + quoted(setup) + " --events 50");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("trigger            Normal")) << r.out;
  EXPECT_EQ(r.rows_after("channel   amplitude (V)   charge (pC)\n").size(), 4u) << r.out;

  r = home.run("run --setup " + quoted(setup) + " --events 50 --channels 0-1 --trigger software");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("trigger            Software")) << r.out;
  EXPECT_EQ(r.rows_after("channel   amplitude (V)   charge (pC)\n").size(), 2u) << r.out;
  EXPECT_TRUE(r.says("the command line changed ")) << r.out;
  EXPECT_TRUE(r.says("Channel enabled, channel 3: 1 -> 0")) << r.out;
}

// Each calibration saved prints what it measured and "eeprom info" then reports it valid (the
// pedestals are valid from the factory on); its INL files load back, and store when asked, and a
// damaged one is refused with nothing stored.
TEST(CommandsProcess, CalibrationsSavedAreReportedAndTheirFilesLoadBack) {
  struct Case {
    const char* config;
    const char* args;
    const char* printed;
    const char* info;
  };
  const Case cases[] = {
      {kQuiet, "calibrate sam-dac --save-to-flash", "SAM DAC line codes (lines 0 to 15)",
       "SAM DAC offsets    valid"},
      {kQuiet, "calibrate trigger-dac --save-to-flash", "Trigger threshold offsets (mV)",
       "trigger DACs       valid"},
      {kSine, "calibrate inl --events 600 --save-to-flash --location Lab --responsible Me",
       "ch7   global DNL", ", Lab, Me)"},
  };
  CliHome home;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.args);
    home.sim_config = k.config;
    const CliResult r = home.run(k.args);
    EXPECT_EQ(r.rc, 0) << r.out;
    EXPECT_TRUE(r.says(k.printed)) << r.out;
    const CliResult info = home.run("eeprom info --board 1");
    EXPECT_TRUE(info.says(k.info)) << info.out;
  }
  ASSERT_EQ(test::files_under(home.path() / "INL_Files").size(), 8u);
  // Each block's files carry its own firmware version (the same on every block here).
  for (const fs::path& f : test::files_under(home.path() / "INL_Files"))
    EXPECT_TRUE(f.filename().string().starts_with("INL_Calib_V1-")) << f;

  // Stored from the files, the tables carry the identity given with them.
  const std::string store = "inl load --save-to-flash --location Bench --responsible You";
  EXPECT_EQ(home.run(store).rc, 0);
  EXPECT_TRUE(home.run("eeprom info --board 1").says(", Bench, You)"));
  const fs::path file = fs::directory_iterator(home.path() / "INL_Files")->path();
  std::ofstream(file, std::ios::trunc) << "not an INL table\n";
  const auto stored = test::eeprom_files(home);
  for (const std::string& args : {std::string("inl load"), store}) {
    const CliResult r = home.run(args);
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_TRUE(r.says("refused  " + file.string())) << r.out;
  }
  EXPECT_EQ(test::eeprom_files(home), stored) << "a refused file stores nothing";
}

// Ctrl-C ends a long run as stopped by the user (exit code 0, the summary, a data file that
// replays to its last event) and a calibration as a failure that stores nothing.
TEST(CommandsProcess, CtrlCEndsARunCleanlyAndACalibrationWithoutStoringAnything) {
  struct Case {
    const char* config;
    const char* args;
    const char* started;  // printed once the command is under way
    int rc;
    const char* said;
  };
  const Case cases[] = {
      {"", "run --seconds 600 --save binary --no-split --depth 1 --channels 0", "Run started", 0,
       "Run stopped."},
      {kQuiet, "calibrate pedestals 99999999 --save-to-flash", "Calibrating pedestals", 1,
       "cancelled by user"},
      {kSine, "calibrate inl --events 10000000 --save-to-flash --location Lab --responsible Me",
       "Run started", 1, "INL calibration interrupted: nothing saved."},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.args);
    CliHome home("dt5743", k.config);
    ASSERT_EQ(home.run("info").rc, 0);
    const auto stored = test::eeprom_files(home);
    auto process = home.start(k.args);
    ASSERT_TRUE(process->wait_for(k.started)) << process->output();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(process->interrupt(), k.rc) << process->output();
    const std::string out = process->output();
    EXPECT_NE(out.find(k.said), std::string::npos) << out;
    EXPECT_EQ(test::eeprom_files(home), stored);
    EXPECT_TRUE(test::files_under(home.path() / "INL_Files").empty());
    if (k.rc != 0) continue;

    const std::string summary = "Run summary\n  events             ";
    const auto at = out.find(summary);
    ASSERT_NE(at, std::string::npos) << out;
    const long events = std::strtol(out.c_str() + at + summary.size(), nullptr, 10);
    EXPECT_GT(events, 0);
    EXPECT_NE(out.find("events saved       " + std::to_string(events) + "\n"), std::string::npos)
        << out;
    const fs::path data = home.path() / "RunData" / "veltrix_run1" / "veltrix_run1_Binary.bin";
    const CliResult replay =
        home.run("run --replay " + quoted(data) + " --no-summary-measurements");
    EXPECT_EQ(replay.rc, 0) << replay.out;
    EXPECT_TRUE(replay.says("End of the saved run: " + std::to_string(events) +
                            " events read, the last whole event is event " +
                            std::to_string(events) + "."))
        << replay.out;
  }
}

// serve: a client starts and stops runs; SIGUSR1 disconnects it (and says so when there is
// none); Ctrl-C stops the run going on and ends the server with exit code 0.
TEST(CommandsProcess, ServeRunsWhatTheClientAsksAndSigusr1DisconnectsIt) {
  CliHome home;
  auto serve = home.start("serve --commands --bind 127.0.0.1 --port 0 --depth 1 --channels 0");
  ASSERT_TRUE(serve->wait_for("disconnects the client.\n")) << serve->output();
  const std::string out = serve->output();
  const int port = std::atoi(out.c_str() + out.find(" port ") + 6);
  ASSERT_GT(port, 0) << out;
  test::TcpClient client(port);
  client.send("RUN_START00000003");
  ASSERT_TRUE(serve->wait_for("Run started")) << serve->output();
  client.send("STOP");
  client.send("RUN_START00000004");
  const auto second_run = [&] {
    const std::string o = serve->output();
    return o.find("Run started", o.find("runNumber 4.")) != std::string::npos;
  };
  ASSERT_TRUE(test::poll_until(second_run)) << serve->output();
  serve->signal(SIGUSR1);
  EXPECT_TRUE(serve->wait_for("-- Client disconnected by server--")) << serve->output();
  serve->signal(SIGUSR1);  // answered on stdout, which a file holds back until the end
  std::this_thread::sleep_for(std::chrono::milliseconds(300));

  EXPECT_EQ(serve->interrupt(), 0) << serve->output();
  const std::string end = serve->output();
  EXPECT_NE(end.find("No TCP client to disconnect.", end.find("disconnected by server")),
            std::string::npos)
      << end;
  EXPECT_NE(end.find("Run stopped.", end.find("runNumber 4.")), std::string::npos) << end;
}

}  // namespace
}  // namespace vx
