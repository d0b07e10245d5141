// The File Menu panel, the help and Information panels, run data sent to the remote client
// and the calibration's pedestal view, offscreen on the simulated board.

#include <QCheckBox>
#include <QCursor>
#include <QTabWidget>
#include <QTest>

#include "app/message_log.h"
#include "gui_fixture.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/panels/file_menu_panel.h"
#include "ui/panels/help_panel.h"

namespace vx::ui {
namespace {

namespace fs = std::filesystem;

struct GuiMiscPanels : GuiConnected {
  void set_line(const char* name, const QString& text) {
    enter(child<QLineEdit>(main().file_menu_panel(), name), text);
  }
};

TEST_F(GuiMiscPanels, FileMenuSettingsNameFormatAndSplitTheNextSavedRun) {
  main().action(MenuAction::FileMenu)->trigger();
  FileMenuPanel* panel = main().file_menu_panel();
  ASSERT_TRUE(panel->isVisible());
  EXPECT_EQ(panel->windowTitle(), "File Menu");

  const fs::path runs = home.path() / "runs";
  fs::create_directories(runs / "bench_run3");
  set_line("DATADIRECTORY", QString::fromStdString(runs.string()));
  child<QCheckBox>(panel, "POPUPFORFILENAME")->click();
  set_line("BASEFILENAME", "bench");
  choose(child<QComboBox>(panel, "DATAFILETYPE"), 1);
  child<QSpinBox>(panel, "NBOFEVENTSPERFILE")->setValue(5);
  // Directory, question, name, format and splitting: what the run below saves shows them.
  EXPECT_EQ(VX_VALUE(st().acq.NbOfEventsPerFile), 5);
  // The automatic number counts the run directories already there.
  EXPECT_EQ(child<QLineEdit>(panel, "NEXTRUNNAME")->text(), "bench_run4");

  // A name that would leave the data directory is refused; the field shows the old one.
  set_line("BASEFILENAME", "../elsewhere");
  EXPECT_EQ(std::string(st().acq.BaseFileName), "bench");
  EXPECT_EQ(child<QLineEdit>(panel, "BASEFILENAME")->text(), "bench");
  EXPECT_TRUE(infos().contains("Invalid base file name '../elsewhere'"));

  // The user's run number instead of the automatic one.
  child<QCheckBox>(panel, "AUTOINCRUNID")->click();
  auto* user_id = child<QSpinBox>(panel, "RUNIDUSER");
  ASSERT_TRUE(user_id->isEnabled());
  user_id->setValue(7);
  EXPECT_EQ(child<QLineEdit>(panel, "NEXTRUNNAME")->text(), "bench_run7");

  // Twelve events at five per file (what the files hold is the run files' tests' business).
  finite_run(12);
  main().action(MenuAction::SaveWaveforms)->trigger();
  run_to_the_end();
  const fs::path dir = runs / "bench_run7";
  EXPECT_EQ(child<QLineEdit>(panel, "RUNDIRECTORY")->text().toStdString(), dir.string());
  for (const char* name : {"bench_run7_Binary.bin", "bench_run7_Binary.bin_0002"})
    EXPECT_TRUE(fs::exists(dir / name)) << name;
  EXPECT_FALSE(fs::exists(dir / "bench_run7_Binary.bin_0003"));

  // While a run saves, what its files' header and names say is dimmed, with the reason; the
  // post-trigger stays free, and a run that does not save dims none of it.
  QWidget* horizontal = main().findChild<QWidget*>("HORIZONTAL");
  main().findChild<QTabWidget*>("GENERALTAB")->setCurrentWidget(horizontal);
  const auto enabled = [&](QWidget* page, const char* name) {
    return child<QWidget>(page, name)->isEnabled();
  };
  for (const bool saving : {true, false}) {
    run_continuously(5);
    for (const char* name : {"NBOFCOLSTOREAD", "FULLRECORDINGDEPTH", "FREQUENCY"})
      EXPECT_EQ(enabled(horizontal, name), !saving) << name;
    EXPECT_EQ(child<QWidget>(horizontal, "RUNLOCKNOTE")->isVisible(), saving);
    EXPECT_TRUE(enabled(horizontal, "DELAY"));
    EXPECT_FALSE(enabled(panel, "BASEFILENAME") || enabled(panel, "RUNIDUSER"));
    stop_run();
    EXPECT_TRUE(wait_until([&] { return enabled(horizontal, "FREQUENCY"); }));
    main().action(MenuAction::SaveWaveforms)->trigger();
  }
}

TEST_F(GuiMiscPanels, HelpFollowsTheMouseAndAnswersARightClick) {
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
  TcpPanel& tcp = start_tcp_server();
  TcpClient client(st().tcp.ServerPort);
  ASSERT_TRUE(wait_until([&] { return st().tcp.ClientConnected == 1; }, 5000));

  st().acq.DisplayOn = 1;
  main().action(MenuAction::TransmitToClient)->trigger();
  EXPECT_TRUE(main().action(MenuAction::TransmitToClient)->isChecked());
  EXPECT_EQ(VX_VALUE(st().acq.DisplayOn), 0);
  EXPECT_FALSE(main().display_switch()->isChecked());
  EXPECT_TRUE(
      infos().contains("Transmit RunData to TCP Client is ENABLED! Data Display set to OFF."));

  // A continuous run saved in one ASCII file; the light is on while data go out.
  const fs::path runs = home.path() / "runs";
  fs::create_directories(runs);
  dialogs.directory_answer = QString::fromStdString(runs.string());
  st().acq.SplitFileToSaveData = 0;
  main().action(MenuAction::SaveWaveforms)->trigger();
  set_run_type(3);
  press_start();
  ASSERT_TRUE(wait_until([&] {
    client.poll();
    return main().tx_led()->isChecked() && client.received.size() > 100000;
  }));
  // The file's record format stays as the run began: no switch to spectra meanwhile.
  EXPECT_FALSE(main().fft_switch()->isEnabled());
  main().action(MenuAction::Stop)->trigger();
  ASSERT_TRUE(wait_received(client, "RUN_STOPPED"));
  EXPECT_FALSE(main().tx_led()->isChecked());
  EXPECT_TRUE(main().fft_switch()->isEnabled());

  const auto files = files_under(runs, "_Ascii.dat");
  ASSERT_EQ(files.size(), 1u);
  const std::string saved = read_file(files[0]);
  const std::string sent = client.received.substr(0, client.received.size() - 11);
  EXPECT_GT(st().EventNumber.load(), 1);
  EXPECT_TRUE(sent == saved) << "the stream differs from the saved file";

  main().action(MenuAction::TransmitToClient)->trigger();
  EXPECT_EQ(VX_VALUE(st().acq.TransmitRunDataToTcpClient), 0);
  EXPECT_TRUE(infos().contains("Transmit RunData to TCP Client is DISABLED!"));
  tcp.register_button()->click();
}

TEST_F(GuiMiscPanels, PedestalCalibrationLeavesTheSamplesByPhysicalCellOnTheGraph) {
  dialogs.prompt_answers = {QString("3")};
  main().action(MenuAction::CalibratePedestals)->trigger();
  ASSERT_TRUE(wait_until([&] { return infos().contains("End of pedestals calibration."); }));
  ASSERT_TRUE(
      wait_until([&] { return main().action(MenuAction::CalibratePedestals)->isEnabled(); }));
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
