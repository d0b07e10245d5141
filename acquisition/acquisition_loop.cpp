#include "acquisition/acquisition_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "acquisition/measurement_calls.h"
#include "acquisition/run_control.h"
#include "analysis/measurement_context.h"
#include "analysis/measurement_pass.h"
#include "analysis/rate_measurement.h"
#include "analysis/time_amplitude.h"
#include "app/message_log.h"
#include "app/run_config.h"
#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"
#include "digitizer/register_access.h"
#include "files/data_file_reader.h"
#include "files/data_file_writer.h"
#include "files/output_file.h"
#include "platform/clock.h"

namespace vx {

namespace {

constexpr std::uint64_t kTdcWrap = std::uint64_t{1} << 40;

void wait_writer(RunOutput& st) {
  Wait_SavingQueueEmpty(st);
}

// Adds this loop's waits on a full saving queue to the run's; at the run's end, tells them.
void account_saving_waits(RunState& st, RunOutput& output, MessageLog& log, bool run_ends) {
  const SaveRing::Waits w = output.SavingQueue.take_waits();
  RunData& r = st.run;
  r.SavingQueueWaitSeconds += w.seconds;
  r.SavingQueueWaits += w.count;
  if (!run_ends || r.SavingQueueWaits == 0) return;
  char text[200];
  std::snprintf(text, sizeof text,
                "The data-file writer did not keep up: the acquisition waited %.3f s in all "
                "(%lld times) for room in the saving queue.\n",
                r.SavingQueueWaitSeconds, static_cast<long long>(r.SavingQueueWaits));
  Write_InfoMessage(log, text, kInfo);
}

void show_event(FrontEndLinks& st) {
  call(st.hooks.show_event);
}

void stamp_wall_clock(RunState& st, FrontEndLinks& links) {
  const WallTime w = links.clock.wall();
  RunData& r = st.run;
  r.Year = w.year;
  r.Month = w.month;
  r.Day = w.day;
  r.Hour = w.hour;
  r.Minute = w.minute;
  r.Second = w.second;
  r.Millisecond = w.millisecond;
  r.WeekDay = w.weekday;
  r.EpochTime = w.epoch;
}

// Starts the board for this loop. A loop that goes on with a run after a settings restart
// carries the run's clock over: its events are timed from where its board start falls in
// the run, and never before the run's last event.
void start_board(State& st, const RunConfig& cfg, bool continuing) {
  RunData& r = st.run;
  const double origin = r.ClockOrigin;
  const double last = st.EventSeconds;
  Start_BoardRun(st);
  if (!continuing) return;
  const double tick = 16.0 * sampling_period_from_index(cfg.sam[0].FrequencyIndex) / 1e12;
  r.LoopClockOffset = std::max(r.ClockOrigin - origin, last + tick);
  r.ClockOrigin = origin;
  st.EventSeconds = last;  // the run's last event until this loop has one
}

void setup_run(State& st, const RunConfig& cfg, int& counter, int& limit) {
  RunData& r = st.run;
  r.NbOfPulses = 0;
  st.Board_Connected = 1;
  r.Year = r.Month = r.Day = r.Hour = r.Minute = r.Second = r.WeekDay = 0;
  r.Millisecond = 0.0;
  r.EpochTime = 0.0;
  r.FrameOwed = false;
  st.run_consumers = Run_EventConsumers(st);

  prepare_run_measurements(st, st, st, cfg);
  for (const EventConsumer& c : st.run_consumers)
    if (c.begin) c.begin(st, cfg);
  for (int ch = 0; ch < 2 * cfg.blocks(); ++ch) st.TriggerRateForStripChart[ch] = 0.0;

  limit = cfg.acq.NbOfEventsRequired == 0 ? kUnlimitedEvents : cfg.acq.NbOfEventsRequired;
  if (cfg.acq.RunType == kRunFiniteTime && !cfg.replaying()) {
    char text[96];
    std::snprintf(text, sizeof text, "Run started for %d seconds.\n", int{cfg.acq.RunDuration});
    Write_InfoMessage(st, text, kInfo);
  } else if (cfg.acq.NbOfEventsRequired == 0 && !cfg.replaying()) {
    Write_InfoMessage(st, "Run started in continuous mode.\n", kInfo);
  } else if (cfg.replaying()) {
    Write_InfoMessage(st, "Run started from file: '" + st.ReplayFileName + "'.\n", kInfo);
  } else {
    char text[96];
    std::snprintf(text, sizeof text, "Run started with %d events required.\n",
                  cfg.acq.NbOfEventsRequired);
    Write_InfoMessage(st, text, kInfo);
  }
  if (!cfg.replaying()) {
    counter = st.EventNumber.load();
    start_board(st, cfg, st.run.LoopEndedForRestart);
  } else {
    // A replay numbers its events from the file: its limit counts those of this run, a
    // settings restart included.
    counter = st.NbOfEventsInRun.load();
  }
  show_event(st);
  call(st.hooks.refresh_annotations);
}

// What stays on screen after a loop is its last event: a frame the display's pace left out is
// drawn when the display rules ask for that event, which a stop always does (also one that
// comes between readouts, with no event left to draw it in).
void draw_last_event(RunState& st, Settings& settings, FrontEndLinks& links, const RunConfig& cfg) {
  if (!st.run.FrameOwed || !display_condition(st, settings, cfg, true)) return;
  st.run.FrameOwed = false;
  st.run.LastFrameTime = links.clock.now();
  if (settings.FFTMode().load() == 1) measure_spectrum(st, cfg, st.event);
  call(links.hooks.compute_display, cfg, st.event);
  show_event(links);
}

void end_run(State& st, const RunConfig& cfg) {
  st.run.LoopEndedForRestart = Decide_LoopEnd(st, st);
  if (cfg.saving()) {
    wait_writer(st);
    st.SavingQueue.close();              // the writer of this loop ends now
    st.run.MeasuredByFormatter = false;  // its sums are complete and the loop's again
    st.run.SpectraByFormatter = false;
    account_saving_waits(st, st, st.log, !st.run.LoopEndedForRestart);
  }
  if (cfg.saving() && !st.run.LoopEndedForRestart) {  // else the files stay open for the run
    st.clock.delay(1.0);
    Close_FileForSavingData(st, cfg, CloseFiles::Both);
    Copy_LogFileToRunDirectory(st, st.log, cfg);
  }
  Stop_BoardRun(st, cfg.replaying());
  // The records are the user-interface thread's to write: the stamp goes there.
  if (!cfg.replaying()) st.ui.post([&st] { st.board.BoardRunState = 0; });
  st.AcquisitionBusy = 0;
  if (st.run.ReplayFileOpen && st.run.DataLoadedFromFile == 0) Close_FileForLoadingData(st, st);
  finish_run_histograms(st, st, st, cfg);
  for (const EventConsumer& c : st.run_consumers)
    if (c.end) c.end(st, cfg);
  Write_InfoMessage(st, "Run is over.\n", kInfo);
}

// Decodes the firmware charges of the whole readout, channel by channel.
void decode_charges(RunState& st, BoardLink& link, const RunConfig& cfg) {
  RunData& r = st.run;
  for (int b = 0; b < cfg.blocks(); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      st.meas.NbOfValidChargeWords[b][c] = 0;
      st.meas.ChargeDataValues[b][c].clear();
    }
  }
  if (!board_usable(link) || !link.ChargeEventsAllocated) return;
  link.digitizer->GetDPPEvents(link.DeviceHandle.load(), link.readout, &link.ChargeEventsBuffer,
                               r.NbOfEventsPerChannel.data());
  for (int b = 0; b < cfg.blocks(); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const int ch = 2 * b + c;
      const ChargeRecord* records = link.ChargeEventsBuffer.Channel[ch];
      const std::uint32_t n = records == nullptr ? 0 : r.NbOfEventsPerChannel[ch];
      auto& values = st.meas.ChargeDataValues[b][c];
      values.reserve(n);
      // A provisional range (one charge value so far) must not cut the charges that set it.
      const bool cut = cfg.acq.ChargeCutEnabled[b][c] == 1 && st.EventNumber.load() != 0 &&
                       st.meas.ChargeRangePending[b][c] == 0;
      // The range is the run's own (set from its first charges in automatic mode).
      const float lo = st.meas.ChargeRange[b][c].min;
      const float hi = st.meas.ChargeRange[b][c].max;
      for (std::uint32_t i = 0; i < n; ++i) {
        const float q = records[i].Charge;
        if (cut && (q < lo || q > hi)) continue;
        values.push_back(q);
      }
      st.meas.NbOfValidChargeWords[b][c] = static_cast<std::int32_t>(values.size());
    }
  }
}

