// The File Menu panel, the help and Information panels, run data sent to the remote client
// and the calibration's pedestal view, offscreen on the simulated board.

#include <QCheckBox>
#include <QCursor>
#include <QMenu>
#include <QPointer>
#include <QTest>

#include <cstring>
#include <sstream>

#include "analysis/main_graph.h"
#include "app/message_log.h"
#include "gui_fixture.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/panels/file_menu_panel.h"
#include "ui/panels/help_panel.h"

namespace vx::ui {
namespace {

namespace fs = std::filesystem;

// Offset of the first byte after the first n lines.
std::size_t after_lines(const std::string& bytes, int n) {
  std::size_t at = 0;
  for (int i = 0; i < n; ++i) at = bytes.find('\n', at) + 1;
  return at;
}

struct GuiMiscPanels : GuiTest {
  GuiMiscPanels() {
    dialogs.confirm_answer = true;
    click_connect();
  }
  void set_line(const char* name, const QString& text) {
    enter(child<QLineEdit>(main().file_menu_panel(), name), text);
  }
};

TEST_F(GuiMiscPanels, FileMenuSettingsNameFormatAndSplitTheNextSavedRun) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  main().action("FILEMENU")->trigger();
  FileMenuPanel* panel = main().file_menu_panel();
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->windowTitle(), "File Menu");

  const fs::path runs = home.path() / "runs";
  fs::create_directories(runs / "bench_run3");
  set_line("DATADIRECTORY", QString::fromStdString(runs.string()));
  child<QCheckBox>(main().file_menu_panel(), "POPUPFORFILENAME")->click();
  set_line("BASEFILENAME", "bench");
  choose(child<QComboBox>(main().file_menu_panel(), "DATAFILETYPE"), 1);
  child<QSpinBox>(main().file_menu_panel(), "NBOFEVENTSPERFILE")->setValue(5);
  EXPECT_EQ(std::string(st().acq.DataDirectory), runs.string());
  EXPECT_EQ(VX_VALUE(st().acq.PopupForFileName), 0);
  EXPECT_EQ(std::string(st().acq.BaseFileName), "bench");
  EXPECT_EQ(VX_VALUE(st().acq.DataFileType), 1);
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsPerFile), 5);
  EXPECT_EQ(VX_VALUE(st().acq.SplitFileToSaveData), 1);
  // The automatic number counts the run directories already there.
  EXPECT_EQ(child<QLineEdit>(main().file_menu_panel(), "NEXTRUNNAME")->text(), "bench_run4");

  // A name that would leave the data directory is refused; the field shows the old one.
  set_line("BASEFILENAME", "../elsewhere");
  EXPECT_EQ(std::string(st().acq.BaseFileName), "bench");
  EXPECT_EQ(child<QLineEdit>(main().file_menu_panel(), "BASEFILENAME")->text(), "bench");
  EXPECT_TRUE(infos().contains("Invalid base file name '../elsewhere'"));

  // The user's run number instead of the automatic one.
  child<QCheckBox>(main().file_menu_panel(), "AUTOINCRUNID")->click();
  auto* user_id = child<QSpinBox>(main().file_menu_panel(), "RUNIDUSER");
  ASSERT_TRUE(user_id->isEnabled());
  user_id->setValue(7);
  EXPECT_EQ(VX_VALUE(st().acq.AutoIncRunId), 0);
  EXPECT_EQ(VX_VALUE(st().acq.RunIdUser), 7);
  EXPECT_EQ(child<QLineEdit>(main().file_menu_panel(), "NEXTRUNNAME")->text(), "bench_run7");

  finite_run(12);
  main().action("SAVEWAVETOFILE")->trigger();
  run_to_the_end();
  const fs::path dir = runs / "bench_run7";
  EXPECT_EQ(child<QLineEdit>(main().file_menu_panel(), "RUNDIRECTORY")->text().toStdString(),
            dir.string());

  // Five events per file: 5, 5 and 2, each record 71 bytes of event header and per
  // channel 48 bytes of header and two bytes per sample.
  int channels = 0;
  for (int ch = 0; ch < st().sys.NbOfChannels; ++ch) channels += st().gui.ChannelEnabled[ch];
  const std::size_t record = 71 + channels * (48 + 2 * std::size_t(st().sys.RecordLength));
  const std::pair<const char*, int> expected[] = {{"bench_run7_Binary.bin", 5},
                                                  {"bench_run7_Binary.bin_0001", 5},
                                                  {"bench_run7_Binary.bin_0002", 2}};
  int first_event = 1;
  for (const auto& [name, events] : expected) {
    const std::string bytes = read_file(dir / name);
    ASSERT_FALSE(bytes.empty()) << name;
    const std::size_t body = after_lines(bytes, 4);
    ASSERT_EQ(bytes.size() - body, events * record) << name;
    for (int e = 0; e < events; ++e) {
      std::int32_t number = 0;
      std::memcpy(&number, bytes.data() + body + e * record, 4);
      EXPECT_EQ(number, first_event + e) << name;
    }
    first_event += events;
  }
  EXPECT_FALSE(fs::exists(dir / "bench_run7_Binary.bin_0003"));
}

