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

#include "support/test_state.h"
#include "ui/calibration_menu.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/main_window.h"

namespace vx::ui {
namespace {

class PromptDialogs : public Dialogs {
 public:
  void popup(PopupKind, const QString&, const QString&) override {}
  bool confirm(const QString&, const QString&) override { return true; }
  std::optional<QString> prompt(const QString& title, const QString& text,
                                const QString&) override {
    asked.push_back(title + ": " + text);
    if (answers.empty()) return std::nullopt;
    const bool cancel = !answers.front().has_value();
    const QString a = answers.front().value_or(QString());
    answers.pop_front();
    if (cancel) return std::nullopt;
    return a;
  }
  std::optional<QString> select_file(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<QString> select_directory(const QString&, const QString&) override {
    return std::nullopt;
  }
  std::deque<std::optional<QString>> answers;
  QStringList asked;
};

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

bool wait_until(const std::function<bool()>& pred, int timeout_ms = 60000) {
  QElapsedTimer t;
  t.start();
  while (!pred()) {
    if (t.elapsed() > timeout_ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  QApplication::processEvents();
  return true;
}

struct GuiCalibration : ::testing::Test {
  test::TempDir home;
  PromptDialogs dialogs;
  std::unique_ptr<GuiApp> app;

  GuiCalibration() {
    const auto config = home.path() / "quiet.cfg";
    std::ofstream(config) << "input = none\nexternal_rate_hz = 0\n";
    GuiOptions options;
    options.user_dir = home.path().string();
    options.sim_config = config.string();
    app = std::make_unique<GuiApp>(options);
    app->front_end().set_dialogs(&dialogs);
    app->start();
    auto& panel = app->connection_panel();
    panel.model_box()->setCurrentIndex(2);
    panel.link_box()->setCurrentIndex(1);
    panel.connect_button()->click();
    EXPECT_TRUE(wait_until([&] { return app->main_window().isVisible(); }));
  }
  MainWindow& main() { return app->main_window(); }
  QString infos() { return main().message_box(MessageTab::Infos)->toPlainText(); }
};

TEST_F(GuiCalibration, PedestalPromptCancelRepromptAndADialogThatReaches100) {
  State& st = app->state();
  QAction* calibrate = main().action("CALIBRATE");
  ASSERT_TRUE(calibrate->isEnabled());

  dialogs.answers = {std::nullopt};
  calibrate->trigger();
  EXPECT_TRUE(infos().contains("Pedestals calibration cancelled by user."));
  EXPECT_FALSE(main().calibration_menu()->busy());

  ProgressWatcher watcher;
  dialogs.answers = {QString("twenty"), QString("400")};
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
