#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <random>
#include <set>
#include <thread>

#include "acquisition/acquisition_controls.h"
#include "acquisition/acquisition_loop.h"
#include "acquisition/run_control.h"
#include "analysis/histo_ranges.h"
#include "analysis/measurement_context.h"
#include "app/params.h"
#include "app/timer_tick.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "platform/fft.h"
#include "support/file_text.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "support/synthetic_run.h"

namespace vx {
namespace {

using test::SimCore;

struct RunFixture {
  explicit RunFixture(sim::SimConfig config = {}, int blt = 100,
                      std::shared_ptr<Clock> board_clock = nullptr)
      : sim("DT5743", std::move(config), std::move(board_clock)) {
    sim.connect();
    sim.st.acq.MaxNumEventsBLT = blt;
    sim.board->SetMaxNumEventsBLT(sim.st.DeviceHandle.load(), blt);
  }
  void use_external_trigger() {
    sim.st.sys.TriggerSource = 3;
    Set_SystemTriggerMode(sim.st);
  }
  int start() {
    generation = sim.st.AcquisitionGeneration.load();
    return Start_AcquisitionFromUser(sim.st);
  }
  bool wait_end() { return test::wait_run_end(sim.st, generation, 20.0); }
  bool has(const std::string& text) const {
    return sim.core.ui.has_message(MessageTab::Infos, text);
  }
  int count(const std::string& text) const {
    return sim.core.ui.message_count(MessageTab::Infos, text);
  }

  SimCore sim;
  int generation = 0;
};

TEST(Run, ContinuousRunStopsOnRequestAndATimedOneOnTheTimer) {
  RunFixture f;
  Set_RunType(f.sim.st, f.sim.st, 3, 0);
  ASSERT_EQ(f.start(), 1);
  ASSERT_TRUE(wait_for_flag([&] { return f.sim.st.EventNumber.load() > 20; }, 10.0));
  Stop_AcquisitionFromUser(f.sim.st);
  EXPECT_EQ(f.sim.st.AcquisitionRunning.load(), 0);
  EXPECT_TRUE(f.has("Run started in continuous mode.\n"));
  EXPECT_TRUE(f.has("Run stopped.\n"));
  EXPECT_EQ(f.sim.st.AcquisitionBusy.load(), 0);

  f.sim.core.ui.clear();
  Set_RunDuration(f.sim.st, 0, 0, 5, 0);
  Set_RunType(f.sim.st, f.sim.st, 2, 0);
  ASSERT_EQ(f.start(), 1);
  ASSERT_TRUE(wait_for_flag([&] { return f.sim.st.EventNumber.load() > 5; }, 10.0));
  f.sim.core.clock.advance(300.0);
  TimerCB(f.sim.st);
  ASSERT_TRUE(f.wait_end());
  EXPECT_TRUE(f.has("Run started for 300 seconds.\n"));
  EXPECT_FALSE(f.has("continuous"));
  EXPECT_TRUE(f.has("Run stopped.\n"));
}

// A failed register access ends the run and the connection; a failed readout the run.
TEST(Run, CommunicationErrorEndsTheRunAndTheConnection) {
  for (const bool register_fault : {true, false}) {
    SCOPED_TRACE(register_fault ? "register access" : "readout");
    sim::SimConfig config;
    if (register_fault) config.fault.fail_register_access = 150;
    if (!register_fault) config.fault.fail_readout = 5;
    RunFixture f(config);
    f.sim.st.sam[0].ControlRegBit2 = 0;  // the start register is written before every readout
    ASSERT_EQ(f.start(), 1);
    ASSERT_TRUE(f.wait_end());
    const std::string error = register_fault ? "Communication Error! Board need to be restarted!\n"
                                             : "Communication Error!\n";
    EXPECT_TRUE(f.sim.core.ui.has_message(MessageTab::Errors, error));
    EXPECT_EQ(f.sim.st.Board_Connected.load(), register_fault ? 0 : 1);
    EXPECT_EQ(f.sim.core.ui.has_message(MessageTab::Warnings,
                                        "ERROR: Communication Write Error 1 at Event: "),
              register_fault);
    EXPECT_FALSE(f.has("Run stopped.\n"));
  }
}

// A board that stops answering: a fault when the run triggers it at every readout, a
// normal wait for events with a trigger from outside.
TEST(Run, BoardSilentUnderItsOwnTriggerIsAFault) {
  for (const int source : {0, 2, 3}) {
    sim::SimConfig config;
    config.fault.stop_after_events = 150;
    RunFixture f(config);
    State& st = f.sim.st;
    st.sys.TriggerSource = source;
    Set_SystemTriggerMode(st);
    Set_RunType(st, st, 1, 250);
    ASSERT_EQ(f.start(), 1);
    ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() >= 150; }, 20.0)) << source;
    for (int i = 0; i < 400 && st.AcquisitionRunning.load() == 1; ++i) {  // 2 s, 40 s on the clock
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      f.sim.core.clock.advance(0.1);
    }
    const bool fault = source != 3;
    EXPECT_EQ(st.AcquisitionRunning.load(), fault ? 0 : 1) << source;
    EXPECT_EQ(f.sim.core.ui.has_message(MessageTab::Errors, "Board fault: no event for 5 s"), fault)
        << source;
    Stop_AcquisitionFromUser(st);
    EXPECT_EQ(st.EventNumber.load(), 150) << source;
  }
}