void copy_block(DecodedEvent& e, int b, const GroupEvent743& g) {
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    e.TrigCount[b][c] = g.TriggerCount[c];
    e.TimeCount[b][c] = g.TimeCount[c];
    const std::size_t n = std::min<std::size_t>(g.ChSize, kMaxSamples);
    std::copy_n(g.DataChannel[c].begin(), n, e.FullyOrderedValues[b][c].begin());
  }
  e.EventID[b] = g.EventId;
  e.EventFCR[b] = g.StartIndexCell;
  e.EventTDC[b] = g.TDC;
}

void invalid_event(RunState& st, MessageLog& log, int index) {
  char text[96];
  std::snprintf(text, sizeof text, "Invalid Event: event %d of the readout after event %d.\n",
                index, st.EventNumber.load());
  Write_InfoMessage(log, text, kError);
}

// The files the writer would write this event into are open.
bool output_is_open_for_run(const RunOutput& st, const RunConfig& cfg) {
  if (cfg.acq.SaveDataInFile == 1 && !output_is_open(st.files.data)) return false;
  return cfg.acq.SaveMeasurementsInFile != 1 || output_is_open(st.files.measurements);
}

// The hand-off to the writer thread, switching to the next file of a split run first.
void hand_over(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  if (!cfg.saving() || !st.run.FileForSavingDataOpenOK) return;
  if (st.Communication_Error.load() == 1 && !cfg.replaying()) {
    char text[96];
    std::snprintf(text, sizeof text, "Event %d not saved: communication error.\n",
                  st.EventNumber.load());
    Write_InfoMessage(st, text, kWarning);
    return;
  }
  const int n = st.EventNumber.load();
  const int per_file = cfg.acq.NbOfEventsPerFile;
  if (!Saving_Failed(st) && cfg.acq.SaveDataInFile == 1 && cfg.acq.SplitFileToSaveData == 1 &&
      n != 1 && per_file > 0 && (n - 1) % per_file == 0 && (n - 1) != cfg.acq.NbOfEventsRequired) {
    wait_writer(st);  // the file's last events are written before it is closed
    Close_FileForSavingData(st, cfg, CloseFiles::DataFile);
    Copy_LogFileToRunDirectory(st, st.log, cfg);
    const std::string dir(cfg.acq.DataDirectory, text_length(cfg.acq.DataDirectory));
    if (Open_FileForSavingData(st, cfg, dir, OpenFiles::NextSplitFile) != kDone)
      st.StopRequest().store(1);
  }
  // After a write error (told when it happened) the run saves nothing more and stops.
  if (Saving_Failed(st) || !output_is_open_for_run(st, cfg)) {
    st.run.FileForSavingDataOpenOK = false;
    st.StopRequest().store(1);
    return;
  }
  Queue_EventForSaving(st, st, cfg, event);
}

