// Time non-linearity (INL) calibration from a sine wave: each event of a calibration run is
// accumulated per SAM block channel, and at the end of the run the width of every cell
// (DNL) and the accumulated time error of every cell (INL, ps) are computed.
#pragma once

#include <span>
#include <string>

#include "app/board_port.h"
#include "app/inl_calibration_data.h"
#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// The number of cell groups actually used: INLNbOfSegments when it divides 64, else 64.
int Inl_GroupCount(int requested);
bool Inl_GroupCountValid(int requested);

// Switching on also turns the board's INL correction off, selects the software trigger and
// applies both to the board. Switching off gives the INL correction back as it was.
void Enable_INLCalibration(BoardPort port, bool on);

// Per-run reset of the accumulators of every channel (interval references are kept).
void Clear_INLAccumulators(BoardLink& st, Settings& settings);
void Clear_INLChannel(InlChannelCalibration& k);

// One channel's event: `waveform` holds the 1024 time-ordered samples, `first_cell` the
// block's first-cell index.
struct InlAccumulateOptions {
  float threshold = 0.0f;  // counts
  int groups = 64;
  int inspected_cell = 0;
};
void Accumulate_INLChannel(InlChannelCalibration& k, std::span<const float> waveform,
                           int first_cell, const InlAccumulateOptions& options);
// Every enabled channel of every block of an event.
void Accumulate_INLCalibration(BoardLink& st, const RunConfig& cfg, const DecodedEvent& event);

struct InlComputeOptions {
  int groups = 64;
  double period_ps = 312.5;
  bool use_interval_ratio = true;
  int cell_offset = 0;
};
struct InlSummary {
  double frequency_mhz = 0.0;  // of the calibration sine; 0 when no interval was measured
  double inl_rms_ps = 0.0;
  double mean_segment_mv = 0.0;
  double dnl_rms_ps = 0.0;
};
InlSummary Compute_INLChannel(InlChannelCalibration& k, const InlComputeOptions& options);

// Whether a channel's results come from the calibration sine: crossings in every group of
// cells, the sine's frequency at the 16-cells-per-group period the analysis assumes (within
// 5 %), and an INL below a sampling period. Empty when usable, else what is wrong.
std::string Inl_ChannelRefusal(const InlChannelCalibration& k, const InlSummary& s,
                               const InlComputeOptions& options);

// Every enabled channel of every block, with the messages, then the histogram panel; sets
// usable, and reports every channel whose results are refused.
void Compute_INLCalibration(BoardLink& st, Settings& settings, FrontEndLinks& links);
// Asks the INL histogram panel to redraw from the results.
void Compute_LinearityHistos(FrontEndLinks& st);

// TimePedestals = ResidualSegments for each enabled channel of the block that the last
// calibration measured (an enabled channel it did not measure is told and left as it was);
// refused (false, with an error, the table unchanged) while the last calibration is not
// usable.
bool Save_INL_In_Array(BoardLink& st, Settings& settings, MessageLog& log, int block);

}  // namespace vx