// A run ends on its last event's frame, whatever the display's pace left out: after a stop
// that finds the board with nothing more to read, after a single-event run (every event of
// its readout processed, the board stopped once), at the end of a replayed file.
TEST(Run, EndsOnItsLastEventsFrame) {
  enum class End { Stopped, SingleEvent, Replayed };
  for (const End end : {End::Stopped, End::SingleEvent, End::Replayed}) {
    SCOPED_TRACE(static_cast<int>(end));
    auto board_clock = std::make_shared<test::FakeClock>();
    RunFixture f(test::external_trigger(2000.0), 10, board_clock);
    f.use_external_trigger();
    State& st = f.sim.st;
    // About a hundred events wait in the board at the first readout, and no more come.
    st.hooks.refresh_annotations = [&] { board_clock->advance(0.050); };
    if (end == End::Replayed) {
      ASSERT_TRUE(test::write_binary_run(st, f.sim.dir.path() / "run_Binary.bin", 30, 2));
      Set_RunFromFile(st, 1);
      f.sim.core.ui.file_answers.push_back(f.sim.dir.path() / "run_Binary.bin");
    }
    st.DisplayFrameInterval = 1000.0;  // on the core's clock: only the frames that must be
    st.acq.DisplayOn = 1;
    // Spectra shown: each frame's is its own event's, also the one drawn after the loop.
    st.display_attached = true;
    st.FFTMode().store(1);
    std::vector<int> frames;  // the acquisition thread's, read once the run is over
    int stale_spectra = 0;
    st.hooks.compute_display = [&](const RunConfig& cfg, const DecodedEvent& event) {
      frames.push_back(st.EventNumber.load());
      const int n = Run_NbOfSamples(cfg);
      std::array<double, kMaxSamples / 2 + 1> own{};
      ReFFT_Magnitudes(st.meas.FftPlans, std::span(event.FullyOrderedValues[0][0].data(), n), own);
      if (st.meas.Spectra[0][0].magnitude != own) ++stale_spectra;
    };
    Set_RunType(st, st, end == End::SingleEvent ? 0 : 3, 0);
    ASSERT_EQ(f.start(), 1);
    if (end == End::Stopped) {
      // The board holds at most 13 readouts: after 20 reads the loop waits on empty ones.
      ASSERT_TRUE(wait_for_flag([&] { return f.sim.calls.count("ReadData") > 20; }, 20.0));
      Stop_AcquisitionFromUser(st);
      EXPECT_TRUE(f.has("No event read!\n"));
    }
    ASSERT_TRUE(f.wait_end());
    EXPECT_EQ(f.has("Run stopped.\n"), end == End::Replayed) << "only a stop after a read event";
    if (end == End::SingleEvent) {
      EXPECT_TRUE(f.has("Run started with 1 events required.\n"));
      EXPECT_EQ(f.sim.calls.count("SWStopAcquisition"), 1u);
    }
    if (end != End::Stopped) {
      EXPECT_EQ(st.EventNumber.load(), end == End::SingleEvent ? 10 : 30) << "readout, or file";
    }
    EXPECT_EQ(frames.empty() ? -1 : frames.back(), st.EventNumber.load());
    EXPECT_EQ(stale_spectra, 0) << "frames showing another event's spectrum";
  }
}

