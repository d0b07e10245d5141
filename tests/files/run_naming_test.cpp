#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "files/data_file_writer.h"
#include "files/run_naming.h"
#include "platform/clock.h"
#include "support/file_text.h"
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
  }
  int open() {
    return Open_FileForSavingData(st, Freeze_RunConfig(st), (dir.path() / "RunData").string(),
                                  OpenFiles::NewRun);
  }
  std::string run_dir() const { return fs::path(st.acq.RunDirectory).filename().string(); }
  test::TestCore core;
  const test::TempDir& dir = core.home;  // the user directory, the log's too
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

TEST(RunNaming, RemoteRunNameComesBackAndAsksBeforeReplacing) {
  Naming n;
  n.st.acq.TCPCommandsEnabled = 1;
  n.st.tcp.TCPRunId = 7;
  ASSERT_EQ(n.open(), 1);
  EXPECT_EQ(n.run_dir(), "veltrix_runTcp7_run1");
  Close_FileForSavingData(n.st, Freeze_RunConfig(n.st), CloseFiles::Both);
  const fs::path old_file = fs::path(n.st.acq.RunDirectory) / "old.txt";
  std::ofstream(old_file) << "x";

  n.core.ui.confirm_answers = {false};
  EXPECT_EQ(n.open(), kNotDone);
  EXPECT_TRUE(
      n.core.ui.has_message(MessageTab::Warnings, "Saving Data File aborted. Try again.\n"));
  EXPECT_TRUE(fs::exists(old_file));

  // Every part of the name, in order.
  n.st.acq.AddSystemDate = 1;
  n.st.acq.AddSystemTime = 1;
  n.st.acq.AutoIncRunId = 0;
  n.st.acq.RunIdUser = 42;
  ASSERT_EQ(n.open(), 1);
  EXPECT_EQ(n.run_dir(), "veltrix_runTcp7_12062026_14h05min_run42");
  EXPECT_TRUE(fs::exists(fs::path(n.st.acq.RunDirectory) /
                         "veltrix_runTcp7_12062026_14h05min_run42_Ascii.dat"));
  Close_FileForSavingData(n.st, Freeze_RunConfig(n.st), CloseFiles::Both);
}

TEST(RunNaming, MeasurementsOnlyInBinaryModeAreTextInABinNamedFile) {
  Naming n;
  n.st.acq.SaveDataInFile = 0;
  n.st.acq.SaveMeasurementsInFile = 1;
  n.st.acq.DataFileType = 1;
  ASSERT_EQ(n.open(), 1);
  const fs::path p = fs::path(n.st.acq.RunDirectory) / "measurements_veltrix_run1_Binary.bin";
  Close_FileForSavingData(n.st, Freeze_RunConfig(n.st), CloseFiles::Both);
  EXPECT_EQ(test::file_lines(p).at(0), "=== DATA FILE SAVED WITH SOFTWARE VERSION: V1.8.5 ===");
  EXPECT_TRUE(n.core.ui.has_message(MessageTab::Infos,
                                    "Data saved in file '" + p.string() + "' successfully.\n"));
  EXPECT_EQ(fs::directory_iterator(n.st.acq.RunDirectory)->path(), p) << "no data file";
}

void touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "x";
}

// Replacing an existing run removes only the files a run writes there; names that would
// point elsewhere (or at the data directory itself) are refused.
TEST(RunNaming, ReplacingARunDeletesOnlyItsOwnFilesAndOddNamesAreRefused) {
  Naming n;
  n.st.acq.AddRunId = 1;
  n.st.acq.AutoIncRunId = 0;
  n.st.acq.RunIdUser = 4;
  const fs::path data = n.dir.path() / "RunData", run = data / "veltrix_run4";
  const std::vector<std::string> ours = {"veltrix_run4_Ascii.dat_0002",
                                         "measurements_veltrix_run4_Binary.bin", "logfile.txt"};
  const std::vector<std::string> theirs = {"notes.txt", "veltrix_run4_Ascii.dat.bak",
                                           "veltrix_run4_Ascii.dat_12a", "plots/a.png"};
  for (const auto& f : ours) touch(run / f);
  for (const auto& f : theirs) touch(run / f);
  touch(data / "other_run1" / "keep.dat");

  ASSERT_EQ(n.open(), 1);
  for (const auto& f : ours) EXPECT_FALSE(fs::exists(run / f)) << f;
  for (const auto& f : theirs) EXPECT_TRUE(fs::exists(run / f)) << f;
  EXPECT_TRUE(fs::exists(run / "veltrix_run4_Ascii.dat"));  // the new run's file

  for (const char* base : {"", "..", "../escape", "a/b"}) {
    n.st.acq.AddRunId = 0;
    set_text(n.st.acq.BaseFileName, base);
    EXPECT_EQ(n.open(), kFailed) << base;
    EXPECT_TRUE(n.core.ui.has_message(MessageTab::Infos, "Error : Invalid run name")) << base;
  }
  EXPECT_TRUE(fs::exists(data / "other_run1" / "keep.dat"));
  EXPECT_TRUE(fs::exists(run / "notes.txt"));
  EXPECT_FALSE(fs::exists(n.dir.path() / "escape"));
}

