// The replay reader on files that are not what they should be.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>

#include "acquisition/core_wiring.h"
#include "acquisition/run_control.h"
#include "app/lifecycle.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "files/record_format.h"
#include "support/packed_value.h"
#include "support/sim_core.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

// A small run of two channels of 16 samples, written with the writer's own records.
struct SmallRun {
  SmallRun() {
    reader.state.FileForSavingLogFile = dir.path() / "reader.log";
    st.FileForSavingLogFile = dir.path() / "logfile.txt";
    st.sys.NbOfSAMBlocks = 2;
    st.sys.NbOfChannels = 4;
    st.sys.RecordLength = 16;
    st.sam[0].BoardGain = 1.0f;
    for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch == 0 || ch == 3;
  }
  std::string file(int type, int events, const std::string& version = "V1.8.5", int first = 1) {
    st.acq.DataFileType = type;
    std::string text = common_header(st) + data_header_line(st);
    text.replace(text.find("V1.8.5"), 6, version);
    for (int n = 1; n <= events; ++n) {
      st.EventNumber = first + n - 1;
      for (int k = 0; k < 16; ++k)
        st.event.FullyOrderedValues[1][1][k] = static_cast<float>(100 * n + k) + 0.25f;
      ByteBuffer b;
      type == 1 ? append_binary_event(st, b) : append_ascii_event(st, b);
      text.append(b.data.data(), b.size);
    }
    return text;
  }
  fs::path put(const std::string& name, const std::string& bytes) {
    const fs::path p = dir.path() / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  // Events read until the end of data, or -1 when the header is refused.
  int read_all(const fs::path& p) {
    reader.state.acq.NbOfSamplesInFile = 1024;
    if (Open_DataFileForLoading(reader.state, p) != 1) return -1;
    int n = 0;
    while (Read_EventsFromFile(reader.state) == 1) ++n;
    Close_FileForLoadingData(reader.state);
    return n;
  }
  bool error(const std::string& text) const {
    return reader.ui.has_message(MessageTab::Errors, text);
  }

  test::TempDir dir;
  test::TestCore core;
  State& st = core.state;
  test::TestCore reader;
};

TEST(Reader, BrokenFilesGiveTheReadersMessagesAndKeepTheWholeEvents) {
  SmallRun r;
  const std::string bin = r.file(1, 3);
  const std::string dat = r.file(0, 3);
  const std::size_t event = 71 + 2 * (48 + 2 * 16);
  const std::size_t header = bin.size() - 3 * event;
  const auto edit = [](std::string text, const std::string& from, const std::string& to) {
    return text.replace(text.find(from), from.size(), to);
  };
  // Event 2's last sample line, and its first value.
  const std::size_t third = dat.find("=== EVENT 3");
  const std::size_t line2 = dat.rfind('\n', third - 2) + 1;
  const std::size_t value2 = dat.find(' ', line2);
  const std::string empty_line = dat.substr(0, line2) + "\n" + dat.substr(third);
  const std::string huge_value = dat.substr(0, line2) + "1e300" + dat.substr(value2);
  std::string twice_ascii = dat;
  twice_ascii.replace(twice_ascii.find("=== CH: 3", dat.find("=== EVENT 2")), 9, "=== CH: 0");
  std::string twice_binary = bin;
  const std::int32_t zero = 0;
  std::memcpy(twice_binary.data() + header + event + 71 + 48 + 2 * 16, &zero, sizeof zero);
  const struct {
    std::string name;
    std::string bytes;
    int events;           // -1: header refused
    const char* message;  // on the Errors tab
  } cases[] = {
      {"empty_Binary.bin", "", -1, "Error while reading file '"},
      {"two_lines_Ascii.dat", dat.substr(0, dat.find("=== Other")), -1,
       "Error while reading file '"},
      {"bad_samples_Ascii.dat",
       std::string(dat).replace(dat.find("SAMPLES [16]"), 12, "SAMPLES [5000]"), -1,
       "Error while reading file '"},
      {"too_many_channels_Binary.bin",
       std::string(bin).replace(bin.find("WITH 4 CHANNELS"), 15, "WITH 400 CHANNELS"), -1,
       "Error while reading file '"},
      {"no_channels_Ascii.dat", edit(dat, "ACQUIRED: 2", "ACQUIRED: 0"), -1,
       "Error while reading file '"},
      {"cut_data_line_Binary.bin", edit(bin, " == NB OF CHANNELS ACQUIRED", "\n"), -1,
       "Error while reading file '"},
      {"tiny_period_Ascii.dat", edit(dat, "Period: 312.5", "Period: 0.000400"), -1,
       "Error while reading file '"},
      {"odd_period_Binary.bin", edit(bin, "Period: 312.5", "Period: 500.0"), -1,
       "Error while reading file '"},
      {"cut_in_event_Binary.bin", bin.substr(0, header + 2 * event + 100), 2,
       "the event after event 2 is incomplete or damaged"},
      {"cut_in_channel_line_Ascii.dat", dat.substr(0, dat.rfind("=== CH: 3") + 20), 2,
       "the event after event 2 is incomplete or damaged"},
      {"cut_in_sample_line_Ascii.dat", dat.substr(0, dat.size() - 30), 2,
       "the event after event 2 is incomplete or damaged"},
      {"empty_sample_line_Ascii.dat", empty_line, 1, "the event after event 1 is incomplete"},
      {"huge_sample_Ascii.dat", huge_value, 1, "the event after event 1 is incomplete"},
      {"channel_twice_Ascii.dat", twice_ascii, 1, "the event after event 1 holds a channel twice"},
      {"channel_twice_Binary.bin", twice_binary, 1,
       "the event after event 1 holds a channel twice"},
      {"garbage_Binary.bin", bin.substr(0, header) + std::string(500, '\xA7'), 0,
       "the first event is incomplete or damaged"},
      {"garbage_Ascii.dat", dat.substr(0, dat.find("=== EVENT 1")) + "hello\n", 0,
       "is incomplete or damaged"},
      {"whole_Binary.bin", bin, 3, nullptr},
      {"whole_Ascii.dat", dat, 3, nullptr},
      {"ends_at_an_event_Binary.bin", bin.substr(0, header + event), 1, nullptr},
  };
  for (const auto& c : cases) {
    r.reader.ui.clear();
    EXPECT_EQ(r.read_all(r.put(c.name, c.bytes)), c.events) << c.name;
    if (c.message != nullptr) {
      EXPECT_TRUE(r.error(c.message)) << c.name;
    } else {
      EXPECT_TRUE(r.reader.ui.tab_texts(MessageTab::Errors).empty()) << c.name;
    }
  }
  // A channel number out of range in a binary record.
  std::string wild = bin;
  const std::int32_t channel = 99;
  std::memcpy(wild.data() + header + 71, &channel, sizeof channel);
  EXPECT_EQ(r.read_all(r.put("wild_channel_Binary.bin", wild)), 0);

  for (const char* name : {"run_Ascii.dat_0001", "run.txt", "run"}) {
    r.reader.ui.clear();
    EXPECT_EQ(Open_DataFileForLoading(r.reader.state, r.put(name, dat)), -1) << name;
    EXPECT_TRUE(r.error("Invalid file for loading data!\n")) << name;
  }
}

TEST(Reader, AsciiWithWindowsLineEnds) {
  SmallRun r;
  std::string dat = r.file(0, 1);
  for (std::size_t p = dat.find('\n'); p != std::string::npos; p = dat.find('\n', p + 2))
    dat.insert(p, "\r");
  ASSERT_EQ(r.read_all(r.put("crlf_Ascii.dat", dat)), 1);
  const auto& v = r.reader.state.event.FullyOrderedValues[1][1];
  for (int k = 0; k < 16; ++k) EXPECT_NEAR(v[k], 100 + k + 0.25f, 0.001f) << k;
  EXPECT_EQ(VX_VALUE(r.reader.state.gui.ChannelEnabled[3]), 1);
  EXPECT_EQ(VX_VALUE(r.reader.state.gui.ChannelEnabled[1]), 0);
  EXPECT_EQ(VX_VALUE(r.reader.state.acq.NbOfChannelsAcquiredInFile), 2);
  EXPECT_EQ(Get_Frequency(r.reader.state), 3200) << "312.5 ps in the header";
}

// The next file of a series is read only when its header is one of the same run.
TEST(Reader, ContinuationFilesAreCheckedLikeTheFirst) {
  SmallRun r;
  const std::string first = r.file(1, 2);
  const std::string next = r.file(1, 2, "V1.8.5", 3);
  const struct {
    const char* name;
    std::string bytes;
    int read;  // what the move to the next file gives
  } cases[] = {
      {"same_run", next, 1},
      {"other_samples", std::string(next).replace(next.find("[16]"), 4, "[15]"), 0},
      {"other_version", std::string(next).replace(next.find("V1.8.5"), 6, "V1.8.4"), 0},
      {"no_header", next.substr(next.find("=== DATA SAMPLES")), 0},
  };
  for (const auto& c : cases) {
    r.reader.ui.clear();
    State& st = r.reader.state;
    const fs::path p = r.put("series_Binary.bin", first);
    r.put("series_Binary.bin_0001", c.bytes);
    ASSERT_EQ(Open_DataFileForLoading(st, p), 1);
    while (Read_EventsFromFile(st) == 1) {
    }
    st.StopRequest().store(0);
    EXPECT_EQ(Load_EventFromNextFile(st), c.read) << c.name;
    EXPECT_EQ(st.EventNumber.load(), c.read == 1 ? 3 : 2) << c.name;
    EXPECT_EQ(st.StopRequest().load(), 1 - c.read) << c.name;
    EXPECT_EQ(r.error("its header is not that of the series' first file"), c.read == 0) << c.name;
    Close_FileForLoadingData(st);
  }
}

// A replay run counts the events it read, whatever their numbers, and says which event
// after the last whole one is damaged.
TEST(Reader, ReplayRunCountsTheEventsRead) {
  SmallRun r;
  const std::string dat = r.file(0, 4, "V1.8.5", 101);
  const fs::path p = r.put("late_Ascii.dat", dat.substr(0, dat.size() - 30));
  State& st = r.reader.state;
  Install_CoreHooks(st);
  Set_RunFromFile(st, 1);
  r.reader.ui.file_answers = {p};
  const int generation = st.AcquisitionGeneration.load();
  ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
  ASSERT_TRUE(wait_for_flag(
      [&] {
        return st.AcquisitionGeneration.load() != generation && st.AcquisitionRunning.load() == 0;
      },
      30.0));
  EXPECT_EQ(st.NbOfEventsInRun.load(), 3);
  EXPECT_TRUE(r.error("the event after event 103 is incomplete or damaged"));
}

TEST(Reader, AnotherVersionAsksBeforeLoading) {
  SmallRun r;
  const fs::path p = r.put("old_Binary.bin", r.file(1, 2, "V1.7.0"));
  r.reader.ui.confirm_answers = {false};
  EXPECT_EQ(Open_DataFileForLoading(r.reader.state, p), 0);
  EXPECT_TRUE(r.reader.ui.confirm_answers.empty()) << "the question was asked";
  EXPECT_FALSE(r.reader.state.run.ReplayFileOpen);
  EXPECT_EQ(Read_EventsFromFile(r.reader.state), 0);

  r.reader.ui.confirm_answers = {true};
  EXPECT_EQ(r.read_all(p), 2);
  EXPECT_TRUE(r.reader.ui.confirm_answers.empty());

  // Declining through the run start: no run.
  Set_RunFromFile(r.reader.state, 1);
  r.reader.ui.file_answers = {p};
  r.reader.ui.confirm_answers = {false};
  EXPECT_EQ(Start_AcquisitionFromUser(r.reader.state), 0);
  EXPECT_EQ(r.reader.state.AcquisitionRunning.load(), 0);
}

// A file saved in FFT mode holds spectra: refused for replay with a reason, whatever its
// name says, and left closed.
TEST(Reader, SpectrumFilesAreRefusedForReplay) {
  SmallRun r;
  r.st.acq.FFTMode = 1;
  std::string spectra = common_header(r.st) + data_header_line(r.st);
  ASSERT_NE(spectra.find("=== FFT DATA ["), std::string::npos);
  for (int n = 1; n <= 3; ++n) {
    r.st.EventNumber = n;
    ByteBuffer b;
    append_fft_event(r.st, b);
    spectra.append(b.data.data(), b.size);
  }
  for (const char* name : {"fft_run1_Binary.bin", "fft_run1_Ascii.dat"}) {
    const fs::path p = r.put(name, spectra);
    EXPECT_EQ(r.read_all(p), -1) << name;
    EXPECT_TRUE(r.error("Error : File '" + p.string() +
                        "' holds FFT spectra, not waveforms: it cannot be replayed.\n"))
        << name;
    EXPECT_FALSE(r.reader.state.run.ReplayFileOpen) << name;
  }
}

// A split run saved onto a disk that fills up: the write error is told with the number of
// events on disk, the run stops, no later file is opened, no success is claimed for the
// failed file and the events before it read back whole. The full disk is a file-size limit
// in a child process, which the program's start-up must keep from killing it.
TEST(Reader, FullDiskEndsTheSavingOfTheRunAndKeepsWhatWasWritten) {
  test::TempDir dir;
  const fs::path run_data = dir.path() / "RunData";
  fs::create_directory(run_data);
  constexpr rlim_t kLimit = 1 << 20;
  constexpr int kPerFile = 100;  // more than the limit holds
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(120);
    int code = 0;
    long long saved = -1;
    {
      test::SimCore sim("DT5743");
      Start_Core(sim.st, sim.dir.path());
      sim.connect();
      State& st = sim.st;
      // The board files are written; now the disk "fills".
      const rlimit limit{kLimit, kLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
      st.acq.PopupForFileName = 0;
      set_text(st.acq.DataDirectory, run_data.c_str());
      st.acq.SaveDataInFile = 1;
      st.acq.DataFileType = 1;
      st.acq.SplitFileToSaveData = 1;
      st.acq.NbOfEventsPerFile = kPerFile;
      Set_RunType(st, 1, 2000);
      const int generation = st.AcquisitionGeneration.load();
      if (Start_AcquisitionFromUser(st) == 1 && wait_for_flag(
                                                    [&] {
                                                      return st.AcquisitionGeneration.load() !=
                                                                 generation &&
                                                             st.AcquisitionRunning.load() == 0;
                                                    },
                                                    100.0)) {
        saved = Saved_EventCount(st);
        const std::string told = "Saving stopped: " + std::to_string(saved) +
                                 " events of the run are in the data files.";
        code |= sim.core.ui.has_message(MessageTab::Errors, told) ? 1 : 0;
        code |= !sim.core.ui.has_message(MessageTab::Infos, "successfully") ? 2 : 0;
        code |= st.EventNumber.load() <= kPerFile + 1 ? 4 : 0;
      }
    }
    if (write(pipe_fds[1], &saved, sizeof saved) != sizeof saved) code = 0;
    _exit(code);
  }
  close(pipe_fds[1]);
  long long saved = -1;
  EXPECT_EQ(read(pipe_fds[0], &saved, sizeof saved), static_cast<ssize_t>(sizeof saved));
  close(pipe_fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 7)
      << "1: error told with the count, 2: no success claimed, 4: run stopped at the split";

  const fs::path file = run_data / "veltrix_run1" / "veltrix_run1_Binary.bin";
  ASSERT_TRUE(fs::exists(file));
  EXPECT_FALSE(fs::exists(file.string() + "_0001")) << "no file after the failed one";
  const auto size = fs::file_size(file);
  EXPECT_LE(size, kLimit);
  test::TestCore reader;
  reader.state.FileForSavingLogFile = dir.path() / "reader.log";
  ASSERT_EQ(Open_DataFileForLoading(reader.state, file), 1);
  const std::size_t event = 71 + 8 * (48 + 2 * 1024);
  int events = 0;
  while (Read_EventsFromFile(reader.state) == 1) {
    ++events;
    EXPECT_EQ(reader.state.EventNumber.load(), events);
  }
  EXPECT_GT(events, 10);
  EXPECT_EQ(events, saved) << "the count told is what the file holds";
  EXPECT_TRUE(reader.ui.tab_texts(MessageTab::Errors).empty()) << "the file ends on a whole event";
  EXPECT_LT(size - static_cast<std::size_t>(events) * event, 1024u)
      << "only the header besides the events";
}

}  // namespace
}  // namespace vx
