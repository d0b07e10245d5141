#include <gtest/gtest.h>

#include <vector>

#include "sim_fixture.h"

namespace vx::sim {
namespace {

using testing::OpenBoard;
using testing::ScratchDir;

std::vector<unsigned char> read(OpenBoard& b, int d, std::uint16_t address, std::uint32_t n) {
  std::vector<unsigned char> out(n);
  EXPECT_EQ(b.board->Read_EEPROM(b.handle, d, address, n, out.data()), 0);
  return out;
}

TEST(SimEepromTest, NewBoardLeavesTheFactoryWithValidIdentityAndTables) {
  // What the tables hold shows in the corrections the board applies (sim_signal_test.cpp).
  OpenBoard b("model = V1743\nboard_id = 42");
  for (int d = 0; d < 4; ++d) {
    const auto img = read(b, d, 0, 65536);
    EXPECT_STREQ(reinterpret_cast<const char*>(img.data()),
                 ("42." + std::to_string(10 + d)).c_str());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(img[0x37 + i], 0xC8 - i);
    EXPECT_EQ(img[0x31], 10);  // gain 1.0
    for (int a : {0x062A, 0x382A, 0x062B, 0x382B}) EXPECT_EQ(img[a], 0xFF - (a & 0xFF)) << a;
  }
}

// A second object on the same directory sees a write at once, not only after the first one
// is gone, and the file is replaced whole.
TEST(SimEepromTest, AWriteReachesEveryBoardObjectOnTheSameDirectoryAtOnce) {
  ScratchDir dir;
  const std::vector<unsigned char> serial = {'7', '.', '3', 0};
  OpenBoard first("model = DT5743", dir.path());
  ASSERT_EQ(first.board->Write_EEPROM(first.handle, 1, 0x0000, 4, serial.data()), 0);
  OpenBoard second("model = DT5743", dir.path());
  EXPECT_EQ(read(second, 1, 0, 4), serial);
  EXPECT_EQ(read(second, 0, 0, 4) == serial, false);
  EXPECT_FALSE(std::filesystem::exists(second.board->eeprom_file(1).string() + ".tmp"));
}

TEST(SimEepromTest, OutOfRangeAccessIsRefused) {
  OpenBoard b("model = DT5743");
  unsigned char byte = 0;
  EXPECT_LT(b.board->Read_EEPROM(b.handle, 2, 0, 1, &byte), 0);       // 2 daughter boards
  EXPECT_LT(b.board->Read_EEPROM(b.handle, 0, 0xFFFF, 2, &byte), 0);  // past the end
  EXPECT_LT(b.board->Write_EEPROM(b.handle, -1, 0, 1, &byte), 0);
}

TEST(SimEepromTest, LoadSamCorrectionDataTakesTheTablesTheEepromHoldsNow) {
  OpenBoard b("model = DT5743\ninput = none\nregister_access_us = 0");
  ASSERT_EQ(b.board->SetSAMCorrectionLevel(b.handle, 1), 0);
  ASSERT_EQ(b.board->SWStartAcquisition(b.handle), 0);
  const auto mean_of = [](const Event743& e, int g) {
    double s = 0;
    for (float v : e.DataGroup[g].DataChannel[0]) s += v;
    return s / 1024;
  };

  // Daughter board 1 gets a flat table of 2000 counts; nothing changes until it is reloaded.
  std::vector<unsigned char> flat(2048);
  for (std::size_t i = 0; i < flat.size(); i += 2) {
    flat[i] = static_cast<unsigned char>((2000 * 16) & 0xFF);
    flat[i + 1] = static_cast<unsigned char>((2000 * 16) >> 8);
  }
  ASSERT_EQ(b.board->Write_EEPROM(b.handle, 1, 0x0700, 2048, flat.data()), 0);
  EXPECT_NEAR(mean_of(b.software_event(), 2), 0.0, 0.5);
  ASSERT_EQ(b.board->LoadSAMCorrectionData(b.handle), 0);
  double truth_mean = 0;
  for (float p : b.board->imperfections().pedestal[4]) truth_mean += p;
  truth_mean /= 1024;
  EXPECT_NEAR(mean_of(b.software_event(), 2), truth_mean - 2000.0, 0.5);
  EXPECT_NEAR(mean_of(b.software_event(), 0), 0.0, 0.5);  // daughter board 0 untouched

  // An invalid marker leaves that board's samples uncorrected.
  const unsigned char erased = 0xFF;
  ASSERT_EQ(b.board->Write_EEPROM(b.handle, 1, 0x382A, 1, &erased), 0);
  ASSERT_EQ(b.board->LoadSAMCorrectionData(b.handle), 0);
  EXPECT_NEAR(mean_of(b.software_event(), 2), truth_mean, 0.5);
}

}  // namespace
}  // namespace vx::sim
