// Saving runs from the simulated board through the real writer thread, and replaying them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <cmath>
#include "acquisition/run_control.h"
#include "analysis/fft_noise.h"
#include "analysis/measurement_pass.h"
#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"
#include "files/data_file_reader.h"
#include "files/record_format.h"
#include "support/file_text.h"
#include "support/printf_reference_writer.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using Waveforms = std::map<int, std::vector<std::vector<float>>>;  // event -> enabled channels

struct RunFiles {
  explicit RunFiles(int blt = 10) : sim("DT5743", test::external_trigger(50000.0)) {
    sim.connect();
    st.acq.MaxNumEventsBLT = blt;
    sim.board->SetMaxNumEventsBLT(st.DeviceHandle.load(), blt);
    st.sys.TriggerSource = 3;
    Set_SystemTriggerMode(st);
    st.acq.PopupForFileName = 0;
    set_text(st.acq.DataDirectory, (sim.dir.path() / "RunData").c_str());
    st.gui.DisplayModulo = 1;
    st.hooks.compute_display = [this](const RunConfig&, const DecodedEvent&) { on_event(); };
  }
  // Live events get pulses whose size and place change per event, in fractional counts.
  void shape_live_event() {
    const int n = st.EventNumber.load();
    for (int b = 0; b < st.sys.NbOfSAMBlocks; ++b) {
      for (int c = 0; c < 2; ++c) {
        auto& v = st.event.FullyOrderedValues[b][c];
        const double centre = 150.0 + (n * 7 + b * 13 + c * 5) % 200 + 0.37;
        const double height = 200.0 + (n * 31 + b) % 300;
        for (int k = 0; k < kMaxSamples; ++k) {
          const double x = (k - centre) / 6.0;
          v[k] = static_cast<float>(820.0 + 1.7 * std::sin(0.9 * k + n) -
                                    height * std::exp(-0.5 * x * x));
        }
      }
    }
  }
  // Measures the event (the measurement pass) and keeps its samples.
  void on_event() {
    sim.core.clock.advance(seconds_per_event);
    if (!replaying(st)) shape_live_event();
    Compute_EventMeasurements(st, st.pool, Freeze_RunConfig(st), st.event);
    const int n = st.EventNumber.load();
    auto& kept = seen[n];
    kept.clear();
    // The channels of the run: a replay's are its file's.
    std::vector<int> channels = st.files.ReplayChannels;
    if (!replaying(st)) {
      channels.clear();
      for (int ch = 0; ch < 2 * st.sys.NbOfSAMBlocks; ++ch)
        if (st.gui.ChannelEnabled[ch] == 1) channels.push_back(ch);
    }
    std::sort(channels.begin(), channels.end());
    for (const int ch : channels)
      kept.emplace_back(st.event.FullyOrderedValues[ch / 2][ch % 2].begin(),
                        st.event.FullyOrderedValues[ch / 2][ch % 2].end());
    order.push_back(n);
    if (after_event) after_event();
    if (stop_at == n) st.StopRequest().store(1);
    if (fft_at == n) st.FFTMode().store(1);
  }
  int run(int events) {
    Set_RunType(st, st, events == 0 ? 3 : 1, events);
    Prepare_MeasurementsForRun(st, st, Freeze_RunConfig(st));
    const int generation = st.AcquisitionGeneration.load();
    const double t0 = st.clock.now();
    const int started = Start_AcquisitionFromUser(st);
    if (started == 1) {
      EXPECT_TRUE(test::wait_run_end(st, generation, 60.0));
    }
    run_seconds = st.clock.now() - t0;
    return started;
  }
  void save(int type, int per_file = 0) {
    test::save_runs(st, sim.dir.path() / "RunData", type, per_file);
  }
  fs::path run_dir() const { return std::string(st.acq.RunDirectory); }
  int count(const std::string& text) const {
    return sim.core.ui.message_count(MessageTab::Infos, text);
  }

  test::SimCore sim;
  State& st = sim.st;
  Waveforms seen;
  std::vector<int> order;
  int stop_at = -1;
  int fft_at = -1;                    // the display switches to spectra at this event
  std::function<void()> after_event;  // on the acquisition thread, before the hand-over
  double seconds_per_event = 0.0;     // on the core's (fake) clock
  double run_seconds = 0.0;           // the core's clock from the start to the end of the run
};

using test::number_lines;
using test::read_file;

