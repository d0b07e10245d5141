// Pedestal calibration: the average raw level of every physical cell of every channel,
// from software-triggered events with no signal at the inputs and the library's corrections
// off. The result is IndividualOffsetDistribution.
#pragma once

#include <optional>
#include <string>

#include "app/state.h"

namespace vx {

// Runs the calibration for all blocks when block is negative (with a block number it does
// nothing). True when the table was measured; after a failure (no events, a bad event, a
// stop or a cancel) the previous table stays as it was. The records are restored either way.
bool Calibrate_Matrice(State& st, int block);

// Reads an event count typed by the user: a non-negative decimal integer of at most eight
// characters, surrounding blanks allowed.
std::optional<int> parse_pedestal_event_count(const std::string& text);

// The menu's prompt, asked again until the answer reads as a count; nothing when the user
// cancelled (which is logged).
std::optional<int> Ask_PedestalEventCount(FrontEndLinks& st);

// The menu's action once the count is known: stops a running acquisition, then calibrates
// behind the wait cursor. Blocks its caller for the whole calibration: a front end with an
// event loop calls it on a worker.
bool Run_PedestalCalibration(State& st, int events);

}  // namespace vx
