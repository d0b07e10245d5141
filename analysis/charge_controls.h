// What the charge panels' controls do: the integration window of each channel, its
// threshold and baseline option, the window marked with the main graph's cursors, the
// histogram settings, and a copy of one channel's histogram for display. The desktop panels,
// the command line and the tests all call these; none of them stops a run by itself.
#pragma once

#include <cstdint>
#include <vector>

#include "app/board_port.h"
#include "app/state.h"

namespace vx {

// Window length in ns at the current sampling period.
double Charge_WindowNs(const Settings& st, int length);

// A start below 1 is refused (false). When the channel's length no longer fits after the
// new start (start + length < RecordLength - 1), the length is cut to fit.
bool Set_ChargeStart(Settings& st, int channel, int start);
// Refused (false) unless length >= 1 and start + length < RecordLength - 1.
bool Set_ChargeLength(Settings& st, int channel, int length);

// Firmware charge threshold in pC: the register value and the value shown back.
std::int32_t Charge_ThresholdValue(double pc, double period_ps);
double Charge_ThresholdShown(std::int32_t value, double period_ps);
void Set_ChargeThreshold(Settings& st, int channel, bool enabled, double pc);

// "Suppress Baseline", for every block at once.
void Set_ChargeSuppressBaseline(Settings& st, bool on);

// Copies the channel's start, length, threshold enable and threshold to every channel.
void Apply_ChargeParamsToAll(Settings& st, int channel);

// Sends the windows, baseline and threshold to the board for the firmware mode.
void Send_ChargeParamsToBoard(BoardPort port);

// The charge cursors on the main graph, whose x is in display points (ten per sample) and
// shifted by the display's alignment shift. A cursor at sample s sits at s * 10 + shift.
struct ChargeCursorX {
  double x1 = 0.0, x2 = 0.0;
};
// Where the cursors mark the channel's window: on its first and last samples.
ChargeCursorX Charge_CursorsForWindow(int start, int length, double shift);
// Snaps both cursors to whole samples of the plot: the first at sample 1 at least, the
// second at least one sample after the first, both inside [0, samples - 1].
ChargeCursorX Snap_ChargeCursors(ChargeCursorX at, double shift, int samples);
// Takes the window from the cursors: start = the smaller sample, length = the distance
// + 1. Returns false (nothing changed) when the window would be refused.
bool Validate_ChargeCursors(Settings& st, int channel, ChargeCursorX at, double shift);

// Charge histogram panel. Each rebuilds the software histograms when that mode is on.
void Set_ChargeHistoBins(Settings& st, RunState& run_state, FrontEndLinks& links, int bins);
void Set_ChargeCut(Settings& st, RunState& run_state, FrontEndLinks& links, int channel, bool on);
// Refused (false) unless min < max. A running loop keeps its range: stop it first (a settings
// restart) for the run to take the new one.
bool Set_ChargeHistoRange(Settings& st, RunState& run_state, FrontEndLinks& links, int channel,
                          double min, double max);
void Set_ChargeRangeAuto(Settings& st, bool on);
// The firmware histograms restart after the current event.
void Request_ChargeHistoReset(RunState& st);
// Rebuilds the software histograms when that mode is on (between runs: during one the
// acquisition thread owns the lists).
void Rebuild_SoftwareChargeHisto(Settings& st, RunState& run_state, FrontEndLinks& links);

// One channel's histogram as shown: bin centres, counts and statistics, and the run's range.
struct ChargeHistoView {
  int channel = 0;
  std::vector<double> axis, counts;
  double mean = 0.0, sigma = 0.0, min = 0.0, max = 0.0;
  std::int64_t entries = 0;  // sum of the counts
  double range_min = 0.0, range_max = 0.0;
  bool cut = false;
};
ChargeHistoView Charge_HistoView(const Settings& st, const RunState& run_state, int channel);

}  // namespace vx
