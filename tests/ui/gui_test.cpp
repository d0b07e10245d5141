// The main window driven through its real widgets, offscreen, on the simulated board, and what
// a bench session meets: modal dialogs, zoom across runs, replays, TCP clients, reconnections.

#include <QCheckBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QScrollBar>
#include <QSet>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>

#include <atomic>
#include <thread>

#include "analysis/main_graph.h"
#include "app/message_log.h"
#include "app/record_loan.h"
#include "digitizer/board_configuration.h"
#include "gui_fixture.h"
#include "ui/access_panel.h"
#include "ui/info_panel.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"

namespace vx::ui {
namespace {

using GuiFixture = GuiTest;
using GuiBench = GuiTest;

TEST_F(GuiFixture, ConnectShowsTheMainWindowWithOneLightPerChannel) {
  EXPECT_TRUE(app->connection_panel().isVisible());
  EXPECT_EQ(app->connection_panel().windowTitle(), "Board Connection");

  // With no model chosen, only the warning.
  app->connection_panel().model_box()->setCurrentIndex(0);
  app->connection_panel().connect_button()->click();
  QApplication::processEvents();
  EXPECT_TRUE(dialogs.saw("Warning", "Select a valid board model and try again."));
  EXPECT_FALSE(main().isVisible());

  connect_board();
  EXPECT_EQ(main().windowTitle(), "VELTRIX V1.8.5");
  EXPECT_TRUE(infos().contains("End of Hardware Setup."));
  // A warning lands on Infos and Warnings, never on Errors.
  for (MessageTab tab : {MessageTab::Infos, MessageTab::Warnings})
    EXPECT_TRUE(messages(tab).contains("Select a valid board model and try again."));
  EXPECT_FALSE(messages(MessageTab::Errors).contains("Select a valid board model"));
  EXPECT_FALSE(messages(MessageTab::Warnings).contains("End of Hardware Setup."));
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

  // The desktop board hides the upper eight channels.
  connect_board(1);
  for (int ch = 0; ch < kMaxChannels; ++ch)
    EXPECT_EQ(main().channel_led(ch)->isVisibleTo(&main()), ch < 8) << ch;
  EXPECT_EQ(main().graph()->marker_text(8, true), "");
  EXPECT_EQ(main().graph()->marker_text(0, true), "\u25C0T0-7");
}

TEST_F(GuiFixture, FiniteEventRunFromTheMenuEndsAtTheLimitAndShowsItsOwnTimeAndRate) {
  connect_board();
  finite_run(40);
  EXPECT_EQ(VX_VALUE(st().acq.MaxNumEventsBLT), 1);
  // What a longer run before left behind: the time and rate shown become this run's.
  main().set_text(Field::RunElapsedTime, 2, "3");
  main().set_text(Field::RunElapsedTime, 3, "7");
  main().set_text(Field::EventRate, -1, "0.5");

  QElapsedTimer wall;
  wall.start();
  run_events(40);
  pump_for(50);
  const double took = wall.elapsed() / 1000.0;
  EXPECT_EQ(st().EventNumber.load(), 40);
  EXPECT_EQ(main().event_number()->text(), "40");
  EXPECT_EQ(main().findChild<QLineEdit*>("MINUTESELAPSED")->text(), "0");
  EXPECT_LE(main().findChild<QLineEdit*>("SECONDSELAPSED")->text().toInt(), static_cast<int>(took));
  bool ok = false;
  const double rate = main().event_rate()->text().toDouble(&ok);
  ASSERT_TRUE(ok) << main().event_rate()->text().toStdString();
  EXPECT_GE(rate, 40.0 / took * 0.99);  // forty events over at most the time waited for them
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
  EXPECT_TRUE(run_bar->actions().contains(main().action(MenuAction::Start)));

  QAction* stop = main().action(MenuAction::Stop);
  EXPECT_FALSE(stop->isEnabled());  // dimmed without a run
  press_start();
  ASSERT_TRUE(wait_until([&] { return st().EventNumber.load() > 5; }));
  EXPECT_TRUE(stop->isEnabled());
  EXPECT_FALSE(main().action(MenuAction::Start)->isEnabled());  // dimmed during the run
  EXPECT_FALSE(main().action(MenuAction::BoardConnect)->isEnabled());
  for (MenuAction item : {MenuAction::RunFromFile, MenuAction::LoadSetup, MenuAction::SaveRunToFile,
                          MenuAction::SaveMeasurements})
    EXPECT_FALSE(main().action(item)->isEnabled()) << object_name(item);
  // The channel lights too: a click neither changes a channel nor restarts the run.
  const int generation = st().AcquisitionGeneration.load();
  for (int ch = 0; ch < kMaxChannels; ++ch) EXPECT_FALSE(main().channel_led(ch)->isEnabled()) << ch;
  EXPECT_FALSE(main().all_channels()->isEnabled());
  main().channel_led(3)->click();
  main().all_channels()->click();
  pump_for(100);
  EXPECT_EQ(VX_VALUE(st().gui.ChannelEnabled[3]), 1);
  EXPECT_EQ(st().AcquisitionGeneration.load(), generation);
  stop->trigger();
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
  ASSERT_TRUE(wait_until([&] { return main().action(MenuAction::Start)->isEnabled(); }));
  ASSERT_TRUE(wait_until([&] { return !stop->isEnabled(); }));
  for (int ch = 0; ch < kMaxChannels; ++ch) EXPECT_TRUE(main().channel_led(ch)->isEnabled()) << ch;
  EXPECT_TRUE(main().all_channels()->isEnabled());
}

TEST_F(GuiFixture, ControlsAndCheckMarksMirrorTheParameters) {
  connect_board();
  // The saving items follow their options.
  InfoPanel& info = *main().info_panel();
  EXPECT_FALSE(info.isVisible());
  main().action(MenuAction::SaveWaveformsAndMeasurements)->trigger();
  EXPECT_TRUE(info.isVisible());
  info.dont_show_again()->click();
  info.close_button()->click();
  EXPECT_FALSE(info.isVisible());
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 1);
  EXPECT_EQ(VX_VALUE(st().acq.MeasurementsEnabled), 1);
  EXPECT_TRUE(main().action(MenuAction::SaveWaveformsAndMeasurements)->isChecked());
  EXPECT_FALSE(main().action(MenuAction::SaveWaveforms)->isChecked());
  // Waveforms only replaces waveforms and measurements.
  main().action(MenuAction::SaveWaveforms)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.MeasurementsEnabled), 0);
  EXPECT_TRUE(main().action(MenuAction::SaveWaveforms)->isChecked());
  EXPECT_FALSE(main().action(MenuAction::SaveWaveformsAndMeasurements)->isChecked());
  main().action(MenuAction::SaveWaveforms)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 0);
  EXPECT_FALSE(main().action(MenuAction::SaveWaveforms)->isChecked());
  EXPECT_TRUE(infos().contains("Saving Data to file option is OFF."));

  main().action(MenuAction::SaveMeasurements)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveMeasurementsInFile), 1);
  EXPECT_FALSE(info.isVisible());  // not again once declined
  EXPECT_TRUE(main().action(MenuAction::SaveMeasurements)->isChecked());
  main().action(MenuAction::SaveMeasurements)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveMeasurementsInFile), 0);
  EXPECT_TRUE(infos().contains("Saving all measurements to file option is ON."));
  EXPECT_TRUE(infos().contains("Saving all measurements to file option is OFF."));

  main().display_switch()->click();
  EXPECT_EQ(VX_VALUE(st().acq.DisplayOn), main().display_switch()->isChecked() ? 1 : 0);

  main().fft_switch()->click();
  EXPECT_EQ(VX_VALUE(st().acq.FFTMode), 1);
  EXPECT_EQ(main().graph()->yAxis->label(), "Amplitude [dB]");
  EXPECT_EQ(main().legend(2)->text(), "Ch2: dB");
  main().fft_switch()->click();
  EXPECT_EQ(main().legend(2)->text(), "Ch2:500 mV/Div");

  main().persistence_switch()->click();
  EXPECT_EQ(VX_VALUE(st().gui.DisplayOption), 1);
  EXPECT_FALSE(main().data_mode()->isEnabled());
  EXPECT_EQ(main().data_mode()->currentIndex(), 1);
  main().persistence_switch()->click();
  EXPECT_TRUE(main().data_mode()->isEnabled());
  EXPECT_EQ(main().data_mode()->currentIndex(), 0);

  QAction* inl = main().action(MenuAction::InlCorrection);
  const bool before = inl->isChecked();
  inl->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.INLCorrectionEnabled), before ? 0 : 1);

  st().acq.SaveDataInFile = 1;
  st().acq.MeasurementsEnabled = 1;
  st().acq.RunFromFile = 0;
  st().acq.TCPCommandsEnabled = 1;
  main().refresh_menu_values();
  EXPECT_FALSE(main().action(MenuAction::SaveWaveforms)->isChecked());
  EXPECT_TRUE(main().action(MenuAction::SaveWaveformsAndMeasurements)->isChecked());
  EXPECT_TRUE(main().action(MenuAction::ClientCommands)->isChecked());

  for (MenuAction item : {MenuAction::RunFromFile, MenuAction::LoadSetup, MenuAction::SaveSetup,
                          MenuAction::SaveWaveforms, MenuAction::ClientCommands,
                          MenuAction::TcpServer, MenuAction::CalibratePedestals}) {
    EXPECT_TRUE(main().action(item)->isEnabled()) << object_name(item);
  }
}