TEST(Run, UndecodableEventSkipsOnlyTheRestOfItsReadout) {
  sim::SimConfig config = test::external_trigger(50000.0);
  config.fault.undecodable_event = 5;
  RunFixture f(config, 20);
  f.use_external_trigger();
  ASSERT_TRUE(test::run_events(f.sim.st, 200, 20.0));
  EXPECT_EQ(f.count("Invalid Event: event "), 1);
  EXPECT_GE(f.sim.st.EventNumber.load(), 200) << "the run went on";
  // After the failed event the loop goes back to reading, not to the next event.
  const auto records = f.sim.calls.records();
  auto failed = std::find_if(records.begin(), records.end(), [](const CallRecord& r) {
    return (r.name == "GetEventInfo" || r.name == "DecodeEvent") && r.result < 0;
  });
  ASSERT_NE(failed, records.end());
  auto next = std::find_if(failed + 1, records.end(), [](const CallRecord& r) {
    return r.name == "GetEventInfo" || r.name == "ReadData";
  });
  ASSERT_NE(next, records.end());
  EXPECT_EQ(next->name, "ReadData");
}

TEST(EventTime, FortyBitWrapAddsOnceAndTimeKeepsGrowing) {
  test::TestCore core;
  State& st = core.state;
  st.acq.RunStartHour = 23;
  st.acq.RunStartMinute = 59;
  st.acq.RunStartSecond = 59;
  const std::uint64_t top = (std::uint64_t{1} << 40) - 10;
  Compute_EventTime(st, Freeze_RunConfig(st), top);
  const double before = st.EventSeconds;
  Compute_EventTime(st, Freeze_RunConfig(st), 5);
  EXPECT_EQ(st.run.TdcOverflowOffset, std::uint64_t{1} << 40);
  EXPECT_NEAR(st.EventSeconds - before, 15 * 16 * 312.5e-12, 1e-12);
  Compute_EventTime(st, Freeze_RunConfig(st), 6);
  EXPECT_EQ(st.run.TdcOverflowOffset, std::uint64_t{1} << 40) << "added once";

  EXPECT_EQ(format_event_time(0.0, 14, 5, 7), "14h05m07s,000.000.000ns");
  EXPECT_EQ(format_event_time(1.234567891, 23, 59, 59), "00h00m00s,234.567.891ns");
  EXPECT_EQ(format_event_time(3600.5, 1, 0, 0), "02h00m00s,500.000.000ns");
}

