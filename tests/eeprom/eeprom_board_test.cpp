// Board information, calibration tables and dumps on the simulated board's EEPROMs, checked
// against the raw bytes the board holds and against the unit's own truth.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "calibration/stored_calibrations.h"
#include "eeprom/calibration_tables.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_dump.h"
#include "eeprom/eeprom_info.h"
#include "eeprom/eeprom_low_level.h"
#include "platform/eeprom_map.h"
#include "support/file_text.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx {
namespace {

struct EepromBoard : ::testing::Test {
  EepromBoard() { sim.connect(); }

  std::vector<std::uint8_t> raw(int d, std::uint16_t address, std::uint32_t n) {
    std::vector<std::uint8_t> out(n);
    EXPECT_EQ(sim.board->Read_EEPROM(sim.st.DeviceHandle.load(), d, address, n, out.data()), 0);
    return out;
  }
  void poke(int d, std::uint16_t address, std::vector<std::uint8_t> bytes) {
    ASSERT_EQ(sim.board->Write_EEPROM(sim.st.DeviceHandle.load(), d, address,
                                      static_cast<std::uint32_t>(bytes.size()), bytes.data()),
              0);
  }
  bool said(MessageTab tab, const std::string& text) { return sim.core.ui.has_message(tab, text); }

  test::SimCore sim{"DT5743"};  // two daughter boards
};

TEST_F(EepromBoard, RefusedInformationWritesNothingAndValidIsStoredAsMappedAndReadBack) {
  const auto before = raw(0, 0, 0x40);
  const EepromInfoEntry refused[] = {
      {"12345.67", 1.0f, 1.0f, 0, 0, 0},  // 8 characters: no room for the terminator
      {"12x", 1.0f, 1.0f, 0, 0, 0},
      {"1.2", 25.6f, 1.0f, 0, 0, 0},  // a byte holds at most 25.5
      {"1.2", 1.0f, 1.0f, 0, 0, 4},
  };
  for (const auto& e : refused)
    EXPECT_EQ(Write_EEPROM_Info(sim.st, sim.st, sim.st, 0, e), -1) << e.serial;
  EXPECT_EQ(Write_EEPROM_Info(sim.st, sim.st, sim.st, -1, {"1.2"}), -1);
  EXPECT_EQ(Write_EEPROM_Info(sim.st, sim.st, sim.st, 2, {"1.2"}), -1);  // no third daughter board
  EXPECT_EQ(raw(0, 0, 0x40), before);
  EXPECT_TRUE(said(MessageTab::Errors, "at most 7 characters"));
  EXPECT_TRUE(said(MessageTab::Errors, "ERROR: Daughter Board Serial Number is not valid!\n"));
  EXPECT_TRUE(said(MessageTab::Errors,
                   "ERROR: It is not possible to write EEPROM Info with all "
                   "daughter boards selected!\n"));

  EepromInfoEntry e{"4321.7", 2.5f, 1.2f, 1, 0, 2};
  ASSERT_EQ(Write_EEPROM_Info(sim.st, sim.st, sim.st, 1, e), 0);
  const auto img = raw(1, 0, 0x40);
  EXPECT_STREQ(reinterpret_cast<const char*>(img.data()), "4321.7");
  EXPECT_EQ(img[0x30], 0x11);
  EXPECT_EQ(img[0x31], 25);
  EXPECT_EQ(img[0x32], 12);
  EXPECT_EQ((std::vector<std::uint8_t>(img.begin() + 0x37, img.begin() + 0x3B)),
            (std::vector<std::uint8_t>{0xC8, 0xC7, 0xC6, 0xC5}));
  EXPECT_TRUE(said(MessageTab::Infos, "Board Gain '2.5' written to Daughter Board[1]'s EEPROM"));
  EXPECT_TRUE(said(MessageTab::Infos, "Board Setup Register '11' written"));

  sim.st.sam[2] = sim.st.sam[3] = SAMBlockParams{};
  ASSERT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, 1), 0);
  for (int b : {2, 3}) {
    EXPECT_EQ(VX_VALUE(sim.st.sam[b].SerialNumberMajor), 4321);
    EXPECT_EQ(VX_VALUE(sim.st.sam[b].SerialNumberMinor), 7);
    EXPECT_FLOAT_EQ(sim.st.sam[b].BoardGain, 2.5f);
    EXPECT_FLOAT_EQ(sim.st.sam[b].OffsetGain, 1.2f);
    EXPECT_EQ(VX_VALUE(sim.st.sam[b].SAMLongType), 2);
    EXPECT_EQ(VX_VALUE(sim.st.sam[b].SCAType), 1);
    EXPECT_EQ(VX_VALUE(sim.st.sam[b].ACDCCoupling), 0);
  }
  EXPECT_EQ(sim.st.eeprom_panel.gain, "2.5");
  EXPECT_EQ(VX_VALUE(sim.st.sam[1].SerialNumberMajor),
            VX_VALUE(sim.st.sam[0].SerialNumberMajor));  // board 0 intact
}