TEST_F(GuiFixture, RunFromFileTurnsSavingOffAndReplaysASavedRun) {
  connect_board(1);  // eight channels, of which 1 and 4 are recorded
  finite_run(20);
  main().all_channels()->click();  // all off
  main().channel_led(1)->click();
  main().channel_led(4)->click();

  // A short run saved to a directory chosen in the dialog.
  main().action(MenuAction::SaveWaveforms)->trigger();
  EXPECT_TRUE(infos().contains("Saving Data to file option is ON."));
  const auto runs = home.path() / "runs";
  std::filesystem::create_directories(runs);
  dialogs.directory_answer = QString::fromStdString(runs.string());
  run_to_the_end();
  EXPECT_EQ(st().EventNumber.load(), 20);
  const auto saved = files_under(runs, st().acq.DataFileType == 0 ? "_Ascii.dat" : "_Binary.bin");
  ASSERT_EQ(saved.size(), 1u);

  // Replay mode switches every saving option off and dims them.
  main().action(MenuAction::RunFromFile)->trigger();
  EXPECT_TRUE(main().action(MenuAction::RunFromFile)->isChecked());
  EXPECT_FALSE(main().action(MenuAction::SaveWaveforms)->isChecked());
  EXPECT_FALSE(main().action(MenuAction::SaveRunToFile)->isEnabled());
  EXPECT_FALSE(main().action(MenuAction::SaveMeasurements)->isEnabled());
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
  EXPECT_EQ(st().EventNumber.load(), 20);
  EXPECT_EQ(main().event_number()->text(), "20");
  // Nothing new was written while replaying.
  EXPECT_EQ(files_under(runs, "").size(), files_before_replay);

  main().action(MenuAction::RunFromFile)->trigger();
  EXPECT_FALSE(main().action(MenuAction::RunFromFile)->isChecked());
  EXPECT_TRUE(main().action(MenuAction::SaveRunToFile)->isEnabled());
  EXPECT_TRUE(main().action(MenuAction::SaveMeasurements)->isEnabled());
  EXPECT_TRUE(infos().contains("Running from Data file option is OFF."));
  // The settings from before the replay are back, saving included.
  EXPECT_TRUE(main().action(MenuAction::SaveWaveforms)->isChecked());

  // With nothing being saved, replay leaves the options open; choosing one ends replay.
  main().action(MenuAction::SaveWaveforms)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 0);
  main().action(MenuAction::RunFromFile)->trigger();
  EXPECT_TRUE(main().action(MenuAction::SaveRunToFile)->isEnabled());
  const auto offs_before = infos().count("Running from Data file option is OFF.");
  main().action(MenuAction::SaveWaveforms)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.RunFromFile), 0);
  EXPECT_EQ(VX_VALUE(st().acq.SaveDataInFile), 1);
  EXPECT_FALSE(main().action(MenuAction::RunFromFile)->isChecked());
  EXPECT_EQ(infos().count("Running from Data file option is OFF."), offs_before + 1);

  // Replayed on a sixteen-channel board with every channel on: the file's channels only.
  main().action(MenuAction::SaveWaveforms)->trigger();
  connect_board(2);
  main().all_channels()->click();
  if (main().all_channels()->checkState() != Qt::Checked) main().all_channels()->click();
  ASSERT_TRUE(main().channel_led(15)->isChecked());
  main().action(MenuAction::RunFromFile)->trigger();
  dialogs.file_answers.push_back(QString::fromStdString(saved[0].string()));
  run_to_the_end();
  ASSERT_EQ(st().EventNumber.load(), 20);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_EQ(main().channel_led(ch)->isVisibleTo(&main()), ch < 8) << ch;
    EXPECT_EQ(main().legend(ch)->isVisibleTo(&main()), ch < 8) << ch;
    EXPECT_EQ(main().channel_led(ch)->isChecked(), ch == 1 || ch == 4) << ch;
  }
  EXPECT_EQ(main().all_channels()->checkState(), Qt::PartiallyChecked);
}

