// The process-wide state, in parts with one owner each (below): the parameter records and
// their snapshots, the board link, the run, its files, the tick's indicators and the links to
// the front end. main (or a test) creates it and passes it by reference; a function takes the
// parts it uses, and what configures the board takes a BoardPort (app/board_port.h).
//
// Which thread may write what, and when, and how the other threads read it: the "Threads"
// section of docs/architecture.md. In short: the user-interface thread owns the records; a
// running acquisition loop reads the copy it took at its start (RunConfig); a worker that
// drives the board holds them alone while they are lent to it (app/record_loan.h).
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>

#include "app/calibration_data.h"
#include "app/event_consumer.h"
#include "app/event_data.h"
#include "app/file_data.h"
#include "app/inl_calibration_data.h"
#include "app/measurement_data.h"
#include "app/message_sink.h"
#include "app/params.h"
#include "app/rate_data.h"
#include "app/remote_data.h"
#include "app/saved_event.h"
#include "platform/clock.h"
#include "platform/digitizer.h"
#include "platform/front_end.h"
#include "platform/thread_pool.h"

namespace vx {

struct RunConfig;

// Operations of higher layers that the core's bottom layer triggers (re-applying the
// settings to the board and panels after a restore, recomputing the main graph...).
// Each does nothing until it is installed. All are installed in one place, Install_CoreHooks
// (wiring/core_wiring.cpp), from the core's own functions and from what the front end
// brings; remote control's come with it, or when a server is registered.
struct CoreHooks {
  std::function<void()> apply_all_board_parameters;
  std::function<void()> apply_enabled_blocks;
  std::function<void()> recompute_main_graph;
  std::function<void()> refresh_annotations;
  std::function<void()> serve_remote_requests;  // the tick's share of remote control
  // Loads a setup file for the remote client: nothing when it was loaded, else why not.
  std::function<std::optional<std::string>(const std::string&)> load_setup_from_file;
  std::function<void()> on_run_finished;  // a run has ended (not a settings restart)
  // The main graph's frame of an event, drawn as the run that took it is configured.
  std::function<void(const RunConfig&, const DecodedEvent&)> compute_display;
  std::function<void()> show_event;  // event counter and time on the main tab
  std::function<void()> close_device;
  std::function<void(int model)> select_board_model;  // before a connection attempt
};

using AtomicI32 = std::atomic<std::int32_t>;
// The SAM blocks' records, one per block.
using SamBlocks = std::array<SAMBlockParams, kMaxSamBlocks>;

// The parameter records as one value: what a snapshot keeps, and the copy the user-interface
// thread shows while a worker holds the live records.
struct ParamRecords {
  AcqParams acq{};
  BoardParams board{};
  SystemParams sys{};
  GuiParams gui{};
  SamBlocks sam{};
};

// Each user of Save_Params/Restore_Params has a snapshot of its own: a calibration taken
// while a replay holds the settings it replaced must not lose them.
enum class Snapshot { Replay, Calibration, RateScan };
inline constexpr int kSnapshots = 3;

// The state is made of parts, each with one owner (the "Threads" section of
// docs/architecture.md). A function takes the parts it uses, each a parameter (the log alone if
// that is all it needs of the links); State derives from all of them, so a caller holding the
// whole state passes it once for each part, and the fields keep their names (st.acq, st.meas).

// The parameter records (the setup file's layout), their snapshots and their loan.
// Owner: the user-interface thread. A running loop reads the copy it took at its start
// (RunConfig); a worker that drives the board holds them alone while they are lent to it.
struct Settings {
  // Aligned so that their 32-bit flags at 4-byte offsets can be used through
  // std::atomic_ref (see field()).
  alignas(8) AcqParams acq{};
  alignas(8) BoardParams board{};
  alignas(8) SystemParams sys{};
  alignas(8) GuiParams gui{};
  alignas(8) SamBlocks sam{};
  alignas(8) TCPParams tcp{};

  std::array<ParamRecords, kSnapshots> SavedParams{};
  ParamRecords& saved(Snapshot which) { return SavedParams[static_cast<std::size_t>(which)]; }
  // Lent to a worker that drives the board (app/record_loan.h); the user-interface thread
  // shows the copy taken then.
  AtomicI32 RecordsLent{0};
  ParamRecords ShownRecords{};

