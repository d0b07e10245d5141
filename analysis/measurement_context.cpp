#include "analysis/measurement_context.h"

#include <algorithm>

#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"

namespace vx {

namespace {

bool is_modulo_event(State& st) {
  const int modulo = st.DisplayModulo().load();
  // A modulo of 0 would divide by zero; such a setting never selects an event.
  return modulo > 0 && st.EventNumber.load() % modulo == 0;
}

}  // namespace

float Measurement_SamplingPeriodPs(const State& st) {
  return static_cast<float>(Get_SamplingPeriod(st));
}

int Run_NbOfBlocks(const State& st) {
  const int blocks = replaying(st) ? st.acq.NbOfChannelsInFile / 2 : st.sys.NbOfSAMBlocks;
  return std::clamp(blocks, 0, kMaxSamBlocks);
}

int Run_NbOfSamples(const State& st) {
  const int n = replaying(st) ? st.acq.NbOfSamplesInFile : st.sys.RecordLength;
  return std::clamp(n, 0, kMaxSamples);
}

bool Is_DisplayEvent(State& st) {
  const int event = st.EventNumber.load();
  return st.DisplayOn().load() == 1 || is_modulo_event(st) || event == st.acq.NbOfEventsRequired ||
         st.StopRequest().load() == 1;
}

bool Is_HistoRefreshEvent(State& st) {
  const int event = st.EventNumber.load();
  const int required = st.acq.NbOfEventsRequired;
  return is_modulo_event(st) || event == required || required == 1 || st.StopRequest().load() == 1;
}

bool Is_ChannelEnabled(const State& st, int block, int channel) {
  const int flat = kChannelsPerBlock * block + channel;
  return flat >= 0 && flat < kMaxChannels && st.gui.ChannelEnabled[flat] == 1;
}

}  // namespace vx