void expect_same_samples(const Waveforms& live, const Waveforms& replay, float tolerance) {
  ASSERT_EQ(live.size(), replay.size());
  for (const auto& [event, channels] : live) {
    const auto& other = replay.at(event);
    ASSERT_EQ(channels.size(), other.size()) << "event " << event;
    for (std::size_t c = 0; c < channels.size(); ++c)
      for (std::size_t k = 0; k < 1024; ++k)
        ASSERT_NEAR(channels[c][k], other[c][k], tolerance)
            << "event " << event << " channel " << c << " sample " << k;
  }
}

// A saved run replays to its samples and the same measurement file; the display switched to
// spectra at event fft_at leaves the data file as it began.
void save_and_replay(int file_type, float sample_tolerance, double volts_tolerance,
                     double charge_tolerance, int fft_at = -1) {
  RunFiles f;
  f.fft_at = fft_at;
  for (int ch = 0; ch < kMaxChannels; ++ch)
    f.st.gui.ChannelEnabled[ch] = ch == 1 || ch == 4 || ch == 6;
  f.save(file_type);
  f.st.acq.MeasurementsEnabled = 1;
  f.st.acq.SaveMeasurementsInFile = 1;
  f.seconds_per_event = 0.01;
  ASSERT_EQ(f.run(40), 1);
  f.seconds_per_event = 0.0;
  const Waveforms live = f.seen;
  ASSERT_GE(live.size(), 40u);
  // The events took 10 ms each; the writer's last second is not time spent acquiring.
  EXPECT_GE(f.st.run.AcquisitionSeconds, 0.01 * static_cast<double>(live.size()) - 1e-9);
  EXPECT_LE(f.st.run.AcquisitionSeconds + 1.0, f.run_seconds + 1e-9);
  const std::string ext = file_type == 0 ? "_Ascii.dat" : "_Binary.bin";
  const fs::path data = f.run_dir() / ("veltrix_run1" + ext);
  const fs::path live_measurements = f.run_dir() / ("measurements_veltrix_run1" + ext);
  EXPECT_EQ(f.count("Data saved in file '" + data.string() + "' successfully.\n"), 1);
  EXPECT_NE(read_file(f.run_dir() / "logfile.txt").find("Data will be saved into directory"),
            std::string::npos);

  f.seen.clear();
  f.st.FFTMode().store(0);
  Set_RunFromFile(f.st, 1);
  f.st.acq.SaveMeasurementsInFile = 1;
  f.sim.core.ui.file_answers.push_back(data);
  ASSERT_EQ(f.run(0), 1);
  EXPECT_TRUE(f.count("Run started from file: '" + data.string() + "'.\n"));
  expect_same_samples(live, f.seen, sample_tolerance);
  f.sim.core.ui.loop.process_pending();  // the file's channels reach the records
  for (int ch = 0; ch < kMaxChannels; ++ch)
    EXPECT_EQ(f.st.gui.ChannelEnabled[ch], ch == 1 || ch == 4 || ch == 6) << ch;

  const auto first = number_lines(live_measurements);
  const auto second = number_lines(f.run_dir() / ("measurements_veltrix_run2" + ext));
  ASSERT_EQ(first.size(), second.size());
  ASSERT_EQ(first.size(), 3 * live.size());
  bool some_pulse = false;
  for (std::size_t i = 0; i < first.size(); ++i) {
    ASSERT_EQ(first[i].size(), 6u);
    ASSERT_EQ(second[i].size(), 6u);
    EXPECT_EQ(first[i][0], second[i][0]);
    for (int v = 1; v <= 2; ++v)
      EXPECT_NEAR(first[i][v], second[i][v], volts_tolerance) << "line " << i;
    EXPECT_NEAR(first[i][3], second[i][3], charge_tolerance) << "charge, line " << i;
    for (int v = 4; v <= 5; ++v)
      EXPECT_NEAR(first[i][v], second[i][v], 0.02) << "edge time, line " << i;
    some_pulse = some_pulse || std::abs(first[i][2]) > 0.05;
  }
  EXPECT_TRUE(some_pulse) << "the measurement file should hold real pulses";
  // The event lines (number, wall-clock time, time stamps) come back identical.
  const auto event_lines = [](const fs::path& p) {
    std::vector<std::string> out;
    for (const std::string& line : test::file_lines(p))
      if (line.rfind("=== Event ", 0) == 0) out.push_back(line);
    return out;
  };
  EXPECT_EQ(event_lines(live_measurements),
            event_lines(f.run_dir() / ("measurements_veltrix_run2" + ext)));
}

