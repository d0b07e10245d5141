#include "analysis/measurement_context.h"

#include <algorithm>

#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"

namespace vx {

namespace {

bool is_modulo_event(Settings& st, RunState& run_state) {
  const int modulo = st.DisplayModulo().load();
  // A modulo of 0 would divide by zero; such a setting never selects an event.
  return modulo > 0 && run_state.EventNumber.load() % modulo == 0;
}

}  // namespace

float Measurement_SamplingPeriodPs(const SamBlocks& sam) {
  return static_cast<float>(sampling_period_from_index(sam[0].FrequencyIndex));
}

int Run_NbOfBlocks(const RunConfig& cfg) {
  const int blocks = cfg.replaying() ? cfg.acq.NbOfChannelsInFile / 2 : cfg.sys.NbOfSAMBlocks;
  return std::clamp(blocks, 0, kMaxSamBlocks);
}

int Run_NbOfSamples(const RunConfig& cfg) {
  const int n = cfg.replaying() ? cfg.acq.NbOfSamplesInFile : cfg.sys.RecordLength;
  return std::clamp(n, 0, kMaxSamples);
}

bool Is_DisplayEvent(Settings& st, RunState& run_state, const RunConfig& cfg) {
  const int event = run_state.EventNumber.load();
  return st.DisplayOn().load() == 1 || is_modulo_event(st, run_state) ||
         event == cfg.acq.NbOfEventsRequired || st.StopRequest().load() == 1;
}

bool Is_HistoRefreshEvent(Settings& st, RunState& run_state, const RunConfig& cfg) {
  const int event = run_state.EventNumber.load();
  const int required = cfg.acq.NbOfEventsRequired;
  return is_modulo_event(st, run_state) || event == required || required == 1 ||
         st.StopRequest().load() == 1;
}

bool Is_ChannelEnabled(const RunConfig& cfg, int block, int channel) {
  const int flat = kChannelsPerBlock * block + channel;
  return flat >= 0 && flat < kMaxChannels && cfg.gui.ChannelEnabled[flat] == 1;
}

}  // namespace vx
