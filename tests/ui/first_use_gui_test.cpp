// What a new user meets, offscreen on the simulated board: the windows fit a 1366 x 768 screen
// and only hide on close, the FFT switch stays under the mouse, a run that never triggers says why.

#include <QCheckBox>
#include <QMenu>
#include <QPointer>

#include "app/record_loan.h"
#include "digitizer/board_configuration.h"
#include "gui_fixture.h"
#include "ui/main_graph_view.h"

namespace vx::ui {
namespace {

// A 1366 x 768 screen, less a task bar.
const QRect kSmallScreen(0, 0, 1366, 728);

struct GuiFirstUse : GuiTest {
  GuiFirstUse() { connect_board(); }  // the 16-channel board: the most to show
};

// Whether the widget is shown whole: inside the window and not clipped by its parents.
testing::AssertionResult shown_whole(QWidget* w, QWidget* window) {
  if (w == nullptr) return testing::AssertionFailure() << "missing";
  const QString name = w->objectName();
  if (!w->isVisible()) return testing::AssertionFailure() << name.toStdString() << " hidden";
  const QRect in_window(w->mapTo(window, QPoint(0, 0)), w->size());
  if (!window->rect().contains(in_window))
    return testing::AssertionFailure() << name.toStdString() << " outside the window";
  if (w->visibleRegion().boundingRect() != w->rect())
    return testing::AssertionFailure() << name.toStdString() << " clipped";
  return testing::AssertionSuccess();
}

TEST_F(GuiFirstUse, WindowsFitASmallScreenAndOnlyHideOnCloseAndTheFftSwitchStaysPut) {
  main().fit_to_screen(kSmallScreen);
  pump_for(200);
  // With room for the frame and title bar that the window system adds.
  EXPECT_LE(main().width(), kSmallScreen.width() - 16);
  EXPECT_LE(main().height(), kSmallScreen.height() - 40);
  QStringList names = {"MESSAGESTAB", "RUNNINGLED",      "TX_DATA_TO_CLIENT_LED",
                       "EVENTNUMBER", "EVENTSPERSECOND", "SECONDSELAPSED",
                       "RUNTYPE",     "DISPLAYONOFF",    "GRAPH"};
  for (int ch = 0; ch < 16; ++ch)
    names << QString("CH%1LEGENDTEXT").arg(ch) << QString("CH%1LED").arg(ch);
  for (const QString& name : names)
    EXPECT_TRUE(shown_whole(main().findChild<QWidget*>(name), &main())) << name.toStdString();

  // Every other window opens at a size that fits the same screen, and survives its close.
  for (QWidget* w : main().findChildren<QWidget*>()) {
    if (!w->isWindow() || w->objectName().isEmpty() || qobject_cast<QMenu*>(w) != nullptr) continue;
    const std::string name = w->objectName().toStdString();
    QPointer<QWidget> p(w);
    w->show();
    QApplication::processEvents();
    EXPECT_LE(w->width(), kSmallScreen.width()) << name;
    EXPECT_LE(w->height(), kSmallScreen.height()) << name;
    EXPECT_LE(w->minimumSizeHint().height(), kSmallScreen.height()) << name;
    w->close();
    QApplication::processEvents();
    ASSERT_FALSE(p.isNull()) << name;
    EXPECT_FALSE(w->isVisible()) << name;
  }

  // The FFT switch stays where it was clicked.
  auto* fft = main().findChild<QCheckBox*>("FFTONOFF");
  const QPoint before = fft->mapTo(&main(), QPoint(0, 0));
  const int graph_width = main().graph()->width();
  for (int i = 0; i < 2; ++i) {
    fft->click();
    pump_for(100);
    EXPECT_EQ(fft->mapTo(&main(), QPoint(0, 0)), before) << "click " << i + 1;
    EXPECT_EQ(main().graph()->width(), graph_width) << "click " << i + 1;
  }
}

// The default thresholds (+20 mV, rising) never see the simulated board's negative pulses.
TEST_F(GuiFirstUse, ARunThatNeverTriggersSaysWhyInTheInfos) {
  st().sys.TriggerSource = 1;
  Set_SystemTriggerMode(st());
  press_start();
  ASSERT_TRUE(wait_until([&] { return infos().contains("No event for 5 s"); }, 20000));
  main().stop_and_wait();
  for (const char* said :
       {"ch0-15   threshold +0.020 V, rising edge", "Change them on the TRIGGER page"})
    EXPECT_TRUE(infos().contains(said)) << said << "\n" << infos().toStdString();
  EXPECT_EQ(st().EventNumber.load(), 0);
}

using GuiFreshStart = GuiTest;

// No configuration file: the panel offers the command line's board, a first Connect and Start
// show pulses, and Auto Scale makes them a few divisions tall. The next session offers the
// board last connected.
TEST_F(GuiFreshStart, AFirstConnectNeedsNoChoiceAndAutoScaleShowsThePulses) {
  ConnectionPanel& panel = app->connection_panel();
  EXPECT_EQ(panel.model_box()->currentText(), "V1743");
  EXPECT_EQ(panel.link_box()->currentText(), "OPTICAL");
  panel.connect_button()->click();
  ASSERT_TRUE(wait_until([&] { return st().Board_Connected.load() == 1 && !Records_Lent(st()); }));
  press_start();
  ASSERT_TRUE(wait_until([&] { return main().graph()->plotted_points(0) > 0; }));
  main().action(MenuAction::AutoScale)->trigger();
  main().stop_and_wait();
  for (int ch : {0, 7, 15}) EXPECT_EQ(static_cast<int>(st().gui.VerticalScale[ch]), 50) << ch;

  // The desktop board over USB, connected last, is what the next session offers.
  connect_board(1, 0);
  ASSERT_EQ(static_cast<int>(st().sys.NbOfChannels), 8);
  app.reset();
  GuiOptions options;
  options.user_dir = home.path().string();
  GuiApp next(options);
  EXPECT_EQ(next.connection_panel().model_box()->currentText(), "DT5743/N6743");
  EXPECT_EQ(next.connection_panel().link_box()->currentText(), "USB");
}

}  // namespace
}  // namespace vx::ui
