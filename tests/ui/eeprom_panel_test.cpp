// The Advanced FLASH Access panel, offscreen, on the simulated board.

#include <QLabel>

#include "gui_fixture.h"
#include "ui/led.h"
#include "ui/panels/eeprom_panel.h"

namespace vx::ui {
namespace {

struct GuiEepromPanel : GuiTest {
  GuiEepromPanel() { dialogs.confirm_answer = true; }

  EepromPanel& panel() { return *main().eeprom_panel(); }
  template <typename W>
  W* child(const char* name) {
    return panel().findChild<W*>(name);
  }
  std::vector<std::uint8_t> raw(int d, std::uint16_t address, std::uint32_t n) {
    std::vector<std::uint8_t> out(n);
    app->board()->Read_EEPROM(st().DeviceHandle.load(), d, address, n, out.data());
    return out;
  }
  void select(int board) {
    auto* box = child<QComboBox>("EEPROM_BOARD");
    choose(box, box->findData(board));
  }
};

TEST_F(GuiEepromPanel, OpensOnlyWithTheCodeShowsTheBoardAndRefusesALongSerial) {
  connect_board(2, 1);  // V1743: four daughter boards

  main().action(MenuAction::AdvancedFlash)->trigger();
  EXPECT_FALSE(panel().isVisible());
  enter_access_code();
  ASSERT_TRUE(panel().isVisible());
  EXPECT_EQ(child<QComboBox>("EEPROM_BOARD")->count(), 5);  // All, 0 .. 3

  select(2);
  const auto serial = raw(2, 0, 8);
  EXPECT_EQ(child<QLineEdit>("SERIALNUMBER")->text(),
            QString::fromLatin1(reinterpret_cast<const char*>(serial.data())));
  EXPECT_EQ(child<QLabel>("SERIAL_OK")->text(), "OK");
  EXPECT_TRUE(child<Led>("PEDESTAL_VALID")->isChecked());
  EXPECT_FALSE(child<Led>("SAMDAC_VALID")->isChecked());
  EXPECT_EQ(child<QLineEdit>("CALIBLOCATION")->text(), "Factory");

  child<QLineEdit>("SERIALNUMBER")->setText("12345.678");
  child<QPushButton>("SAVE_BOARD_INFO")->click();
  EXPECT_EQ(child<QLineEdit>("SERIALNUMBER")->text(), "12345.678") << "kept for correcting";

  child<QLineEdit>("SERIALNUMBER")->setText("77.3");
  child<QPushButton>("SAVE_BOARD_INFO")->click();
  EXPECT_STREQ(reinterpret_cast<const char*>(raw(2, 0, 8).data()), "77.3");
  EXPECT_EQ(child<QLabel>("GAIN_OK")->text(), "");
  EXPECT_EQ(child<QLineEdit>("SERIALNUMBER")->text(), "77.3");

  // Low-level listing in the panel.
  child<QLineEdit>("LL_ADDRESS")->setText("0x37");
  child<QSpinBox>("LL_BOARD")->setValue(2);
  child<QSpinBox>("LL_COUNT")->setValue(2);
  child<QPushButton>("LL_READ")->click();
  EXPECT_EQ(child<QPlainTextEdit>("LL_OUTPUT")->toPlainText(),
            "2 Bytes read  at address 0x:0037 :\nc8 c7 \n");

  select(-1);
  EXPECT_FALSE(child<QLineEdit>("SERIALNUMBER")->isEnabled());
  EXPECT_FALSE(child<QPushButton>("WRITE_FROM_DUMP")->isEnabled());
  EXPECT_TRUE(child<QPushButton>("DUMP_EEPROM")->isEnabled());
}

TEST_F(GuiEepromPanel, MenuDumpsEveryBoardAndSavesPedestalsOnlyWhenConfirmed) {
  connect_board(1, 1);  // DT5743: two daughter boards

  main().action(MenuAction::DumpFlash)->trigger();
  EXPECT_EQ(files_under(home.path() / "FlashDump").size(), 2u);

  st().calib.IndividualOffsetDistribution[1][0][5] = 100.0f;
  dialogs.confirm_answer = false;
  main().action(MenuAction::SavePedestalsToFlash)->trigger();
  EXPECT_NE(raw(0, 0x3900 + 10, 2), (std::vector<std::uint8_t>{0x40, 0x06}));
  dialogs.confirm_answer = true;
  main().action(MenuAction::SavePedestalsToFlash)->trigger();
  EXPECT_EQ(raw(0, 0x3900 + 10, 2), (std::vector<std::uint8_t>{0x40, 0x06}));  // 1600
}

}  // namespace
}  // namespace vx::ui