TEST(RunFiles, BinaryRunReplaysToATenthOfACountWithTheSameMeasurements) {
  // Samples truncated to tenths of a count: at most 0.1 count on each sample of the charge
  // window (0.1 x 1005 x 0.61 mV x 312.5 ps / 50 ohm = 0.38 pC).
  save_and_replay(1, 0.1f, 1e-4, 0.4);
}

TEST(RunFiles, AsciiRunReplaysToThePrintedPrecisionWithTheSameMeasurements) {
  // Volts printed to 1 uV: half of it on each sample, and the printed result's own rounding.
  save_and_replay(0, 0.001f, 2e-6, 0.006, 10);
}

TEST(RunFiles, SplitRunReplaysAcrossItsFilesAndAPausedReplayResumes) {
  RunFiles f;
  for (int ch = 0; ch < kMaxChannels; ++ch) f.st.gui.ChannelEnabled[ch] = ch < 3;
  f.save(1, 500);
  ASSERT_EQ(f.run(1200), 1);
  const int saved = f.st.EventNumber.load();
  ASSERT_GE(saved, 1200);
  const fs::path first = f.run_dir() / "veltrix_run1_Binary.bin";

  // Replay, paused in the middle of the second file, then resumed to the end.
  f.order.clear();
  Set_RunFromFile(f.st, 1);
  f.sim.core.ui.file_answers.push_back(first);
  f.stop_at = 700;
  ASSERT_EQ(f.run(0), 1);
  EXPECT_TRUE(f.st.run.ReplayFileOpen) << "a paused replay keeps its file";
  ASSERT_EQ(f.order.back(), 700);
  f.stop_at = -1;
  ASSERT_EQ(f.run(0), 1);
  std::vector<int> expected(static_cast<std::size_t>(saved));
  for (int i = 0; i < saved; ++i) expected[static_cast<std::size_t>(i)] = i + 1;
  EXPECT_EQ(f.order, expected) << "every event once, in order";
  EXPECT_EQ(f.count("Reached End of File '"), 3);
  EXPECT_EQ(f.count("INFO: Opened file for loading data '" + first.string() + "_0002'\n"), 1);
  EXPECT_FALSE(f.st.run.ReplayFileOpen);
  EXPECT_EQ(f.count("Run is over.\n"), 3);
}

// The writer formats each event from its own copy: every file holds its events exactly as
// handed over (ASCII as the printf formats write it), in order, none lost while the writer is
// held up until the saving queue fills, and the log says the loop waited.
TEST(RunFiles, EveryFileHoldsItsEventsAsTheyWereHandedOverWhateverTheWriterLags) {
  static constexpr int kPerFile = 100;  // above the queue's depth: it fills within a file
  static_assert(kPerFile > static_cast<int>(kSaveRingSlots) + 10);
  for (const std::string format : {"ascii", "binary", "spectra"}) {
    SCOPED_TRACE(format);
    RunFiles f;
    for (int ch = 0; ch < kMaxChannels; ++ch) f.st.gui.ChannelEnabled[ch] = ch == 0 || ch >= 5;
    f.save(format == "binary" ? 1 : 0, kPerFile);
    f.st.acq.MeasurementsEnabled = 1;
    f.st.acq.SaveMeasurementsInFile = 1;
    if (format == "spectra") f.st.FFTMode().store(1);
    std::map<int, std::pair<std::string, std::string>> expected;  // data, measurement records
    std::thread holder;
    std::atomic<bool> held{false};
    std::atomic<int> stuck{0};  // the event at which the loop never got where it was awaited
    f.after_event = [&] {
      const int n = f.st.EventNumber.load();
      const RunConfig cfg = Freeze_RunConfig(f.st);
      ByteBuffer data, measurements;
      std::string ascii;
      if (format == "ascii") test::printf_ascii_event(f.st, ascii);
      if (format == "binary") append_binary_event(f.st, f.st, cfg, f.st.event, data);
      if (format == "spectra") {
        // As a reader of the event's spectrum (the remote client) has it.
        Compute_SpectrumOfEvent(f.st, cfg, f.st.event);
        append_fft_event(f.st, f.st, cfg, f.st.event, data);
      }
      append_measurement_event(f.st, f.st, cfg, f.st.event, measurements, f.st.sys.NbOfSAMBlocks);
      expected[n] = {ascii + std::string(data.data.data(), data.size),
                     std::string(measurements.data.data(), measurements.size)};
      // Held at event 5 until the queue is full, and at event 95 until the loop is in the next
      // file, so that it switches files with a full queue.
      if (n != 5 && n != kPerFile - 5) return;
      if (holder.joinable()) holder.join();
      held = false;
      holder = std::thread([&f, &held, &stuck, n] {
        std::lock_guard hold(f.st.files.io_mutex);
        held = true;
        SaveRing& queue = f.st.SavingQueue;
        // Bounded: a loop that never gets there (a wrong split rule) fails the test.
        const bool there = wait_for_flag(
            [&] {
              return n == 5 ? queue.in_flight() >= queue.capacity()
                            : f.st.EventNumber.load() > kPerFile;
            },
            10.0);
        if (!there) stuck = n;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      });
      if (!wait_for_flag([&] { return held.load(); }, 10.0)) stuck = n;
    };
    ASSERT_EQ(f.run(150), 1);
    holder.join();
    ASSERT_EQ(stuck.load(), 0) << "the writer held at this event waited in vain";
    const int last = f.st.EventNumber.load();
    ASSERT_EQ(static_cast<int>(expected.size()), last);

    const std::string ext = f.st.acq.DataFileType == 1 ? "_Binary.bin" : "_Ascii.dat";
    const fs::path first = f.run_dir() / ("veltrix_run1" + ext);
    const RunConfig cfg = Freeze_RunConfig(f.st);
    const std::string data_header = common_header(cfg) + data_header_line(cfg, format == "spectra");
    const std::string measurement_header = common_header(cfg) + measurement_header_line();
    std::string measurements;
    for (int file = 0; file * kPerFile < last; ++file) {
      std::string data = data_header;
      measurements += measurement_header;
      for (int n = file * kPerFile + 1; n <= std::min(last, (file + 1) * kPerFile); ++n) {
        data += expected[n].first;
        measurements += expected[n].second;
      }
      const fs::path path =
          file == 0 ? first : fs::path(first.string() + "_000" + std::to_string(file));
      EXPECT_TRUE(read_file(path) == data) << path;
    }
    EXPECT_TRUE(read_file(f.run_dir() / ("measurements_veltrix_run1" + ext)) == measurements);
    EXPECT_EQ(f.count("The data-file writer did not keep up: the acquisition waited "), 1);
  }
}