// Replay: the next event of the file, moving on to the next file of a split series when
// the current one is exhausted. Returns false when there is no event to process. The run's
// channels are the file's, which its first event tells.
bool load_replayed_event(State& st, RunConfig& cfg) {
  st.run.DataLoadedFromFile = Read_EventsFromFile(st) || Load_EventFromNextFile(st);
  for (int ch = 0; ch < kMaxChannels; ++ch) cfg.gui.ChannelEnabled[ch] = 0;
  for (const int ch : st.files.ReplayChannels)
    if (ch >= 0 && ch < kMaxChannels) cfg.gui.ChannelEnabled[ch] = 1;
  return st.run.DataLoadedFromFile == 1;
}

}  // namespace

bool display_condition(RunState& st, Settings& settings, const RunConfig& cfg, bool with_first) {
  return Is_DisplayEvent(settings, st, cfg) || (with_first && st.EventNumber.load() == 1);
}

bool frame_wanted(RunState& st, Settings& settings, FrontEndLinks& links, const RunConfig& cfg,
                  bool with_first) {
  if (with_first ? !display_condition(st, settings, cfg, true)
                 : !Is_DisplayEvent(settings, st, cfg))
    return false;
  if (st.DisplayFrameInterval <= 0.0) return true;
  const int event = st.EventNumber.load();
  const double now = links.clock.now();
  const bool always =
      event == 1 || event == cfg.acq.NbOfEventsRequired || settings.StopRequest().load() == 1;
  if (!always && now - st.run.LastFrameTime < st.DisplayFrameInterval) return false;
  st.run.LastFrameTime = now;
  return true;
}

