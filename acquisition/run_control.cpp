#include "acquisition/run_control.h"

#include <algorithm>

#include "acquisition/acquisition_loop.h"
#include "acquisition/measurement_calls.h"
#include "analysis/measurement_pass.h"
#include "app/field_ranges.h"
#include "app/message_log.h"
#include "app/record_loan.h"
#include "app/run_from_file.h"
#include "digitizer/register_access.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "files/record_format.h"
#include "platform/clock.h"

namespace vx {

namespace {

Status open_output_files(State& st, const std::string& directory) {
  return Open_FileForSavingData(st, Freeze_RunConfig(st), directory, OpenFiles::NewRun);
}

void stamp_run_start(Settings& st, FrontEndLinks& links, bool new_run = true) {
  st.board.BoardRunState = 4;
  // A run that goes on after a settings restart keeps its start: its event times count from it.
  if (!new_run) return;
  const WallTime now = links.clock.wall();
  st.acq.RunStartHour = now.hour;
  st.acq.RunStartMinute = now.minute;
  st.acq.RunStartSecond = now.second;
}

// The hand-over of the records to a loop about to start: what it would otherwise write into
// them itself is written here, by the thread that owns them, before the loop reads them.
void hand_over_to_loop(State& st) {
  if (st.sam[0].ChargeModeEnabled == 1 && !replaying(st)) {
    st.gui.GraphMode = kGraphCharges;
    st.gui.GraphOptionCharge = 1;
    call(st.hooks.recompute_main_graph);
  }
  if (!replaying(st) && board_usable(st)) stamp_run_start(st, st, !st.run.LoopEndedForRestart);
  // The rate texts are the user-interface thread's; the loop posts fresh ones.
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    st.TriggerRateText[ch].clear();
    st.TriggerRateUnit[ch].clear();
  }
}

// Schedules the acquisition thread and waits until it has started. Waiting on a start
// counter rather than on AcquisitionRunning itself: a short run may be over before this
// thread looks, and would then be waited for forever.
void launch_acquisition_thread(State& st) {
  hand_over_to_loop(st);
  const int generation = st.AcquisitionGeneration.load();
  // The loop's settings, taken here where the records are this thread's, handed over by value.
  st.pool.schedule([&st, cfg = Freeze_RunConfig(st)] { Start_Acquisition(st, cfg); });
  wait_for_flag([&] { return st.AcquisitionGeneration.load() != generation; });
}

}  // namespace

Status Start_AcquisitionFromUser(State& st, StartOrigin origin) {
  st.RemoteStart = origin == StartOrigin::Remote;
  st.StartRefusal.clear();
  if (Records_Lent(st)) {
    st.refuse_start("the board is busy with a connection, a calibration or a scan");
    Write_InfoMessage(st,
                      "Unable to start a run: a connection, a calibration or the rate scan is "
                      "driving the board.\n",
                      kWarning);
    st.RemoteStart = false;
    return kFailed;
  }
  st.ui.set_wait_cursor(true);
  const Status result =
      Prepare_Run(st, std::string(st.acq.DataDirectory, text_length(st.acq.DataDirectory)));
  if (result == kDone) launch_acquisition_thread(st);
  st.ui.set_wait_cursor(false);
  st.RemoteStart = false;
  return result;
}

