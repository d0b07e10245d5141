// The calibration entries of the Configuration menu, driven offscreen on the simulated board.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

#include <deque>
#include <fstream>

#include "gui_fixture.h"
#include "support/test_state.h"
#include "ui/calibration_menu.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/main_window.h"

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
    }
    return false;
  }
  QString title, label;
  int highest = -1;
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

}  // namespace
}  // namespace vx::ui
