// The desktop application driven through its real widgets, offscreen, on the simulated
// board.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolBar>

#include <atomic>
#include <deque>
#include <filesystem>
#include <thread>

#include "app/message_log.h"
#include "gui_fixture.h"
#include "support/packed_value.h"
#include "support/test_state.h"
#include "ui/access_panel.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/info_panel.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/main_window.h"
#include "ui/tcp_panel.h"

namespace vx::ui {
namespace {

using GuiFixture = GuiTest;

TEST_F(GuiFixture, ConnectShowsTheMainWindowWithOneLightPerChannel) {
  EXPECT_TRUE(app->connection_panel().isVisible());
  EXPECT_FALSE(main().isVisible());
  EXPECT_EQ(app->connection_panel().windowTitle(), "Board Connection");

  // No model chosen: only the warning.
  app->connection_panel().connect_button()->click();
  QApplication::processEvents();
  EXPECT_TRUE(dialogs.saw("Warning", "Select a valid board model and try again."));
  EXPECT_FALSE(main().isVisible());

  connect_board();
  EXPECT_EQ(st().Board_Connected.load(), 1);
  EXPECT_EQ(main().windowTitle(), "VELTRIX V1.8.5");
  EXPECT_TRUE(
      main().message_box(MessageTab::Infos)->toPlainText().contains("End of Hardware Setup."));
  // A warning lands on Infos and Warnings, never on Errors.
  for (MessageTab tab : {MessageTab::Infos, MessageTab::Warnings})
    EXPECT_TRUE(main().message_box(tab)->toPlainText().contains(
        "Select a valid board model and try again."));
  EXPECT_FALSE(
      main().message_box(MessageTab::Errors)->toPlainText().contains("Select a valid board model"));
  EXPECT_FALSE(
      main().message_box(MessageTab::Warnings)->toPlainText().contains("End of Hardware Setup."));
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_TRUE(main().channel_led(ch)->isVisibleTo(&main())) << ch;
    EXPECT_TRUE(main().channel_led(ch)->isChecked()) << ch;
  }
  EXPECT_EQ(main().all_channels()->checkState(), Qt::Checked);

  main().channel_led(3)->click();
  EXPECT_EQ(VX_VALUE(st().gui.ChannelEnabled[3]), 0);
  EXPECT_EQ(main().all_channels()->checkState(), Qt::PartiallyChecked);
  main().all_channels()->click();  // from mixed: everything on
  EXPECT_EQ(VX_VALUE(st().gui.ChannelEnabled[3]), 1);
  EXPECT_EQ(main().all_channels()->checkState(), Qt::Checked);
  main().all_channels()->click();  // all on: everything off
  for (int ch = 0; ch < kMaxChannels; ++ch)
    EXPECT_EQ(VX_VALUE(st().gui.ChannelEnabled[ch]), 0) << ch;
  EXPECT_EQ(main().all_channels()->checkState(), Qt::Unchecked);
}

TEST_F(GuiFixture, DesktopBoardHidesTheUpperEightChannels) {
  connect_board(1);  // DT5743: 8 channels
  for (int ch = 0; ch < kMaxChannels; ++ch)
    EXPECT_EQ(main().channel_led(ch)->isVisibleTo(&main()), ch < 8) << ch;
  EXPECT_EQ(main().graph()->marker_text(8, true), "");
  EXPECT_EQ(main().graph()->marker_text(0, true), "\u25C0T0-7");
}

TEST_F(GuiFixture, FiniteEventRunFromTheMenuEndsAtTheLimit) {
  connect_board();
  main().findChild<QSpinBox*>("MAX_NUM_EVT_PER_BLOCK")->setValue(1);  // one event per readout
  main().run_type()->setCurrentIndex(1);
  emit main().run_type()->activated(1);
  main().events_required()->setValue(40);
  EXPECT_EQ(VX_VALUE(st().acq.RunType), 1);
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsRequired), 40);
  EXPECT_EQ(VX_VALUE(st().acq.MaxNumEventsBLT), 1);

  press_start();
  EXPECT_TRUE(wait_until(
      [&] { return st().AcquisitionRunning.load() == 1 || st().EventNumber.load() >= 40; }));
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 0; }));
  ASSERT_TRUE(wait_until([&] { return main().action("START")->isEnabled(); }));
  EXPECT_EQ(st().EventNumber.load(), 40);
  EXPECT_EQ(main().event_number()->text(), "40");
  EXPECT_TRUE(main()
                  .message_box(MessageTab::Infos)
                  ->toPlainText()
                  .contains("Run started with 40 events required."));
  EXPECT_TRUE(main().message_box(MessageTab::Infos)->toPlainText().contains("Run is over."));
  // The last event is on the graph: ten display points per sample for every channel.
  ASSERT_TRUE(wait_until([&] { return main().graph()->plotted_points(15) == 10230; }, 2000));
  EXPECT_EQ(main().graph()->plotted_points(0), 10230);
}