void Prepare_ForAcquisition(State& st, RunConfig cfg) {
  int counter = 0;
  int limit = 0;
  setup_run(st, cfg, counter, limit);
  const double acquiring_since = st.clock.now();

  for (;;) {
    if (cfg.acq.RunType != kRunFiniteTime && counter >= limit) break;
    if (st.StopRequest().load() == 1) {  // a stop kept across a settings restart
      Write_InfoMessage(st, "Run stopped.\n", kInfo);
      break;
    }
    st.AcquisitionBusy = 1;
    Status read = kDone;
    if (!cfg.replaying()) {
      Arm_Boards(st, cfg);
      read = Read_BoardData(st, st, st, cfg);
    }
    if (read != kDone) {
      st.StopRequest().store(1);
      break;
    }
    const int events = cfg.replaying() ? 1 : Get_NbOfEvents(st);
    if (cfg.saving() && !cfg.replaying()) stamp_wall_clock(st, st);

    for (int i = 0; i < events; ++i) {
      if (!cfg.replaying() && Decode_Event(st, st, st.log, cfg, i) != kDone) break;
      Process_Event(st, cfg);
      if (display_condition(st, st, cfg, true)) show_event(st);
      ++counter;
      if (st.StopRequest().load() == 1) break;
    }

    if (st.Communication_Error.load() == 1) {
      Write_InfoMessage(st, "Communication Error! Board need to be restarted!\n", kError);
      st.Board_Connected = 0;
      st.StopRequest().store(1);
      break;
    }
    if (st.StopRequest().load() == 1) {
      st.clock.delay(0.001);
      show_event(st);
      st.AcquisitionBusy = 0;
      Write_InfoMessage(st, "Run stopped.\n", kInfo);
      break;
    }
    wait_for_flag([&] { return st.BoardAccessReq.load() == 0; });
  }
  draw_last_event(st, st, st, cfg);
  st.run.AcquisitionSeconds += st.clock.now() - acquiring_since;
  end_run(st, cfg);
}

void Arm_Boards(State& st, const RunConfig& cfg) {
  if (cfg.replaying()) return;
  Arm_Board(st, cfg);
}

void Arm_Board(State& st, const RunConfig& cfg) {
  st.run.InterruptStatus = 0;
  if (cfg.sam[0].ControlRegBit2 == 0) Start_Acq(st);
  if (cfg.acq.PulseMode == 1 && cfg.sam[0].PulseSource == 0 && board_usable(st))
    st.digitizer->SendSAMPulse(st.DeviceHandle.load());
  if (cfg.sys.TriggerSource == kTriggerSoftware || cfg.sys.TriggerSource == kTriggerAuto)
    Force_Trigger(st);
}

Status Read_BoardData(BoardLink& st, Settings& settings, FrontEndLinks& links,
                      const RunConfig& cfg) {
  st.readout.filled = 0;
  int rc = kDgtzInvalidHandle;
  bool silent = false;
  if (board_usable(st) && st.readout.data != nullptr) {
    Digitizer& d = *st.digitizer;
    const int h = st.DeviceHandle.load();
    // Every readout pass sends a software trigger with these sources: a board that
    // answers none of them is faulty. Other sources may rightly stay quiet for long.
    const bool triggered_by_us =
        cfg.sys.TriggerSource == kTriggerSoftware || cfg.sys.TriggerSource == kTriggerAuto;
    const double start = links.clock.now();
    // Many empty reads as well as the time: one late read is no silence.
    constexpr int kSilentReads = 100;
    int empty_reads = 0;
    for (;;) {
      rc = d.ReadData(h, kReadoutSlaveTerminated, &st.readout);
      if (rc < 0 || st.readout.filled != 0) break;
      if (settings.StopRequest().load() == 1) {
        rc = d.ReadData(h, kReadoutSlaveTerminated, &st.readout);
        break;
      }
      if (triggered_by_us && ++empty_reads >= kSilentReads &&
          links.clock.now() - start > kBoardSilenceSeconds) {
        silent = true;
        break;
      }
    }
  }
  const bool present = rc >= 0 && st.readout.filled >= 4;
  if (!present) {
    settings.StopRequest().store(1);
    if (silent) {
      char text[160];
      std::snprintf(text, sizeof text,
                    "Board fault: no event for %.0f s although the board is triggered at every "
                    "readout! Run stopped.\n",
                    kBoardSilenceSeconds);
      Write_InfoMessage(links.log, text, kError);
    } else if (rc >= 0) {
      Write_InfoMessage(links.log, "No event read!\n", kInfo);
    } else {
      Write_InfoMessage(links.log, "Communication Error!\n", kError);
    }
  }
  if (!present) st.readout.filled = 0;
  st.LastHeader = 0;
  if (present) std::memcpy(&st.LastHeader, st.readout.data, sizeof st.LastHeader);
  return present ? kDone : kFailed;
}