TEST_F(GuiFixture, SetupSavedAndLoadedBackThroughTheDialogsWhoseFilterIsThePattern) {
  connect_board();
  set_run_type(1, 37);
  const auto file = home.path() / "bench.dat";
  dialogs.file_answers.push_back(QString::fromStdString(file.string()));
  main().action(MenuAction::SaveSetup)->trigger();

  set_run_type(3);
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsRequired), 0);

  dialogs.file_answers.push_back(QString::fromStdString(file.string()));
  main().action(MenuAction::LoadSetup)->trigger();
  ASSERT_EQ(main().run_type()->currentIndex(), 1);
  EXPECT_FALSE(dialogs.file_requests.back().save);
  EXPECT_EQ(main().events_required()->value(), 37);

  // A cancelled dialog is reported as a failed readout and changes nothing.
  main().action(MenuAction::LoadSetup)->trigger();
  EXPECT_TRUE(
      messages(MessageTab::Errors)
          .contains("A problem occured during the readout of setup values from the file !"));
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsRequired), 37);

  // Qt's own save dialog offers the pattern as a filter, not as a name.
  QtDialogs real;
  app->front_end().set_dialogs(&real);
  QString offered_name, offered_filter;
  auto answer = [&](const QString& typed) {
    QTimer::singleShot(100, [&, typed] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      offered_name = name->text();
      offered_filter = dialog->selectedNameFilter();
      if (!typed.isEmpty()) name->setText(typed);
      static_cast<QDialog*>(dialog)->accept();
      // An empty name is not accepted: the dialog stays and is cancelled.
      if (dialog->isVisible()) dialog->reject();
    });
  };
  // The error reported for the cancelled dialog is acknowledged too.
  QTimer acknowledge;
  QObject::connect(&acknowledge, &QTimer::timeout, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->close();
  });
  acknowledge.start(50);
  answer("");
  main().action(MenuAction::SaveSetup)->trigger();
  EXPECT_FALSE(offered_name.contains('*')) << offered_name.toStdString();
  EXPECT_TRUE(offered_filter.contains("*.dat")) << offered_filter.toStdString();
  for (const auto& f : files_under(home.path(), ""))
    EXPECT_EQ(f.filename().string().find('*'), std::string::npos) << f;

  // Typed without its extension, the name gets it, also when it names a folder of the
  // working directory (Qt's dialog leaves the suffix off such a name).
  const std::filesystem::path folder = std::filesystem::current_path() / "lab_setup_folder";
  std::filesystem::create_directory(folder);
  answer("lab_setup_folder");
  main().action(MenuAction::SaveSetup)->trigger();
  std::filesystem::remove(folder);
  app->front_end().set_dialogs(&dialogs);
  EXPECT_TRUE(std::filesystem::is_regular_file(home.path() / "Setup" / "lab_setup_folder.dat"));
}

