// The calibration entries of the Configuration menu, driven offscreen on the simulated board.

#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include "gui_fixture.h"
#include "ui/calibration_menu.h"

namespace vx::ui {
namespace {

// Every progress dialog shown: its title and label, and the highest value its bar reached.
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

TEST_F(GuiCalibration, PedestalPromptCancelRepromptADialogThatReaches100AndACancelIsNoError) {
  QAction* calibrate = main().action(MenuAction::CalibratePedestals);

  dialogs.prompt_answers = {std::nullopt};
  calibrate->trigger();
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
  EXPECT_GT(st().EventNumber.load(), 400);  // the table it gives: the calibration tests

  // Cancel in the "Completion Status" dialog reaches the calibration, with no error popup (what
  // a cancel keeps: the calibration tests).
  watcher.cancel_after_ms = 200;
  finished = false;
  dialogs.prompt_answers = {QString("20000")};
  calibrate->trigger();
  ASSERT_TRUE(wait_until([&] { return finished; }));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(infos().contains("Pedestal Calibration cancelled by user"));
  for (const auto& shown : dialogs.shown) EXPECT_NE(shown.kind, PopupKind::Error);
}

// The SAM DAC calibration from its menu item, on a board given no input in the connection panel
// (what the new codes give: the calibration tests).
struct GuiStoredCalibrations : GuiTest {};

TEST_F(GuiStoredCalibrations, SamDacCalibrationFromTheMenuTakesNewCodes) {
  auto* input = app->connection_panel().findChild<QComboBox*>("SIMINPUT");
  ASSERT_NE(input, nullptr);
  input->setCurrentIndex(input->findData(QStringLiteral("none")));
  connect_board(1, 0);  // the 8-channel desktop board
  ASSERT_EQ(dynamic_cast<sim::SimulatedBoard&>(*app->board()).config().channel[5].input,
            sim::InputKind::kNone);

  bool finished = false, ok = false;
  QObject::connect(main().calibration_menu(), &CalibrationMenu::finished,
                   [&](bool result) { finished = true, ok = result; });
  const auto codes = [&] {
    const auto& c = st().sam[0].SamDacOffsetCh0;
    return std::vector<int>(std::begin(c), std::end(c));
  };
  const auto codes_before = codes();
  QAction* sam_dacs = main().action(MenuAction::CalibrateSamDacs);
  sam_dacs->setEnabled(true);  // Restricted Access, without its variable
  sam_dacs->trigger();
  // Minutes under a sanitizer on a busy machine.
  ASSERT_TRUE(wait_until([&] { return finished; }, 240000));
  ASSERT_TRUE(ok);
  EXPECT_NE(codes(), codes_before);
}

}  // namespace
}  // namespace vx::ui