int Get_NbOfEvents(BoardLink& st) {
  if (!board_usable(st)) return 0;
  std::uint32_t n = 0;
  if (st.digitizer->GetNumEvents(st.DeviceHandle.load(), st.readout, &n) < 0) return 0;
  return static_cast<int>(n);
}

Status Decode_Event(BoardLink& st, RunState& run_state, MessageLog& log, const RunConfig& cfg,
                    int index) {
  if (cfg.charge_mode()) {
    decode_charges(run_state, st, cfg);
    return kDone;
  }
  if (!board_usable(st)) {
    invalid_event(run_state, log, index);
    return kFailed;
  }
  Digitizer& d = *st.digitizer;
  const int h = st.DeviceHandle.load();
  EventInfo info;
  const char* event_ptr = nullptr;
  if (d.GetEventInfo(h, st.readout, index, &info, &event_ptr) < 0 ||
      d.DecodeEvent(h, event_ptr, &st.CurrentEvent) < 0 || st.CurrentEvent == nullptr) {
    invalid_event(run_state, log, index);
    return kFailed;
  }
  bool first = true;
  for (int b = 0; b < cfg.blocks(); ++b) {
    const GroupEvent743& g = st.CurrentEvent->DataGroup[b];
    if (g.GrPresent == 0) continue;
    copy_block(run_state.event, b, g);
    if (first) {
      Compute_EventTime(run_state, cfg, g.TDC);
      first = false;
    }
  }
  return kDone;
}

void Compute_EventTime(RunState& st, const RunConfig& cfg, std::uint64_t raw) {
  RunData& r = st.run;
  if (raw < r.LastRawTdc) r.TdcOverflowOffset += kTdcWrap;
  r.LastRawTdc = raw;
  const std::uint64_t tdc = raw + r.TdcOverflowOffset;
  st.EventSeconds = r.LoopClockOffset + 16.0 * static_cast<double>(tdc) *
                                            sampling_period_from_index(cfg.sam[0].FrequencyIndex) /
                                            1e12;
  const std::string text = format_event_time(st.EventSeconds, cfg.acq.RunStartHour,
                                             cfg.acq.RunStartMinute, cfg.acq.RunStartSecond);
  auto& chain = st.event.EventTimeChain;
  chain.fill('\0');
  std::copy_n(text.begin(), std::min(text.size(), chain.size() - 1), chain.begin());
}

std::string format_event_time(double t, int start_hour, int start_minute, int start_second) {
  const auto whole = [](double v) { return static_cast<long long>(v); };
  const long long hours =
      whole((60.0 * start_minute + start_second + t) / 3600.0 + start_hour) % 24;
  const long long minutes = whole((start_second + t) / 60.0 + start_minute) % 60;
  const long long seconds = whole(t + start_second) % 60;
  const long long ms = whole(t * 1e3) % 1000;
  const long long us = whole(t * 1e6) % 1000;
  const long long ns = whole(t * 1e9) % 1000;
  char text[64];
  std::snprintf(text, sizeof text, "%02lldh%02lldm%02llds,%03lld.%03lld.%03lldns", hours, minutes,
                seconds, ms, us, ns);
  return text;
}

