// One exit-code rule for every command: 0 done; 1 could not do it (or a question answered no);
// 2 the command line or a value is wrong, found before anything is asked or changed. Each row
// runs the command as its own process on the simulated 8-channel board.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/params.h"
#include "support/cli_process.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using test::CliHome;
using test::CliResult;
using test::quoted;

TEST(ExitCodes, EveryCommandFollowsTheSameRuleAndSaysWhatToType) {
  CliHome home;
  const std::string missing = quoted(home.path() / "missing.dat");
  const fs::path not_setup = home.path() / "notes.txt";
  std::ofstream(not_setup) << "not a setup\n";
  struct Case {
    std::string args;
    int rc;
    std::string said;
  };
  const Case cases[] = {
      {"", 2, "A subcommand is required"},
      {"run --help", 0, "--events"},
      // What the connected model lacks is a wrong value, like a channel it does not have.
      {"run --events 5 --time-jitter 0,12", 2, "this board has channels 0 to 7"},
      {"run --events 5 --channels 8-15", 2, "beyond this board's 0-7"},
      {"demo --setup " + missing, 2, "File does not exist"},
      {"setup load " + missing, 2, "File does not exist"},
      {"setup show " + quoted(not_setup), 1, "is not a setup file"},
      {"serve --bind example.org", 2, "give a numeric IPv4 or IPv6 address"},
      {"serve --allow 127.0.0.1,", 2, "is not known"},
      {"export " + missing + " --hdf5 " + quoted(home.path() / "o.h5"), 2, "File does not exist"},
      {"calibrate pedestals 0", 2, "give a whole number from 10"},
      {"calibrate inl --save-to-flash", 2, "give both --location and --responsible"},
      {"inl load --save-to-flash --location Lab", 2, "give both --location and --responsible"},
      {"calibrate inl --events 199", 2, "give a whole number from 200"},
      {"calibrate sam-dac --setup " + quoted(not_setup), 1, "ERROR"},
      {"eeprom write-info --board 0 --gain 30", 2, "give a number from 0 to 25.5"},
      {"eeprom write-info --board 0 --serial 1.2.3", 2, "give major.minor"},
      {"eeprom write --board 0 0xFFFF '00 11'", 2, "do not fit the EEPROM"},
      {"eeprom write --board 0 0 'zz'", 2, "HEX is two hexadecimal digits"},
      {"eeprom info --board 2", 2, "This board has 2 daughter boards (0 to 1)"},
      {"eeprom read --board 0 0x10 4", 0, "4 Bytes read"},
      {"eeprom erase --board 0", 1, "pass --yes to confirm"},
      {"rates --seconds 1 --trigger sometimes", 2, "software,normal,auto,external"},
      {"rates --seconds 0", 2, "give a whole number from 1 to 86400"},
      {"scan --from 0 --to 0.1 --steps 2 --time 0.01 --channel 16", 2, "give a channel from 0"},
      {"--yes scan --from 0 --to 0.1 --steps 2 --time 0.01 --channel 9", 2,
       "--channel: the board has 8 channels"},
      {"scan --from 0 --to 0.1 --steps 2 --time 0.01", 1, "pass --yes to agree"},
      {"scan --from 0 --to 0.1 --steps 0 --time 1", 2, "give a whole number from 1 to 10000"},
      {"scan --from 0 --to 0.1 --steps 3 --time 0", 2, "give a number from 0.001 to 3600"},
      {"scan --from 2 --to 0.1 --steps 3 --time 1", 2, "give a number from -1.25 to 1.25"},
      {"run --events abc", 2, "give a whole number from 1 to"},
      {"run --cfd 2", 2, "give a number from 0.01 to 0.99"},
      {"run --run-id -1", 2, "give a whole number from 0 to"},
      {"run --time-jitter 0,20", 2, "give a whole number from 0 to 15"},
      {"serve --port 70000", 2, "give a whole number from 0 to 65535"},
      {"run --trigger bogus", 2, "software,normal,auto,external"},
      {"--model x info", 2, "dt5743,v1743"},
      {"run --unknown-option", 2, "Not understood: --unknown-option"},
      {"bogus", 2, ""},
      {"run --noise-window 10-5", 2, "--noise-window 10-5: give FROM-TO in ns"},
      {"run --threshold all=5", 2, "accepts -1.250 to 1.250 V"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const CliResult r = home.run(c.args);
    EXPECT_EQ(r.rc, c.rc) << r.out;
    EXPECT_TRUE(r.says(c.said)) << r.out;
    // Ranges are said in numbers a user would type, never the extremes of a double.
    EXPECT_FALSE(r.says("e+308") || r.says("797693134862315")) << r.out;
    // A wrong value is found before the board is driven or anything asked.
    if (c.rc == 2) {
      EXPECT_FALSE(r.says("QUESTION")) << r.out;
    }
  }
  // help2man takes the program and its version from the first line, the copyright from the rest.
  const CliResult version = home.run("--version");
  EXPECT_EQ(version.rc, 0);
  EXPECT_EQ(version.out.substr(0, version.out.find('\n')),
            std::string("veltrix-cli ") + kSoftwareVersion);
  EXPECT_TRUE(
      version.says("\nCopyright 2026 The Veltrix developers. License GPL-3.0-or-later "
                   "<https://gnu.org/licenses/gpl.html>.\nThis is free software"))
      << version.out;
}

}  // namespace
}  // namespace vx
