#include "files/setup_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <iterator>
#include <limits>
#include <random>

#include "app/parameters.h"
#include "digitizer/dacs.h"
#include "files/setup_ranges.h"
#include "support/file_text.h"
#include "support/packed_value.h"
#include "support/sim_core.h"
#include "support/test_state.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

using test::read_file;
using test::write_file;

template <typename Rec>
std::string bytes_of(const Rec& rec) {
  return {reinterpret_cast<const char*>(&rec), sizeof rec};
}

// Every record the file restores, as bytes, for before/after comparisons.
std::string restored_records(const State& st) {
  std::string out = bytes_of(st.sys) + bytes_of(st.acq) + bytes_of(st.gui);
  for (const auto& block : st.sam) out += bytes_of(block);
  return out;
}

template <typename Rec>
void scramble(Rec& rec, std::mt19937& rng) {
  auto* bytes = reinterpret_cast<unsigned char*>(&rec);
  for (std::size_t i = 0; i < sizeof rec; ++i) bytes[i] = static_cast<unsigned char>(rng());
}

// A core without a board: what comes back from the file must be exactly what went out.
struct SetupFixture : ::testing::Test {
  void SetUp() override {
    Init_Params(st);
    std::memcpy(reinterpret_cast<unsigned char*>(&st.board), "DT5743", 7);  // the model name
    st.sys.NbOfSAMBlocks = 4;  // as the connection sets them
    st.sys.NbOfChannels = 8;
    defaults = {st.sys, st.acq, st.sam, st.gui};
  }

  // Every restored byte random, with line-end and end-of-file bytes where they are hardest.
  void fill_records() {
    std::mt19937 rng(1234);
    scramble(st.sys, rng);
    scramble(st.acq, rng);
    for (auto& block : st.sam) scramble(block, rng);
    scramble(st.gui, rng);
    st.sys.NbOfSAMBlocks = 4;
    auto* acq = reinterpret_cast<unsigned char*>(&st.acq);
    const unsigned char tricky[] = {0x0A, 0x0A, 0x0D, 0x0A, 0x0D, 0x0D, 0x1A, 0x0A, 0x1A};
    std::memcpy(acq + offsetof(AcqParams, BaseFileName) + 61, tricky, sizeof tricky);
    // At the borders of the images (not a loadable file: the values there are checked).
    reinterpret_cast<unsigned char*>(&st.sam[3])[249] = 0x0A;
    reinterpret_cast<unsigned char*>(&st.gui)[0] = 0x0A;
    reinterpret_cast<unsigned char*>(&st.gui)[sizeof(GuiParams) - 1] =
        0x0D;  // last byte of the file
  }

  // The fields a load checks, copied from another record.
  template <typename Rec>
  static void restore_checked(Rec& to, const Rec& from) {
    Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto, std::type_identity<T>) {
      if (f.range.checked)
        std::memcpy(reinterpret_cast<unsigned char*>(&to) + f.offset,
                    reinterpret_cast<const unsigned char*>(&from) + f.offset, sizeof(T));
    });
  }

  // The checked values back in range: the defaults, then others the controls allow.
  void keep_usable() {
    restore_checked(st.sys, defaults.sys);
    restore_checked(st.acq, defaults.acq);
    for (int b = 0; b < kMaxSamBlocks; ++b) restore_checked(st.sam[b], defaults.sam[b]);
    restore_checked(st.gui, defaults.gui);
    st.sys.TriggerSource = 2;
    st.sys.PrimitivesGateLength = 10;
    st.sys.MonitorGain = 3;
    st.acq.RunType = 2;
    st.acq.MaxNumEventsBLT = 1000;
    st.acq.NbOfEventsRequired = 7;
    st.acq.NbOfEventsPerFile = 10;
    st.acq.DataFileType = 1;
    st.acq.TimeHistoChannelA = -3;
    st.acq.TimeHistoChannelB = 15;
    for (auto& blk : st.sam) {
      blk.RecordLength16 = 10;
      blk.FrequencyIndex = 3;
      blk.ChargeStartIndex[0] = blk.ChargeStartIndex[1] = 10;
      blk.ChargeLength[0] = blk.ChargeLength[1] = 1000;
    }
    st.sys.RecordLength = 160;
    st.gui.GraphMode = 4;
    st.gui.DisplayModulo = 1024;
    st.gui.ChargeHistoNbOfBins = 2000;
    st.gui.TimeHistoNbOfBins = 1;
    st.gui.SelectedChannel = 15;
    st.gui.NoiseStripChartChannel = 15;
  }

  bool logged(const std::string& text) const {
    return core.ui.has_message(MessageTab::Infos, text);
  }

  test::TestCore core;
  const test::TempDir& dir = core.home;  // the user directory, the log's too
  State& st = core.state;
  fs::path file = dir.path() / "setup.dat";
  SetupImages defaults;
};