  // Record fields that one thread writes and another polls. Only fields at 4-byte offsets
  // can be used this way; flags at other offsets live in the run's part instead.
  std::atomic_ref<std::int32_t> StopRequest() {
    return field<offsetof(AcqParams, StopRequest)>(acq);
  }
  // The switches that may change while a run goes on, with no restart: the user-interface
  // thread writes them and the loop reads them, both through these. Every other field of the
  // records changes only while no loop runs (RestartGuard) and no worker holds them.
  std::atomic_ref<std::int32_t> DisplayOn() { return field<offsetof(AcqParams, DisplayOn)>(acq); }
  std::atomic_ref<std::int32_t> FFTMode() { return field<offsetof(AcqParams, FFTMode)>(acq); }
  std::atomic_ref<std::int32_t> TransmitRunData() {
    return field<offsetof(AcqParams, TransmitRunDataToTcpClient)>(acq);
  }
  std::atomic_ref<std::int32_t> DisplayModulo() {
    return field<offsetof(GuiParams, DisplayModulo)>(gui);
  }
  std::atomic_ref<std::int32_t> NoiseMeasurementOn() {
    return field<offsetof(GuiParams, NoiseMeasurementOn)>(gui);
  }
  std::atomic_ref<std::int32_t> RateMeasurementOn() {
    return field<offsetof(GuiParams, RateMeasurementOn)>(gui);
  }

 private:
  template <std::size_t Offset, typename Rec>
  static std::atomic_ref<std::int32_t> field(Rec& rec) {
    static_assert(
        alignof(Rec) == 1 && Offset % std::atomic_ref<std::int32_t>::required_alignment == 0,
        "an atomic_ref needs an aligned field");
    auto* bytes = reinterpret_cast<unsigned char*>(&rec);
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(bytes + Offset));
  }
};

// The board: its driver and handle, the connection's flags, the readout buffers, the
// firmware versions and what was read from its EEPROMs (calibration tables and the EEPROM
// panel's values). Owner: whoever holds the board (the connection, a run's loop, a
// calibration); BoardAccessReq arbitrates.
struct BoardLink {
  Digitizer* digitizer = nullptr;  // the board behind DeviceHandle
  int SelectedModel = -1;          // connection panel's model: -1 none, 0 desktop, 1 VME
  AtomicI32 DeviceHandle{-1};
  AtomicI32 Board_Connected{0};
  AtomicI32 Communication_Error{0};
  AtomicI32 NbOfCommunicatonErrors{0};
  std::atomic<double> LastUsbErrorTimer{0.0};
  std::atomic<double> CurrentUsbErrorTimer{0.0};
  AtomicI32 Nb_Of_SAM_Blocks{0};
  AtomicI32 Connecting{0};
  AtomicI32 SavedConnecting{0};
  AtomicI32 ConnectingThreadReleased{1};
  AtomicI32 BoardAccessReq{0};

  // Memory the digitizer library hands out, and the firmware versions read at connection.
  ReadoutBuffer readout;  // its filled bytes: the last readout's, 0 when it brought no event
  std::uint32_t LastHeader = 0;
  Event743* CurrentEvent = nullptr;
  ChargeEvents ChargeEventsBuffer{};
  bool ChargeEventsAllocated = false;
  std::array<int, kMaxSamBlocks> BoardVersionFromFPGA{};
  std::array<int, kMaxSamBlocks> FPGAVersion{};
  std::array<int, kMaxSamBlocks> FPGAEvolution{};
  std::string MotherBoardFirmware;
  std::string DaughterBoardFirmware;

  CalibrationData calib;
  InlCalibrationData inl;
  EepromPanelValues eeprom_panel;
};

// A run: its control flags, counters, the decoded event, results, per-run lists and
// histograms, rates, and the consumers it hands each event to. Owner: the acquisition thread
// while a run is on (the user-interface thread prepares and ends it, under run_state_mutex
// where they meet); others read what is published.
struct RunState {
  // The consumers the layers above the loop add to every run (Register_EventConsumer), and
  // the list the running loop took at its start, its own consumers among them.
  EventConsumers consumers_added;
  EventConsumers run_consumers;

  // The rate scan's flags (their record fields sit at 2-byte offsets and are not used).
  AtomicI32 RateScanRunning{0};
  AtomicI32 RateScanFlag{0};

  AtomicI32 AcquisitionRunning{0};
  AtomicI32 AcquisitionBusy{0};
  AtomicI32 EventNumber{0};
  AtomicI32 FirstEventNumber{0};
  AtomicI32 NbOfEventsInRun{0};  // events read and processed since the run started

  // Noise window of the per-event sigma.
  int StartSigmaSample = 0;
  int EndSigmaSample = kMaxSamples - 1;

