// The main window under conditions a bench session meets: modal dialogs, zoom across
// runs, replays, a flooding TCP client, popups raised by the timer and a reconnection
// during a run.
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
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSpinBox>
#include <QTextBlock>
#include <QTimer>

#include <atomic>
#include <deque>
#include <filesystem>
#include <thread>

#include "analysis/main_graph.h"
#include "app/message_log.h"
#include "digitizer/board_configuration.h"
#include "gui_fixture.h"
#include "support/packed_value.h"
#include "support/test_state.h"
#include "ui/connection_panel.h"
#include "ui/dialogs.h"
#include "ui/gui_app.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/main_window.h"
#include "ui/tcp_panel.h"

namespace vx::ui {
namespace {

struct GuiBench : GuiTest {
  void set_run_type(int type, int events = 0) {
    main().run_type()->setCurrentIndex(type);
    emit main().run_type()->activated(type);
    if (type == 1) main().events_required()->setValue(events);
  }
};

// A blocking loopback client.
struct Client {
  int fd = -1;
  explicit Client(int port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) close();
  }
  ~Client() { close(); }
  bool send(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  void close() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  // What the server has sent so far.
  const std::string& poll() {
    char buffer[512];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
      received.append(buffer, static_cast<std::size_t>(n));
    return received;
  }
  std::string received;
};

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
  main().action("ENABLECURSORS")->trigger();
  MainGraphView& g = *main().graph();
  g.set_cursor(0, QPointF(1000, 2.0));
  g.set_cursor(1, QPointF(2000, -1.0));
  main().action("ZOOMIN")->trigger();
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

  main().action("ZOOMOUT")->trigger();
  g.replot();
  EXPECT_EQ(g.xAxis->label(), "Time[20 ns/Div]");
  EXPECT_EQ(g.xAxis->tickVectorLabels().front(), "0");
  EXPECT_EQ(g.xAxis->tickVectorLabels().back(), "16");
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
    for (int i = 0; i < n; ++i) st().event.DataValues[0][0][i] = i < 300 ? 0.0f : high_counts;
    const int before = main().redraw_count();
    main().compute_display();
    ASSERT_TRUE(wait_until([&] { return main().redraw_count() > before; }, 3000));
  };
  MainGraphView& view = *main().graph();
  // Level: 0.25 V at 200 mV/Div is 1.25 Div, above a position of 1 Div; a threshold far
  // above the screen pins the marker at its top edge.
  const struct {
    float threshold;
    double level;
  } cases[] = {{0.25f, 2.25}, {2.0f, 5.0}, {-3.0f, -5.0}};
  for (const auto& c : cases) {
    st().sam[1].TriggerThreshold[1] = c.threshold;
    show_step(1000.0f);  // crosses 0.3 V (491 counts)
    ASSERT_TRUE(view.trigger_marker_shown()) << c.threshold;
    EXPECT_DOUBLE_EQ(view.trigger_marker_position().x(), n * 10.0);
    EXPECT_NEAR(view.trigger_marker_position().y(), c.level, 1e-6) << c.threshold;
  }
  show_step(200.0f);  // never reaches the alignment threshold
  EXPECT_FALSE(view.trigger_marker_shown());
  show_step(1000.0f);
  EXPECT_TRUE(view.trigger_marker_shown());
  g.PlotAlignment = 0;
  show_step(1000.0f);
  EXPECT_FALSE(view.trigger_marker_shown());
}

