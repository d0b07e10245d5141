// Run › Export Run to HDF5… on its own: dialogs answered from a script, the export on its
// worker while the event loop goes on.
#include <QProgressDialog>
#include <QSignalSpy>
#include <QWidget>

#include "gui_fixture.h"
#include "support/synthetic_run.h"
#include "ui/run_export_action.h"

namespace vx::ui {
namespace {

namespace fs = std::filesystem;

TEST(GuiRunExport, ExportsOnAWorkerWithProgressAndReportsTheReadersErrors) {
  test::TestCore core;
  State& st = core.state;
  const fs::path dir = core.home.path();
  const fs::path run = dir / "pulses_Binary.bin";
  ASSERT_TRUE(test::write_binary_run(st, run, 200, 16));
  // Damaged in the middle.
  const fs::path cut = dir / "cut_Binary.bin";
  fs::copy_file(run, cut);
  ASSERT_TRUE(test::damage_binary_event(cut, 200, 100));

  QWidget window;
  ScriptedDialogs dialogs;
  RunExportAction exporter(st, dialogs, &window);
  QSignalSpy finished(&exporter, &RunExportAction::finished);

  dialogs.file_answers = {QString::fromStdString(run.string()),
                          QString::fromStdString((dir / "pulses.h5").string())};
  exporter.action()->trigger();
  // The trigger came back with the export still in hand: the event loop is not blocked.
  ASSERT_TRUE(exporter.busy());
  ASSERT_NE(exporter.progress_dialog(), nullptr);
  EXPECT_TRUE(exporter.progress_dialog()->isVisible());
  EXPECT_FALSE(exporter.action()->isEnabled());
  ASSERT_TRUE(wait_until([&] { return !finished.isEmpty(); }));
  EXPECT_TRUE(finished.takeFirst().at(0).toBool());
  ASSERT_EQ(dialogs.file_requests.size(), 2u);
  EXPECT_TRUE(dialogs.file_requests[1].save);
  EXPECT_EQ(dialogs.file_requests[1].default_name, "pulses_Binary.h5");
  EXPECT_TRUE(core.ui.has_message(
      MessageTab::Infos,
      "Data saved in file '" + (dir / "pulses.h5").string() + "' successfully."));

  // A damaged run: the user is told where the export stopped.
  ASSERT_TRUE(exporter.start(cut, dir / "cut.h5"));
  ASSERT_TRUE(wait_until([&] { return !finished.isEmpty(); }));
  EXPECT_TRUE(finished.takeFirst().at(0).toBool());
  EXPECT_TRUE(core.ui.has_message(MessageTab::Warnings,
                                  "Data saved in file '" + (dir / "cut.h5").string() +
                                      "' up to event 100 only, where the run is damaged: "));
  EXPECT_TRUE(exporter.action()->isEnabled());
}

}  // namespace
}  // namespace vx::ui