// A drawing front end gets at most one frame per interval, the modulo still choosing, and
// always the first event (where asked for), the last one and the one a stop arrives in.
TEST(DisplayCondition, FramesAtMostOncePerIntervalButAlwaysAtTheEnds) {
  test::TestCore core;
  State& st = core.state;
  // Eight events per interval, in steps the clock adds exactly.
  st.DisplayFrameInterval = 1.0 / 32;
  st.acq.NbOfEventsRequired = 250;
  auto frames = [&](int display_on, int modulo, bool with_first = true) {
    st.acq.DisplayOn = display_on;
    st.gui.DisplayModulo = modulo;
    st.StopRequest().store(0);
    std::vector<int> shown;
    for (int n = 1; n <= 260; ++n) {
      st.EventNumber = n;
      if (n == 255) st.StopRequest().store(1);
      if (frame_wanted(st, st, st, Freeze_RunConfig(st), with_first)) shown.push_back(n);
      core.clock.advance(1.0 / 256);
    }
    return shown;
  };
  // The first event, then display events at least eight apart, then the last event and
  // every event once a stop is asked.
  auto expected = [](int first, int step, int last) {
    std::vector<int> v{1};
    for (int n = first; n <= last; n += step) v.push_back(n);
    for (int n : {250, 255, 256, 257, 258, 259, 260}) v.push_back(n);
    return v;
  };
  EXPECT_EQ(frames(0, 20), expected(20, 20, 240));
  const auto from_20 = expected(20, 20, 240);
  EXPECT_EQ(frames(0, 20, false), std::vector<int>(from_20.begin() + 1, from_20.end()));
  EXPECT_EQ(frames(0, 3), expected(9, 9, 243));
  EXPECT_EQ(frames(1, 100), expected(9, 8, 249));
}

// A saved ASCII series: its events' numbers and times (ns since midnight), each file's events.
struct SavedSeries {
  std::vector<int> numbers, per_file;
  std::vector<long long> times;
  std::set<std::size_t> record_lines;  // lines from one event's first to the next's
};

SavedSeries read_series(const std::filesystem::path& first) {
  SavedSeries s;
  for (auto p = first; std::filesystem::exists(p);
       p = continuation_name(first, s.per_file.size())) {
    s.per_file.push_back(0);
    const std::vector<std::string> lines = test::file_lines(p);
    std::size_t last = lines.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      int n = 0, h = 0, m = 0, sec = 0, ms = 0, us = 0, ns = 0;
      const auto at = line.find("TDC Corrected = ");
      if (std::sscanf(line.c_str(), "=== EVENT %d ===", &n) == 1) {
        s.numbers.push_back(n);
        ++s.per_file.back();
        if (last < i) s.record_lines.insert(i - last);
        last = i;
      } else if (at != std::string::npos &&
                 std::sscanf(line.c_str() + at + 16, "%dh%dm%ds,%d.%d.%dns", &h, &m, &sec, &ms, &us,
                             &ns) == 6) {
        s.times.push_back((((h * 60LL + m) * 60 + sec) * 1000000LL + ms * 1000 + us) * 1000 + ns);
      }
    }
  }
  return s;
}

// Restarts at six seeded random events: threshold, run type (thrice in a row too), readout size.
void restart_at_random_events(State& st, std::mt19937& random, int events) {
  std::vector<int> at(6);
  for (int& n : at) n = std::uniform_int_distribution<int>(1, events - 50)(random);
  std::sort(at.begin(), at.end());
  for (const int n : at) {
    ASSERT_TRUE(wait_for_flag(
        [&] { return st.EventNumber.load() >= n || st.AcquisitionRunning.load() == 0; }, 20.0));
    const unsigned change = random() % 4;
    if (change == 0) Set_Threshold(st, 0, -0.01f * static_cast<float>(1 + random() % 5));
    if (change == 1) Set_RunType(st, st, 1, events);
    for (int i = 0; change == 3 && i < 3; ++i) Set_RunType(st, st, 1, events);  // loops of none
    if (change == 2) Set_MaxNumEventsBLT(st, 1 + static_cast<int>(random() % 8));
  }
}