TEST_F(GuiBench, ChannelLightsAreDimmedDuringARun) {
  connect_board();
  set_run_type(3);
  press_start();
  ASSERT_TRUE(wait_until([&] { return st().EventNumber.load() > 3; }));
  const int generation = st().AcquisitionGeneration.load();
  for (int ch = 0; ch < kMaxChannels; ++ch) EXPECT_FALSE(main().channel_led(ch)->isEnabled()) << ch;
  EXPECT_FALSE(main().all_channels()->isEnabled());
  main().channel_led(3)->click();
  main().all_channels()->click();
  pump_for(100);
  EXPECT_EQ(VX_VALUE(st().gui.ChannelEnabled[3]), 1);
  EXPECT_EQ(st().AcquisitionGeneration.load(), generation);  // the run was not restarted
  main().action("STOP")->trigger();
  ASSERT_TRUE(wait_until([&] { return main().action("START")->isEnabled(); }));
  for (int ch = 0; ch < kMaxChannels; ++ch) EXPECT_TRUE(main().channel_led(ch)->isEnabled()) << ch;
  EXPECT_TRUE(main().all_channels()->isEnabled());
}

std::vector<std::filesystem::path> files_under(const std::filesystem::path& dir,
                                               const std::string& suffix) {
  std::vector<std::filesystem::path> found;
  std::error_code ec;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().string().ends_with(suffix)) found.push_back(e.path());
  return found;
}

TEST_F(GuiBench, ReplayShowsTheFileChannelsOnly) {
  // Eight channels, of which 1 and 4 are recorded.
  connect_board(1);
  main().findChild<QSpinBox*>("MAX_NUM_EVT_PER_BLOCK")->setValue(1);
  set_run_type(1, 4);
  main().all_channels()->click();  // all off
  main().channel_led(1)->click();
  main().channel_led(4)->click();
  main().action("SAVEWAVETOFILE")->trigger();
  const auto runs = home.path() / "runs";
  std::filesystem::create_directories(runs);
  dialogs.directory_answer = QString::fromStdString(runs.string());
  run_to_the_end();
  const auto saved = files_under(runs, st().acq.DataFileType == 0 ? "_Ascii.dat" : "_Binary.bin");
  ASSERT_EQ(saved.size(), 1u);
  main().action("SAVEWAVETOFILE")->trigger();

  // Replayed on a sixteen-channel board with every channel on.
  connect_board(2);
  main().all_channels()->click();
  if (main().all_channels()->checkState() != Qt::Checked) main().all_channels()->click();
  ASSERT_TRUE(main().channel_led(15)->isChecked());
  main().action("RUNFROMFILE")->trigger();
  dialogs.file_answers.push_back(QString::fromStdString(saved[0].string()));
  run_to_the_end();
  ASSERT_EQ(st().EventNumber.load(), 4);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    EXPECT_EQ(main().channel_led(ch)->isVisibleTo(&main()), ch < 8) << ch;
    EXPECT_EQ(main().legend(ch)->isVisibleTo(&main()), ch < 8) << ch;
    EXPECT_EQ(main().channel_led(ch)->isChecked(), ch == 1 || ch == 4) << ch;
  }
  EXPECT_EQ(main().all_channels()->checkState(), Qt::PartiallyChecked);
}

TEST_F(GuiBench, ElapsedTimeAndRateBelongToTheLastRun) {
  connect_board();
  main().findChild<QSpinBox*>("MAX_NUM_EVT_PER_BLOCK")->setValue(1);
  set_run_type(1, 5);
  // What a longer run before left behind.
  main().set_text(Field::RunElapsedTime, 2, "3");
  main().set_text(Field::RunElapsedTime, 3, "7");
  main().set_text(Field::EventRate, -1, "0.5");
  auto* minutes = main().findChild<QLineEdit*>("MINUTESELAPSED");
  auto* seconds = main().findChild<QLineEdit*>("SECONDSELAPSED");
  QElapsedTimer wall;
  wall.start();
  run_to_the_end();
  pump_for(50);
  const double took = wall.elapsed() / 1000.0;
  ASSERT_EQ(st().EventNumber.load(), 5);
  EXPECT_EQ(minutes->text(), "0");
  EXPECT_LE(seconds->text().toInt(), static_cast<int>(took));
  bool ok = false;
  const double rate = main().event_rate()->text().toDouble(&ok);
  ASSERT_TRUE(ok) << main().event_rate()->text().toStdString();
  // Five events over at most the time the test waited for them.
  EXPECT_GE(rate, 5.0 / took * 0.99);
}