TEST_F(SetupFixture, LayoutIsTwoLinesThenTheImagesAndTheRoundTripRestoresEveryByte) {
  fill_records();
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);
  const std::string raw = read_file(file);

  const std::string lines = "*** Setup File VELTRIX SOFTWARE Version: ***\r\nV1.8.5\r\n";
  ASSERT_EQ(raw.substr(0, lines.size()), lines);
  const std::string images = raw.substr(lines.size());
  const std::string expected = bytes_of(st.board) + bytes_of(st.sys) + bytes_of(st.acq) +
                               bytes_of(st.sam[0]) + bytes_of(st.sam[1]) + bytes_of(st.sam[2]) +
                               bytes_of(st.sam[3]) + bytes_of(st.gui);
  const auto line_feeds =
      static_cast<std::size_t>(std::count(expected.begin(), expected.end(), '\n'));
  EXPECT_EQ(raw.size(), lines.size() + expected.size() + line_feeds);
  // With the size, this leaves no line feed without its carriage return.
  EXPECT_EQ(from_text_mode(images), expected);

  keep_usable();
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);  // the register images follow their fields
  const SetupImages saved{st.sys, st.acq, st.sam, st.gui};
  const std::string saved_board = bytes_of(st.board);
  EXPECT_TRUE(logged("Data saved in file '" + file.string() + "' successfully.\n"));

  // Everything but the board record and the block count changed before loading.
  std::mt19937 rng(99);
  scramble(st.acq, rng);
  scramble(st.gui, rng);
  for (auto& block : st.sam) scramble(block, rng);
  const SAMBlockParams untouched_block = st.sam[5];
  std::memset(reinterpret_cast<unsigned char*>(&st.sys) + 4, 0, sizeof(SystemParams) - 4);
  // Where this machine writes its runs is its own: a setup from elsewhere does not move it.
  AcqParams expected_acq = saved.acq;
  std::memcpy(expected_acq.DataDirectory, st.acq.DataDirectory, sizeof st.acq.DataDirectory);
  std::memcpy(expected_acq.RunDirectory, st.acq.RunDirectory, sizeof st.acq.RunDirectory);

  ASSERT_EQ(Load_SetupFromFile(st, file.string(), 0), 1);
  EXPECT_EQ(bytes_of(st.sys), bytes_of(saved.sys));
  EXPECT_EQ(bytes_of(st.acq), bytes_of(expected_acq));
  EXPECT_EQ(bytes_of(st.gui), bytes_of(saved.gui));
  for (int b = 0; b < 4; ++b) EXPECT_EQ(bytes_of(st.sam[b]), bytes_of(saved.sam[b])) << b;
  EXPECT_EQ(bytes_of(st.sam[5]), bytes_of(untouched_block))
      << "blocks beyond the file's count are left alone";
  EXPECT_EQ(bytes_of(st.board), saved_board);
  EXPECT_TRUE(logged("Reading setup from file '" + file.string() + "'.\n"));
}