TEST_F(EepromBoard, FailedWritesAreReportedAndNeverFollowedBySuccess) {
  // The next writes to daughter board 0's EEPROM fail: its file cannot be replaced.
  std::filesystem::create_directories(sim.board->eeprom_file(0).string() + ".tmp");
  sim.core.ui.clear();
  EXPECT_EQ(Write_EEPROM_Info(sim.st, sim.st, sim.st, 0, {"1.2"}), -1);
  EXPECT_EQ(Save_Pedestal_Values_To_EEPROM(sim.st, sim.st, sim.st.log), -1);
  EXPECT_EQ(Erase_EEPROM(sim.st, sim.st.log, 0), -1);
  EXPECT_EQ(Test_EEPROM(sim.st, sim.st.log, 0), 1);
  EXPECT_TRUE(said(MessageTab::Errors, "Daughter Board [0]'s EEPROM failed!"));
  EXPECT_TRUE(said(MessageTab::Errors, "EEPROM Test failed!\n"));
  for (const char* success :
       {"written to Daughter Board", "successfully saved", "successfully erased"})
    EXPECT_FALSE(said(MessageTab::Infos, success)) << success;
  EXPECT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, 0), 0) << "the factory content is still there";
}

// A daughter board's serial starts with its unit's: another unit's EEPROM (a dump written
// onto the wrong board) is told at connection and at every reading of the information.
TEST_F(EepromBoard, AnotherUnitsEepromIsToldAndBlankOrTestPatternOnesHaveNoValidSerial) {
  const char* foreign = "Daughter Board [1]'s EEPROM belongs to unit 2, not to this board";
  EXPECT_FALSE(said(MessageTab::Warnings, "belongs to unit")) << "the unit's own EEPROMs";
  poke(1, 0, {'2', '.', '1', '1', 0});
  ASSERT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, 1), 0);
  EXPECT_TRUE(said(MessageTab::Warnings, foreign));
  EXPECT_EQ(sim.st.eeprom_panel.serial_ok, kOtherUnit);
  sim.core.ui.clear();
  Close_Device(sim.st);
  sim.connect();
  EXPECT_TRUE(said(MessageTab::Warnings, foreign));
  EXPECT_FALSE(said(MessageTab::Warnings, "Daughter Board [0]'s EEPROM belongs"));

  const auto no_serial = [&](int d) {
    sim.core.ui.clear();
    sim.st.sam[2 * d].BoardGain = 7.0f;
    EXPECT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, d), -1);
    EXPECT_TRUE(said(MessageTab::Warnings,
                     "Daughter Board [" + std::to_string(d) + "] Serial Number is not valid\n!"));
    EXPECT_EQ(sim.core.ui.tab_texts(MessageTab::Infos).size(), 1u) << "nothing further is read";
    EXPECT_EQ(VX_VALUE(sim.st.sam[2 * d].BoardGain), 7.0f);
  };
  ASSERT_EQ(Erase_EEPROM(sim.st, sim.st.log, 0), 0);
  no_serial(0);
  poke(1, eeprom::kSerialValid, {0});  // a serial number whose marker is blank
  no_serial(1);
  poke(1, 0, std::vector<std::uint8_t>(65536, 0xFF));
  no_serial(1);

  ASSERT_EQ(Test_EEPROM(sim.st, sim.st.log, 1), 0);
  EXPECT_TRUE(said(MessageTab::Infos, "EEPROM Test finished successfully.\n"));
  EXPECT_EQ(raw(1, 0x1234, 4), (std::vector<std::uint8_t>{0x34, 0x35, 0x36, 0x37}));
  no_serial(1);
}