Status Prepare_Run(State& st, const std::string& directory) {
  reset_noise_statistics(st);
  Reset_RunSummary(st);
  st.run.FileIndex = 0;
  st.acq.RunElapsedTime = 0;
  st.acq.RunStartTime = st.clock.now();

  Status result = kDone;
  if (!replaying(st) && st.Nb_Of_SAM_Blocks.load() == 0) {
    st.refuse_start("no board is connected");
    Write_InfoMessage(st, "Error : Unable to run acquisition because no board is connected!\n",
                      kError);
    return kFailed;
  }
  // A data file holds the records of the acquired channels: one without any cannot be read back.
  if (st.acq.SaveDataInFile == 1 && !replaying(st) &&
      acquired_channel_count(Freeze_RunConfig(st)) == 0) {
    Write_InfoMessage(st,
                      "Error : Unable to save a run without any channel acquired: enable at least "
                      "one channel!\n",
                      kError);
    return kFailed;
  }
  if (saving(st) && !replaying(st)) {
    st.acq.DisplayOn = 0;
    st.ui.refresh_panel(Panel::Main);
    if (st.ui.shows_events())
      Write_InfoMessage(
          st, "WARNING! While Saving data to file, Display is set to OFF in order to run faster.\n",
          kWarningNoPopup);
    if (st.acq.NbOfEventsRequired == 0) {
      Write_InfoMessage(
          st,
          "WARNING! Saving data to file while running in continuous mode may result in "
          "a huge amount of data saved to disk! \n",
          kWarningNoPopup);
    }
    if (const Status opened = open_output_files(st, directory); opened != kDone) return opened;
    st.EventNumber = 0;
  } else if (replaying(st)) {
    if (st.acq.SaveMeasurementsInFile == 1) {
      if (const Status opened = open_output_files(st, directory); opened != kDone) return opened;
    }
    // A paused replay goes on from where it stopped, in the file it stopped in.
    if (!st.run.ReplayFileOpen) {
      st.run.ReadingFileIndex = 1;
      result = Open_FileForLoadingData(st);
      st.EventNumber = 0;
    }
  } else {
    st.EventNumber = 0;
  }
  st.FirstEventNumber = st.EventNumber.load();
  st.NbOfEventsInRun = 0;
  st.run.LoopEndedForRestart = false;  // the next loop begins a run
  st.RunEndWanted = 0;
  return result;
}

void Start_Acquisition(State& st, const RunConfig& cfg) {
  st.ui.post([&st] { st.ui.run_state_changed(true); });
  st.RawTriggerRateOK = 0;
  // A loop that resumes a run after a settings restart keeps a stop asked meanwhile: it ends
  // the run at once, as the run's own loop would have.
  st.StopRequest().store(st.RunEndWanted.load());
  st.LoopEnding = 0;
  st.AcquisitionRunning = 1;
  st.AcquisitionGeneration.fetch_add(1);

  if (cfg.saving()) {
    wait_for_flag([&] { return st.SaveDataInFileThreadReleased.load() == 1; });
    Start_SaveDataInFileThread(st, cfg);
  }
  Prepare_ForAcquisition(st, cfg);

  // A settings restart resumes the same run: it has not finished.
  const bool restarting = st.run.LoopEndedForRestart;
  st.AcquisitionRunning = 0;
  st.ui.post([&st] { st.ui.run_state_changed(false); });
  if (!restarting && st.hooks.on_run_finished) {
    st.ui.post([&st] {
      st.hooks.on_run_finished();
      st.RunEndPending = 0;
    });
  }
}

void Stop_AcquisitionFromUser(State& st) {
  st.request_run_end();
  Stop_AcquisitionAndWait(st);
}

bool Decide_LoopEnd(RunState& st, FrontEndLinks& links) {
  std::lock_guard lock(st.run_state_mutex);
  const bool restarting = st.RestartPending.load() == 1 && st.RunEndWanted.load() == 0;
  if (!restarting) {
    st.LoopEnding = 1;
    if (links.hooks.on_run_finished) st.RunEndPending = 1;
  }
  return restarting;
}

bool Run_OnOrEnding(const RunState& st) {
  return st.AcquisitionRunning.load() == 1 || st.RunEndPending.load() == 1;
}

bool RestartGuard::begin(const ControlPort& port) {
  State& st = port.st_;
  // The run goes on after the change: its output files must stay open meanwhile, and its
  // end is not announced. A loop that has already decided to end the run is not restarted,
  // nor one asked to end for good.
  std::lock_guard lock(st.run_state_mutex);
  const bool running =
      st.AcquisitionRunning.load() == 1 && st.LoopEnding.load() == 0 && st.RunEndWanted.load() == 0;
  if (running) st.RestartPending = 1;
  return running;
}

RestartGuard::RestartGuard(const ControlPort& port) : RestartGuard(port, begin(port)) {}

RestartGuard::RestartGuard(const ControlPort& port, bool was_running)
    : st_(port.st_), was_running_(was_running) {
  Stop_AcquisitionAndWait(port);
  if (was_running_) port.links.ui.hold_popups(true);
}

RestartGuard::~RestartGuard() {
  if (!was_running_) return;
  // Lowered before the loop starts: the loop that starts now ends the run when it ends, and
  // a short one may be over before the launch returns.
  st_.RestartPending = 0;
  // Not a run that ended for good meanwhile (a stop asked while the loop was stopping).
  if (st_.AcquisitionRunning.load() == 0 && st_.run.LoopEndedForRestart) {
    st_.meas.ContinuingRun = 1;
    launch_acquisition_thread(st_);
  }
  st_.ui.hold_popups(false);
}