// A crash or a kill loses at most the last second of a run: the writer flushes its records
// every second, also while no event arrives. Every file's header is on disk as soon as the
// file is opened, so that a file cut short still reads as one of its run.
TEST(DataWriter, RecordsReachTheDiskWithinASecondOfAQuietRun) {
  Naming n;
  n.st.acq.SaveMeasurementsInFile = 1;
  ASSERT_EQ(n.open(), 1);
  const fs::path file = n.st.files.FileForSavingData;
  const auto header = fs::file_size(file);
  EXPECT_GT(header, 200u) << "the header waits for nothing";
  EXPECT_GT(fs::file_size(n.st.files.FileForSavingAllMeasurements), 100u);
  n.st.AcquisitionRunning = 1;
  n.st.SavingQueue.reset();
  std::thread writer([&] {
    Save_DataInFile(Saving_PartsOf(n.st), Saving_ConfigOf(n.st, Freeze_RunConfig(n.st)),
                    n.st.AcquisitionGeneration.load());
  });
  Queue_EventForSaving(n.st, n.st, Freeze_RunConfig(n.st), n.st.event);  // one event handed over
  Wait_SavingQueueEmpty(n.st);
  EXPECT_EQ(fs::file_size(file), header) << "collected, not written yet";
  n.core.clock.advance(1.0);
  EXPECT_TRUE(wait_for_flag([&] { return fs::file_size(file) > header; }, 10.0));
  n.st.AcquisitionRunning = 0;
  writer.join();

  // The next file of a split run.
  Close_FileForSavingData(n.st, Freeze_RunConfig(n.st), CloseFiles::DataFile);
  ASSERT_EQ(Open_FileForSavingData(n.st, Freeze_RunConfig(n.st), "", OpenFiles::NextSplitFile), 1);
  EXPECT_EQ(fs::file_size(file.string() + "_0001"), header);
  Close_FileForSavingData(n.st, Freeze_RunConfig(n.st), CloseFiles::Both);
}

// A run that cannot start says where and why, and leaves no file open.
TEST(RunNaming, RefusedRunDirectoriesNameThePathAndTheReason) {
  Naming n;
  n.st.acq.PopupForFileName = 1;  // the dialog is cancelled
  EXPECT_EQ(n.open(), kFailed);
  EXPECT_TRUE(
      n.core.ui.has_message(MessageTab::Errors, "Error while selecting folder for saving Data!\n"));
  n.st.acq.PopupForFileName = 0;
  const fs::path plain = n.dir.path() / "plain_file";
  std::ofstream(plain) << "x";
  // Directories of the settings hold 259 characters: a longer run directory is refused.
  const fs::path deep = n.dir.path() / std::string(255 - n.dir.path().string().size(), 'd');
  fs::create_directories(deep);
  const struct {
    fs::path directory;
    std::string told;
  } cases[] = {
      {n.dir.path() / "missing" / "RunData",
       "Unable to open Selected Run Directory! Make sure that all components in the directory "
       "Path are present! '" +
           (n.dir.path() / "missing" / "RunData").string() + "': No such file or directory.\n"},
      {plain, "Error while making Run Directory '" + (plain / "veltrix_run1").string() +
                  "': Not a directory.\n"},
      {deep, "Error while making Run Directory '" + (deep / "veltrix_run1").string() +
                 "': the path has " + std::to_string((deep / "veltrix_run1").string().size()) +
                 " characters, more than the 259 a directory of the settings can hold.\n"},
  };
  for (const auto& c : cases) {
    n.core.ui.clear();
    EXPECT_EQ(Open_FileForSavingData(n.st, Freeze_RunConfig(n.st), c.directory.string(),
                                     OpenFiles::NewRun),
              kFailed)
        << c.directory;
    EXPECT_TRUE(n.core.ui.has_message(MessageTab::Errors, c.told)) << c.told;
    EXPECT_EQ(n.st.acq.RunDirectory[0], '\0') << "nothing is cut short into the settings";
  }
  Close_FileForSavingData(n.st, Freeze_RunConfig(n.st), CloseFiles::Both);
  EXPECT_FALSE(n.core.ui.has_message(MessageTab::Infos, "successfully")) << "nothing was saved";
}

}  // namespace
}  // namespace vx
