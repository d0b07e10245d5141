// The acquisition-settings controls: what each control of the horizontal, vertical and
// trigger pages and of the pulser, monitor and debug panels does. The desktop pages, the
// command line and the tests all call these. Every operation that touches the board stops a
// running acquisition, applies the change and restarts the run where it was (same files, the
// numbering going on).
#pragma once

#include <string>

#include "analysis/main_graph.h"
#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// Ranges the controls accept; a front end refuses anything outside them.
inline constexpr int kMinRecordColumns = 1;
inline constexpr int kMaxRecordColumns = 64;  // 64 x 16 = 1024 samples
inline constexpr int kMaxPostTrigger = 254;   // stored + 1, the board takes one byte
inline constexpr int kMaxGateLengthNs = 255 * 5;
inline constexpr int kMaxOverallTriggerOption = 2;  // OR, AND, majority
inline constexpr int kMaxMonitorGain = 10;          // power of two
inline constexpr int kMaxMonitorMode = 4;
inline constexpr float kOffsetRangeVolts = 1.25f;

// Display group: a channel acquired and shown (its SAM block is read while either of its
// channels is on).
void Set_ChannelEnabled(ControlPort port, int channel, bool on);

// Horizontal page.
void Set_RecordColumns(ControlPort port, int columns);
// Returns false when the change is refused (switching off at full depth: the popup only).
bool Set_FullRecordingDepth(ControlPort port, bool on);
// 400, 800, 1600 or 3200 MS/s (anything else selects 3200).
void Set_SamplingFrequency(ControlPort port, int frequency_mhz);
void Set_PostTriggerDelay(ControlPort port, int value);
int post_trigger_delay(const Settings& st);  // as shown: stored value - 1

// The INL correction the library applies to the samples ("Enable Time INL correction").
void Set_InlCorrection(ControlPort port, bool on);

// Vertical page.
// Logs the channel message and returns false when the board has no such channel.
bool Select_Channel(Settings& st, FrontEndLinks& links, int channel);
// channel -1: every channel of the board.
void Set_Offset(ControlPort port, int channel, float volts);
// Display settings only: they neither stop a run nor refresh the panels.
void Set_VerticalScale(Settings& st, FrontEndLinks& links, int channel, int mv_per_div);
void Set_VerticalPosition(Settings& st, FrontEndLinks& links, int channel, float divisions);
// "Auto scale": each channel drawn in the frame (waveforms in divisions only) gets the
// smallest scale at which its trace fits the screen at its position. Returns the channels
// scaled.
int Auto_VerticalScale(Settings& st, FrontEndLinks& links, const DisplayFrame& frame);
// 0 Equidistant (positions spread over the screen), 1 Merged (amplitudes in volts, no
// scale or position), 2 User defined.
void Set_AmplitudeDisplayType(Settings& st, FrontEndLinks& links, int type);

// Trigger page. channel -1: every channel of the board.
void Set_TriggerSourceOption(ControlPort port, int source);
void Set_TriggerEdge(ControlPort port, int channel, int polarity);
void Set_Threshold(ControlPort port, int channel, float volts);
void Set_TriggerEnable(ControlPort port, int channel, bool on);
// block -1: every block.
void Set_PairLogic(ControlPort port, int block, bool coincidence_and);
// Rounds down to a multiple of 5 ns; returns what the page shows.
int Set_GateLength(ControlPort port, int ns);
int gate_length_ns(const Settings& st);
void Set_OverallTriggerOption(ControlPort port, int option);
void Set_Majority(ControlPort port, int majority);
void Set_ExternalTriggerNim(ControlPort port, bool nim);
void Set_ExternalTriggerAsGate(ControlPort port, bool gate);

// Pulser panel. channel -1: every channel of the board.
void Set_PulsePattern(ControlPort port, int channel, int pattern);
void Set_PulseEnable(ControlPort port, int channel, bool on);
void Set_PulserType(ControlPort port, int source);
void Set_PulseMode(ControlPort port, bool on);

// Monitor and debug panels.
void Set_MonitorGain(ControlPort port, int exponent);
void Set_MonitorMode(ControlPort port, int mode);
void Set_Adc20MHz(ControlPort port, bool on);
void Set_DebugSamBlock(Settings& st, int block);

}  // namespace vx