namespace {

bool charge_live(const RunConfig& cfg) {
  return !Event_HasSamples(cfg);
}

// The loop's own consumers, in stage order.
EventConsumers loop_consumers() {
  const auto samples = [](State&, const RunConfig& cfg) { return !charge_live(cfg); };
  return {
      {"firmware charges", EventStage::Charges,
       [](State&, const RunConfig& cfg) { return charge_live(cfg); },
       [](State& st, const RunConfig& cfg, const DecodedEvent& event) {
         st.run.FrameOwed = false;
         accumulate_firmware_charges(st, st, st, cfg, event);
       }},
      // Spectra are computed by their readers, for the events they take: the display, the
      // remote client and the saving (Compute_SpectrumOfEvent).
      {"noise", EventStage::Noise,
       [](State& st, const RunConfig& cfg) {
         return !charge_live(cfg) && st.NoiseMeasurementOn().load() == 1;
       },
       measure_noise},
      {"measurements", EventStage::Measurement,
       [](State&, const RunConfig& cfg) {
         return !charge_live(cfg) &&
                (cfg.gui.DisplayTimeOnWaveforms == 1 ||
                 (cfg.acq.SaveDataInFile == 1 && cfg.acq.MeasurementsEnabled == 1) ||
                 cfg.acq.SaveMeasurementsInFile == 1 || cfg.acq.EnTimeJitter == 1 ||
                 cfg.acq.EnSoftwareChargeHisto == 1);
       },
       [](State& st, const RunConfig& cfg, const DecodedEvent& event) {
         if (!st.run.MeasuredByFormatter) {
           measure_channels(st, st.pool, cfg, event);
         } else if (st.TransmitRunData().load() == 1 && cfg.acq.MeasurementsEnabled == 1) {
           // The client's record shows this event's results; the run's sums stay the
           // formatter's, which measures the event again from its copy.
           EventJobs jobs;
           Collect_EventJobs(st, cfg, event, jobs);
           Measure_EventJobs(jobs, st.results, nullptr);
         }
       }},
      {"display", EventStage::Display, samples,
       [](State& st, const RunConfig& cfg, const DecodedEvent& event) {
         const bool framed = frame_wanted(st, st, st, cfg, true);
         if (framed && st.display_attached && st.FFTMode().load() == 1)
           measure_spectrum(st, cfg, event);
         if (framed) call(st.hooks.compute_display, cfg, event);
         st.run.FrameOwed = !framed;
       }},
      {"rate measurement", EventStage::Rates,
       [](State& st, const RunConfig& cfg) {
         return !charge_live(cfg) && st.RateMeasurementOn().load() == 1;
       },
       [](State& st, const RunConfig& cfg, const DecodedEvent& event) {
         for (int b = 0; b < Run_NbOfBlocks(cfg); ++b)
           if (cfg.sam[b].RateCountersEnabled == 1)
             Update_RateMeasurement(st, st, st, cfg, event, b);
       }},
      {"saving", EventStage::Saving, [](State&, const RunConfig&) { return true; }, hand_over},
      {"run histograms", EventStage::Histograms,
       [](State&, const RunConfig& cfg) {
         return cfg.acq.EnTimeJitter == 1 || cfg.acq.EnSoftwareChargeHisto == 1;
       },
       [](State& st, const RunConfig& cfg, const DecodedEvent&) {
         update_run_histograms(st, st, st, cfg);
       }},
  };
}

}  // namespace

bool Event_HasSamples(const RunConfig& cfg) {
  return !(cfg.charge_mode() && !cfg.replaying());
}

void Register_EventConsumer(RunState& st, EventConsumer consumer) {
  auto& added = st.consumers_added;
  const auto same = std::find_if(added.begin(), added.end(),
                                 [&](const EventConsumer& c) { return c.name == consumer.name; });
  if (same != added.end())
    *same = std::move(consumer);
  else
    added.push_back(std::move(consumer));
}

EventConsumers Run_EventConsumers(const RunState& st) {
  EventConsumers list = loop_consumers();
  // Each after those of its stage already there.
  for (const EventConsumer& c : st.consumers_added) {
    const auto after = std::find_if(list.begin(), list.end(),
                                    [&](const EventConsumer& x) { return x.stage > c.stage; });
    list.insert(after, c);
  }
  return list;
}

void Process_Event(State& st, RunConfig& cfg) {
  if (!cfg.replaying()) {
    st.EventNumber.fetch_add(1);
    st.NbOfEventsInRun.fetch_add(1);
    st.meas.EventNumberForSigma.fetch_add(1);
  } else {
    if (!load_replayed_event(st, cfg)) {
      // A read that failed inside an event may have left part of it in the event record.
      if (st.files.Damaged || st.files.CutShort) st.run.FrameOwed = false;
      return;
    }
    st.NbOfEventsInRun.fetch_add(1);
  }

  // The event as the readout decoded it (or the reader read it), handed to each consumer.
  const DecodedEvent& event = st.event;
  st.run.SpectrumOfEvent = false;
  for (const EventConsumer& c : st.run_consumers)
    if (c.wanted(st, cfg)) c.consume(st, cfg, event);

  if (cfg.acq.EnTimeJitter == 0 && cfg.acq.INLCalibrationRunning == 0 &&
      st.DisplayOn().load() == 1 && cfg.sys.NbOfSAMBlocks < 3 && st.display_attached) {
    st.clock.delay(0.020);
  }
}

}  // namespace vx
