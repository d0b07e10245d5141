// veltrix-cli eeprom and calibrate as separate processes on the simulated board, whose EEPROMs
// live in files of the user directory: each command sees what the previous one left.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/file_text.h"
#include "support/sim_core.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

using Cli = test::CliResult;
using test::read_file;

struct EepromCli : ::testing::Test {
  test::CliHome home;

  Cli run(const std::string& args) { return command("eeprom " + args); }
  // Any command; sim_config, when given, is the simulated board's configuration text.
  Cli command(const std::string& args, const std::string& sim_config = "") {
    home.sim_config = sim_config;
    return home.run(args);
  }
};

TEST_F(EepromCli, DumpEraseRestoreGivesAByteIdenticalDump) {
  // --load-calibration reads every table after connecting, before the command runs.
  Cli r = command("--load-calibration eeprom dump");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("Correction Values re-loaded from FLASH")) << r.out;
  EXPECT_TRUE(r.says("Daughter Board [1]'s INL Calibration values successfully read")) << r.out;
  std::vector<fs::path> files = test::files_under(home.path() / "FlashDump");
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), 2u) << "one file per daughter board";
  const fs::path first = files[0];  // daughter board 0: the lower serial
  const auto original = read_file(first);

  EXPECT_EQ(run("erase --board 0").rc, 1);
  EXPECT_EQ(run("info --board 0").rc, 0) << "unchanged without --yes";

  ASSERT_EQ(run("erase --board 0 --yes").rc, 0);
  EXPECT_NE(run("info --board 0").rc, 0);
  EXPECT_NE(run("dump --board 0").rc, 0) << "a board without serial number is not dumped";

  r = run("restore '" + first.string() + "' --board 0 --yes");
  ASSERT_EQ(r.rc, 0) << r.out;
  fs::rename(first, home.path() / "original.dat");
  ASSERT_EQ(run("dump --board 0").rc, 0);
  EXPECT_EQ(read_file(first), original);

  // Pedestals read at connection and saved again come back bit for bit.
  r = run("save-calibration --board 0 --yes");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("Pedestal Calibration values successfully saved to EEPROMs"),
            std::string::npos);
  ASSERT_EQ(run("dump --board 0").rc, 0);
  EXPECT_EQ(read_file(first), original);
  EXPECT_NE(run("restore '" + first.string() + "' --board all --yes").rc, 0);
}

// A calibration, scan or EEPROM read that fails or is refused: exit code 1, the EEPROMs byte for
// byte as they were and no INL file.
TEST_F(EepromCli, AnyCalibrationErrorStoresNothing) {
  ASSERT_EQ(run("info").rc, 0);
  const auto stored = test::eeprom_files(home);
  ASSERT_EQ(stored.size(), 2u);
  sim::SimConfig quiet;
  for (auto& ch : quiet.channel) ch.input = sim::InputKind::kNone;
  const std::string fault =
      "fault.fail_register_access = " +
      std::to_string(test::register_accesses_of_a_connection("DT5743", quiet) + 1) + "\n";
  const std::string inl =
      "calibrate inl --events 600 --save-to-flash --location Lab --responsible Me";
  struct Case {
    const char* name;
    std::string config, args;
    const char* said = "";
  };
  const Case cases[] = {
      {"sam-dac, communication error", "input = none\n" + fault,
       "calibrate sam-dac --save-to-flash"},
      {"trigger-dac with pulses", "input = pulse\n", "calibrate trigger-dac --save-to-flash"},
      {"inl with pulses", "input = pulse\n", inl},
      {"inl, an undecodable event", "input = sine\nfault.undecodable_event = 300\n", inl},
      {"scan, communication error", "input = none\n" + fault,
       "--yes scan --from -0.01 --to 0.01 --steps 3 --time 0.01"},
      {"a failed read", "fault.fail_eeprom_read_from = 0x0700\n",
       "--load-calibration eeprom save-calibration --yes",
       "ERROR: Reading the INL table of channel 0 (2048 bytes at address 0x1700) from Daughter "
       "Board [0]'s EEPROM failed"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const Cli r = command(k.args, k.config);
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_TRUE(r.says(k.said)) << r.out;
    EXPECT_EQ(test::eeprom_files(home), stored);
    EXPECT_FALSE(fs::exists(home.path() / "INL_Files") && !fs::is_empty(home.path() / "INL_Files"));
  }
}

}  // namespace
}  // namespace vx