  RunData run;
  std::string ReplayFileName;
  double EventSeconds = 0.0;           // time of the current event since the run start
  AtomicI32 AcquisitionGeneration{0};  // counts acquisition-thread starts
  AtomicI32 RestartPending{0};         // the loop stops for a settings change and resumes
  // How a loop ends is decided once, under run_state_mutex, against RestartGuard::begin:
  // LoopEnding says the running loop ends the run (no restart can hold it any more), and
  // RunEndPending that its end-of-run handler is still queued on the user-interface thread.
  std::mutex run_state_mutex;
  AtomicI32 LoopEnding{0};
  AtomicI32 RunEndPending{0};
  // A stop for good (the user's, the client's, the run's own time limit) asked since the run
  // was prepared: a settings restart under way does not take it back (request_run_end).
  AtomicI32 RunEndWanted{0};
  // The run start being prepared, on the thread that prepares it (see
  // Start_AcquisitionFromUser): one from the remote client asks no question, and a refusal
  // keeps its reason for the client.
  bool RemoteStart = false;
  std::string StartRefusal;
  void refuse_start(std::string reason) {
    if (StartRefusal.empty()) StartRefusal = std::move(reason);
  }
  bool display_attached = false;  // a graph shows the events (not the CLI)
  // The shortest time between two display frames of a run, in seconds: a front end that
  // draws sets its screen's pace before any run; 0 computes a frame for every display event.
  double DisplayFrameInterval = 0.0;

  DecodedEvent event;
  EventResults results;
  MeasurementData meas;
  RateData rates;
};

// A run's files: the open files and their names, the split state, and the events handed
// over to the writer. Owner: the writer thread while a run saves; the user-interface thread
// opens a run's first files and closes the last.
struct RunOutput {
  FileData files;
  // Events handed over by the acquisition thread to the data-file writer, in order.
  SaveRing SavingQueue{kSaveRingSlots};
  AtomicI32 SaveDataInFileThreadReleased{1};
};

// What the one-second tick shows: the counters' pace and colour, the lights, the strip
// charts' values and the rate texts. Owner: the user-interface thread (the loop writes the
// strip charts' values through their atomics).
struct Indicators {
  int EventNumberColor = 0;
  double CurrentTimer = 0.0;
  double FormerTimer = 0.0;
  std::int32_t FormerEventNumber = 0;
  float EventRate = 0.0f;
  bool ConnectionLedOn = false;
  bool ScanLedOn = false;
  AtomicI32 RawTriggerRateOK{0};
  std::array<std::atomic<double>, kMaxChannels> TriggerRateForStripChart{};  // written per event
  std::array<std::atomic<float>, kMaxChannels> MeanSigmaForStripChart{};     // read by the tick
  std::array<std::string, kMaxChannels> TriggerRateText{};
  std::array<std::string, kMaxChannels> TriggerRateUnit{};
};

// The links to the outside: the front end and what it posts to, the clock, the thread pool,
// the message log, the hooks up to the front end, the user data directory and remote control.
// Owner: the user-interface thread; the log is safe from any thread.
struct FrontEndLinks {
  FrontEndLinks(FrontEnd& ui, Clock& clock, ThreadPool& pool)
      : ui(ui), clock(clock), pool(pool), log(ui, clock) {}
  FrontEnd& ui;
  Clock& clock;
  ThreadPool& pool;
  MessageLog log;  // in the user data directory, set by Start_Core
  CoreHooks hooks;
  std::filesystem::path UserPath;        // user data directory
  bool FirstOffsetWarningShown = false;  // the offset's threshold warning, told once
  RemoteData remote;
};

class State : public FrontEndLinks,
              public Settings,
              public BoardLink,
              public RunState,
              public RunOutput,
              public Indicators {
 public:
  State(FrontEnd& ui, Clock& clock, ThreadPool& pool) : FrontEndLinks(ui, clock, pool) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // A stop for good: the run's flag and the records' stop request, together.
  void request_run_end() {
    std::lock_guard lock(run_state_mutex);
    RunEndWanted = 1;
    StopRequest().store(1);
  }
};

// Calls a hook that a front end may leave unset.
template <typename... Args>
void call(const std::function<void(Args...)>& hook, std::type_identity_t<Args>... args) {
  if (hook) hook(args...);
}

// The board's SAM blocks and channels: the records' counts held within the arrays' sizes.
inline int board_blocks(const Settings& st) {
  return std::clamp(int{st.sys.NbOfSAMBlocks}, 0, kMaxSamBlocks);
}
inline int board_channels(const Settings& st) {
  return std::clamp(int{st.sys.NbOfChannels}, 0, kMaxChannels);
}

// A copy of the rate scan's kept result, safe while a scan runs.
inline RateScanResult RateScan_Result(const RunState& st) {
  std::lock_guard lock(st.rates.result_mutex);
  return st.rates.result;
}

// Times -1.0 and amplitude, baseline and charge 0 for every channel: no event measured yet.
inline void Init_MeasurementResults(RunState& st) {
  EventResults& r = st.results;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      r.RiseTimeInstant[b][c] = -1.0f;
      r.FallTimeInstant[b][c] = -1.0f;
      r.AmplitudeValue[b][c] = 0.0f;
      r.MeasuredBaseline[b][c] = 0.0f;
      r.ComputedCharge[b][c] = 0.0f;
    }
  }
}

// Whether a run saves anything: a data file or the measurement file.
inline bool saving(const Settings& st) {
  return st.acq.SaveDataInFile == 1 || st.acq.SaveMeasurementsInFile == 1;
}

}  // namespace vx
