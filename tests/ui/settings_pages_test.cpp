// The VERTICAL, HORIZONTAL/ACQ and TRIGGER pages and the expert panels, driven through their
// widgets while the simulated board records every call.

#include <QCheckBox>
#include <QLabel>

#include "gui_fixture.h"

namespace vx::ui {
namespace {

struct GuiSettings : GuiTest {
  // Every library call of the board from then on goes into calls.
  void connect_board(int model_index) {
    GuiTest::connect_board(model_index);
    recorder = std::make_unique<RecordingDigitizer>(*app->board(), calls);
    st().digitizer = recorder.get();
  }

  std::vector<CallRecord> named(const std::string& name) const { return calls.named(name); }
};

TEST_F(GuiSettings, ThresholdOffsetAndFrequencyChangeDuringARun) {
  connect_board(2);
  choose(main().run_type(), 3);
  press_start();
  ASSERT_TRUE(wait_until([&] { return st().EventNumber.load() > 5; }));
  const int starts = static_cast<int>(named("SWStartAcquisition").size());

  widget<QSpinBox>("TRIGGER", "SELCHANNEL")->setValue(2);
  widget<QDoubleSpinBox>("TRIGGER", "THRESHOLD")->setValue(-0.1);
  const auto thresholds = named("SetChannelTriggerThreshold");
  ASSERT_EQ(thresholds.size(), 1u);
  EXPECT_EQ(thresholds[0].args[1], 2);
  EXPECT_FLOAT_EQ(VX_VALUE(st().gui.ThresholdVolts[2]), -0.1f);

  // The vertical page edits the channel selected on the trigger page too. Its first offset
  // change warns about the threshold range: the run goes on while the warning is open.
  EXPECT_EQ(widget<QSpinBox>("VERTICAL", "SELCHANNEL")->value(), 2);
  std::optional<bool> running_while_open;
  dialogs.on_popup = [&] { running_while_open = st().AcquisitionRunning.load() == 1; };
  widget<QDoubleSpinBox>("VERTICAL", "OFFSET")->setValue(0.25);
  ASSERT_TRUE(wait_until([&] { return running_while_open.has_value(); }, 5000));
  EXPECT_TRUE(*running_while_open);
  EXPECT_TRUE(dialogs.saw("Warning", "threshold range values"));
  const auto offsets = named("SetChannelDCOffset");
  ASSERT_EQ(offsets.size(), 1u);
  EXPECT_EQ(offsets[0].args[1], 2);
  EXPECT_EQ(offsets[0].args[2], 39321) << "(0.25 + 1.25) / 2.5 x 65535";
  // The threshold's range followed the offset.
  EXPECT_DOUBLE_EQ(widget<QDoubleSpinBox>("TRIGGER", "THRESHOLD")->maximum(), 1.5);

  auto* frequency = widget<QComboBox>("HORIZONTAL", "FREQUENCY");
  choose(frequency, 2);
  ASSERT_EQ(named("SetSAMSamplingFrequency").size(), 1u);
  EXPECT_EQ(named("SetSAMSamplingFrequency")[0].args[1], 2) << "800 MS/s";
  EXPECT_EQ(widget<QLineEdit>("HORIZONTAL", "SCALEIND")->text(), "1250 ps");
  expect_run_goes_on();

  EXPECT_EQ(static_cast<int>(named("SWStartAcquisition").size()), starts + 3)
      << "one restart per change";
  EXPECT_EQ(named("SWStopAcquisition").size(), 3u);
}

TEST_F(GuiSettings, PagesRoundAndRefuseAsTheBoardAllows) {
  connect_board(1);  // 8 channels
  auto* gate = widget<QSpinBox>("TRIGGER", "PRIMITIVESGATELENGTH");
  gate->setValue(23);
  EXPECT_EQ(gate->value(), 20);
  EXPECT_EQ(VX_VALUE(st().sys.PrimitivesGateLength), 4);

  auto* channel = widget<QSpinBox>("VERTICAL", "SELCHANNEL");
  channel->setValue(5);
  channel->setValue(8);
  EXPECT_EQ(channel->value(), 5);
  EXPECT_FALSE(widget<QCheckBox>("TRIGGER", "TRIGGERSELCH8")->isVisibleTo(&main()));

  auto* full = widget<QCheckBox>("HORIZONTAL", "FULLRECORDINGDEPTH");
  ASSERT_TRUE(full->isChecked());
  full->click();
  EXPECT_TRUE(full->isChecked()) << "only the popup";
  EXPECT_TRUE(dialogs.popups().contains(
      "INFO: To reduce the recording depth reduce the Specified Depth!\n"));
  widget<QSpinBox>("HORIZONTAL", "NBOFCOLSTOREAD")->setValue(16);
  EXPECT_EQ(VX_VALUE(st().sys.RecordLength), 256);
  EXPECT_FALSE(full->isChecked());
  EXPECT_EQ(widget<QLineEdit>("HORIZONTAL", "RECORDINGDEPTH")->text(), "256 samples");

  // The monitor and synchronisation exist on the VME board only.
  EXPECT_FALSE(main().action(MenuAction::BufferMonitor)->isEnabled());
  EXPECT_FALSE(main().action(MenuAction::SyncOptions)->isEnabled());
}

TEST_F(GuiSettings, ExpertPanelsOpenBehindTheGateAndDriveTheBoard) {
  connect_board(2);
  auto* slow = main().findChild<QWidget*>("PANEL_SC");
  ASSERT_NE(slow, nullptr);
  EXPECT_FALSE(slow->isVisible());
  main().action(MenuAction::SamRegisters)->trigger();
  enter_access_code();
  EXPECT_TRUE(slow->isVisible());
  EXPECT_EQ(slow->windowTitle(), "SAM Slow Control");

  auto* en_dac = slow->findChild<QCheckBox*>("En_DAC");
  ASSERT_NE(en_dac, nullptr);
  ASSERT_FALSE(en_dac->isChecked()) << "the default word 0xC081 has no En_DAC";
  en_dac->click();
  for (const auto& blk : st().sam) EXPECT_EQ(VX_VALUE(blk.SamReg2), 0xC0A1);
  EXPECT_EQ(slow->findChild<QLineEdit*>("SAMREG2")->text(), "0xC0A1");
  int index2_loads = 0;
  for (const auto& r : named("WriteRegister")) index2_loads += r.args[2] == 0x2002 ? 1 : 0;
  EXPECT_EQ(index2_loads, 8) << "register index 2 of every block";

  main().action(MenuAction::Debug)->trigger();
  enter_access_code();
  auto* debug = main().findChild<QWidget*>("PANEL_DEB");
  ASSERT_TRUE(debug->isVisible());
  calls.clear();
  debug->findChild<QCheckBox*>("ADC20MHZ")->click();
  EXPECT_EQ(VX_VALUE(st().sys.Adc20MHzOnOff), 1);
  ASSERT_EQ(named("WriteRegister").size(), 1u);
  EXPECT_EQ(named("WriteRegister")[0].args[1], 0x8070);
  EXPECT_EQ(named("WriteRegister")[0].args[2] & 0x2, 0x2);

  // The monitor gain chosen on the MON panel shows on the debug panel too.
  main().action(MenuAction::BufferMonitor)->trigger();
  auto* monitor = main().findChild<QWidget*>("P_MONITOR");
  ASSERT_TRUE(monitor->isVisible());
  auto* gain = monitor->findChild<QComboBox*>("MONITORGAIN");
  choose(gain, 4);
  EXPECT_EQ(VX_VALUE(st().sys.MonitorGain), 4);
  EXPECT_EQ(debug->findChild<QComboBox*>("MONITORGAIN")->currentIndex(), 4);
  // The MON panel also shows the monitor mode, which is set on the debug panel.
  auto* mode = debug->findChild<QSpinBox*>("MONITORMODE");
  mode->setValue(2);
  EXPECT_EQ(VX_VALUE(st().sys.MonitorMode), 2);
  EXPECT_TRUE(monitor->findChild<QLabel*>("MONITORMODESHOWN")->text().startsWith("2 "));

  main().action(MenuAction::PulserMode)->trigger();
  auto* pulser = main().findChild<QWidget*>("PANEL_PM");
  ASSERT_TRUE(pulser->isVisible());
  calls.clear();
  pulser->findChild<QCheckBox*>("PULSECH3")->click();
  const auto enabled = named("EnableSAMPulseGen");
  ASSERT_EQ(enabled.size(), 1u);
  EXPECT_EQ(enabled[0].args[1], 3);
}

}  // namespace
}  // namespace vx::ui