TEST_F(GuiBench, TcpFloodIsAppendedIncrementallyIntoABoundedBox) {
  connect_board();
  main().action("TCP_SERVER")->trigger();
  TcpPanel& panel = app->tcp_panel();
  panel.port()->setValue(0);
  panel.register_button()->click();
  ASSERT_EQ(VX_VALUE(st().tcp.ServerOnline), 1);
  Client client(st().tcp.ServerPort);
  ASSERT_GE(client.fd, 0);
  ASSERT_TRUE(wait_until([&] { return panel.client_connected()->isChecked(); }, 5000));

  // What the box is given to lay out: the flood's own size, not the whole box per chunk.
  qint64 inserted = 0;
  QObject::connect(panel.received()->document(), &QTextDocument::contentsChange,
                   [&](int, int, int added) { inserted += added; });
  std::string flood;
  for (int i = 0; flood.size() < 1'500'000; ++i) flood += "noise " + std::to_string(i) + "\n";
  flood += "the last line\n";
  std::atomic<bool> sent{false};
  std::thread sender([&] {
    client.send(flood);
    sent = true;
  });
  const bool accepted = wait_until([&] { return sent.load(); }, 120000);
  sender.join();
  ASSERT_TRUE(accepted);
  ASSERT_TRUE(wait_until(
      [&] { return panel.received()->toPlainText().endsWith("the last line\n"); }, 10000));
  const QString shown = panel.received()->toPlainText();
  EXPECT_LE(shown.size(), 64 * 1024);
  EXPECT_GT(shown.size(), 60 * 1024);
  // Exactly the newest text the client sent, in order.
  EXPECT_TRUE(QString::fromStdString(flood).endsWith(shown));
  EXPECT_LT(inserted, 2 * static_cast<qint64>(flood.size()));

  // Cleared, then new text arrives: only the new text is shown.
  panel.clear_button()->click();
  ASSERT_TRUE(wait_until([&] { return panel.received()->toPlainText().isEmpty(); }, 5000));
  ASSERT_TRUE(client.send("after the clear\n"));
  ASSERT_TRUE(
      wait_until([&] { return panel.received()->toPlainText() == "after the clear\n"; }, 5000))
      << panel.received()->toPlainText().toStdString();
}

TEST_F(GuiBench, RemoteStopIsCarriedOutWhileATickPopupIsOpen) {
  connect_board();
  set_run_type(3);
  main().action("TCP_SERVER")->trigger();
  TcpPanel& panel = app->tcp_panel();
  panel.port()->setValue(0);
  panel.register_button()->click();
  ASSERT_EQ(VX_VALUE(st().tcp.ServerOnline), 1);
  main().action("EN_START_STOP_CLIENT")->trigger();
  auto client = std::make_unique<Client>(st().tcp.ServerPort);
  ASSERT_GE(client->fd, 0);
  ASSERT_TRUE(wait_until([&] { return panel.client_connected()->isChecked(); }, 5000));
  ASSERT_TRUE(client->send("RUN_START00000001"));
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 1; }, 10000));

  // The second start raises the warning; while it is open the client stops and leaves.
  bool stopped_while_open = false;
  dialogs.on_popup = [&] {
    client->send("STOP");
    stopped_while_open = wait_until([&] { return st().AcquisitionRunning.load() == 0; }, 5000);
    client.reset();
    pump_for(200);
  };
  ASSERT_TRUE(client->send("RUN_START00000002"));
  ASSERT_TRUE(wait_until([&] { return !dialogs.shown.empty(); }, 5000)) << infos().toStdString();
  EXPECT_TRUE(dialogs.shown.front().text.contains("Acquisition already running"));
  EXPECT_TRUE(stopped_while_open);
  // Nothing is started afterwards for the client that has gone.
  pump_for(2500);
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
  EXPECT_EQ(infos().count("Run started"), 1) << infos().toStdString();
}

