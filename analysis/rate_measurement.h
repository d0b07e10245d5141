// Live hit rates: the trigger and time counters each event carries, summed per channel
// until they are worth a rate, and the rate panel's controls.
#pragma once

#include <cstdint>
#include <string>

#include "app/run_config.h"
#include "app/state.h"

namespace vx {

// Rate r in triggers per microsecond as shown: value in the unit's scale and the unit text.
struct ShownRate {
  float value = 0.0f;
  int unit = 0;  // 1 " Hz", 2 "kHz", 3 "MHz"
};
ShownRate Scale_Rate(float per_microsecond);
const char* Rate_UnitText(int unit);  // "" for 0

// A rate counted from hits over a time, with its statistical uncertainty sqrt(N) / t (an
// empty count is given the uncertainty of one hit). Both in Hz; none without time.
struct RateEstimate {
  double hz = 0.0;
  double error_hz = 0.0;
  bool valid = false;
};
RateEstimate Rate_FromCounts(std::int64_t hits, double microseconds);

// A rate as shown: value and uncertainty ("1.02 ± 0.10") in the unit the rounded value takes
// (" Hz", "kHz", "MHz"); the value has three significant digits at most and no more decimals
// than the uncertainty's second significant digit, which the uncertainty shares.
struct RateText {
  std::string value;  // "-" for no rate
  std::string unit;
  std::string joined() const { return unit.empty() ? value : value + " " + trimmed_unit(); }
  std::string trimmed_unit() const {
    return !unit.empty() && unit[0] == ' ' ? unit.substr(1) : unit;
  }
};
RateText Format_Rate(const RateEstimate& rate);

// Clears the accumulators and the shown rates (run preparation).
void Init_RateMeasurement(RunState& st, Indicators& indicators);
// Adds the current event's counters of block to the sums of its enabled channels.
void Update_RateMeasurement(Indicators& st, RunState& run_state, FrontEndLinks& links,
                            const RunConfig& cfg, const DecodedEvent& event, int block);

// Panel controls.
void Enable_RateMeasurement(RunState& st, Settings& settings, FrontEndLinks& links, bool on);
void Select_RateStripChartChannel(Settings& st, FrontEndLinks& links, int channel);  // -1 = all
// Veto of the hit counting: enable and window (ns, kept divided by 5) of one channel, or of
// every channel when channel is -1.
void Set_TrigCountVeto(Settings& st, BoardLink& link, int channel, int enable, int window_ns);

}  // namespace vx
