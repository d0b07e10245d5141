// Analysis results saved as text for later plotting: the rate-versus-threshold scan, the
// charge histograms and the time-difference histogram.
#pragma once

#include <filesystem>
#include <string>

#include "app/state.h"

namespace vx {

// File contents, from what is held in memory.
std::string RateVsThreshold_Text(const Settings& st, const RunState& run_state);
// A scan's rate as the result file holds it, truncated to whole hertz: whoever shows the rates
// beside the file shows these.
inline int RateVsThreshold_WholeHz(double hz) {
  return static_cast<int>(hz);
}
std::string ChargeHisto_Text(const Settings& st, const RunState& run_state);
std::string TimeHisto_Text(const Settings& st, const RunState& run_state);

// Writes one file at path (through a temporary file renamed into place) with the result's
// messages. Return 1 on success, negative on failure.
int Write_RateVsThresholdFile(const Settings& st, const RunState& run, FrontEndLinks& links,
                              const std::filesystem::path& path);
int Write_ChargeHistoFile(const Settings& st, const RunState& run, FrontEndLinks& links,
                          const std::filesystem::path& path);
int Write_TimeHistoFile(const Settings& st, const RunState& run, FrontEndLinks& links,
                        const std::filesystem::path& path);

// The panels' save buttons: a save dialog in the result's folder, then the file. A cancelled
// dialog writes nothing and returns 0.
int Save_RateVsThresholdPlotInFile(const Settings& st, const RunState& run, FrontEndLinks& links);
int Save_ChargeHistoInFile(const Settings& st, const RunState& run, FrontEndLinks& links);
int Save_TimeHistoInFile(const Settings& st, const RunState& run, FrontEndLinks& links);

}  // namespace vx
