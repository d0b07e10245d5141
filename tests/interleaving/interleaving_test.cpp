// Random but reproducible interleavings of what the user, the remote client and the workers do
// to one core on the simulated board: remote commands through the server, settings changes the
// way the desktop's pages make them (a restart whose stop keeps the event loop turning), modal
// dialogs that turn a nested event loop with the tick in it, calibrations, the rate scan,
// reconnections, saving runs with splits and replays. After each sequence the invariants hold:
// every saved run replays whole, every command is answered, no EEPROM table changes without a
// save of a table measured here, and the records are what was set.
//
// VELTRIX_INTERLEAVING_SEED=N replays sequence N alone; VELTRIX_INTERLEAVING_SEQUENCES and
// VELTRIX_INTERLEAVING_FIRST_SEED choose how many sequences and from which seed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>

#include "acquisition/acquisition_controls.h"
#include "app/record_loan.h"
#include "app/run_from_file.h"
#include "app/timer_tick.h"
#include "calibration/pedestal_calibration.h"
#include "calibration/rate_scan.h"
#include "calibration/sam_dac_calibration.h"
#include "calibration/stored_calibrations.h"
#include "eeprom/calibration_tables.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "files/file_menu.h"
#include "files/saving_run_lock.h"
#include "files/setup_file.h"
#include "remote/tcp_interface.h"
#include "support/file_text.h"
#include "support/packed_value.h"
#include "support/saved_runs.h"
#include "support/sim_core.h"
#include "support/tcp_client.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultSequences = 30;
constexpr double kSettleSeconds = 180.0;     // bound on every wait for the core to come to rest
constexpr bool kSamDacCalibrations = false;  // minutes each under a sanitizer
#else
constexpr int kDefaultSequences = 300;
constexpr double kSettleSeconds = 30.0;
constexpr bool kSamDacCalibrations = true;
#endif
constexpr int kStepsPerSequence = 14;

int env_int(const char* name, int otherwise) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::atoi(v) : otherwise;
}

