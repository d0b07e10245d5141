// What the measurements need to know about the current run, from its frozen settings: how many
// blocks and samples an event has, the sampling period, the run's event count and when
// results are shown.
#pragma once

#include <string>

#include "app/dac_conversions.h"
#include "app/message_log.h"
#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// Sampling period in ps of block 0's frequency setting.
float Measurement_SamplingPeriodPs(const SamBlocks& sam);

// Blocks of an event: NbOfSAMBlocks live, half the file's channels when replaying.
int Run_NbOfBlocks(const RunConfig& cfg);

// Samples per channel: RecordLength live, NbOfSamplesInFile when replaying.
int Run_NbOfSamples(const RunConfig& cfg);

// The display condition of the acquisition loop: DisplayOn, or EventNumber a multiple of
// DisplayModulo, or the last required event, or a stop request.
bool Is_DisplayEvent(Settings& st, RunState& run_state, const RunConfig& cfg);

// Events on which the run's histograms are rebuilt: EventNumber a multiple of
// DisplayModulo, the last required event, a one-event run, or a stop request.
bool Is_HistoRefreshEvent(Settings& st, RunState& run_state, const RunConfig& cfg);

bool Is_ChannelEnabled(const RunConfig& cfg, int block, int channel);

}  // namespace vx
