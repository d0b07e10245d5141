// Charge of a pulse from its waveform, and the per-channel charge histograms: built from
// the run's charges in software mode (event by event, rebuilt from the lists when their
// settings change), accumulated from the board's charges in firmware mode.
#pragma once

#include <span>

#include "app/board_port.h"
#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// Sum of (sample - baseline) over [start, min(start + length, nbSamples)), in pC.
// The baseline is the mean of the first nbBaselineSamples samples (0 when none) and is
// returned in volts.
float Compute_Charge(Settings& st, std::span<const float> waveform, int nbBaselineSamples,
                     int nbSamples, int start, int length, float& baseline);

// Clears the histograms of every channel at run setup.
void Init_ChargeHistos(RunState& st, const RunConfig& cfg);

// Rebuilds the software histograms of the run's channels from ComputedChargeForHisto.
void Compute_SoftwareChargeHisto(RunState& st, MessageLog& log, const RunConfig& cfg);

// Takes the charges measured since the last call into the software histograms and their
// statistics (after each event of a run); a channel whose settings changed is rebuilt.
void Update_SoftwareChargeHistos(RunState& st, const RunConfig& cfg);

// Display refresh: takes the new charges, rebuilds a histogram whose range has to follow
// new extremes (at most once per eighth of growth of the run, and always at run_end,
// unless its list already let entries go) and shows the statistics.
void Refresh_SoftwareChargeHistos(RunState& st, const RunConfig& cfg, bool run_end);

// Adds the current event's firmware charges (ChargeDataValues, NbOfValidChargeWords) to
// the histograms; on the first event of a run or after a reset request the histograms
// restart and, with ChargeRangeAuto, take their range from the event's charges.
void Accumulate_FirmwareChargeHistos(RunState& st, Settings& settings, FrontEndLinks& links,
                                     const RunConfig& cfg);

// Asks the front end to show the histogram of ChargeHistoChannel again.
void Plot_ChargeHisto(FrontEndLinks& st);

enum class ChargeMode { Off = 0, Firmware = 1, Software = 2 };

// The charge panel's mode control.
void Select_ChargeMode(BoardPort port, ChargeMode mode);

}  // namespace vx