TEST_F(GuiFixture, TcpPanelRegistersTheServerShowsItsClientAndBoundsAFlood) {
  connect_board();
  main().action(MenuAction::TcpServer)->trigger();
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

  TcpClient client(port);
  ASSERT_TRUE(wait_until([&] { return panel.client_connected()->isChecked(); }, 5000));
  EXPECT_EQ(panel.client_ip()->text(), "127.0.0.1");

  // Remote commands take Start away from the user.
  main().action(MenuAction::ClientCommands)->trigger();
  EXPECT_TRUE(main().action(MenuAction::ClientCommands)->isChecked());
  EXPECT_FALSE(main().action(MenuAction::Start)->isEnabled());
  EXPECT_TRUE(infos().contains("START/STOP from TCP Client is ENABLED!"));
  // The client starts a one-event run.
  set_run_type(0);
  client.send("RUN_START00000003");
  ASSERT_TRUE(wait_until([&] { return infos().contains("Run is over."); }, 10000));
  EXPECT_FALSE(main().action(MenuAction::Start)->isEnabled());  // still the client's after the run
  main().action(MenuAction::ClientCommands)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.TCPCommandsEnabled), 0);
  EXPECT_TRUE(main().action(MenuAction::Start)->isEnabled());

  // A flood goes into a bounded box, laid out for its own size, not the whole box per chunk.
  qint64 inserted = 0;
  QObject::connect(panel.received()->document(), &QTextDocument::contentsChange,
                   [&](int, int, int added) { inserted += added; });
  std::string flood;
  for (int i = 0; flood.size() < 1'500'000; ++i) flood += "noise " + std::to_string(i) + "\n";
  flood += "the last line\n";
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    try {
      client.send(flood);
    } catch (const std::runtime_error&) {  // the last line never shows: the wait below fails
    }
    sent = true;
  });
  const bool accepted = wait_until([&] { return sent.load(); }, 120000);
  sender.join();
  ASSERT_TRUE(accepted);
  ASSERT_TRUE(wait_until(
      [&] { return panel.received()->toPlainText().endsWith("the last line\n"); }, 60000));
  const QString shown = panel.received()->toPlainText();
  EXPECT_LE(shown.size(), 64 * 1024);
  EXPECT_GT(shown.size(), 60 * 1024);
  // Exactly the newest text the client sent, in order.
  EXPECT_TRUE(QString::fromStdString(flood).endsWith(shown));
  EXPECT_LT(inserted, 2 * static_cast<qint64>(flood.size()));

  // Cleared, then new text arrives: only the new text is shown.
  panel.clear_button()->click();
  ASSERT_TRUE(wait_until([&] { return panel.received()->toPlainText().isEmpty(); }, 5000));
  client.send("after the clear\n");
  ASSERT_TRUE(
      wait_until([&] { return panel.received()->toPlainText() == "after the clear\n"; }, 5000))
      << panel.received()->toPlainText().toStdString();

  // The server side ends the conversation.
  auto* disconnect = panel.findChild<QPushButton*>("DISCONNECTCLIENT");
  ASSERT_NE(disconnect, nullptr);
  EXPECT_TRUE(disconnect->isEnabled());
  disconnect->click();
  EXPECT_FALSE(panel.client_connected()->isChecked());
  EXPECT_FALSE(disconnect->isEnabled());
  client.close();

  panel.register_button()->click();
  EXPECT_FALSE(panel.online()->isChecked());
  EXPECT_TRUE(panel.port()->isEnabled());
  EXPECT_EQ(panel.register_button()->text(), "Register TCP/IP Server");
  // The port is closed again.
  EXPECT_THROW(TcpClient{port}, std::runtime_error);
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

  enter_access_code();  // right, but with nothing requested: refused
  EXPECT_TRUE(dialogs.saw("ERROR", "Wrong Password,try again!"));
  EXPECT_TRUE(opened.empty());

  gate.request(Panel::Debug);
  gate.request(Panel::Eeprom);
  enter_access_code("VRMT2468");  // case matters
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(gate.isVisible());

  enter_access_code();
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

