// veltrix-cli eeprom, run as a separate process on the simulated board: its EEPROMs live in
// files of the user directory, so each command sees what the previous one left.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/cli_process.h"
#include "support/test_state.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

using Cli = test::CliResult;
using test::cli_binary;

std::vector<char> bytes_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct EepromCli : ::testing::Test {
  test::TempDir home;

  Cli run(const std::string& args) {
    return test::run_cli("--user-dir '" + home.path().string() + "' --model dt5743 eeprom " + args);
  }
  std::vector<fs::path> dumps() {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(home.path() / "FlashDump")) out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(EepromCli, DumpEraseRestoreGivesAByteIdenticalDump) {
  ASSERT_TRUE(fs::exists(cli_binary())) << cli_binary();
  Cli r = run("dump");
  ASSERT_EQ(r.rc, 0) << r.out;
  const auto files = dumps();
  ASSERT_EQ(files.size(), 2u) << "one file per daughter board";
  for (const auto& f : files) EXPECT_EQ(fs::file_size(f), 65535u) << f;
  const fs::path first = files[0];  // daughter board 0: the lower serial
  const auto original = bytes_of(first);

  r = run("erase --board 0");
  EXPECT_NE(r.rc, 0);
  EXPECT_NE(r.out.find("pass --yes"), std::string::npos) << r.out;
  EXPECT_EQ(run("info --board 0").rc, 0) << "unchanged without --yes";

  ASSERT_EQ(run("erase --board 0 --yes").rc, 0);
  r = run("info --board 0");
  EXPECT_NE(r.rc, 0);
  EXPECT_NE(r.out.find("Daughter Board [0] Serial Number is not valid"), std::string::npos);
  EXPECT_NE(run("dump --board 0").rc, 0) << "a board without serial number is not dumped";

  r = run("restore '" + first.string() + "' --board 0 --yes");
  ASSERT_EQ(r.rc, 0) << r.out;
  fs::rename(first, home.path() / "original.dat");
  ASSERT_EQ(run("dump --board 0").rc, 0);
  EXPECT_EQ(bytes_of(first), original);

  // Pedestals read at connection and saved again come back bit for bit.
  r = run("save-calibration --board 0 --yes");
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("Pedestal Calibration values successfully saved to EEPROMs"),
            std::string::npos);
  ASSERT_EQ(run("dump --board 0").rc, 0);
  EXPECT_EQ(bytes_of(first), original);

  r = run("read 0x37 4 --board 0");
  EXPECT_NE(r.out.find("4 Bytes read  at address 0x:0037 :\nc8 c7 c6 c5"), std::string::npos)
      << r.out;
  EXPECT_NE(run("write 0xffff \"01 02\" --board 0 --yes").rc, 0);
  EXPECT_NE(run("restore '" + first.string() + "' --board all --yes").rc, 0);
}

}  // namespace
}  // namespace vx
