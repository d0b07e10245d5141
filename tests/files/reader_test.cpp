// The replay reader on files that are not what they should be.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <vector>

#include "acquisition/run_control.h"
#include "app/lifecycle.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "files/record_format.h"
#include "support/file_text.h"
#include "support/packed_value.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "wiring/core_wiring.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

// The text with the first `from` in it replaced by `to`.
std::string edit(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

// A small run of two channels of 16 samples, written with the writer's own records.
struct SmallRun {
  SmallRun() {
    reader.state.log.file = dir.path() / "reader.log";
    st.log.file = dir.path() / "logfile.txt";
    st.sys.NbOfSAMBlocks = 2;
    st.sys.NbOfChannels = 4;
    st.sys.RecordLength = 16;
    st.sam[0].BoardGain = 1.0f;
    for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch == 0 || ch == 3;
  }
  // Spectra when st.acq.FFTMode is 1.
  std::string file(int type, int events, const std::string& version = "V1.8.5", int first = 1) {
    st.acq.DataFileType = type;
    const RunConfig cfg = Freeze_RunConfig(st);
    std::string text = common_header(cfg) + data_header_line(cfg, st.acq.FFTMode == 1);
    text.replace(text.find("V1.8.5"), 6, version);
    for (int n = 1; n <= events; ++n) {
      st.EventNumber = first + n - 1;
      for (int k = 0; k < 16; ++k)
        st.event.FullyOrderedValues[1][1][k] = static_cast<float>(100 * n + k) + 0.25f;
      ByteBuffer b;
      st.acq.FFTMode == 1 ? append_fft_event(st, st, cfg, st.event, b)
      : type == 1         ? append_binary_event(st, st, cfg, st.event, b)
                          : append_ascii_event(st, st, cfg, st.event, b);
      text.append(b.data.data(), b.size);
    }
    return text;
  }
  fs::path put(const std::string& name, const std::string& bytes) {
    test::write_file(dir.path() / name, bytes);
    return dir.path() / name;
  }
  // Events read until the end of data, or what the opening returned when it refused the file.
  int read_all(const fs::path& p) {
    reader.state.acq.NbOfSamplesInFile = 1024;
    if (const int opened = Open_DataFileForLoading(reader.state, p); opened != 1) return opened;
    int n = 0;
    while (Read_EventsFromFile(reader.state) == 1) ++n;
    Close_FileForLoadingData(reader.state, reader.state);
    return n;
  }
  // Events read through the whole series as a replay goes, or -1 when the first is refused.
  int read_series(const fs::path& first) {
    State& s = reader.state;
    if (Open_DataFileForLoading(s, first) != 1) return -1;
    s.StopRequest().store(0);
    int n = 0;
    while (Read_EventsFromFile(s) == 1 || Load_EventFromNextFile(s) == 1) ++n;
    Close_FileForLoadingData(s, s);
    return n;
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
  // Event 2's last sample line, and its first value.
  const std::size_t third = dat.find("=== EVENT 3");
  const std::size_t line2 = dat.rfind('\n', third - 2) + 1;
  const std::size_t value2 = dat.find(' ', line2);
  const std::string empty_line = dat.substr(0, line2) + "\n" + dat.substr(third);
  const std::string huge_value = dat.substr(0, line2) + "1e300" + dat.substr(value2);
  std::string twice_ascii = dat;
  twice_ascii.replace(twice_ascii.find("=== CH: 3", dat.find("=== EVENT 2")), 9, "=== CH: 0");
  // Events 2 and 3 of another record length or channel set: refused at event 2, by field.
  const auto after_event_1 = [&](void (*change)(State&)) {
    change(r.st);
    const auto events = [](const std::string& text) {
      std::size_t at = 0;
      for (int line = 0; line < 4; ++line) at = text.find('\n', at) + 1;
      return text.substr(at);
    };
    const std::string b = bin.substr(0, header + event) + events(r.file(1, 2, "V1.8.5", 2));
    const std::string d =
        dat.substr(0, dat.find("=== EVENT 2")) + events(r.file(0, 2, "V1.8.5", 2));
    r.st.sys.RecordLength = 16;
    for (int ch = 0; ch < kMaxChannels; ++ch) r.st.gui.ChannelEnabled[ch] = ch == 0 || ch == 3;
    return std::pair{b, d};
  };
  const auto [shorter_bin, shorter_dat] = after_event_1([](State& s) { s.sys.RecordLength = 8; });
  const auto [longer_bin, longer_dat] = after_event_1([](State& s) { s.sys.RecordLength = 24; });
  const auto [other_bin, other_dat] = after_event_1([](State& s) {
    s.gui.ChannelEnabled[1] = 1;
    s.gui.ChannelEnabled[3] = 0;
  });
  const auto fewer_dat = after_event_1([](State& s) { s.gui.ChannelEnabled[3] = 0; }).second;
  const std::string other_channel =
      "event 2's channel record 2 holds channel 1 where the file's first event has channel 3 "
      "there.\n";
  // A file saved in FFT mode holds spectra: refused for replay whatever its name says.
  r.st.acq.FFTMode = 1;
  const std::string spectra = r.file(0, 3);
  const auto fft_refused = [&](const char* name) {
    return "Error : File '" + (r.dir.path() / name).string() +
           "' holds FFT spectra, not waveforms: it cannot be replayed.\n";
  };
  const auto not_first = [&](const char* name) {
    return "Invalid file for loading data! '" + (r.dir.path() / name).string() +
           "': the first file of a run ends in .dat or .bin.\n";
  };
  const struct {
    std::string name;
    std::string bytes;
    int events;           // -1: the file refused
    std::string message;  // on the Errors tab unless said; empty: none
    MessageTab tab = MessageTab::Errors;
  } cases[] = {
      // A refused header: the file, the line and what is wrong with it.
      {"empty_Binary.bin", "", -1, "empty_Binary.bin': the file is empty.\n"},
      {"two_lines_Ascii.dat", dat.substr(0, dat.find("=== Other")), -1,
       "two_lines_Ascii.dat': it ends after 2 of its 4 header lines.\n"},
      {"bad_samples_Ascii.dat", edit(dat, "SAMPLES [16]", "SAMPLES [5000]"), -1,
       "bad_samples_Ascii.dat': line 4: the sample count 5000 is out of range (1 to 1024).\n"},
      {"too_many_channels_Binary.bin", edit(bin, "WITH 4 CHANNELS", "WITH 400 CHANNELS"), -1,
       "line 2: the board's channel count 400 is out of range (1 to 16).\n"},
      {"no_channels_Ascii.dat", edit(dat, "ACQUIRED: 2", "ACQUIRED: 0"), -1,
       "line 4: the count of channels acquired 0 is out of range (1 to 16).\n"},
      {"cut_data_line_Binary.bin", edit(bin, " == NB OF CHANNELS ACQUIRED", "\n"), -1,
       "line 4 '=== DATA SAMPLES [16] in Volts' lacks the channel count, the sampling period "
       "or the INL flag.\n"},
      {"tiny_period_Ascii.dat", edit(dat, "Period: 312.5", "Period: 0.000400"), -1,
       "line 4: the sampling period 0.0 ps is none of the board's"},
      {"odd_period_Binary.bin", edit(bin, "Period: 312.5", "Period: 500.0"), -1,
       "line 4: the sampling period 500.0 ps is none of the board's"},
      // Text quoted from the file comes escaped: no control byte reaches the log.
      {"garbled_board_line_Ascii.dat", edit(dat, "=== CAEN", std::string("\x01\0\x1b[2J", 6)), -1,
       "line 2 '\\x01\\x00\\x1B[2J DIGITIZER BOARD TYPE"},
      // Cut inside an event, as a killed run leaves it: the whole events, and a warning.
      {"cut_in_event_Binary.bin", bin.substr(0, header + 2 * event + 100), 2,
       "ends inside the event after event 2: the run was cut short there, the last whole "
       "event is event 2.\n",
       MessageTab::Warnings},
      {"cut_in_channel_line_Ascii.dat", dat.substr(0, dat.rfind("=== CH: 3") + 20), 2,
       "ends inside the event after event 2", MessageTab::Warnings},
      {"cut_in_sample_line_Ascii.dat", dat.substr(0, dat.size() - 30), 2,
       "ends inside the event after event 2", MessageTab::Warnings},
      {"cut_in_last_value_Ascii.dat", dat.substr(0, dat.size() - 3), 2,
       "ends inside the event after event 2", MessageTab::Warnings},
      {"cut_in_first_event_Binary.bin", bin.substr(0, header + 30), 0,
       "ends inside the first event: the run was cut short there, no whole event",
       MessageTab::Warnings},
      {"empty_sample_line_Ascii.dat", empty_line, 1,
       "event 2 has 0 samples where the file's header says 16 (channel 3).\n"},
      {"huge_sample_Ascii.dat", huge_value, 1, "the event after event 1 is incomplete"},
      {"channel_twice_Ascii.dat", twice_ascii, 1, "the event after event 1 holds a channel twice"},
      {"garbage_Binary.bin", bin.substr(0, header) + std::string(500, '\xA7'), 0,
       "the first event is incomplete or damaged"},
      {"garbage_Ascii.dat", dat.substr(0, dat.find("=== EVENT 1")) + "hello\n", 0,
       "is incomplete or damaged"},
      {"fft_run1_Binary.bin", spectra, -1, fft_refused("fft_run1_Binary.bin")},
      {"fft_run1_Ascii.dat", spectra, -1, fft_refused("fft_run1_Ascii.dat")},
      {"run_Ascii.dat_0001", dat, -1, not_first("run_Ascii.dat_0001")},
      {"run.txt", dat, -1, not_first("run.txt")},
      {"run", dat, -1, not_first("run")},
      {"shorter_records_Binary.bin", shorter_bin, 1,
       "event 2 has 8 samples where the file's header says 16.\n"},
      {"shorter_records_Ascii.dat", shorter_dat, 1,
       "event 2 has 8 samples where the file's header says 16 (channel 0).\n"},
      {"longer_records_Binary.bin", longer_bin, 1,
       "event 2 has 24 samples where the file's header says 16.\n"},
      {"longer_records_Ascii.dat", longer_dat, 1,
       "event 2 has 24 samples where the file's header says 16 (channel 0).\n"},
      {"other_channel_Binary.bin", other_bin, 1, other_channel},
      {"other_channel_Ascii.dat", other_dat, 1, other_channel},
      {"fewer_channels_Ascii.dat", fewer_dat, 1,
       "event 2 holds 1 channel record where the file's header says 2.\n"},
      {"whole_Binary.bin", bin, 3, ""},
      {"whole_Ascii.dat", dat, 3, ""},
      {"ends_at_an_event_Binary.bin", bin.substr(0, header + event), 1, ""},
  };
  for (const auto& c : cases) {
    r.reader.ui.clear();
    EXPECT_EQ(r.read_all(r.put(c.name, c.bytes)), c.events) << c.name;
    if (!c.message.empty()) {
      EXPECT_TRUE(r.reader.ui.has_message(c.tab, c.message)) << c.name;
    }
    if (c.message.empty() || c.tab != MessageTab::Errors) {
      EXPECT_TRUE(r.reader.ui.tab_texts(MessageTab::Errors).empty()) << c.name;
    }
    if (c.events < 0) {
      EXPECT_FALSE(r.reader.state.run.ReplayFileOpen) << c.name;
    }
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
  EXPECT_EQ(r.reader.state.files.ReplayChannels, (std::vector<int>{0, 3}));
  EXPECT_EQ(VX_VALUE(r.reader.state.acq.NbOfChannelsAcquiredInFile), 2);
  EXPECT_EQ(Get_Frequency(r.reader.state), 3200) << "312.5 ps in the header";
}

// A series cut short, with files gone or of another run: every whole event up to the cut or
// the gap, told as such; only a cut mid-series or another run's file is an error.
TEST(Reader, SeriesCutShortOrWithAGap) {
  SmallRun r;
  const std::string first = r.file(1, 2);
  const std::string second = r.file(1, 2, "V1.8.5", 3);
  const std::string header = first.substr(0, first.size() - 2 * (71 + 2 * (48 + 2 * 16)));
  const char* const other_run = "its header is not that of the series' first file";
  const MessageTab infos = MessageTab::Infos, errors = MessageTab::Errors,
                   warnings = MessageTab::Warnings;
  const struct {
    const char* name;
    int events;
    const char* told;  // on the tab below
    MessageTab tab;
    std::string next_bytes;        // the file after the first
    std::string first_bytes = "";  // empty: the whole first file
    // A gap: the numbers of the files after it, read with missing files skipped.
    int next = 1;
    int last = 0;
    std::string last_bytes = "";
  } cases[] = {
      {"same_run", 4, "End of the saved run: 4 events read, the last whole event is event 4.\n",
       infos, second},
      // The next file is read only when its header is one of the same run.
      {"other_samples", 2,
       "its header is not that of the series' first file: it gives 15 samples where the "
       "series' first file gives 16.\n",
       errors, edit(second, "[16]", "[15]")},
      {"other_frequency", 2,
       "it gives 1600 MS/s sampling where the series' first file gives 3200.\n", errors,
       edit(second, "312.5", "625.0")},
      {"other_inl_flag", 2,
       "it gives 1 as its INL correction flag where the series' first file gives 0.\n", errors,
       edit(second, "Correction: 0", "Correction: 1")},
      {"other_version", 2, other_run, errors, edit(second, "V1.8.5", "V1.8.4")},
      {"no_header", 2, other_run, errors, second.substr(second.find("=== DATA SAMPLES"))},
      {"empty_next", 2,
       "_0001' ends inside its header: the run was cut short as it began this file.\n", warnings,
       ""},
      {"half_a_header", 2, "_0001' ends inside its header", warnings, header.substr(0, 90)},
      {"header_only", 2, "End of the saved run: 2 events read, the last whole event is event 2.\n",
       infos, header},
      {"cut_in_next", 3, "End of the saved run: 3 events read, the last whole event is event 3.\n",
       infos, second.substr(0, second.size() - 5)},
      {"cut_then_more", 1, "': it ends inside an event, yet the series goes on with '", errors,
       second, first.substr(0, first.size() - 5)},
      {"two_gaps_skipped", 4, "_0004' skipped: the gap cost 0 events.\n", warnings,
       r.file(1, 1, "V1.8.5", 7), "", 3, 5, r.file(1, 1, "V1.8.5", 8)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const std::string base = (dir.path() / (std::string(c.name) + "_Binary.bin")).string();
    std::ofstream(base) << (c.first_bytes.empty() ? first : c.first_bytes);
    std::ofstream(base + "_000" + std::to_string(c.next)) << c.next_bytes;
    if (c.last != 0) std::ofstream(base + "_000" + std::to_string(c.last)) << c.last_bytes;
    r.reader.ui.clear();
    r.reader.state.files.SkipMissingFiles = c.last != 0;
    EXPECT_EQ(r.read_series(base), c.events);
    EXPECT_TRUE(r.reader.ui.has_message(c.tab, c.told));
    EXPECT_EQ(r.reader.ui.tab_texts(errors).empty(), c.tab != errors);
    EXPECT_EQ(r.reader.state.StopRequest().load(), 1);
  }
}

TEST(Reader, AnotherVersionAsksBeforeLoadingAndAReplayCountsTheEventsRead) {
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

  // A replay counts the events it read, whatever their numbers, and names the damaged one.
  const std::string dat = r.file(0, 4, "V1.8.5", 101);
  const fs::path late = r.put("late_Ascii.dat", dat.substr(0, dat.size() - 30));
  State& st = r.reader.state;
  Install_CoreHooks(st);
  r.reader.ui.clear();
  r.reader.ui.file_answers = {late};
  const int generation = st.AcquisitionGeneration.load();
  ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
  ASSERT_TRUE(test::wait_run_end(st, generation, 30.0));
  EXPECT_EQ(st.NbOfEventsInRun.load(), 3);
  EXPECT_TRUE(
      r.reader.ui.has_message(MessageTab::Warnings, "ends inside the event after event 103"));
  EXPECT_TRUE(r.reader.ui.tab_texts(MessageTab::Errors).empty());
}

// A split run onto a disk that fills up (a file-size limit the start-up must survive): the
// error tells the events on disk, the run stops, no later file, no success, and all read back.
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
      Start_Core(sim.st, sim.st, sim.dir.path());
      sim.connect();
      State& st = sim.st;
      // The board files are written; now the disk "fills".
      const rlimit limit{kLimit, kLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
      test::save_runs(st, run_data, 1, kPerFile);
      if (test::run_events(st, 2000, 100.0)) {
        saved = Saved_EventCount(st, st);
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
  test::TestCore reader;
  reader.state.log.file = dir.path() / "reader.log";
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

// The run directory removed or replaced during a run: noticed at the next flush or split, the
// run ends naming the path, with none of its events counted or called saved.
TEST(Reader, ARunDirectoryRemovedDuringTheRunEndsItWithNothingClaimed) {
  for (const bool split : {false, true}) {
    SCOPED_TRACE(split ? "split, directory replaced" : "one file, directory removed");
    test::SimCore sim("DT5743");
    sim.connect();
    State& st = sim.st;
    test::save_runs(st, sim.dir.path() / "RunData", 1, split ? 50 : 0);
    st.acq.SaveMeasurementsInFile = 1;
    Set_RunType(st, st, 3, 0);
    const int generation = st.AcquisitionGeneration.load();
    ASSERT_EQ(Start_AcquisitionFromUser(st), 1);
    ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() > 120; }, 60.0));
    const fs::path run_dir = st.acq.RunDirectory;
    // The loop may be copying the log into it at a split meanwhile: removed again until gone.
    std::error_code ec;
    for (int tries = 0; tries < 100 && fs::exists(run_dir); ++tries) fs::remove_all(run_dir, ec);
    ASSERT_FALSE(fs::exists(run_dir)) << ec.message();
    if (split)
      fs::create_directory(run_dir);  // the next split file would open in it
    else
      sim.core.clock.advance(1.0);  // the writer's next flush
    const bool ended = test::wait_run_end(st, generation, 60.0);
    if (!ended) st.StopRequest().store(1);
    ASSERT_TRUE(ended) << "the run went on";
    EXPECT_TRUE(sim.core.ui.has_message(
        MessageTab::Errors,
        "its run directory '" + run_dir.string() +
            "' was removed or replaced during the run. Saving stopped: 0 events of the run "
            "are in the "));
    // Files closed before the removal were saved; nothing after it.
    const auto infos = sim.core.ui.tab_texts(MessageTab::Infos);
    const auto error = std::find_if(infos.begin(), infos.end(), [](const std::string& t) {
      return t.find("was removed or replaced") != std::string::npos;
    });
    EXPECT_TRUE(std::none_of(error, infos.end(), [](const std::string& t) {
      return t.find("successfully") != std::string::npos;
    }));
    EXPECT_EQ(Saved_EventCount(st, st), 0);
    EXPECT_FALSE(fs::exists(st.files.FileForSavingData)) << "no file opened after it";
    EXPECT_FALSE(fs::exists(st.files.FileForSavingData.string() + "_0004"));
  }
}

// The run directory replaced between two split files (where the loop copies the log): the
// next file is not made in the replacement, which lacks the series' first files.
TEST(Reader, ARunDirectoryReplacedBetweenTwoSplitFilesTakesNoFile) {
  test::SimCore sim("DT5743");
  State& st = sim.st;
  test::save_runs(st, sim.dir.path() / "RunData", 1, 50);
  set_text(st.acq.BaseFileName, "veltrix");
  ASSERT_EQ(
      Open_FileForSavingData(st, Freeze_RunConfig(st), st.acq.DataDirectory, OpenFiles::NewRun),
      kDone);
  Close_FileForSavingData(st, Freeze_RunConfig(st), CloseFiles::DataFile);
  const fs::path run_dir = st.acq.RunDirectory;
  fs::remove_all(run_dir);
  fs::create_directory(run_dir);
  EXPECT_EQ(Open_FileForSavingData(st, Freeze_RunConfig(st), st.acq.DataDirectory,
                                   OpenFiles::NextSplitFile),
            kFailed);
  EXPECT_TRUE(sim.core.ui.has_message(
      MessageTab::Errors, "its run directory '" + run_dir.string() +
                              "' was removed or replaced during the run. Saving stopped: 0 "
                              "events of the run are in the data files.\n"));
  EXPECT_TRUE(fs::is_empty(run_dir));
  Close_FileForSavingData(st, Freeze_RunConfig(st), CloseFiles::Both);
}

}  // namespace
}  // namespace vx
