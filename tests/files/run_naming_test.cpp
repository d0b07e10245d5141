#include <gtest/gtest.h>

#include <fstream>

#include "files/data_file_writer.h"
#include "files/run_naming.h"
#include "support/test_state.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

struct Naming {
  Naming() {
    st.acq.PopupForFileName = 0;
    set_text(st.acq.BaseFileName, "veltrix");
    st.acq.AddRunId = 1;
    st.acq.AutoIncRunId = 1;
    st.acq.SaveDataInFile = 1;
    st.FileForSavingLogFile = dir.path() / "logfile.txt";
  }
  int open() { return Open_FileForSavingData(st, (dir.path() / "RunData").string(), 1); }
  std::string run_dir() const { return fs::path(st.acq.RunDirectory).filename().string(); }
  test::TempDir dir;
  test::TestCore core;
  State& st = core.state;
};

TEST(RunNaming, RunIdFollowsTheFirstRunOfEachDirectoryName) {
  const struct {
    std::vector<std::string> existing;
    int next;
  } cases[] = {
      {{}, 1},
      {{"veltrix_run3", "veltrix_run12", "notes"}, 13},
      {{"veltrix_runTcp7_run1"}, 1},        // the first "run" carries no number
      {{"myrun_run9", "veltrix_run2"}, 3},  // nor here, inside the base name
      {{"veltrix_run-4"}, 1},
  };
  for (const auto& c : cases) {
    test::TempDir d;
    for (const auto& name : c.existing) fs::create_directory(d.path() / name);
    std::ofstream(d.path() / "file_run40");  // files do not count
    EXPECT_EQ(next_auto_run_id(d.path()), c.next) << (c.existing.empty() ? "" : c.existing.back());
  }
}

TEST(RunNaming, NamePartsInOrderAndTheFilesInTheRunDirectory) {
  Naming n;
  n.st.acq.TCPCommandsEnabled = 1;
  n.st.tcp.TCPRunId = 7;
  n.st.acq.AddSystemDate = 1;
  n.st.acq.AddSystemTime = 1;
  n.st.acq.AutoIncRunId = 0;
  n.st.acq.RunIdUser = 42;
  ASSERT_EQ(n.open(), 1);
  EXPECT_EQ(n.run_dir(), "veltrix_runTcp7_12062026_14h05min_run42");
  EXPECT_TRUE(fs::exists(fs::path(n.st.acq.RunDirectory) /
                         "veltrix_runTcp7_12062026_14h05min_run42_Ascii.dat"));
  Close_FileForSavingData(n.st, 2);
}

TEST(RunNaming, RemoteRunNameComesBackAndAsksBeforeReplacing) {
  Naming n;
  n.st.acq.TCPCommandsEnabled = 1;
  n.st.tcp.TCPRunId = 7;
  ASSERT_EQ(n.open(), 1);
  EXPECT_EQ(n.run_dir(), "veltrix_runTcp7_run1");
  Close_FileForSavingData(n.st, 2);
  const fs::path old_file = fs::path(n.st.acq.RunDirectory) / "old.txt";
  std::ofstream(old_file) << "x";

  n.core.ui.confirm_answers = {false};
  EXPECT_EQ(n.open(), 0);
  EXPECT_TRUE(
      n.core.ui.has_message(MessageTab::Warnings, "Saving Data File aborted. Try again.\n"));
  EXPECT_TRUE(fs::exists(old_file));

  n.core.ui.confirm_answers = {true};
  ASSERT_EQ(n.open(), 1);
  EXPECT_EQ(n.run_dir(), "veltrix_runTcp7_run1");
  EXPECT_FALSE(fs::exists(old_file)) << "the directory was emptied";
  Close_FileForSavingData(n.st, 2);
}

TEST(RunNaming, MeasurementsOnlyInBinaryModeAreTextInABinNamedFile) {
  Naming n;
  n.st.acq.SaveDataInFile = 0;
  n.st.acq.SaveMeasurementsInFile = 1;
  n.st.acq.DataFileType = 1;
  ASSERT_EQ(n.open(), 1);
  const fs::path p = fs::path(n.st.acq.RunDirectory) / "measurements_veltrix_run1_Binary.bin";
  Close_FileForSavingData(n.st, 2);
  std::ifstream in(p);
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "=== DATA FILE SAVED WITH SOFTWARE VERSION: V1.8.5 ===");
  EXPECT_TRUE(n.core.ui.has_message(MessageTab::Infos,
                                    "Data saved in file '" + p.string() + "' successfully.\n"));
  EXPECT_EQ(fs::directory_iterator(n.st.acq.RunDirectory)->path(), p) << "no data file";
}

TEST(RunNaming, RefusedStartsLeaveNoFileOpen) {
  Naming n;
  n.st.acq.PopupForFileName = 1;  // the dialog is cancelled
  EXPECT_EQ(n.open(), 0);
  EXPECT_TRUE(
      n.core.ui.has_message(MessageTab::Errors, "Error while selecting folder for saving Data!\n"));
  n.st.acq.PopupForFileName = 0;
  EXPECT_EQ(Open_FileForSavingData(n.st, (n.dir.path() / "missing" / "RunData").string(), 1), 0);
  EXPECT_TRUE(n.core.ui.has_message(MessageTab::Errors, "Unable to open Selected Run Directory!"));
  Close_FileForSavingData(n.st, 2);
  EXPECT_FALSE(n.core.ui.has_message(MessageTab::Infos, "successfully")) << "nothing was saved";
}

}  // namespace
}  // namespace vx