TEST_F(GuiFixture, StopFromTheToolbarEndsAContinuousRun) {
  connect_board();
  QToolBar* run_bar = nullptr;
  for (QToolBar* bar : main().toolbars())
    if (bar->windowTitle() == "Run [3]") run_bar = bar;
  ASSERT_NE(run_bar, nullptr);
  EXPECT_TRUE(run_bar->actions().contains(main().action("START")));

  press_start();
  ASSERT_TRUE(wait_until([&] { return st().EventNumber.load() > 5; }));
  EXPECT_FALSE(main().action("START")->isEnabled());  // dimmed during the run
  EXPECT_FALSE(main().action("BOARDCONNECT")->isEnabled());
  for (const char* name : {"RUNFROMFILE", "LOADSETUP", "SAVERUNTOFILE", "SAVEALLMEASUREMENTS"})
    EXPECT_FALSE(main().action(name)->isEnabled()) << name;
  main().action("STOP")->trigger();
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
  ASSERT_TRUE(wait_until([&] { return main().action("START")->isEnabled(); }));
  EXPECT_TRUE(main().message_box(MessageTab::Infos)->toPlainText().contains("Run stopped."));
}

TEST_F(GuiFixture, ControlsAndCheckMarksMirrorTheParameters) {
  connect_board();
  main().display_switch()->click();
  EXPECT_EQ(VX_VALUE(st().acq.DisplayOn), main().display_switch()->isChecked() ? 1 : 0);

  main().fft_switch()->click();
  EXPECT_EQ(VX_VALUE(st().acq.FFTMode), 1);
  EXPECT_EQ(VX_VALUE(st().gui.GraphMode), kGraphFft);
  EXPECT_EQ(main().graph()->yAxis->label(), "Amplitude [dB]");
  EXPECT_EQ(main().legend(2)->text(), "Ch2: dB");
  main().fft_switch()->click();
  EXPECT_EQ(VX_VALUE(st().gui.GraphMode), kGraphWaveforms);
  EXPECT_EQ(main().legend(2)->text(), "Ch2:500 mV/Div");

  main().persistence_switch()->click();
  EXPECT_EQ(VX_VALUE(st().gui.DisplayOption), 1);
  EXPECT_FALSE(main().data_mode()->isEnabled());
  EXPECT_EQ(main().data_mode()->currentIndex(), 1);
  main().persistence_switch()->click();
  EXPECT_TRUE(main().data_mode()->isEnabled());
  EXPECT_EQ(main().data_mode()->currentIndex(), 0);

  QAction* inl = main().action("ENABLEINLCORRECTION");
  const bool before = inl->isChecked();
  inl->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.INLCorrectionEnabled), before ? 0 : 1);

  st().acq.SaveDataInFile = 1;
  st().acq.MeasurementsEnabled = 1;
  st().acq.RunFromFile = 0;
  st().acq.TCPCommandsEnabled = 1;
  main().refresh_menu_values();
  EXPECT_FALSE(main().action("SAVEWAVETOFILE")->isChecked());
  EXPECT_TRUE(main().action("ADDALLMEASUREMENTS")->isChecked());
  EXPECT_TRUE(main().action("EN_START_STOP_CLIENT")->isChecked());
  EXPECT_FALSE(main().action("START")->isEnabled());  // only the remote client starts runs
  st().acq.TCPCommandsEnabled = 0;
  main().refresh_menu_values();
  EXPECT_TRUE(main().action("START")->isEnabled());

  for (const char* name : {"RUNFROMFILE", "LOADSETUP", "SAVESETUPINFILE", "SAVEWAVETOFILE",
                           "EN_START_STOP_CLIENT", "TCP_SERVER", "CALIBRATE"}) {
    EXPECT_TRUE(main().action(name)->isEnabled()) << name;
  }
}