TEST_F(GuiMiscPanels, ClosingPanelsOnlyHidesThemAndHelpFollowsTheMouse) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  // Every secondary window of the main window survives its close (the panels that show their
  // state again after it: GuiChargeNoise.ClosedPanelsAreOnlyHiddenAndShowTheirStateAgain).
  for (QWidget* w : main().findChildren<QWidget*>()) {
    if (!w->isWindow() || w->objectName().isEmpty() || qobject_cast<QMenu*>(w) != nullptr) continue;
    QPointer<QWidget> p(w);
    w->show();
    w->close();
    QApplication::processEvents();
    ASSERT_FALSE(p.isNull()) << w->objectName().toStdString();
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
  }

  // A help text lands in the help panel at the mouse; a click on the main window hides it.
  QCursor::setPos(main().mapToGlobal(QPoint(300, 200)));
  Write_HelpMessage(st(), "Right-click help for this control.");
  HelpPanel* help = main().help_panel();
  ASSERT_TRUE(wait_until([&] { return help->isVisible(); }, 5000));
  EXPECT_EQ(help->text(), "Right-click help for this control.");
  EXPECT_EQ(help->pos(), QCursor::pos());
  QTest::mouseClick(&main(), Qt::LeftButton, {}, QPoint(5, main().height() - 5));
  EXPECT_FALSE(help->isVisible());
  // A right-click on a File Menu control asks for its help.
  auto* split = child<QCheckBox>(main().file_menu_panel(), "SPLITFILETOSAVEDATA");
  emit split->customContextMenuRequested(QPoint(2, 2));
  ASSERT_TRUE(wait_until([&] { return help->isVisible(); }, 5000));
  EXPECT_TRUE(help->text().contains("_0001"));
}