TEST_F(EepromBoard, PedestalsSavedReadBackToASixteenthAtTheirMappedAddresses) {
  // The unit's own pedestals, fractional counts, as a pedestal calibration would find them.
  const auto& truth = sim.board->imperfections().pedestal;
  auto& table = sim.st.calib.IndividualOffsetDistribution;
  for (int block = 0; block < 4; ++block)
    for (int c = 0; c < 2; ++c) table[block][c] = truth[2 * block + c];
  table[3][1][700] = 2047.53f;  // block B of board 1, channel 1
  const auto saved = table;
  ASSERT_EQ(Save_Pedestal_Values_To_EEPROM(sim.st, sim.st, sim.st.log), 0);
  EXPECT_EQ(raw(1, 0x4100 + 2 * 700, 2), (std::vector<std::uint8_t>{0xF8, 0x7F}));  // 32760
  EXPECT_EQ(raw(1, 0x062A, 1)[0], 0xD5);
  EXPECT_EQ(raw(1, 0x382A, 1)[0], 0xD5);

  for (auto& block : table)
    for (auto& ch : block) ch.fill(0.0f);
  for (int d = 0; d < 2; ++d)
    ASSERT_EQ(Read_Pedestal_Values_From_EEPROM(sim.st, sim.st.log, d, 1), 0);
  for (int block = 0; block < 4; ++block)
    for (int c = 0; c < 2; ++c)
      for (int cell = 0; cell < 1024; ++cell) {
        const float diff = saved[block][c][cell] - table[block][c][cell];
        ASSERT_TRUE(diff >= 0.0f && diff < 1.0f / 16) << block << " " << c << " " << cell;
      }
}

// A save that fails at any one of its writes leaves board 0's pedestal item either not
// valid or wholly as it was: never one block's new table vouched for beside the other's old.
TEST(EepromPedestalSave, AWriteFailingAnywhereNeverLeavesAMixedTableValid) {
  for (std::uint64_t failing = 1; failing <= 10; ++failing) {
    SCOPED_TRACE(failing);
    sim::SimConfig config;
    config.fault.fail_eeprom_write = failing;
    test::SimCore sim("DT5743", config);
    sim.connect();
    State& st = sim.st;
    const auto tables = [&] {  // both blocks' pedestals and what lies between them
      std::vector<std::uint8_t> bytes(0x5100 - 0x0700);
      st.digitizer->Read_EEPROM(st.DeviceHandle.load(), 0, 0x0700, 0x5100 - 0x0700, bytes.data());
      return bytes;
    };
    const auto old_table = tables();
    for (auto& block : st.calib.IndividualOffsetDistribution)
      for (auto& ch : block) ch.fill(1000.0f);
    EXPECT_EQ(Save_Pedestal_Values_To_EEPROM(st, st, st.log), -1);
    const auto now = tables();
    const bool valid = calibration_valid(st, st.log, 0, eeprom::kPedestalValid);
    EXPECT_TRUE(!valid || now == old_table);
  }
}

