// The body of a run: arm, read a block of events, decode and process each, until the
// event limit, a stop request or an error.
#pragma once

#include <cstdint>
#include <string>

#include "app/run_config.h"
#include "app/state.h"
#include "app/status.h"

namespace vx {

// A board triggered by software at every readout that delivers nothing for this long is
// faulty: the run ends with an error.
inline constexpr double kBoardSilenceSeconds = 5.0;

// The loop of a run under the settings cfg, taken as it was launched (its own copy).
void Prepare_ForAcquisition(State& st, RunConfig cfg);
void Arm_Boards(State& st, const RunConfig& cfg);
void Arm_Board(State& st, const RunConfig& cfg);
// kDone with a block of events in the readout buffer; kFailed (said why, run stopped) else.
Status Read_BoardData(BoardLink& st, Settings& settings, FrontEndLinks& links,
                      const RunConfig& cfg);
int Get_NbOfEvents(BoardLink& st);
// kFailed when the event cannot be decoded (said why).
Status Decode_Event(BoardLink& st, RunState& run_state, MessageLog& log, const RunConfig& cfg,
                    int index);
// Hands the current event to the consumers the run took at its start. A replay reads the
// event here, and takes the file's channels into cfg.
void Process_Event(State& st, RunConfig& cfg);

// Whether the current event carries samples: not the live board's events in charge mode,
// where the firmware's charges stand for them.
bool Event_HasSamples(const RunConfig& cfg);
// Adds a consumer to every run from the next start on (one of the same name is replaced).
// The layers above the loop register theirs before any run starts.
void Register_EventConsumer(RunState& st, EventConsumer consumer);
// The consumers of a run starting now: the loop's own and those registered, in stage order.
EventConsumers Run_EventConsumers(const RunState& st);

// Whether the current event is displayed; with_first also counts event 1 (the event
// counter and the waveform histograms refresh on it).
bool display_condition(RunState& st, Settings& settings, const RunConfig& cfg, bool with_first);
// Whether the loop computes a display frame for the current event: on display events, at
// most one per DisplayFrameInterval, but always for the first event, the last one of a
// finite run and the one during which a stop is asked (what stays on screen is the end).
bool frame_wanted(RunState& st, Settings& settings, FrontEndLinks& links, const RunConfig& cfg,
                  bool with_first);

// Extends the 40-bit time stamp of a block and formats the event time.
void Compute_EventTime(RunState& st, const RunConfig& cfg, std::uint64_t raw_tdc);
std::string format_event_time(double seconds_since_start, int start_hour, int start_minute,
                              int start_second);

}  // namespace vx