std::vector<std::filesystem::path> files_under(const std::filesystem::path& dir,
                                               const std::string& suffix) {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().string().ends_with(suffix)) found.push_back(e.path());
  return found;
}

TEST_F(GuiFixture, RunFromFileTurnsSavingOffAndReplaysASavedRun) {
  connect_board();
  main().findChild<QSpinBox*>("MAX_NUM_EVT_PER_BLOCK")->setValue(1);
  main().run_type()->setCurrentIndex(1);
  emit main().run_type()->activated(1);
  main().events_required()->setValue(20);

  // A short run saved to a directory chosen in the dialog.
  main().action("SAVEWAVETOFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 1);
  EXPECT_TRUE(main().action("SAVEWAVETOFILE")->isChecked());
  EXPECT_TRUE(infos().contains("Saving Data to file option is ON."));
  const auto runs = home.path() / "runs";
  std::filesystem::create_directories(runs);
  dialogs.directory_answer = QString::fromStdString(runs.string());
  run_to_the_end();
  EXPECT_EQ(st().EventNumber.load(), 20);
  const auto saved = files_under(runs, st().acq.DataFileType == 0 ? "_Ascii.dat" : "_Binary.bin");
  ASSERT_EQ(saved.size(), 1u);

  // Replay mode switches every saving option off and dims them.
  main().action("RUNFROMFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.RunFromFile), 1);
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 0);
  EXPECT_TRUE(main().action("RUNFROMFILE")->isChecked());
  EXPECT_FALSE(main().action("SAVEWAVETOFILE")->isChecked());
  EXPECT_FALSE(main().action("SAVERUNTOFILE")->isEnabled());
  EXPECT_FALSE(main().action("SAVEALLMEASUREMENTS")->isEnabled());
  const QString log = infos();
  const auto off = log.indexOf("Saving Data to file options are OFF.");
  const auto on = log.indexOf("Running from Data file option is ON.");
  ASSERT_GE(off, 0);
  EXPECT_GT(on, off);

  // Start asks for the file and plays it back to its end.
  dialogs.file_answers.push_back(QString::fromStdString(saved[0].string()));
  const auto requests_before = dialogs.file_requests.size();
  const auto files_before_replay = files_under(runs, "").size();
  run_to_the_end();
  EXPECT_EQ(dialogs.file_requests.size(), requests_before + 1);
  EXPECT_TRUE(dialogs.file_answers.empty());
  EXPECT_TRUE(infos().contains(
      QString("Run started from file: '%1'.").arg(QString::fromStdString(saved[0].string()))));
  EXPECT_EQ(st().EventNumber.load(), 20);
  EXPECT_EQ(main().event_number()->text(), "20");
  // Nothing new was written while replaying.
  EXPECT_EQ(files_under(runs, "").size(), files_before_replay);

  main().action("RUNFROMFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.RunFromFile), 0);
  EXPECT_FALSE(main().action("RUNFROMFILE")->isChecked());
  EXPECT_TRUE(main().action("SAVERUNTOFILE")->isEnabled());
  EXPECT_TRUE(main().action("SAVEALLMEASUREMENTS")->isEnabled());
  EXPECT_TRUE(infos().contains("Running from Data file option is OFF."));
  // The settings from before the replay are back, saving included.
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 1);
  EXPECT_TRUE(main().action("SAVEWAVETOFILE")->isChecked());

  // With nothing being saved, replay leaves the options open; choosing one ends replay.
  main().action("SAVEWAVETOFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 0);
  main().action("RUNFROMFILE")->trigger();
  EXPECT_TRUE(main().action("SAVERUNTOFILE")->isEnabled());
  const auto offs_before = infos().count("Running from Data file option is OFF.");
  main().action("SAVEWAVETOFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.RunFromFile), 0);
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 1);
  EXPECT_FALSE(main().action("RUNFROMFILE")->isChecked());
  EXPECT_EQ(infos().count("Running from Data file option is OFF."), offs_before + 1);
}

TEST_F(GuiFixture, SavingCheckItemsFollowTheirOptions) {
  connect_board();
  InfoPanel& info = *main().info_panel();
  EXPECT_FALSE(info.isVisible());
  main().action("ADDALLMEASUREMENTS")->trigger();
  EXPECT_TRUE(info.isVisible());
  info.dont_show_again()->click();
  info.close_button()->click();
  EXPECT_FALSE(info.isVisible());
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 1);
  EXPECT_EQ(VX_VALUE(st().acq.MeasurementsEnabled), 1);
  EXPECT_TRUE(main().action("ADDALLMEASUREMENTS")->isChecked());
  EXPECT_FALSE(main().action("SAVEWAVETOFILE")->isChecked());
  // Waveforms only replaces waveforms and measurements.
  main().action("SAVEWAVETOFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.MeasurementsEnabled), 0);
  EXPECT_TRUE(main().action("SAVEWAVETOFILE")->isChecked());
  EXPECT_FALSE(main().action("ADDALLMEASUREMENTS")->isChecked());
  main().action("SAVEWAVETOFILE")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 0);
  EXPECT_FALSE(main().action("SAVEWAVETOFILE")->isChecked());
  EXPECT_TRUE(infos().contains("Saving Data to file option is OFF."));

  main().action("SAVEALLMEASUREMENTS")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveMeasurementsInFile), 1);
  EXPECT_FALSE(info.isVisible());  // not again once declined
  EXPECT_TRUE(main().action("SAVEALLMEASUREMENTS")->isChecked());
  main().action("SAVEALLMEASUREMENTS")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveMeasurementsInFile), 0);
  EXPECT_TRUE(infos().contains("Saving all measurements to file option is ON."));
  EXPECT_TRUE(infos().contains("Saving all measurements to file option is OFF."));
}