// Values the program sizes or indexes its arrays with are checked before anything is applied.
TEST_F(SetupFixture, OutOfRangeValuesAreRefusedByNameWithNothingChanged) {
  const struct {
    std::string text;
    std::function<void(State&)> set;
  } cases[] = {
      {"SystemParams.RecordLength = 100000 is out of range (16 to 1024)",
       [](State& s) { s.sys.RecordLength = 100000; }},
      {"SystemParams.NbOfChannels = 999 is out of range (8 to 8)",
       [](State& s) { s.sys.NbOfChannels = 999; }},
      {"GuiParams.GraphMode = 99 is out of range (0 to 4)", [](State& s) { s.gui.GraphMode = 99; }},
      {"SAMBlockParams[3].RecordLength16 = 65 is out of range (1 to 64)",
       [](State& s) { s.sam[3].RecordLength16 = 65; }},
      {"SystemParams.RecordLength = 512 is out of range (1024 to 1024)",
       [](State& s) { s.sys.RecordLength = 512; }},
      {"AcqParams.MaxNumEventsBLT = 0 is out of range (1 to 1024)",
       [](State& s) { s.acq.MaxNumEventsBLT = 0; }},
      // Values used in computations and register words: floats included.
      {"SystemParams.MajorityLevel = 2147483647 is out of range (0 to 7)",
       [](State& s) { s.sys.MajorityLevel = INT32_MAX; }},
      {"SAMBlockParams[1].TriggerThreshold[0] = nan is out of range (-2.5 to 2.5)",
       [](State& s) { s.sam[1].TriggerThreshold[0] = std::numeric_limits<float>::quiet_NaN(); }},
      {"SAMBlockParams[2].DCOffset[1] = 1e+30 is out of range (-1.25 to 1.25)",
       [](State& s) { s.sam[2].DCOffset[1] = 1e30f; }},
      {"SAMBlockParams[0].TriggerThreshold[1] = 1.3 is out of range (-1.25 to 1.25)",
       [](State& s) { s.sam[0].TriggerThreshold[1] = 1.3f; }},
      {"SAMBlockParams[0].TriggerEnable[1] = 2 is out of range (0 to 1)",
       [](State& s) { s.sam[0].TriggerEnable[1] = 2; }},
      {"AcqParams.CFDRatio = -inf is out of range (0 to 1)",
       [](State& s) { s.acq.CFDRatio = -std::numeric_limits<float>::infinity(); }},
      {"GuiParams.YAxisMax = nan is not a number",
       [](State& s) { s.gui.YAxisMax = std::numeric_limits<double>::quiet_NaN(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    c.set(st);
    ASSERT_EQ(Write_SetupFile(st, st, file), 1);
    st.sys = defaults.sys;  // the file differs from the records by that value alone
    st.acq = defaults.acq;
    st.sam = defaults.sam;
    st.gui = defaults.gui;
    const std::string before = restored_records(st);
    EXPECT_EQ(Load_SetupFromFile(st, file.string(), 0), -1);
    EXPECT_TRUE(logged("Error while reading setup from file '" + file.string() + "': " + c.text +
                       ". Nothing was changed.\n"));
    EXPECT_EQ(restored_records(st), before);
  }
}

// Files of other versions or boards, and files cut short, as a crash leaves them.
TEST_F(SetupFixture, ForeignAndIncompleteFilesAreRefusedWithNothingChanged) {
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);
  const std::string good = read_file(file);
  const std::size_t version_at = good.find("V1.8.5\r\n");
  const std::size_t images_at = version_at + 8;

  const std::string older =
      "Unable to Load Setup from file because it was created with an older version of the "
      "Software. '" +
      file.string() + "', line 2: version '";
  const std::string incompatible = "System is incompatible with the selected setup file! '" +
                                   file.string() + "' was saved on a board '";
  const std::string incomplete =
      "Error while reading setup from file '" + file.string() + "': the file is incomplete! ";
  const std::string restored = "Setup values succesfully restored !\n";
  auto with_version = [&](const std::string& line) {
    return good.substr(0, version_at) + line + good.substr(images_at);
  };
  // Image bytes are changed in the decoded file, then written back with CR LF again.
  const std::string decoded = from_text_mode(good);
  const std::size_t decoded_images_at = decoded.find("V1.8.5\n") + 7;
  auto with_image_bytes = [&](std::size_t offset, const std::string& bytes) {
    std::string d = decoded;
    d.replace(decoded_images_at + offset, bytes.size(), bytes);
    return to_text_mode(d);
  };
  const MessageTab infos = MessageTab::Infos, errors = MessageTab::Errors;
  struct Case {
    std::string name, bytes;
    int result;
    std::string message;
    MessageTab tab;
  } cases[] = {
      {"older version", with_version("V1.8.4\r\n"), -1,
       older + "V1.8.4', this program reads V1.8.5.\n", infos},
      {"newer version", with_version("V1.9.0\r\n"), -1, older, infos},
      {"version word with a suffix", with_version("V1.8.5b\r\n"), -1, older, infos},
      {"version followed by text", with_version("V1.8.5 saved on the test bench\r\n"), 1, restored,
       infos},
      {"version after blanks, LF only", with_version("  V1.8.5\n"), 1, restored, infos},
      {"other model", with_image_bytes(0, "V1743"), -1,
       incompatible + "V17433' with 4 SAM blocks; this board is 'DT5743' with 4.\n", infos},
      {"other block count", with_image_bytes(sizeof(BoardParams), std::string("\x08\0\0\0", 4)), -1,
       incompatible, infos},
      {"negative block count", with_image_bytes(sizeof(BoardParams), "\xFF\xFF\xFF\xFF"), -1,
       incompatible, infos},
      {"empty", "", -1, "WARNING: Setup file '" + file.string() + "' is empty.\n",
       MessageTab::Warnings},
      {"first line only", good.substr(0, good.find('\n') + 1), -1, incomplete, errors},
      {"inside the board image", good.substr(0, images_at + 100), -1, incomplete, errors},
      {"one byte short", good.substr(0, good.size() - 1), -1,
       incomplete + "Its records hold 3766 of the 3767 bytes they need.\n", errors},
  };
  std::mt19937 rng(5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    core.ui.clear();
    if (c.result < 0)
      scramble(st.acq, rng);  // so that a partial load would show
    else
      st.acq.RunType = 1;
    st.gui.ChannelEnabled[2] = 0;
    const std::string before = restored_records(st);
    write_file(file, c.bytes);
    EXPECT_EQ(Load_SetupFromFile(st, file.string(), 0), c.result);
    EXPECT_TRUE(core.ui.has_message(c.tab, c.message));
    if (c.result < 0) {
      EXPECT_EQ(restored_records(st), before);
      EXPECT_FALSE(logged(restored));
    } else {
      EXPECT_EQ(VX_VALUE(st.acq.RunType), 3);
    }
  }
}

// Files that are no setup files, or none, as a remote client may name them: refused at once
// with the reason, never waited on (a FIFO, a device) nor read beyond a setup's size.
TEST_F(SetupFixture, OnlyRegularFilesOfASetupsSizeAreRead) {
  const fs::path fifo = dir.path() / "fifo.dat";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const fs::path huge = dir.path() / "huge.dat";
  write_file(huge, std::string(1 << 20, 'x'));
  const struct {
    fs::path path;
    std::string why;
  } cases[] = {
      {fifo, "it is a FIFO, not a regular file"},
      {"/dev/zero", "it is a character device, not a regular file"},
      {dir.path(), "it is a directory, not a regular file"},
      {huge, "it holds more than 64 KiB, far more than a setup file"},
      {dir.path() / "nowhere.dat", "No such file or directory"},
  };
  for (const auto& c : cases) {
    core.ui.clear();
    std::string refusal;
    auto load = std::async(std::launch::async,
                           [&] { return Load_SetupFromFile(st, c.path.string(), 0, &refusal); });
    if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Let the loader go before failing: a writer opens the FIFO, and leaves.
      const int fd = ::open(fifo.c_str(), O_WRONLY);
      if (fd >= 0) ::close(fd);
      FAIL() << c.path << ": the load waits on the file";
    }
    EXPECT_EQ(load.get(), -1);
    const std::string told =
        "Error while opening file for setup readout! '" + c.path.string() + "': " + c.why + ".";
    EXPECT_TRUE(core.ui.has_message(MessageTab::Errors, told + "\n")) << told;
    EXPECT_EQ(refusal, told) << "the same reason, one line, for a remote client";
  }
}

TEST_F(SetupFixture, AFailedSaveLeavesThePreviousFileAndFailedDialogsSaySo) {
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);
  const std::string previous = read_file(file);

  // The temporary file lands on a full disk.
  fs::create_symlink("/dev/full", fs::path(file.string() + ".tmp"));
  st.acq.RunType = 0;
  core.ui.clear();
  EXPECT_EQ(Write_SetupFile(st, st, file), -1);
  EXPECT_TRUE(core.ui.has_message(MessageTab::Errors,
                                  "Error while writing Setup file '" + file.string() + "'!\n"));
  EXPECT_FALSE(logged("successfully"));
  EXPECT_EQ(read_file(file), previous);
  EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(file.string() + ".tmp"))))
      << "no temporary file left";

  core.ui.clear();
  EXPECT_EQ(Write_SetupFile(st, st, dir.path() / "no" / "such" / "folder.dat"), -1);
  EXPECT_TRUE(
      core.ui.has_message(MessageTab::Errors, "Error while opening file for saving Setup!\n"));

  core.ui.file_answers.push_back(std::nullopt);
  EXPECT_EQ(Save_SetupInFile(st, st), -1);
  EXPECT_TRUE(core.ui.has_message(MessageTab::Errors,
                                  "Error : Error while opening file for saving Setup!\n"));
  EXPECT_TRUE(fs::is_directory(dir.path() / "Setup"));

  core.ui.file_answers.push_back(std::nullopt);
  EXPECT_EQ(Load_SetupFromFile(st, file.string(), 1), -1);
  EXPECT_TRUE(core.ui.has_message(MessageTab::Errors,
                                  "Error : Error while opening file for reading Setup!\n"));
  core.ui.file_answers.push_back(dir.path() / "missing.dat");
  EXPECT_EQ(Load_SetupFromFile(st, file.string(), 1), -1);
  EXPECT_TRUE(
      core.ui.has_message(MessageTab::Errors, "Error while opening file for reading Setup! '" +
                                                  (dir.path() / "missing.dat").string() + "': "));
}