// A saving split run and then its replay, restarted at random events: the files (closed once
// each) hold every event once, numbered from 1 in order, with times that grow across the
// restarts, every file but the last its configured count; the run and the replay give the
// events asked for and count each once.
TEST(Run, RestartsAtRandomEventsKeepTheFilesNumberedTimedAndSplit) {
  constexpr int kEvents = 300, kPerFile = 40, kReplayed = 150;
  for (const unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    RunFixture f(test::external_trigger(1000.0), 4);
    f.use_external_trigger();
    State& st = f.sim.st;
    for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = ch == 0;
    test::save_runs(st, f.sim.dir.path() / "RunData", 0, kPerFile);
    Set_RunType(st, st, 1, kEvents);
    ASSERT_EQ(f.start(), 1);
    restart_at_random_events(st, random, kEvents);
    ASSERT_TRUE(f.wait_end());

    const std::filesystem::path dir = st.acq.RunDirectory;
    const SavedSeries s = read_series(dir / "veltrix_run1_Ascii.dat");
    const int total = st.EventNumber.load();
    EXPECT_LE(total, kEvents + 7) << "at most the rest of the last readout";
    std::vector<int> expected(static_cast<std::size_t>(std::max(total, kEvents)));
    std::iota(expected.begin(), expected.end(), 1);
    EXPECT_EQ(s.numbers, expected);
    EXPECT_TRUE(std::is_sorted(s.times.begin(), s.times.end(), std::less_equal<>()));
    EXPECT_EQ(s.per_file.size(), static_cast<std::size_t>((total + kPerFile - 1) / kPerFile));
    for (std::size_t i = 0; i + 1 < s.per_file.size(); ++i) EXPECT_EQ(s.per_file[i], kPerFile);
    EXPECT_EQ(f.count("successfully"), static_cast<int>(s.per_file.size()));
    EXPECT_EQ(st.NbOfEventsInRun.load(), total) << "what the run's rates count";

    st.acq.SaveDataInFile = 0;
    st.acq.DisplayOn = 1;  // a replay runs as fast as it reads: paced so that restarts land in it
    st.hooks.show_event = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    Set_RunFromFile(st, 1);
    f.sim.core.ui.file_answers.push_back(dir / "veltrix_run1_Ascii.dat");
    Set_RunType(st, st, 1, kReplayed);
    ASSERT_EQ(f.start(), 1);
    restart_at_random_events(st, random, kReplayed);
    ASSERT_TRUE(f.wait_end());
    EXPECT_EQ(st.NbOfEventsInRun.load(), kReplayed);
    EXPECT_EQ(st.EventNumber.load(), kReplayed);
  }
}

// Writes seeded values into every settings field but the texts and the live switches: each
// checked field a value of its range, the others their own value again; with `from`, that
// record's values instead.
template <typename Rec>
void scribble(Rec& rec, std::mt19937& random, const Rec* from = nullptr) {
  static const std::set<std::string> kLive = {"DisplayOn",        "FFTMode",
                                              "StopRequest",      "TransmitRunDataToTcpClient",
                                              "DisplayModulo",    "NoiseMeasurementOn",
                                              "RateMeasurementOn"};
  auto* bytes = reinterpret_cast<unsigned char*>(&rec);
  Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto, std::type_identity<T>) {
    using E = std::remove_all_extents_t<T>;
    if (std::is_same_v<E, char> || kLive.count(f.name) != 0) return;
    for (std::size_t i = 0; i < sizeof(T) / sizeof(E); ++i) {
      unsigned char* at = bytes + f.offset + i * sizeof(E);
      E v{};
      std::memcpy(
          &v, from == nullptr ? at : reinterpret_cast<const unsigned char*>(from) + (at - bytes),
          sizeof v);
      if (f.range.checked && from == nullptr)
        v = static_cast<E>(std::uniform_real_distribution<double>(f.range.lo, f.range.hi)(random));
      std::memcpy(at, &v, sizeof v);
    }
  });
}