// A measurement file's channel lines without what follows the real clock: the simulated
// board's time stamps (whole multiples of 5 ns in the edge times) are taken out.
std::vector<std::string> measured_values(const std::string& file) {
  std::vector<std::string> lines;
  std::istringstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("===", 0) == 0) continue;
    std::istringstream fields(line);
    std::string text, value;
    for (int column = 0; fields >> value; ++column)
      text +=
          (column < 4 ? value : std::to_string(std::llround(std::stod(value) * 1000) % 5000)) + " ";
    lines.push_back(text);
  }
  return lines;
}

// Measured by the writer's formatter (the file their only consumer) or by the loop (times
// shown on the waveforms): the same file, but for the board's time stamps, and the same sums.
TEST(RunFiles, TheMeasurementFileIsTheSameWhoeverMeasures) {
  struct Outcome {
    std::string file;
    PerChannel<double> amplitude, charge;
    bool by_formatter = false;
  };
  const auto run = [](bool loop_measures) {
    RunFiles f(1);  // one event per readout: both runs end at the same event
    for (int ch = 0; ch < kMaxChannels; ++ch) f.st.gui.ChannelEnabled[ch] = ch == 0 || ch >= 5;
    f.st.acq.SaveMeasurementsInFile = 1;
    f.st.gui.DisplayTimeOnWaveforms = loop_measures ? 1 : 0;
    Outcome out;
    // The simulated board's own events, the same in both runs.
    f.st.hooks.compute_display = [&](const RunConfig&, const DecodedEvent&) {
      out.by_formatter = out.by_formatter || f.st.run.MeasuredByFormatter;
    };
    EXPECT_EQ(f.run(150), 1);
    out.file = read_file(f.run_dir() / "measurements_veltrix_run1_Ascii.dat");
    out.amplitude = f.st.meas.AmplitudeSum;
    out.charge = f.st.meas.ChargeSum;
    return out;
  };
  const Outcome formatter = run(false);
  const Outcome loop = run(true);
  EXPECT_TRUE(formatter.by_formatter);
  EXPECT_FALSE(loop.by_formatter);
  const auto values = measured_values(formatter.file);
  EXPECT_EQ(values.size(), 150u * 4);
  EXPECT_TRUE(values == measured_values(loop.file));
  EXPECT_EQ(formatter.amplitude, loop.amplitude);
  EXPECT_EQ(formatter.charge, loop.charge);
}

}  // namespace
}  // namespace vx