TEST_F(GuiFixture, SetupSavedAndLoadedBackThroughTheDialogs) {
  connect_board();
  main().run_type()->setCurrentIndex(1);
  emit main().run_type()->activated(1);
  main().events_required()->setValue(37);
  const auto file = home.path() / "bench.dat";
  dialogs.file_answers.push_back(QString::fromStdString(file.string()));
  main().action("SAVESETUPINFILE")->trigger();
  ASSERT_TRUE(std::filesystem::exists(file));
  ASSERT_FALSE(dialogs.file_requests.empty());
  EXPECT_TRUE(dialogs.file_requests.back().save);

  main().run_type()->setCurrentIndex(3);
  emit main().run_type()->activated(3);
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsRequired), 0);

  dialogs.file_answers.push_back(QString::fromStdString(file.string()));
  main().action("LOADSETUP")->trigger();
  EXPECT_FALSE(dialogs.file_requests.back().save);
  EXPECT_TRUE(infos().contains("Setup values succesfully restored !"));
  EXPECT_EQ(VX_VALUE(st().acq.RunType), 1);
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsRequired), 37);
  EXPECT_EQ(main().run_type()->currentIndex(), 1);
  EXPECT_EQ(main().events_required()->value(), 37);

  // A cancelled dialog is reported as a failed readout and changes nothing.
  main().action("LOADSETUP")->trigger();
  EXPECT_TRUE(
      main()
          .message_box(MessageTab::Errors)
          ->toPlainText()
          .contains("A problem occured during the readout of setup values from the file !"));
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsRequired), 37);
}