// Writes the records under a running loop for `events` events, then puts them back as they
// were when the run was launched.
void scribble_during_run(State& st, const ParamRecords& launched, int events) {
  std::mt19937 random(7);
  ASSERT_TRUE(wait_for_flag([&] { return st.EventNumber.load() >= 20; }, 20.0));
  while (st.EventNumber.load() < events && st.AcquisitionRunning.load() == 1) {
    scribble(st.acq, random);
    scribble(st.sys, random);
    scribble(st.gui, random);
    scribble(st.board, random);
    for (auto& block : st.sam) scribble(block, random);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  scribble(st.acq, random, &launched.acq);
  scribble(st.sys, random, &launched.sys);
  scribble(st.gui, random, &launched.gui);
  scribble(st.board, random, &launched.board);
  for (int b = 0; b < kMaxSamBlocks; ++b) scribble(st.sam[b], random, &launched.sam[b]);
}

// A run takes its settings as they are when it is launched: whatever is written into the
// records meanwhile (here, under the loop, the writer and the measurement workers, which no
// path of the program does but a settings restart) changes nothing of what it reads, measures
// or saves. A saving run split into files with every analysis on, then its replay saving the
// measurements again. Under the thread sanitizer, any read of a record by a thread of a run is
// reported.
TEST(Run, TakesItsSettingsAsTheyWereAtItsStart) {
  constexpr int kEvents = 400, kPerFile = 100;
  RunFixture f(test::external_trigger(2000.0), 8);
  f.use_external_trigger();
  State& st = f.sim.st;
  test::save_runs(st, f.sim.dir.path() / "RunData", 0, kPerFile);
  st.acq.SaveMeasurementsInFile = 1;
  st.acq.MeasurementsEnabled = 1;
  st.acq.EnTimeJitter = 1;
  st.acq.EnSoftwareChargeHisto = 1;
  st.NoiseMeasurementOn().store(1);
  st.RateMeasurementOn().store(1);
  Set_RunType(st, st, 1, kEvents);
  const ParamRecords launched{st.acq, st.board, st.sys, st.gui, st.sam};
  ASSERT_EQ(f.start(), 1);
  scribble_during_run(st, launched, kEvents - 50);
  ASSERT_TRUE(f.wait_end());

  const std::filesystem::path dir = st.acq.RunDirectory;
  const SavedSeries s = read_series(dir / "veltrix_run1_Ascii.dat");
  std::vector<int> expected(static_cast<std::size_t>(st.EventNumber.load()));
  std::iota(expected.begin(), expected.end(), 1);
  EXPECT_GE(expected.size(), static_cast<std::size_t>(kEvents));
  EXPECT_EQ(s.numbers, expected) << "every event once, in files of " << kPerFile;
  for (std::size_t i = 0; i + 1 < s.per_file.size(); ++i) EXPECT_EQ(s.per_file[i], kPerFile);
  EXPECT_EQ(s.record_lines.size(), 1u) << "every record as the header says";
  f.sim.core.ui.loop.process_pending();
  EXPECT_EQ(Time_HistoRangeOf(st.gui), st.meas.TimeHistoRange) << "the run's, handed over";
  const auto live = test::number_lines(dir / "measurements_veltrix_run1_Ascii.dat");

  // The replay, paced so that the writes land in it, with the spectra on.
  Set_RunFromFile(st, 1);
  st.acq.SaveMeasurementsInFile = 1;
  st.FFTMode().store(1);
  st.acq.DisplayOn = 1;
  st.hooks.show_event = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  f.sim.core.ui.file_answers.push_back(dir / "veltrix_run1_Ascii.dat");
  Set_RunType(st, st, 1, kEvents);
  const ParamRecords replay_launched{st.acq, st.board, st.sys, st.gui, st.sam};
  ASSERT_EQ(f.start(), 1);
  scribble_during_run(st, replay_launched, kEvents - 50);
  ASSERT_TRUE(f.wait_end());
  EXPECT_EQ(st.NbOfEventsInRun.load(), kEvents);
  const auto replayed = test::number_lines(dir.parent_path() / "veltrix_run2" /
                                           "measurements_veltrix_run2_Ascii.dat");
  EXPECT_EQ(replayed.size(), live.size() * kEvents / expected.size()) << "every event measured";
  EXPECT_FALSE(f.sim.core.ui.has_message(MessageTab::Errors, ""));
}

}  // namespace
}  // namespace vx