// Every block's SAM line DACs on with one code, in the records and in the chips, held.
void load_line_codes(State& st, int code) {
  LineDacSettings s;
  s.reg2_bits = kSamDacsCalibrated;
  for (auto& channel : s.codes) channel.fill(static_cast<std::uint8_t>(code));
  for (int b = 0; b < st.sys.NbOfSAMBlocks; ++b) Load_SamLineDacs(st, b, s);
  st.calib.SamDacCodesHeld.fill(true);
}

// SAM DAC codes stay with their chips: this unit's file brings its own (no longer held as
// measured), another unit's leaves this unit's and brings the rest to the board.
TEST(SetupOnBoard, SamDacCodesStayWithTheirUnit) {
  test::SimCore sim("DT5743");
  sim.connect();
  State& st = sim.st;
  const fs::path file = sim.dir.path() / "unit1.dat";
  load_line_codes(st, 70);
  const auto levels_70 = sim.board->cell_levels(5);
  ASSERT_EQ(Write_SetupFile(st, st, file), 1);
  load_line_codes(st, 75);
  ASSERT_EQ(Load_SetupFromFile(st, file.string(), 0), 1);
  EXPECT_EQ(VX_VALUE(st.sam[2].SamDacOffsetCh1[4]), 70);
  EXPECT_EQ(sim.board->cell_levels(5), levels_70) << "the chips hold what the records say";
  EXPECT_FALSE(st.calib.SamDacCodesHeld[3]);
  EXPECT_TRUE(sim.core.ui.has_message(MessageTab::Warnings,
                                      "changes the SAM DAC Offsets of SAM blocks 0, 1, 2, 3"));

  sim::SimConfig unit2;
  unit2.model = "DT5743";
  unit2.board_id = 2;
  sim.replace_board(unit2);
  load_line_codes(st, 50);
  const std::size_t writes = sim.calls.count("WriteRegister");
  const int refreshes = sim.core.ui.refresh_count(Panel::AllValues);
  ASSERT_EQ(Load_SetupFromFile(st, file.string(), 0), 1);
  EXPECT_GT(sim.calls.count("WriteRegister"), writes) << "the loaded setup reaches the board";
  EXPECT_GT(sim.core.ui.refresh_count(Panel::AllValues), refreshes);
  EXPECT_EQ(VX_VALUE(st.sam[2].SamDacOffsetCh1[4]), 50);
  EXPECT_EQ(VX_VALUE(st.sam[1].SerialNumberMajor), 2) << "the daughter board's identity too";
  EXPECT_TRUE(st.calib.SamDacCodesHeld[3]);
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Infos, "was saved on unit 1, not on this one (2): this unit's SAM DAC Offsets"));
}

}  // namespace
}  // namespace vx