// A blocking loopback client.
struct Client {
  int fd = -1;
  explicit Client(int port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  ~Client() { close(); }
  bool send(const std::string& text) const {
    return ::send(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
  }
  // Whatever has arrived so far, without waiting.
  std::string take() const {
    std::string got;
    char buffer[256];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
      got.append(buffer, static_cast<std::size_t>(n));
    return got;
  }
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

TEST_F(GuiFixture, TcpPanelRegistersTheServerAndShowsItsClient) {
  connect_board();
  main().action("TCP_SERVER")->trigger();
  TcpPanel& panel = app->tcp_panel();
  ASSERT_TRUE(panel.isVisible());
  EXPECT_FALSE(panel.online()->isChecked());
  EXPECT_EQ(panel.register_button()->text(), "Register TCP/IP Server");

  panel.port()->setValue(0);  // any free port
  panel.register_button()->click();
  ASSERT_EQ(VX_VALUE(st().tcp.ServerOnline), 1);
  const int port = st().tcp.ServerPort;
  ASSERT_GT(port, 0);
  EXPECT_TRUE(panel.online()->isChecked());
  EXPECT_EQ(panel.port()->value(), port);
  EXPECT_FALSE(panel.port()->isEnabled());
  EXPECT_EQ(panel.register_button()->text(), "Un-Register TCP/IP Server");
  EXPECT_FALSE(panel.server_name()->text().isEmpty());

  Client client(port);
  ASSERT_GE(client.fd, 0);
  ASSERT_TRUE(wait_until([&] { return panel.client_connected()->isChecked(); }, 5000));
  EXPECT_EQ(panel.client_ip()->text(), "127.0.0.1");
  ASSERT_TRUE(client.send("hello from the bench\n"));
  ASSERT_TRUE(wait_until(
      [&] { return panel.received()->toPlainText().contains("hello from the bench"); }, 5000));
  EXPECT_TRUE(panel.received()->toPlainText().contains("-- New connection from 127.0.0.1 --"));

  // Remote commands take Start away from the user.
  main().action("EN_START_STOP_CLIENT")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.TCPCommandsEnabled), 1);
  EXPECT_TRUE(main().action("EN_START_STOP_CLIENT")->isChecked());
  EXPECT_FALSE(main().action("START")->isEnabled());
  EXPECT_TRUE(infos().contains("START/STOP from TCP Client is ENABLED!"));
  // The client starts a one-event run; its end is acknowledged to the client.
  main().run_type()->setCurrentIndex(0);
  emit main().run_type()->activated(0);
  ASSERT_TRUE(client.send("RUN_START00000003"));
  ASSERT_TRUE(wait_until([&] { return infos().contains("Run is over."); }, 10000));
  EXPECT_EQ(VX_VALUE(st().tcp.TCPRunId), 3);
  std::string reply;
  EXPECT_TRUE(wait_until(
      [&] {
        reply += client.take();
        return reply.find("RUN_STOPPED") != std::string::npos;
      },
      5000))
      << reply;
  EXPECT_FALSE(main().action("START")->isEnabled());  // still the client's after the run
  main().action("EN_START_STOP_CLIENT")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.TCPCommandsEnabled), 0);
  EXPECT_TRUE(main().action("START")->isEnabled());

  // The server side ends the conversation.
  auto* disconnect = panel.findChild<QPushButton*>("DISCONNECTCLIENT");
  ASSERT_NE(disconnect, nullptr);
  EXPECT_TRUE(disconnect->isEnabled());
  disconnect->click();
  EXPECT_FALSE(panel.client_connected()->isChecked());
  EXPECT_FALSE(disconnect->isEnabled());
  EXPECT_TRUE(panel.received()->toPlainText().contains("-- Client disconnected by server--"));
  client.close();

  panel.register_button()->click();
  EXPECT_EQ(VX_VALUE(st().tcp.ServerOnline), 0);
  EXPECT_FALSE(panel.online()->isChecked());
  EXPECT_TRUE(panel.port()->isEnabled());
  EXPECT_EQ(panel.register_button()->text(), "Register TCP/IP Server");
  // The port is closed again.
  Client refused(port);
  EXPECT_LT(refused.fd, 0);
}