std::size_t count_of(const std::string& text, const std::string& needle) {
  std::size_t n = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

// What a saving run left, taken when its end is told.
struct SavedRun {
  fs::path first;
  std::int64_t events;
  int per_file;  // 0: not split
};

// The user-interface thread inside a loop of its own while this lives.
struct Nesting {
  explicit Nesting(test::ScriptedFrontEnd& ui) : ui(ui) { ++ui.nested_depth; }
  ~Nesting() { --ui.nested_depth; }
  test::ScriptedFrontEnd& ui;
};

// One core, one server and its client, and the bookkeeping the invariants need.
class World {
 public:
  World(std::uint32_t seed, std::vector<std::string>& log)
      : rng_(seed), log_(log), sim_(pick({"DT5743", "V1743"}), config()) {
    ui_thread_ = std::this_thread::get_id();
    sim_.connect();
    st.remote.ListenAddress = "127.0.0.1";
    st.tcp.ServerPort = 0;
    Register_TCPIP_Server(st);
    Set_TCPCommandsEnabled(st, st, true);
    st.hooks.on_run_finished = [this, told = std::move(st.hooks.on_run_finished)] {
      ++run_ends_;
      if (st.acq.SaveDataInFile == 1 && !replaying(st) && !st.files.FileForSavingData.empty()) {
        runs_.push_back({st.files.FileForSavingData, Saved_EventCount(st, st), split_of_run()});
        note("  (run end: " + runs_.back().first.filename().string() + ", " +
             std::to_string(runs_.back().events) + " events)");
      }
      told();
    };
    st.hooks.load_setup_from_file =
        [this, load = std::move(st.hooks.load_setup_from_file)](const std::string& file) {
          return checked_load(file, load);
        };
    sim_.core.ui.nested_loop = [this](const std::function<bool()>& done) { nested(done); };
    client_ = std::make_unique<test::TcpClient>(st.tcp.ServerPort);
    EXPECT_TRUE(pump_until([&] { return st.tcp.ClientConnected == 1; }, 10.0)) << "no client";
    test::save_runs(st, sim_.dir.path() / "runs", 1, 0);
    eeprom_before_ = eeprom();
  }
  ~World() {
    // As the desktop's menus do when the window goes: a worker still running is ended first.
    st.calib.CalibrationCancel = true;
    Break_RateVsThresholdScan(st);
    st.StopRequest().store(1);
    wait_for_flag([&] { return st.AcquisitionRunning.load() == 0 && !Records_Lent(st); },
                  kSettleSeconds);
    sim_.core.pool.wait_idle();
    sim_.core.ui.nested_loop = nullptr;
    sim_.core.ui.loop.process_pending();
    UnRegister_TCPIP_Server(st, st);
  }

  void step() {
    const int kind = std::uniform_int_distribution<int>(0, 16)(rng_);
    // While a worker holds the records the desktop dims what would read or change them, and
    // the records are not this thread's to read: only the client acts then.
    if (kind >= 5 && Records_Lent(st)) return idle();
    switch (kind) {
      case 0:
      case 1:
        return remote_start();
      case 2:
        return remote("STOP\r\n");
      case 3:
        return remote_load(pick({0, 0, 1, 2}));
      case 4:
        return remote_burst();
      case 5:
      case 6:
        return user_start();
      case 7:
        return user_stop();
      case 8:
      case 9:
      case 10:
        return setting();
      case 11:
        return file_menu();
      case 12:
        return user_load_setup();
      case 13:
        return kSamDacCalibrations && pick({0, 1, 2}) == 0 ? sam_dac_calibration()
                                                           : pedestal_calibration();
      case 14:
        return pick({0, 1}) == 0 ? save_tables() : rate_scan();
      case 15:
        return pick({0, 1, 2}) == 0 ? reconnect() : replay_toggle();
      default:
        return idle();
    }
  }

  // The invariants, once every request is served and every worker is back.
  void check() {
    note("settle");
    remote("STOP\r\n");
    const bool rested = pump_until(
        [&] {
          return st.remote.requests.empty() && !Run_OnOrEnding(st) && !Records_Lent(st) &&
                 st.RateScanRunning.load() == 0 && st.Connecting.load() == 0;
        },
        kSettleSeconds);
    ASSERT_TRUE(rested) << "a request hangs: " << st.remote.requests.size() << " queued, run on "
                        << st.AcquisitionRunning.load() << ", stop under way "
                        << st.remote.stop_under_way << ", stop request " << st.StopRequest().load()
                        << ", end wanted " << st.RunEndWanted.load() << ", restart pending "
                        << st.RestartPending.load() << ", run from file "
                        << VX_VALUE(st.acq.RunFromFile) << ", lent " << Records_Lent(st)
                        << ", scan " << st.RateScanRunning.load() << ", connecting "
                        << st.Connecting.load();
    pump_until([&] { return count_of(received(), "RUN_STOPPED") >= run_ends_; }, 5.0);
    const std::string got = received();
    EXPECT_EQ(count_of(got, "RUN_STOPPED"), run_ends_) << "every run end is told once: " << got;
    const std::size_t remote_runs = run_ends_ - user_runs_;
    EXPECT_EQ(count_of(got, kRunStartRefused) + remote_runs, starts_sent_)
        << "every start is carried out or refused: " << got;
    EXPECT_EQ(count_of(got, kLoadSetupRefused) + loads_done_, loads_sent_)
        << "every load is carried out or refused: " << got;
    EXPECT_GE(count_of(got, kLoadSetupRefused), loads_unloadable_) << got;
    for (const SavedRun& run : runs_) check_replay(run);
    if (!saved_tables_) {
      EXPECT_TRUE(eeprom() == eeprom_before_) << "an EEPROM table changed unasked";
    }
  }

 private:
  template <typename T>
  T pick(std::initializer_list<T> values) {
    return values.begin()[std::uniform_int_distribution<std::size_t>(0, values.size() - 1)(rng_)];
  }
  int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  void note(const std::string& what) { log_.push_back(what); }

  sim::SimConfig config() {
    sim::SimConfig c;
    c.trigger_rate_hz = pick({300.0, 2000.0});
    return c;
  }

  // The desktop's event loop turning: posted tasks, the tick, what the client sent.
  void turn(bool tick) {
    split_of_run();
    sim_.core.ui.loop.process_pending();
    if (tick) TimerCB(st);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  bool pump_until(const std::function<bool()>& done, double seconds, bool tick = true) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (Clock::now() > end) return false;
      turn(tick);
    }
    return true;
  }
  // A dialog open for a few turns of its own loop, the tick included; a wait turns it until
  // done, without the tick (the desktop holds it while waiting for a run to end).
  void nested(const std::function<bool()>& done) {
    if (std::this_thread::get_id() != ui_thread_) {
      if (done) wait_for_flag(done, kSettleSeconds);
      return;
    }
    const Nesting nesting(sim_.core.ui);
    if (!done) {
      for (int k = uniform(0, 6); k > 0; --k) turn(true);
      return;
    }
    EXPECT_TRUE(pump_until(done, kSettleSeconds, false))
        << "a wait of the user-interface thread never ended";
  }
  // A settings page's committed change: the run stops while the event loop keeps turning,
  // the change is made, and the run goes on.
  void desktop_change(const std::function<void()>& change) {
    if (Records_Lent(st)) return;  // the pages are dimmed while a worker holds the records
    const bool was_running = RestartGuard::begin(st);
    const Nesting nesting(sim_.core.ui);
    st.StopRequest().store(1);
    pump_until([&] { return st.AcquisitionRunning.load() == 0; }, kSettleSeconds);
    RestartGuard restart(st, was_running);
    change();
  }

  // The split of the run whose first file is open, as it was when the run began: the File
  // Menu may change it again once the run has ended, before its end is told.
  int split_of_run() {
    const fs::path& first = st.files.FileForSavingData;
    if (Run_OnOrEnding(st) && !first.empty() && !split_.contains(first))
      split_[first] = st.acq.SplitFileToSaveData == 1 ? int{st.acq.NbOfEventsPerFile} : 0;
    return split_[first];
  }

  std::string received() {
    client_->poll();
    return client_->received;
  }
  // Sent in one write, and read by the server in one read before anything else is sent (a
  // burst holds several commands); what the server then does with them is left to the steps
  // that follow.
  void remote(const std::string& bytes) {
    const std::size_t shown = st.remote.ReceivedMessages.size() + st.remote.ReceivedMessagesDropped;
    client_->send(bytes);
    EXPECT_TRUE(pump_until(
        [&] {
          return st.remote.ReceivedMessages.size() + st.remote.ReceivedMessagesDropped >=
                 shown + std::min<std::size_t>(bytes.size(), kTcpReadBytes - 1);
        },
        kSettleSeconds))
        << "the server never read " << bytes.substr(0, 40);
  }
  std::string start_command() {
    ++starts_sent_;
    char text[32];
    // A run number of its own: a run directory is replaced only when the user says so.
    std::snprintf(text, sizeof text, "RUN_START%08zu", starts_sent_);
    return text;
  }
  void remote_start() {
    note("remote start");
    remote(start_command() + "\r\n");
  }
  // kind 0: a setup this unit saved, 1: a missing file, 2: a name longer than the record.
  std::string load_command(int kind) {
    ++loads_sent_;
    std::string name;
    if (kind == 0) {
      name = setup_file().string();
    } else {
      ++loads_unloadable_;
      name = kind == 1 ? (sim_.dir.path() / "missing.dat").string()
                       : std::string(sizeof st.tcp.RemoteSetupFileName + 8, 'n');
    }
    return "LOAD_SETUP_FROM_FILE:" + name;
  }
  void remote_load(int kind) {
    note("remote load " + std::to_string(kind));
    remote(load_command(kind) + "\r\n");
  }
  void remote_burst() {
    note("remote burst");
    remote(pick({0, 1}) == 0 ? "STOP\r\n" + load_command(0) + "\r\n" + start_command() + "\r\n"
                             : start_command() + "\r\nSTOP\r\n" + start_command() + "\r\n");
  }

  // A setup file of the live records with a record length, a threshold and a run number of its
  // own, the run number marking it.
  fs::path setup_file() {
    test::TestCore scratch;
    State& s = scratch.state;
    const RecordsView live = Shown_Records(st);
    s.acq = live.acq;
    s.board = live.board;
    s.sys = live.sys;
    s.gui = live.gui;
    s.sam = live.sam;
    s.tcp = st.tcp;
    s.sys.RecordLength = 16 * pick({16, 32, 64});
    s.gui.ThresholdVolts[0] = -0.01f * static_cast<float>(uniform(1, 50));
    s.acq.RunIdUser = 1000 + ++setups_;
    const fs::path path = sim_.dir.path() / ("setup" + std::to_string(setups_) + ".dat");
    EXPECT_EQ(Write_SetupFile(s, s, path), 1);
    markers_[VX_VALUE(s.acq.RunIdUser)] = {VX_VALUE(s.sys.RecordLength),
                                           VX_VALUE(s.gui.ThresholdVolts[0])};
    return path;
  }
  // A setup load is whole or not at all: the file's values, or the previous ones.
  std::optional<std::string> checked_load(
      const std::string& file,
      const std::function<std::optional<std::string>(const std::string&)>& load) {
    const auto fields = [&] {
      return std::tuple(VX_VALUE(st.acq.RunIdUser), VX_VALUE(st.sys.RecordLength),
                        VX_VALUE(st.gui.ThresholdVolts[0]));
    };
    const auto before = fields();
    auto refusal = load(file);
    const auto it = markers_.find(VX_VALUE(st.acq.RunIdUser));
    if (VX_VALUE(st.acq.RunIdUser) != std::get<0>(before) && it != markers_.end()) {
      ++loads_done_;
      EXPECT_EQ(VX_VALUE(st.sys.RecordLength), it->second.first) << "half a setup loaded";
      EXPECT_EQ(VX_VALUE(st.gui.ThresholdVolts[0]), it->second.second) << "half a setup loaded";
    } else {
      EXPECT_EQ(fields(), before) << "a refused setup load changed the records";
    }
    return refusal;
  }
  void user_load_setup() {
    note("user load setup");
    // The desktop's menu waits while a worker holds the records (they are not this
    // thread's to read meanwhile).
    if (Records_Lent(st)) return;
    sim_.core.ui.file_answers = {setup_file()};
    // The desktop's Load Setup: the loaded values count, as the client's do. The run stops
    // for it as for a settings change.
    const auto marker = st.acq.RunIdUser;
    int loaded = 0;
    desktop_change([&] { loaded = Load_SetupFromFile(st, "", 1); });
    if (loaded == 1) {
      EXPECT_NE(VX_VALUE(st.acq.RunIdUser), marker)
          << "a load said done left the records as they were";
      const auto it = markers_.find(VX_VALUE(st.acq.RunIdUser));
      ASSERT_NE(it, markers_.end());
      EXPECT_EQ(VX_VALUE(st.sys.RecordLength), it->second.first) << "half a setup loaded";
    }
  }

  void user_start() {
    if (Records_Lent(st) || Run_OnOrEnding(st)) return idle();
    const bool save = pick({true, true, false});
    const int per_file = pick({0, 3, 7});
    const int events = pick({0, 20, 60});
    note("user start save " + std::to_string(save) + " split " + std::to_string(per_file) +
         " events " + std::to_string(events) + (replaying(st) ? " (replay)" : ""));
    if (!Run_SavesOrTransmits(st) && !replaying(st)) {
      st.acq.SaveDataInFile = save ? 1 : 0;
      Set_FileSplitting(st, per_file > 0, std::max(per_file, 1));
      Set_DataFileType(st, pick({0, 1}));
    }
    Set_RunType(st, st, events == 0 ? kRunContinuous : kRunFiniteEvents, events);
    sim_.core.ui.file_answers = {runs_.empty() ? std::nullopt
                                               : std::optional<fs::path>(runs_.back().first)};
    // The directory is new for every run: no question of replacing one.
    Set_BaseFileName(st, "run" + std::to_string(++user_starts_));
    if (Start_AcquisitionFromUser(st) == kDone) ++user_runs_;
  }
  void user_stop() {
    note("user stop");
    Stop_AcquisitionFromUser(st);
  }
  void idle() {
    note("idle");
    const auto end = Clock::now() + std::chrono::milliseconds(uniform(1, 40));
    pump_until([&] { return Clock::now() > end; }, 1.0);
  }

  // A settings page's change: a setting a saving run must keep is refused during one, and the
  // records show either the change or, refused, what was there.
  template <typename Get, typename V>
  void page_change(const std::string& name, bool locked, Get get, V wanted,
                   const std::function<void()>& change) {
    note("page " + name);
    desktop_change([&] {
      if (Records_Lent(st) || replaying(st)) return;  // the page is dimmed then
      const auto before = get();
      const bool refuse = locked && Run_SavesOrTransmits(st);
      change();
      if (refuse) {
        EXPECT_EQ(get(), before) << name << " changed during a saving run";
      } else {
        EXPECT_EQ(get(), static_cast<decltype(before)>(wanted)) << name << " not set";
      }
    });
  }
  void setting() {
    const int ch = uniform(0, board_channels(st) - 1);
    switch (uniform(0, 5)) {
      case 0: {
        const int columns = pick({8, 32, 64});
        return page_change(
            "record length", true, [&] { return st.sys.RecordLength; }, 16 * columns,
            [&] { Set_RecordColumns(st, columns); });
      }
      case 1: {
        const int mhz = pick({400, 800, 1600, 3200});
        const int index = mhz == 3200 ? 0 : mhz == 1600 ? 1 : mhz == 800 ? 2 : 3;
        return page_change(
            "sampling frequency", true, [&] { return st.sam[0].FrequencyIndex; }, index,
            [&] { Set_SamplingFrequency(st, mhz); });
      }
      case 2: {
        const float volts = -0.02f * static_cast<float>(uniform(1, 20));
        return page_change(
            "threshold", false, [&] { return st.gui.ThresholdVolts[ch]; }, volts,
            [&] { Set_Threshold(st, ch, volts); });
      }
      case 3: {
        const bool on = ch == 0 || pick({true, false});
        return page_change(
            "channel enable", true, [&] { return st.gui.ChannelEnabled[ch]; }, on ? 1 : 0,
            [&] { Set_ChannelEnabled(st, ch, on); });
      }
      case 4: {
        const float volts = 0.1f * static_cast<float>(uniform(-5, 5));
        note("page offset");
        return desktop_change([&] { Set_Offset(st, ch, volts); });
      }
      default: {
        const bool on = pick({true, false});
        return page_change(
            "trigger enable", false, [&] { return st.sam[ch / 2].TriggerEnable[ch % 2]; },
            on ? 1 : 0, [&] { Set_TriggerEnable(st, ch, on); });
      }
    }
  }
  // The File Menu panel's fields, set directly (no restart) and refused during a saving run.
  void file_menu() {
    note("file menu");
    if (Records_Lent(st)) return;
    const bool refuse = Run_SavesOrTransmits(st);
    const AcqParams before = st.acq;
    const bool parts = pick({true, false});
    const int per_file = uniform(2, 9);
    Set_RunNameParts(st, parts, false, parts, false);
    Set_FileSplitting(st, true, per_file);
    Set_RunIdUser(st, uniform(1, 9));
    // A run may end by itself meanwhile (its loop is another thread): only one that was on
    // before and after must have kept its settings.
    if (refuse && Run_SavesOrTransmits(st)) {
      EXPECT_EQ(VX_VALUE(st.acq.AddSystemDate), VX_VALUE(before.AddSystemDate))
          << "run name changed during a saving run";
      EXPECT_EQ(VX_VALUE(st.acq.NbOfEventsPerFile), VX_VALUE(before.NbOfEventsPerFile))
          << "split changed during a run";
      EXPECT_EQ(VX_VALUE(st.acq.SplitFileToSaveData), VX_VALUE(before.SplitFileToSaveData));
    } else if (!refuse) {
      EXPECT_EQ(VX_VALUE(st.acq.NbOfEventsPerFile), per_file);
      EXPECT_EQ(VX_VALUE(st.acq.SplitFileToSaveData), 1);
    }
  }

  // A worker holding the records, as the desktop's menus start it; the test waits for its end
  // only when the step says so, leaving it to meet whatever comes next otherwise.
  void lend(const std::string& name, std::function<bool()> work, std::atomic<bool>* measured) {
    note(name);
    if (Records_Lent(st)) return;
    // Told by the worker itself: the records are back before the menu hears of it.
    Lend_Records(st, [measured, work = std::move(work)] {
      if (work()) *measured = true;
    });
    if (pick({true, false})) pump_until([&] { return !Records_Lent(st); }, kSettleSeconds);
  }
  void pedestal_calibration() {
    sim_.core.ui.prompt_answers = {"8"};
    const auto events = Ask_PedestalEventCount(st);
    if (!events) return;
    lend(
        "pedestal calibration", [this, n = *events] { return Run_PedestalCalibration(st, n); },
        &pedestals_measured_);
  }
  void sam_dac_calibration() {
    lend(
        "SAM DAC calibration", [this] { return Calibrate_SAMDACsOffset(st); }, &dacs_measured_);
  }
  void save_tables() {
    note("save tables");
    if (Records_Lent(st) || Run_OnOrEnding(st)) return;
    const auto before = eeprom();
    const bool pedestals = pick({true, false});
    if (pedestals) {
      Run_SavePedestalsToFlash(st, st, st);
    } else {
      Save_SAMDACsOffsets_To_EEPROM(st, st, st.log);
    }
    if (pedestals ? pedestals_measured_ : dacs_measured_) {
      saved_tables_ = true;
    } else {
      EXPECT_TRUE(eeprom() == before) << "a table not measured on this unit was written";
    }
  }
  void rate_scan() {
    note("rate scan");
    if (Records_Lent(st)) return;
    Set_RateScanRange(st, st, -0.05f, -0.01f);
    Set_RateScanNbOfSteps(st, 2);
    Set_RateScanStepValue(st, 0.01f);
    Run_RateVsThresholdScan(st);
  }
  void reconnect() {
    note("reconnect");
    if (Records_Lent(st)) return;
    pedestals_measured_ = false;
    dacs_measured_ = false;
    Connect_Board(st, sim_.board->blocks() == 4 ? 0 : 1);
    EXPECT_TRUE(
        pump_until([&] { return st.Connecting.load() == 0 && !Records_Lent(st); }, kSettleSeconds));
    // A connection loads the default settings: remote control and saving are set again, as
    // the user does after one.
    Set_TCPCommandsEnabled(st, st, true);
    test::save_runs(st, sim_.dir.path() / "runs", 1, 0);
  }
  void replay_toggle() {
    if (Records_Lent(st) || Run_OnOrEnding(st)) return;
    note(replaying(st) ? "replay off" : "replay on");
    Set_RunFromFile(st, replaying(st) ? 0 : 1);
  }

  // Every run saved replays whole through the run's own reader: as many events as it saved,
  // numbers increasing, event times not going back, every split file with its count.
  void check_replay(const SavedRun& run) {
    test::TestCore reader;
    State& r = reader.state;
    r.acq.NbOfSamplesInFile = 1024;
    ASSERT_EQ(Open_DataFileForLoading(r, run.first), 1) << run.first;
    r.StopRequest().store(0);
    std::int64_t events = 0;
    int last_number = -1;
    double last_time = -1e300;
    fs::path file = r.files.ReadingFilePath;
    std::vector<int> per_file{0};
    while (Read_EventsFromFile(r) == 1 || Load_EventFromNextFile(r) == 1) {
      ++events;
      EXPECT_GT(r.EventNumber.load(), last_number) << run.first << " event " << events;
      EXPECT_GE(r.run.EpochTime, last_time) << run.first << " event " << r.EventNumber.load();
      last_number = r.EventNumber.load();
      last_time = r.run.EpochTime;
      if (r.files.ReadingFilePath != file) per_file.push_back(0);
      file = r.files.ReadingFilePath;
      ++per_file.back();
    }
    Close_FileForLoadingData(r, r);
    EXPECT_EQ(events, run.events) << run.first << " does not replay whole";
    EXPECT_TRUE(reader.ui.tab_texts(MessageTab::Errors).empty())
        << run.first << ": " << reader.ui.tab_texts(MessageTab::Errors).front();
    for (std::size_t k = 0; run.per_file > 0 && k + 1 < per_file.size(); ++k)
      EXPECT_EQ(per_file[k], run.per_file) << run.first << " file " << k;
  }

  std::vector<std::string> eeprom() {
    std::vector<std::string> images;
    for (int d = 0; d < kMaxSamBlocks; ++d)
      if (fs::exists(sim_.board->eeprom_file(d)))
        images.push_back(test::read_file(sim_.board->eeprom_file(d)));
    return images;
  }

  std::mt19937 rng_;
  std::vector<std::string>& log_;
  test::SimCore sim_;
  State& st = sim_.st;
  std::thread::id ui_thread_;
  std::unique_ptr<test::TcpClient> client_;
  std::vector<SavedRun> runs_;
  std::map<fs::path, int> split_;
  std::map<std::int32_t, std::pair<std::int32_t, float>> markers_;
  std::vector<std::string> eeprom_before_;
  std::size_t run_ends_ = 0, user_runs_ = 0, starts_sent_ = 0, loads_sent_ = 0, loads_done_ = 0,
              loads_unloadable_ = 0;
  int setups_ = 0, user_starts_ = 0;
  std::atomic<bool> pedestals_measured_ = false, dacs_measured_ = false;
  bool saved_tables_ = false;
};

TEST(Interleaving, SeededSequencesKeepEveryInvariant) {
  const int only = env_int("VELTRIX_INTERLEAVING_SEED", -1);
  const int first = only >= 0 ? only : env_int("VELTRIX_INTERLEAVING_FIRST_SEED", 1);
  const int count = only >= 0 ? 1 : env_int("VELTRIX_INTERLEAVING_SEQUENCES", kDefaultSequences);
  std::cout << "interleaving: " << count << " sequences from seed " << first << std::endl;
  for (int seed = first; seed < first + count; ++seed) {
    std::vector<std::string> steps;
    {
      World world(static_cast<std::uint32_t>(seed), steps);
      for (int k = 0; k < kStepsPerSequence && !::testing::Test::HasFatalFailure(); ++k)
        world.step();
      if (!::testing::Test::HasFatalFailure()) world.check();
    }
    if (::testing::Test::HasFailure()) {
      std::ostringstream text;
      for (const auto& s : steps) text << "\n  " << s;
      ADD_FAILURE() << "replay with VELTRIX_INTERLEAVING_SEED=" << seed << ":" << text.str();
      break;
    }
  }
}

}  // namespace
}  // namespace vx