TEST_F(EepromBoard, SamAndTriggerDacOffsetsNeedTheirCalibrationAndRoundTrip) {
  EXPECT_EQ(Save_SAMDACsOffsets_To_EEPROM(sim.st, sim.st, sim.st.log), -1);
  EXPECT_EQ(Save_TriggerThresholdDACs_To_EEPROM(sim.st, sim.st, sim.st.log), -1);
  EXPECT_EQ(raw(0, 0x0628, 2), (std::vector<std::uint8_t>{0xFF, 0xFF})) << "nothing written";

  for (int block = 0; block < 4; ++block)
    for (int k = 0; k < 16; ++k) {
      sim.st.sam[block].SamDacOffsetCh0[k] = static_cast<std::uint8_t>(16 * block + k);
      sim.st.sam[block].SamDacOffsetCh1[k] = static_cast<std::uint8_t>(200 - k);
    }
  sim.st.sam[3].SamDacOffsetCh0[5] = 0x12;
  sim.st.sam[3].SamDacOffsetCh1[5] = 0x55;
  sim.st.calib.MeanThreshold[2][1] = 0.003f;
  sim.st.calib.MeanThreshold[1][0] = -0.0125f;
  sim.st.calib.SamDACOffsetDone = sim.st.calib.TriggerDACsOffsetDone = true;
  sim.st.calib.SamDacCodesHeld.fill(true);
  ASSERT_EQ(Save_SAMDACsOffsets_To_EEPROM(sim.st, sim.st, sim.st.log), 0);
  ASSERT_EQ(Save_TriggerThresholdDACs_To_EEPROM(sim.st, sim.st, sim.st.log), 0);
  EXPECT_EQ(raw(1, 0x3840 + 4 * 5, 4), (std::vector<std::uint8_t>{0x55, 0x15, 0x12, 0x52}));
  EXPECT_EQ(raw(1, 0x0602, 2), (std::vector<std::uint8_t>{0xB0, 0x7F}));  // 32688
  EXPECT_EQ(raw(1, 0x0044, 1)[0], 0);
  EXPECT_TRUE(said(MessageTab::Infos, "DAC Offset samIndex[3], data[5]=52121555 \n"));

  const auto expected = sim.st.sam;
  for (auto& k : sim.st.sam) {
    std::fill(std::begin(k.SamDacOffsetCh0), std::end(k.SamDacOffsetCh0), 0);
    std::fill(std::begin(k.SamDacOffsetCh1), std::end(k.SamDacOffsetCh1), 0);
  }
  sim.st.calib.MeanThreshold = {};
  sim.st.calib.SamDACOffsetDone = false;
  for (int d = 0; d < 2; ++d)
    EXPECT_EQ(Load_Calib_Values_From_EEPROM(sim.st, sim.st, sim.st.log, d).taken(), 4);
  EXPECT_TRUE(sim.st.calib.SamDACOffsetDone);
  for (int block = 0; block < 4; ++block)
    for (int k = 0; k < 16; ++k) {
      EXPECT_EQ(VX_VALUE(sim.st.sam[block].SamDacOffsetCh0[k]),
                VX_VALUE(expected[block].SamDacOffsetCh0[k]));
      EXPECT_EQ(VX_VALUE(sim.st.sam[block].SamDacOffsetCh1[k]),
                VX_VALUE(expected[block].SamDacOffsetCh1[k]));
    }
  EXPECT_NEAR(sim.st.calib.MeanThreshold[2][1], 0.0030327, 1e-6);
  EXPECT_NEAR(sim.st.calib.MeanThreshold[1][0], -0.0125, 2.5 / 65535);
  EXPECT_TRUE(said(MessageTab::Infos, "Mean Trigger Threshold [samIndex2][ch1] = 0.003033 \n"));
}

