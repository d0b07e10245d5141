// veltrix-cli on run series with a file gone, overlong paths and hostile setup files, run
// as separate processes on the simulated board.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/parameters.h"
#include "files/setup_file.h"
#include "support/cli_process.h"
#include "support/file_text.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

using test::quoted;

struct FilesCli : ::testing::Test {
  test::CliHome home;
  test::CliResult run(const std::string& args) { return home.run(args); }
};

// A split series whose middle file is gone: replay and export stop at the gap naming the file
// unless asked to skip it, then say what it cost; the export keeps the measurements of the
// events there. No export replaces a file of the series.
TEST_F(FilesCli, ASeriesWithAMissingFileStopsAtTheGapUnlessSkipped) {
  const fs::path runs = home.path() / "runs";
  ASSERT_EQ(run("run --events 30 --save binary --split 10 --measurement-file --data-dir " +
                quoted(runs) + " --base-name gap --run-id 1")
                .rc,
            0);
  const fs::path first = runs / "gap_run1" / "gap_run1_Binary.bin";
  // An export never overwrites a file of the run it reads.
  for (const fs::path& target :
       {first, fs::path(first.string() + "_0002"),
        first.parent_path() / ("measurements_" + first.filename().string())}) {
    const std::string before = test::read_file(target);
    const test::CliResult r =
        run("export " + quoted(first) + " --hdf5 " + quoted(target) + " --overwrite");
    EXPECT_EQ(r.rc, 1) << r.out;
    EXPECT_TRUE(r.says("belongs to the run being exported")) << r.out;
    EXPECT_EQ(test::read_file(target), before) << target;
  }
  ASSERT_TRUE(fs::remove(first.string() + "_0001"));
  const fs::path out = home.path() / "gap.h5";
  const std::string missing = "gap_run1_Binary.bin_0001' is missing, yet the series goes on";

  test::CliResult r = run("export " + quoted(first) + " --hdf5 " + quoted(out));
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_TRUE(r.says(missing)) << r.out;
  EXPECT_FALSE(fs::exists(out));
  r = run("run --replay " + quoted(first));
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_TRUE(r.says(missing)) << r.out;

  const std::string cost = "_0001' skipped: the gap cost 10 events (events 11 to 20).";
  r = run("export " + quoted(first) + " --hdf5 " + quoted(out) + " --skip-missing");
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says(cost)) << r.out;
  EXPECT_TRUE(r.says("Exported 20 events of ")) << r.out;
  EXPECT_TRUE(r.says(" with measurements to ")) << r.out;
  EXPECT_TRUE(r.says("The last whole event is event 30.")) << r.out;
  r = run("run --replay " + quoted(first) + " --skip-missing");
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says(cost)) << r.out;
  EXPECT_TRUE(r.says("End of the saved run: 20 events read, the last whole event is event 30."))
      << r.out;
}

// The settings hold 259 characters of a directory: a longer one is refused naming the
// limit, never cut into another directory.
TEST_F(FilesCli, AnOverlongDataDirectoryIsRefusedNamingTheLimit) {
  const std::string deep = (home.path() / std::string(150, 'a') / std::string(150, 'b')).string();
  const test::CliResult r = run("run --events 3 --save ascii --data-dir '" + deep + "'");
  EXPECT_EQ(r.rc, 2) << r.out;
  EXPECT_TRUE(r.says("(" + std::to_string(deep.size()) +
                     " characters): it must be given and hold at most 259 characters."))
      << r.out;
  EXPECT_FALSE(fs::exists(home.path() / std::string(150, 'a'))) << "nothing made elsewhere";
}

// "setup show" reads files no board has checked: whatever numbers they hold are printed in
// full, and their text escaped.
TEST_F(FilesCli, SetupShowPrintsHostileValuesInFull) {
  test::TestCore core;
  State& st = core.state;
  Init_Params(st);
  std::memcpy(st.board.BoardInfo, "DT5743\x1b[2J", 11);
  st.sys.NbOfSAMBlocks = 4;
  st.sys.NbOfChannels = 8;
  st.sys.MajorityLevel = INT_MAX;
  st.sys.PrimitivesGateLength = INT_MAX;
  const fs::path file = home.path() / "hostile.dat";
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);
  const test::CliResult r = run("setup show " + quoted(file));
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_TRUE(r.says("majority 2147483648, gate 10737418235 ns")) << r.out;
  EXPECT_TRUE(r.says("board            DT5743\\x1B[2J, 4 SAM blocks")) << r.out;
}

}  // namespace
}  // namespace vx
