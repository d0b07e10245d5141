// The calibration entries of the Configuration menu, driven offscreen on the simulated board.

#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include "gui_fixture.h"
#include "support/baseline.h"
#include "ui/calibration_menu.h"

namespace vx::ui {
namespace {

// Watches every progress dialog the application shows: its title and the highest value its
// bar reached.
class ProgressWatcher : public QObject {
 public:
  ProgressWatcher() { qApp->installEventFilter(this); }
  ~ProgressWatcher() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* o, QEvent* e) override {
    auto* d = qobject_cast<QProgressDialog*>(o);
    if (d != nullptr && e->type() == QEvent::Show) {
      title = d->windowTitle();
      label = d->labelText();
      if (auto* bar = d->findChild<QProgressBar*>())
        connect(bar, &QProgressBar::valueChanged, this,
                [this](int v) { highest = std::max(highest, v); });
      if (cancel_after_ms >= 0)
        QTimer::singleShot(cancel_after_ms, d, [d] {
          if (auto* cancel = d->findChild<QPushButton*>()) cancel->click();
        });
    }
    return false;
  }
  QString title, label;
  int highest = -1;
  int cancel_after_ms = -1;  // presses Cancel that long after the dialog shows
};

struct GuiCalibration : GuiTest {
  GuiCalibration() : GuiTest("input = none\nexternal_rate_hz = 0\n") {
    dialogs.confirm_answer = true;
  }
  void SetUp() override { connect_board(); }
};

TEST_F(GuiCalibration, PedestalPromptCancelRepromptAndADialogThatReaches100) {
  State& st = app->state();
  QAction* calibrate = main().action("CALIBRATE");
  ASSERT_TRUE(calibrate->isEnabled());

  dialogs.prompt_answers = {std::nullopt};
  calibrate->trigger();
  EXPECT_TRUE(infos().contains("Pedestals calibration cancelled by user."));
  EXPECT_FALSE(main().calibration_menu()->busy());

  ProgressWatcher watcher;
  dialogs.prompt_answers = {QString("twenty"), QString("400")};
  dialogs.asked.clear();
  bool finished = false, ok = false;
  QObject::connect(main().calibration_menu(), &CalibrationMenu::finished,
                   [&](bool result) { finished = true, ok = result; });
  calibrate->trigger();
  ASSERT_EQ(dialogs.asked.size(), 2);
  EXPECT_EQ(dialogs.asked[0],
            "Pedestal Calibration: Enter the number of events for pedestal calibration:");
  EXPECT_EQ(dialogs.asked[1],
            "Pedestal Calibration: Please Enter a valid number of events for pedestal "
            "calibration:");

  // The window keeps answering while the worker reads the board; the dialog reaches 100 %.
  ASSERT_TRUE(wait_until([&] { return finished; }));
  EXPECT_TRUE(ok);
  EXPECT_EQ(watcher.title, "Completion Status");
  EXPECT_EQ(watcher.label, "Percent Complete");
  EXPECT_EQ(watcher.highest, 100);
  EXPECT_TRUE(calibrate->isEnabled());
  EXPECT_TRUE(infos().contains("End of pedestals calibration."));
  EXPECT_GT(st.EventNumber.load(), 400);
  const float cell = st.calib.IndividualOffsetDistribution[0][0][100];
  EXPECT_GT(cell, 1900.0f);
  EXPECT_LT(cell, 2200.0f);
}

// Cancel in the "Completion Status" dialog: the previous table is kept and the Infos say so;
// no error, no popup.
TEST_F(GuiCalibration, ACancelIsNoError) {
  State& st = app->state();
  st.calib.IndividualOffsetDistribution[0][0][5] = 1234.5f;
  ProgressWatcher watcher;
  watcher.cancel_after_ms = 200;
  bool finished = false, ok = true;
  QObject::connect(main().calibration_menu(), &CalibrationMenu::finished,
                   [&](bool result) { finished = true, ok = result; });
  dialogs.prompt_answers = {QString("20000")};
  main().action("CALIBRATE")->trigger();
  ASSERT_TRUE(wait_until([&] { return finished; }));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(infos().contains("Pedestal Calibration cancelled by user"));
  EXPECT_TRUE(messages(MessageTab::Errors).isEmpty()) << messages(MessageTab::Errors).toStdString();
  for (const auto& shown : dialogs.shown) EXPECT_NE(shown.kind, PopupKind::Error);
  EXPECT_EQ(st.calib.IndividualOffsetDistribution[0][0][5], 1234.5f);
}

// The user's guide's order on the simulated board, chosen with no input in the connection
// panel: SAM DACs, pedestals, Save Pedestals to FLASH (its own question), a new connection.
// The baselines show the noise alone once the table is saved, and after the new connection.
struct GuiStoredCalibrations : GuiTest {};

TEST_F(GuiStoredCalibrations, SamDacsThenPedestalsSavedGiveTheNoiseAloneAfterReconnecting) {
  auto* input = app->connection_panel().findChild<QComboBox*>("SIMINPUT");
  ASSERT_NE(input, nullptr);
  input->setCurrentIndex(input->findData(static_cast<int>(sim::InputKind::kNone)));
  connect_board(1, 0);  // the 8-channel desktop board
  ASSERT_EQ(app->board()->config().channel[5].input, sim::InputKind::kNone);
  save_picture(&app->connection_panel(), "connection_panel");

  bool finished = false, ok = false;
  QObject::connect(main().calibration_menu(), &CalibrationMenu::finished,
                   [&](bool result) { finished = true, ok = result; });
  QAction* sam_dacs = main().action("CALIBSAMDACOFFSET");
  sam_dacs->setEnabled(true);  // Restricted Access, without its variable
  sam_dacs->trigger();
  ASSERT_TRUE(wait_until([&] { return finished; }));
  ASSERT_TRUE(ok);
  EXPECT_TRUE(messages(MessageTab::Warnings)
                  .contains("pedestal table in use was measured with other SAM DAC Offsets"));

  finished = false;
  dialogs.prompt_answers = {QString("300")};
  main().action("CALIBRATE")->trigger();
  ASSERT_TRUE(wait_until([&] { return finished; }));
  ASSERT_TRUE(ok);

  dialogs.confirm_answer = true;
  main().action("SAVE_PED_TO_EEPROM")->trigger();
  ASSERT_FALSE(dialogs.questions.isEmpty());
  EXPECT_EQ(dialogs.questions.last(),
            "Are you sure you want to save Pedestal Calibration Values to FLASH?");
  const double noise = test::noise_alone_counts(0.5);
  for (double rms : test::baseline_rms(st(), 5)) EXPECT_LT(rms, 1.2 * noise);

  connect_board(1, 0);
  for (double rms : test::baseline_rms(st(), 5)) EXPECT_LT(rms, 1.2 * noise);
}

}  // namespace
}  // namespace vx::ui