TEST_F(EepromBoard, InlValuesCarryDateAndNamesAndNeedBothAndATable) {
  // No INL table measured or loaded: nothing to store.
  const auto stored = raw(0, 0x1700, 2048);
  EXPECT_EQ(Save_INL_Values_To_EEPROM(sim.st, 0, "Saclay", "A. Physicist"), -1);
  EXPECT_TRUE(said(MessageTab::Errors, "Channel 0 holds no INL table to save"));
  EXPECT_EQ(raw(0, 0x1700, 2048), stored);
  for (auto& block : sim.st.calib.TimePedestalsHeld) block.fill(true);

  EXPECT_EQ(Save_INL_Values_To_EEPROM(sim.st, 0, "", ""), -1);
  EXPECT_TRUE(said(MessageTab::Errors, "Please Fill in'responsible of INL calibration'"));
  EXPECT_FALSE(said(MessageTab::Errors, "location of INL calibration"));
  EXPECT_EQ(Save_INL_Values_To_EEPROM(sim.st, 0, "A lab with a long name", "me"), -1);
  EXPECT_TRUE(said(MessageTab::Errors, "at most 15 characters"));
  EXPECT_STREQ(reinterpret_cast<const char*>(raw(0, 0x0010, 16).data()), "Factory");

  sim.st.calib.TimePedestals[1][0][10] = -3.2;
  ASSERT_EQ(Save_INL_Values_To_EEPROM(sim.st, 0, "Saclay", "A. Physicist"), 0);
  EXPECT_EQ(raw(0, 0x3200 + 0x1700 + 20, 2), (std::vector<std::uint8_t>{0xCD, 0xFF}));
  sim.st.calib.TimePedestals[1][0][10] = 0.0;
  ASSERT_EQ(Read_INL_Values_From_EEPROM(sim.st, sim.st.log, 0), 0);
  EXPECT_DOUBLE_EQ(sim.st.calib.TimePedestals[1][0][10], -3.1875);
  ASSERT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, 0), 0);
  EXPECT_EQ(sim.st.eeprom_panel.calibration_date, "06/12/2026");  // the test clock's day
  EXPECT_EQ(sim.st.eeprom_panel.location, "Saclay");
  EXPECT_EQ(sim.st.eeprom_panel.responsible, "A. Physicist");
}

TEST_F(EepromBoard, InvalidMarkersLeaveEveryTableAsItWas) {
  // Block A markers valid, block B erased: not valid.
  poke(0, 0x0628, {0xD7, 0xD6, 0xD5, 0xD4});
  poke(0, 0x3828, {0, 0, 0, 0});
  sim.st.calib.IndividualOffsetDistribution[0][0].fill(3.0f);
  sim.st.calib.TimePedestals[1][1].fill(2.0);
  sim.st.calib.MeanThreshold[0][0] = 0.25f;
  sim.st.sam[1].SamDacOffsetCh0[4] = 9;
  const auto calib = sim.st.calib.IndividualOffsetDistribution;
  const auto inl = sim.st.calib.TimePedestals;
  sim.core.ui.clear();
  EXPECT_EQ(Load_Calib_Values_From_EEPROM(sim.st, sim.st, sim.st.log, 0).taken(), 0);
  EXPECT_EQ(sim.st.calib.IndividualOffsetDistribution, calib);
  EXPECT_EQ(sim.st.calib.TimePedestals, inl);
  EXPECT_EQ(sim.st.calib.MeanThreshold[0][0], 0.25f);
  EXPECT_EQ(VX_VALUE(sim.st.sam[1].SamDacOffsetCh0[4]), 9);
  EXPECT_FALSE(sim.st.calib.SamDACOffsetDone);
  EXPECT_EQ(sim.core.ui.message_count(MessageTab::Infos, "not valid"), 4);
  ASSERT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, 0), 0);
  EXPECT_FALSE(sim.st.eeprom_panel.pedestal_valid);
  EXPECT_FALSE(sim.st.eeprom_panel.inl_valid);
}

