// The replay reader on files that are not what they should be.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <fstream>

#include "acquisition/run_control.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/record_format.h"
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
  std::string file(int type, int events, const std::string& version = "V1.8.5") {
    st.acq.DataFileType = type;
    std::string text = common_header(st) + data_header_line(st);
    text.replace(text.find("V1.8.5"), 6, version);
    for (int n = 1; n <= events; ++n) {
      st.EventNumber = n;
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
      {"cut_in_event_Binary.bin", bin.substr(0, header + 2 * event + 100), 2,
       "is incomplete or damaged"},
      {"cut_in_channel_line_Ascii.dat", dat.substr(0, dat.rfind("=== CH: 3") + 20), 2,
       "is incomplete or damaged"},
      {"garbage_Binary.bin", bin.substr(0, header) + std::string(500, '\xA7'), 0,
       "is incomplete or damaged"},
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

TEST(Reader, AsciiWithWindowsLineEndsAndShortSampleLines) {
  SmallRun r;
  std::string dat = r.file(0, 1);
  for (std::size_t p = dat.find('\n'); p != std::string::npos; p = dat.find('\n', p + 2))
    dat.insert(p, "\r");
  // Keep only the first four values of channel 3's samples.
  const std::size_t last = dat.rfind("\r\n", dat.size() - 3) + 2;
  std::size_t cut = last;
  for (int i = 0; i < 4; ++i) cut = dat.find(' ', cut) + 1;
  dat = dat.substr(0, cut) + "\r\n";
  ASSERT_EQ(r.read_all(r.put("crlf_Ascii.dat", dat)), 1);
  const auto& v = r.reader.state.event.FullyOrderedValues[1][1];
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(v[k], 100 + k + 0.25f, 0.001f) << k;
  for (int k = 4; k < 16; ++k) EXPECT_EQ(v[k], 0.0f) << k;
  EXPECT_EQ(r.reader.state.gui.ChannelEnabled[3], 1);
  EXPECT_EQ(r.reader.state.gui.ChannelEnabled[1], 0);
  EXPECT_EQ(r.reader.state.acq.NbOfChannelsAcquiredInFile, 2);
  EXPECT_EQ(Get_Frequency(r.reader.state), 3200) << "312.5 ps in the header";
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

// A run saved onto a disk that fills up: the write error is told, the run stops, no
// success is claimed for that file and the events before it read back whole. The full
// disk is a file-size limit in a child process.
TEST(Reader, FullDiskStopsTheRunAndKeepsWhatWasWritten) {
  test::TempDir dir;
  const fs::path run_data = dir.path() / "RunData";
  fs::create_directory(run_data);
  constexpr rlim_t kLimit = 3 << 20;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(120);
    std::signal(SIGXFSZ, SIG_IGN);
    int code = 0;
    {
      test::SimCore sim("DT5743");
      sim.connect();
      State& st = sim.st;
      // The board files are written; now the disk "fills".
      const rlimit limit{kLimit, kLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
      st.acq.PopupForFileName = 0;
      set_text(st.acq.DataDirectory, run_data.c_str());
      st.acq.SaveDataInFile = 1;
      st.acq.DataFileType = 1;
      st.acq.SplitFileToSaveData = 0;
      Set_RunType(st, 1, 2000);
      const int generation = st.AcquisitionGeneration.load();
      if (Start_AcquisitionFromUser(st) == 1 && wait_for_flag(
                                                    [&] {
                                                      return st.AcquisitionGeneration.load() !=
                                                                 generation &&
                                                             st.AcquisitionRunning.load() == 0;
                                                    },
                                                    100.0)) {
        code |= sim.core.ui.has_message(MessageTab::Errors, "Error while writing file '") ? 1 : 0;
        code |= !sim.core.ui.has_message(MessageTab::Infos, "successfully") ? 2 : 0;
        code |= st.EventNumber.load() < 2000 ? 4 : 0;
      }
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 7) << "1: error told, 2: no success claimed, 4: run stopped early";

  const fs::path file = run_data / "veltrix_run1" / "veltrix_run1_Binary.bin";
  ASSERT_TRUE(fs::exists(file));
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
  EXPECT_GT(events, 100);
  EXPECT_TRUE(reader.ui.tab_texts(MessageTab::Errors).empty()) << "the file ends on a whole event";
  EXPECT_LT(size - static_cast<std::size_t>(events) * event, 1024u)
      << "only the header besides the events";
}

}  // namespace
}  // namespace vx