TEST_F(GuiFixture, CursorsReadOutAndZoom) {
  connect_board();
  EXPECT_FALSE(main().action("ZOOMIN")->isEnabled());
  main().action("ENABLECURSORS")->trigger();
  EXPECT_TRUE(main().action("ZOOMIN")->isEnabled());
  main().graph()->set_cursor(0, QPointF(1000, 2.0));
  main().graph()->set_cursor(1, QPointF(3000, -1.0));
  main().action("ZOOMIN")->trigger();
  EXPECT_TRUE(main().graph()->zoomed());
  EXPECT_NEAR(main().graph()->xAxis->range().lower, 998.0, 1e-9);
  EXPECT_NEAR(main().graph()->xAxis->range().upper, 3002.0, 1e-9);
  EXPECT_EQ(main().graph()->xAxis->label(), "Time[ns]");
  main().action("ZOOMOUT")->trigger();
  EXPECT_FALSE(main().graph()->zoomed());
  EXPECT_DOUBLE_EQ(main().graph()->xAxis->range().upper, 10240.0);
  EXPECT_EQ(main().graph()->xAxis->label(), "Time[20 ns/Div]");
  main().action("DELETECURSORS")->trigger();
  EXPECT_FALSE(main().action("ZOOMIN")->isEnabled());
}

TEST_F(GuiFixture, WorkerWarningWaitsUntilAcknowledged) {
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    Write_InfoMessage(st(), "Something to acknowledge\n", kWarning);
    returned = true;
  });
  // The user-interface loop has not run: the popup is not shown, the worker waits.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(returned.load());
  EXPECT_TRUE(dialogs.shown.empty());
  ASSERT_TRUE(wait_until([&] { return returned.load(); }, 5000));
  worker.join();
  EXPECT_TRUE(dialogs.saw("Warning", "Something to acknowledge"));
}

TEST_F(GuiFixture, AccessCodeOpensOnlyTheFirstRequestedPanel) {
  AccessPanel& gate = *main().access_panel();
  std::vector<Panel> opened;
  QObject::connect(&gate, &AccessPanel::granted, [&](Panel p) { opened.push_back(p); });

  // A correct code with nothing requested is refused.
  gate.code_field()->setText("vrmt2468");
  gate.ok_button()->click();
  EXPECT_TRUE(dialogs.saw("ERROR", "Wrong Password,try again!"));
  EXPECT_TRUE(opened.empty());

  gate.request(Panel::Debug);
  gate.request(Panel::Eeprom);
  EXPECT_TRUE(gate.isVisible());
  gate.code_field()->setText("VRMT2468");  // case matters
  gate.ok_button()->click();
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(gate.isVisible());

  gate.code_field()->setText("vrmt2468");
  gate.ok_button()->click();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], Panel::Eeprom);
  EXPECT_FALSE(gate.isVisible());
  EXPECT_TRUE(gate.code_field()->text().isEmpty());
  EXPECT_TRUE(gate.requested(Panel::Debug));

  gate.request(Panel::SlowControl);
  gate.cancel_button()->click();
  EXPECT_FALSE(gate.requested(Panel::Debug));
  EXPECT_FALSE(gate.requested(Panel::SlowControl));
}

TEST(GuiMainGraph, PersistenceKeepsABoundedNumberOfEarlierCurves) {
  MainGraphView view;
  view.resize(1000, 600);
  DisplayFrame frame;
  frame.curves.resize(16);
  for (int ch = 0; ch < 16; ++ch) {
    frame.curves[ch].channel = ch;
    frame.curves[ch].y.assign(10230, static_cast<float>(ch) * 0.1f);
  }
  view.show_frame(frame);
  view.show_frame(frame);
  EXPECT_EQ(view.persisted_curve_count(), 0);
  view.set_persistence(true);
  for (int i = 0; i < MainGraphView::kPersistedFrames + 10; ++i) view.show_frame(frame);
  EXPECT_EQ(view.persisted_curve_count(), MainGraphView::kPersistedFrames * 16);
  view.set_persistence(false);
  EXPECT_EQ(view.persisted_curve_count(), 0);
}

}  // namespace
}  // namespace vx::ui

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