TEST_F(EepromBoard, DumpEraseRestoreGivesTheSameEepromBack) {
  ASSERT_EQ(Read_EEPROM_Info(sim.st, sim.st, sim.st, 1), 0);
  const auto file = EEPROM_Dump_File(sim.st, sim.st.eeprom_panel.serial);
  ASSERT_EQ(Dump_EEPROM_To_File(sim.st, sim.st, sim.st, -1), 0);
  const auto before = raw(1, 0, 65535);
  std::vector<std::uint8_t> dumped(65535);
  std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(dumped.data()), 65535);
  EXPECT_EQ(dumped, before);

  ASSERT_EQ(Erase_EEPROM(sim.st, sim.st.log, 1), 0);
  EXPECT_EQ(Dump_EEPROM_To_File(sim.st, sim.st, sim.st, 1), -1);
  EXPECT_TRUE(said(MessageTab::Errors,
                   "Daughter Board 1 serial number is invalid! Eeprom dump is "
                   "aborted!\n"));

  // Files that are not dumps are refused before anything is written.
  const auto bad = sim.dir.path() / "bad.dat";
  auto long_one = dumped;
  long_one.push_back(0);
  auto no_serial = dumped;
  no_serial[0x37] = 0;
  for (const auto& bytes :
       {long_one, no_serial, std::vector<std::uint8_t>(dumped.begin(), dumped.end() - 1)}) {
    std::ofstream(bad, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    EXPECT_EQ(Write_EEPROM_From_DumpFile(sim.st, sim.st, sim.st, 1, bad), -1);
  }
  EXPECT_EQ(Write_EEPROM_From_DumpFile(sim.st, sim.st, sim.st, 1, sim.dir.path() / "missing.dat"),
            -1);
  EXPECT_EQ(Write_EEPROM_From_DumpFile(sim.st, sim.st, sim.st, -1, file), -1);

  // An erased board holds no pedestal table: saving one stores nothing, rather than zeros
  // marked valid.
  Close_Device(sim.st);
  sim.connect();
  sim.core.ui.clear();
  EXPECT_EQ(Save_Pedestal_Values_To_EEPROM(sim.st, sim.st, sim.st.log), -1);
  EXPECT_TRUE(said(MessageTab::Errors, "Daughter Board [1] holds no pedestal table to save"));
  EXPECT_EQ(raw(1, 0, 65535), std::vector<std::uint8_t>(65535, 0));
  EXPECT_FALSE(said(MessageTab::Infos, "successfully saved"));
  EXPECT_EQ(Save_Pedestal_Values_To_EEPROM(sim.st, sim.st, sim.st.log, 0), 0)
      << "board 0 has its table";

  ASSERT_EQ(Write_EEPROM_From_DumpFile(sim.st, sim.st, sim.st, 1, file), 0);
  EXPECT_EQ(raw(1, 0, 65535), before);
  EXPECT_EQ(raw(1, 0xFFFF, 1)[0], 0) << "the last byte is not part of a dump";
}

TEST_F(EepromBoard, LowLevelAccessStaysInsideTheEeprom) {
  ASSERT_EQ(Write_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, 0xFFFE, "ab cd"), 0);
  EXPECT_EQ(raw(0, 0xFFFE, 2), (std::vector<std::uint8_t>{0xAB, 0xCD}));
  ASSERT_EQ(Read_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, 0xFFFE, 2), 0);
  sim.core.ui.clear();
  EXPECT_EQ(Write_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, 0xFFFF, "01 02"), -1);
  EXPECT_EQ(Read_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, 0xFFFF, 2), -1);
  EXPECT_EQ(Read_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, -1, 1), -1);
  EXPECT_EQ(Read_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, 0, 0), -1);
  EXPECT_EQ(Read_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 2, 0, 1), -1);
  EXPECT_EQ(Write_EEPROM_Bytes(sim.st, sim.st, sim.st.log, 0, 0, "zz"), -1);
  EXPECT_EQ(sim.core.ui.tab_texts(MessageTab::Errors).size(), 6u);
  EXPECT_EQ(sim.calls.count("Write_EEPROM"), 1u) << "refusals never reach the library";
}