TEST_F(GuiMiscPanels, TransmittedRunDataAreTheRunsAsciiFileFollowedByTheStop) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  TcpPanel& tcp = start_tcp_server();
  TcpClient client(st().tcp.ServerPort);
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(wait_until([&] { return st().tcp.ClientConnected == 1; }, 5000));

  st().acq.DisplayOn = 1;
  main().action("EN_TX_DATA2CLIENT")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.TransmitRunDataToTcpClient), 1);
  EXPECT_TRUE(main().action("EN_TX_DATA2CLIENT")->isChecked());
  EXPECT_EQ(VX_VALUE(st().acq.DisplayOn), 0);
  EXPECT_FALSE(main().display_switch()->isChecked());
  EXPECT_TRUE(
      infos().contains("Transmit RunData to TCP Client is ENABLED! Data Display set to OFF."));

  // A continuous run saved in one ASCII file; the light is on while data go out.
  const fs::path runs = home.path() / "runs";
  fs::create_directories(runs);
  dialogs.directory_answer = QString::fromStdString(runs.string());
  st().acq.SplitFileToSaveData = 0;
  main().action("SAVEWAVETOFILE")->trigger();
  set_run_type(3);
  press_start();
  ASSERT_TRUE(
      wait_until([&] { return main().tx_led()->isChecked() && client.poll().size() > 100000; }));
  main().action("STOP")->trigger();
  ASSERT_TRUE(wait_until([&] { return client.poll().ends_with("RUN_STOPPED"); }));
  EXPECT_FALSE(main().tx_led()->isChecked());

  const auto files = files_under(runs, "_Ascii.dat");
  ASSERT_EQ(files.size(), 1u);
  const std::string saved = read_file(files[0]);
  const std::string sent = client.received.substr(0, client.received.size() - 11);
  EXPECT_GT(st().EventNumber.load(), 1);
  EXPECT_EQ(sent.size(), saved.size());
  EXPECT_TRUE(sent == saved) << "the stream differs from the saved file";
  EXPECT_TRUE(sent.starts_with("=== DATA FILE SAVED WITH SOFTWARE VERSION: V1.8.5 ===\n"));

  main().action("EN_TX_DATA2CLIENT")->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.TransmitRunDataToTcpClient), 0);
  EXPECT_TRUE(infos().contains("Transmit RunData to TCP Client is DISABLED!"));
  tcp.register_button()->click();
}

TEST_F(GuiMiscPanels, PedestalCalibrationLeavesTheSamplesByPhysicalCellOnTheGraph) {
  ASSERT_TRUE(wait_until([&] { return main().isVisible(); }));
  dialogs.prompt_answers = {QString("3")};
  main().action("CALIBRATE")->trigger();
  ASSERT_TRUE(wait_until([&] { return infos().contains("End of pedestals calibration."); }));
  ASSERT_TRUE(wait_until([&] { return main().action("CALIBRATE")->isEnabled(); }));
  MainGraphView* graph = main().graph();
  const int n = st().sys.RecordLength;
  ASSERT_TRUE(wait_until([&] { return graph->plotted_points(0) == n; }, 5000));
  EXPECT_EQ(VX_VALUE(st().gui.GraphMode), kGraphWaveforms);  // the records are back

  // Sample k of the record sits in cell (k + T - T mod 16) mod 1024, T the first cell. Frames
  // drawn during the calibration may still be on screen for a moment: the last event's comes.
  const auto mismatches = [&] {
    int bad = 0;
    for (int ch = 0; ch < st().sys.NbOfChannels; ++ch) {
      if (st().gui.ChannelEnabled[ch] == 0) continue;
      const auto T = static_cast<int>(st().event.EventFCR[ch / 2]);
      const auto& samples = st().event.FullyOrderedValues[ch / 2][ch % 2];
      auto data = graph->curve(ch)->data();
      if (data->size() != n) return -1;
      for (int k = 0; k < n; k += 37) {
        const int cell = (k + T - T % 16) % 1024;
        if (cell < n && data->at(cell)->value != static_cast<double>(samples[k])) ++bad;
      }
    }
    return bad;
  };
  EXPECT_TRUE(wait_until([&] { return mismatches() == 0; }, 5000)) << mismatches();
  EXPECT_DOUBLE_EQ(graph->yAxis->range().upper, 4095.0);
  EXPECT_EQ(graph->xAxis->label(), "Samples");

  // The next run draws waveforms again.
  finite_run(1);
  run_to_the_end();
  ASSERT_TRUE(wait_until([&] { return graph->plotted_points(0) == 10 * n - 10; }, 5000));
  EXPECT_DOUBLE_EQ(graph->yAxis->range().upper, 5.0);
  EXPECT_NE(graph->xAxis->label(), "Samples");
}

}  // namespace
}  // namespace vx::ui