TEST_F(GuiBench, InfosKeepFollowingNewMessagesAfterAModalDialog) {
  connect_board();
  main().resize(1400, 900);
  QPlainTextEdit* box = main().message_box(MessageTab::Infos);
  QScrollBar* bar = box->verticalScrollBar();
  auto add_lines = [&](int first, int count) {
    for (int i = first; i < first + count; ++i) {
      Write_InfoMessage(st(), "line " + std::to_string(i) + "\n", kInfo);
      QApplication::processEvents();
    }
    pump_for(50);
  };
  add_lines(0, 120);
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());

  // A real modal message box, answered a moment later.
  QtDialogs real;
  app->front_end().set_dialogs(&real);
  QTimer::singleShot(100, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  Write_InfoMessage(st(), "Something to acknowledge\n", kWarning);
  app->front_end().set_dialogs(&dialogs);
  add_lines(120, 40);
  EXPECT_EQ(bar->value(), bar->maximum());
  // The newest line is on screen (the box ends with an empty line after it).
  const QTextBlock newest = box->document()->findBlockByNumber(box->document()->blockCount() - 2);
  EXPECT_TRUE(newest.text().contains("line 159"));
  EXPECT_TRUE(box->viewport()->rect().contains(box->cursorRect(QTextCursor(newest)).center()));

  // Scrolled up by the user: the view stays where it was put.
  bar->setValue(bar->maximum() / 3);
  const int kept = bar->value();
  add_lines(160, 10);
  EXPECT_EQ(bar->value(), kept);
  // Back at the end: following again.
  bar->setValue(bar->maximum());
  add_lines(170, 10);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(GuiBench, ZoomedAxesKeepTheirLabelsAcrossRunsUntilZoomOut) {
  connect_board();
  set_run_type(1, 3);
  EXPECT_FALSE(main().action(MenuAction::ZoomIn)->isEnabled());  // only with the cursors
  main().action(MenuAction::EnableCursors)->trigger();
  MainGraphView& g = *main().graph();
  g.set_cursor(0, QPointF(1000, 2.0));
  g.set_cursor(1, QPointF(2000, -1.0));
  main().action(MenuAction::ZoomIn)->trigger();
  EXPECT_TRUE(g.zoomed());
  const double ns_per_point = Get_SamplingPeriod(st()) / 10000.0;

  auto check_labels = [&](const char* when) {
    g.replot();
    const QVector<double> xt = g.xAxis->tickVector();
    const QVector<QString> xl = g.xAxis->tickVectorLabels();
    ASSERT_GE(xt.size(), 3) << when;
    for (int i = 0; i < xt.size(); ++i)
      EXPECT_NEAR(xl[i].toDouble(), xt[i] * ns_per_point, 5e-4)
          << when << " " << xl[i].toStdString();
    const QVector<QString> yl = g.yAxis->tickVectorLabels();
    EXPECT_EQ(QSet<QString>(yl.begin(), yl.end()).size(), yl.size()) << when;
    EXPECT_EQ(g.xAxis->label(), "Time[ns]") << when;
    EXPECT_NEAR(g.xAxis->range().lower, 999.0, 1e-9) << when;
  };
  check_labels("zoomed");
  run_to_the_end();
  check_labels("after a run");
  main().channel_led(2)->click();  // rescales the graph for the channels shown
  check_labels("after a channel change");

  main().action(MenuAction::ZoomOut)->trigger();
  g.replot();
  EXPECT_FALSE(g.zoomed());
  EXPECT_DOUBLE_EQ(g.xAxis->range().upper, 10240.0);
  EXPECT_EQ(g.xAxis->label(), "Time[20 ns/Div]");
  EXPECT_EQ(g.xAxis->tickVectorLabels().front(), "0");
  EXPECT_EQ(g.xAxis->tickVectorLabels().back(), "16");
  main().action(MenuAction::DeleteCursors)->trigger();
  EXPECT_FALSE(main().action(MenuAction::ZoomIn)->isEnabled());
}

TEST_F(GuiBench, TriggerMarkerSitsAtTheAlignedTriggerPosition) {
  connect_board();
  GuiParams& g = st().gui;
  g.SelectedChannel = 3;
  g.VerticalScale[3] = 200;
  g.VerticalPosition[3] = 1.0f;
  g.PlotAlignment = 1;
  g.PlotAlignmentOption1 = 0;  // aligned on channel 0's rising crossing of 0.3 V
  g.PlotAlignmentOption2 = 1;
  g.PlotAlignmentValue = 0.3f;
  main().refresh_channel_leds();
  const int n = shown_samples(st());
  auto show_step = [&](float high_counts) {
    for (int i = 0; i < n; ++i)
      st().event.FullyOrderedValues[0][0][i] = i < 300 ? 0.0f : high_counts;
    const int before = main().redraw_count();
    main().compute_display(Freeze_RunConfig(st()), st().event);
    ASSERT_TRUE(wait_until([&] { return main().redraw_count() > before; }, 3000));
  };
  MainGraphView& view = *main().graph();
  // Level: 0.25 V at 200 mV/Div is 1.25 Div, above a position of 1 Div.
  st().sam[1].TriggerThreshold[1] = 0.25f;
  show_step(1000.0f);  // crosses 0.3 V (491 counts)
  ASSERT_TRUE(view.trigger_marker_shown());
  EXPECT_DOUBLE_EQ(view.trigger_marker_position().x(), n * 10.0);
  EXPECT_NEAR(view.trigger_marker_position().y(), 2.25, 1e-6);
  show_step(200.0f);  // never reaches the alignment threshold
  EXPECT_FALSE(view.trigger_marker_shown());
  show_step(1000.0f);
  EXPECT_TRUE(view.trigger_marker_shown());
  g.PlotAlignment = 0;
  main().recompute_graph_parameters();  // handed over to the frames, as the panel's change does
  show_step(1000.0f);
  EXPECT_FALSE(view.trigger_marker_shown());
}

// Nobody may be at the lab computer: a run directory that exists already is refused with a message
// to the client, not with a question on the screen; a popup of the tick holds up no client's stop.
// A dialog the user has open (any nested event loop) holds a client's start until it closes.
TEST_F(GuiBench, ARemoteStartWaitsForTheUsersDialogButNeverRaisesOne) {
  connect_board();
  set_run_type(3);
  main().action(MenuAction::SaveWaveforms)->trigger();
  TcpPanel& panel = start_tcp_server();
  main().action(MenuAction::ClientCommands)->trigger();
  auto client = std::make_unique<TcpClient>(st().tcp.ServerPort);
  ASSERT_TRUE(wait_until([&] { return panel.client_connected()->isChecked(); }, 5000));

  client->send("RUN_START00000005");
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 1; }, 10000))
      << infos().toStdString();
  const std::string run_dir(st().acq.RunDirectory);
  client->send("STOP");
  ASSERT_TRUE(wait_received(*client, "RUN_STOPPED"));

  client->send("RUN_START00000005");
  const std::string refusal =
      "RUN_START_REFUSED:the run directory '" + run_dir + "' already exists\n";
  ASSERT_TRUE(wait_received(*client, refusal, 5000)) << client->received;
  EXPECT_EQ(client->received, "RUN_STOPPED" + refusal);
  EXPECT_TRUE(dialogs.questions.isEmpty()) << dialogs.questions.join("\n").toStdString();
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
  EXPECT_TRUE(wait_until(
      [&] { return messages(MessageTab::Warnings).contains("its files are kept"); }, 5000));

  // Not saving now: the start waits for the dialog; a second start raises the warning, and
  // while it is open the client stops and leaves.
  main().action(MenuAction::SaveWaveforms)->trigger();
  dialogs.shown.clear();
  client->send("RUN_START00000001");
  ASSERT_TRUE(wait_until([&] { return !st().remote.requests.empty(); }, 5000));
  QEventLoop dialog;  // what a modal dialog runs while it is open
  QTimer::singleShot(2500, &dialog, &QEventLoop::quit);  // two ticks at least
  dialog.exec();
  EXPECT_EQ(st().AcquisitionRunning.load(), 0) << "started under the dialog";
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 1; }, 5000));
  const auto started = infos().count("Run started");
  bool stopped_while_open = false;
  dialogs.on_popup = [&] {
    client->send("STOP");
    stopped_while_open = wait_until([&] { return st().AcquisitionRunning.load() == 0; }, 5000);
    client.reset();
    pump_for(200);
  };
  client->send("RUN_START00000002");
  ASSERT_TRUE(wait_until([&] { return !dialogs.shown.empty(); }, 5000)) << infos().toStdString();
  EXPECT_TRUE(dialogs.shown.front().text.contains("Acquisition already running"));
  EXPECT_TRUE(stopped_while_open);
  // Nothing is started afterwards for the client that has gone.
  pump_for(2500);
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
  EXPECT_EQ(infos().count("Run started"), started) << infos().toStdString();
}