int events_required_for(int run_type, int events_entry) {
  switch (run_type) {
    case 0:
      return 1;
    case 1:
      return events_entry == 0 ? 1 : events_entry;
    default:
      return 0;
  }
}

void Set_RunType(ControlPort port, RunState& run, int run_type, int events_entry) {
  RestartGuard restart(port);
  port.settings.acq.RunType = run_type;
  port.settings.acq.NbOfEventsRequired = events_required_for(run_type, events_entry);
  // A run held for this change goes on with its numbering: its files and the client hold
  // the numbers it gave already, its limit and its rates count them.
  if (!replaying(port) && run.RestartPending.load() == 0) run.EventNumber = 0;
  port.links.ui.refresh_panel(Panel::Main);
}

void Set_RunDuration(ControlPort port, int days, int hours, int minutes, int seconds) {
  RestartGuard restart(port);
  port.settings.acq.RunDuration = 86400 * days + 3600 * hours + 60 * minutes + seconds;
  port.links.ui.refresh_panel(Panel::Main);
}

void Set_NbOfEventsRequired(Settings& st, int events) {
  // A running loop keeps the limit it computed at its start.
  st.acq.NbOfEventsRequired = events_required_for(st.acq.RunType, events);
}

void Set_MaxNumEventsBLT(ControlPort port, int events) {
  RestartGuard restart(port);
  constexpr IntRange allowed = int_range_of<&AcqParams::MaxNumEventsBLT>();
  port.settings.acq.MaxNumEventsBLT = std::clamp(events, allowed.lo, allowed.hi);
  port.settings.gui.DisplayModulo = port.settings.acq.MaxNumEventsBLT;
  if (board_usable(port)) {
    Digitizer& d = *port.link.digitizer;
    const int h = port.link.DeviceHandle.load();
    d.FreeReadoutBuffer(h, &port.link.readout);
    d.SetMaxNumEventsBLT(h, static_cast<std::uint32_t>(port.settings.acq.MaxNumEventsBLT));
    d.MallocReadoutBuffer(h, &port.link.readout);
  }
  port.links.ui.refresh_panel(Panel::Main);
}

void Start_BoardRun(State& st) {
  if (replaying(st) || !board_usable(st)) return;
  Digitizer& d = *st.digitizer;
  const int h = st.DeviceHandle.load();
  st.run.ClockOrigin = st.clock.now();
  d.AllocateEvent(h, &st.CurrentEvent);
  d.ClearData(h);
  d.SWStartAcquisition(h);
  if (st.sys.SyncMode == 1 && st.sys.BoardMasterMode == 1 && st.sys.UseLvdsIO == 0)
    d.SendSWtrigger(h);
  st.run.TdcOverflowOffset = 0;
  st.run.LastRawTdc = 0;
  st.run.LoopClockOffset = 0.0;
  st.EventSeconds = 0.0;
}

void Stop_BoardRun(BoardLink& st, bool replaying_file) {
  if (replaying_file || st.digitizer == nullptr) return;
  Digitizer& d = *st.digitizer;
  const int h = st.DeviceHandle.load();
  d.SWStopAcquisition(h);
  d.ClearData(h);
  d.ClearData(h);
  d.FreeEvent(h, &st.CurrentEvent);
}

void Start_run(State& st) {
  if (replaying(st) || !board_usable(st)) return;
  stamp_run_start(st, st);
  Start_BoardRun(st);
}

void Stop_run(Settings& st, BoardLink& link) {
  if (replaying(st)) return;
  st.board.BoardRunState = 0;
  Stop_BoardRun(link, false);
}

void Run_Reset(BoardPort port, int kind, int block) {
  std::uint32_t address = 0;
  switch (kind) {
    case 0:
      address = 0x8010;
      break;
    case 1:
      address = 0x807C;
      break;
    case 2:
      address = block == -1 ? 0x805Cu : 0x105Cu + 0x100u * block;
      break;
    default:
      return;
  }
  Write_Register(port, port.link.DeviceHandle.load(), 1, address);
}

void Start_Acq(BoardPort port) {
  Write_Register(port, port.link.DeviceHandle.load(), 1, 0x8018);
}

void Force_Trigger(BoardLink& st) {
  if (board_usable(st)) st.digitizer->SendSWtrigger(st.DeviceHandle.load());
}

}  // namespace vx