// Nobody may be at the lab computer: a remote start opens no dialog. Its run goes into the
// data directory of the settings, and a run directory that exists already is refused with
// a message to the client, not with a question on the screen.
TEST_F(GuiBench, ARemoteStartNeverWaitsForADialog) {
  connect_board();
  set_run_type(3);
  main().action("SAVEWAVETOFILE")->trigger();
  ASSERT_EQ(VX_VALUE(st().acq.PopupForFileName), 1) << "a person's start asks for the directory";
  main().action("TCP_SERVER")->trigger();
  TcpPanel& panel = app->tcp_panel();
  panel.port()->setValue(0);
  panel.register_button()->click();
  main().action("EN_START_STOP_CLIENT")->trigger();
  Client client(st().tcp.ServerPort);
  ASSERT_TRUE(wait_until([&] { return panel.client_connected()->isChecked(); }, 5000));

  ASSERT_TRUE(client.send("RUN_START00000005"));
  ASSERT_TRUE(wait_until([&] { return st().AcquisitionRunning.load() == 1; }, 10000))
      << infos().toStdString();
  EXPECT_EQ(dialogs.directories_asked, 0);
  const std::filesystem::path run_dir(std::string(st().acq.RunDirectory));
  EXPECT_EQ(run_dir.parent_path(), std::filesystem::path(std::string(st().acq.DataDirectory)));
  // The file's record format stays as the run began.
  EXPECT_FALSE(main().fft_switch()->isEnabled());
  save_picture(&main(), "remote-saving-run");
  ASSERT_TRUE(client.send("STOP"));
  ASSERT_TRUE(wait_until([&] { return client.poll() == "RUN_STOPPED"; }, 10000));
  EXPECT_TRUE(main().fft_switch()->isEnabled());

  ASSERT_TRUE(client.send("RUN_START00000005"));
  const std::string refusal =
      "RUN_START_REFUSED:the run directory '" + run_dir.string() + "' already exists\n";
  ASSERT_TRUE(wait_until([&] { return client.poll() == "RUN_STOPPED" + refusal; }, 5000))
      << client.received;
  EXPECT_TRUE(dialogs.questions.isEmpty()) << dialogs.questions.join("\n").toStdString();
  EXPECT_EQ(st().AcquisitionRunning.load(), 0);
}

TEST_F(GuiBench, SaveSetupOffersThePatternAsAFilterNotAsAName) {
  connect_board();
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
  main().action("SAVESETUPINFILE")->trigger();
  EXPECT_FALSE(offered_name.contains('*')) << offered_name.toStdString();
  EXPECT_TRUE(offered_filter.contains("*.dat")) << offered_filter.toStdString();
  for (const auto& f : files_under(home.path(), ""))
    EXPECT_EQ(f.filename().string().find('*'), std::string::npos) << f;

  answer("bench");
  main().action("SAVESETUPINFILE")->trigger();
  app->front_end().set_dialogs(&dialogs);
  bool found = false;
  for (const auto& f : files_under(home.path(), "")) found = found || f.filename() == "bench.dat";
  EXPECT_TRUE(found);
}

TEST_F(GuiBench, ConnectDuringARunKeepsTheEventLoopGoingAndIsDimmedMeanwhile) {
  connect_board();
  auto& panel = app->connection_panel();
  panel.show();
  // A run whose end needs the user-interface thread, as a warning popup at its end does.
  std::atomic<bool> served{false}, answered{false};
  bool dimmed_meanwhile = false;
  st().StopRequest().store(0);
  st().AcquisitionRunning = 1;
  std::thread run([&] {
    while (st().StopRequest().load() == 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    st().ui.post([&] {
      dimmed_meanwhile = !panel.connect_button()->isEnabled();
      served = true;
    });
    QElapsedTimer t;
    t.start();
    while (!served.load() && t.elapsed() < 3000)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    answered = served.load();
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