TEST_F(EepromBoard, InlFilesGoToTheEepromOnlyWhenAllFourAreThere) {
  std::vector<std::pair<int, int>> asked;
  const auto reader = [&](bool all_present) {
    return [&asked, all_present](BoardPort port, int block, int c) {
      asked.emplace_back(block, c);
      if (!all_present && block == 3 && c == 1) return 0;
      port.link.calib.TimePedestals[block][c].fill(block + 0.5 * c);
      return 1;
    };
  };
  const auto inl_before = raw(1, 0x1700, 2048);
  EXPECT_EQ(Save_INL_Files_To_EEPROM(sim.st, 1, "Lab", "Me", reader(false)), -1);
  EXPECT_TRUE(
      said(MessageTab::Warnings, "Unable to save INL Files to Daughter Board [1]'s EEPROM"));
  EXPECT_EQ(raw(1, 0x1700, 2048), inl_before);
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{2, 0}, {2, 1}, {3, 0}, {3, 1}}));

  ASSERT_EQ(Save_INL_Files_To_EEPROM(sim.st, 1, "Lab", "Me", reader(true)), 0);
  EXPECT_EQ(raw(1, 0x4900 + 0x800, 2), (std::vector<std::uint8_t>{56, 0}));  // 3.5 ps x 16

  // From the EEPROM: the files are written from the tables just read.
  std::vector<double> written;
  for (auto& block : sim.st.calib.TimePedestals)
    for (auto& ch : block) ch.fill(0.0);
  ASSERT_EQ(
      Save_INL_Files_From_EEPROM(sim.st, 1,
                                 [&](BoardPort port, int block, int c) {
                                   written.push_back(port.link.calib.TimePedestals[block][c][9]);
                                   return 1;
                                 }),
      0);
  EXPECT_EQ(written, (std::vector<double>{2.0, 2.5, 3.0, 3.5}));
}

// Unit 1's tables held, then unit 2 whose EEPROM reads fail from the SAM DAC offsets on (the
// one-byte markers still read): each failure names the board, the table and the address, and
// nothing of unit 1 and nothing unread is held, goes into the chips, an INL file or an EEPROM.
TEST(EepromUnits, OnlyWhatThisUnitGaveIsHeldOrStored) {
  test::SimCore sim("DT5743");
  sim.connect();
  State& st = sim.st;
  ASSERT_EQ(Load_Calibrations_And_Reload(st, -1), 0);  // its pedestals and INL tables
  sim::SimConfig unit2;
  unit2.model = "DT5743";
  unit2.board_id = 2;
  unit2.fault.fail_eeprom_read_from = 0x0640;
  sim.replace_board(unit2);
  for (int d = 0; d < 2; ++d)  // its SAM DAC offsets valid
    ASSERT_TRUE(write_calibration_item(st, st.log, d, eeprom::kSamDacValid, {}, {}));
  Close_Device(st);
  sim.connect();
  std::vector<std::string> stored;
  for (int d = 0; d < 2; ++d) stored.push_back(test::read_file(sim.board->eeprom_file(d)));
  const auto failed = [&](const std::string& what) {
    return sim.core.ui.has_message(MessageTab::Errors, "ERROR: Reading " + what);
  };
  EXPECT_TRUE(failed("the SAM DAC Offsets of SAM block 2 (64 bytes at address 0x0640)"));
  for (int b = 0; b < 4; ++b) {
    EXPECT_FALSE(st.calib.SamDacCodesHeld[b] || st.calib.PedestalTableHeld[b]) << b;
    EXPECT_FALSE(line_dac_settings(st.sam[b]).enabled()) << "nothing unread in chip " << b;
  }
  EXPECT_EQ(Load_Calibrations_And_Reload(st, -1), -1);
  EXPECT_TRUE(
      failed("the INL table of channel 4 (2048 bytes at address 0x1700) from Daughter "
             "Board [1]'s EEPROM failed"));
  int files = 0;
  EXPECT_EQ(Save_INL_Files_From_EEPROM(st, -1, [&](BoardPort, int, int) { return ++files; }), -1);
  EXPECT_EQ(files, 0);
  st.calib.SamDACOffsetDone = true;
  EXPECT_EQ(Save_Pedestal_Values_To_EEPROM(st, st, st.log), -1);
  EXPECT_EQ(Save_SAMDACsOffsets_To_EEPROM(st, st, st.log), -1);
  EXPECT_EQ(Save_INL_Values_To_EEPROM(st, -1, "Lab", "Me"), -1);
  for (int d = 0; d < 2; ++d)
    EXPECT_TRUE(test::read_file(sim.board->eeprom_file(d)) == stored[d]) << "daughter board " << d;
}

}  // namespace
}  // namespace vx