TEST_F(GuiBench, ConnectDuringARunKeepsTheEventLoopGoingAndIsDimmedMeanwhile) {
  auto& panel = app->connection_panel();
  panel.show();
  // Connected with no timer fired since: the first press's watch is still to come when the
  // second press closes the board, and must not undim Connect.
  panel.connect_button()->click();
  ASSERT_TRUE(wait_for_flag(
      [&] {
        QCoreApplication::sendPostedEvents();
        return !Records_Lent(st()) && main().isEnabled();
      },
      30.0));
  // A run whose end needs the user-interface thread (as a warning popup at its end does), late.
  std::atomic<bool> served{false}, answered{false};
  bool dimmed_meanwhile = false;
  st().StopRequest().store(0);
  st().AcquisitionRunning = 1;
  std::thread run([&] {
    wait_for_flag([&] { return st().StopRequest().load() != 0; }, 10.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    st().ui.post([&] {
      dimmed_meanwhile = !panel.connect_button()->isEnabled();
      served = true;
    });
    answered = wait_for_flag([&] { return served.load(); }, 3.0);
    st().AcquisitionRunning = 0;
  });
  panel.connect_button()->click();
  run.join();
  EXPECT_TRUE(answered.load());
  EXPECT_TRUE(dimmed_meanwhile);
  ASSERT_TRUE(wait_until(
      [&] { return st().ConnectingThreadReleased.load() == 1 && st().Connecting.load() == 0; }));
  EXPECT_EQ(st().Board_Connected.load(), 1);
  ASSERT_TRUE(wait_until([&] { return panel.connect_button()->isEnabled(); }, 3000));
}

}  // namespace
}  // namespace vx::ui

namespace vx::ui {
int run_exit_child(const char* user_dir);
}

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // A fresh process of the exit test (exit_test.cpp).
  if (argc == 3 && std::string(argv[1]) == "--exit-child") return vx::ui::run_exit_child(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
