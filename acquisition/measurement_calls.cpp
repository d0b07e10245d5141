#include "acquisition/measurement_calls.h"

#include "acquisition/acquisition_loop.h"
#include "analysis/charge.h"
#include "analysis/fft_noise.h"
#include "analysis/histo_ranges.h"
#include "analysis/measurement_context.h"
#include "analysis/measurement_pass.h"
#include "analysis/rate_measurement.h"

namespace vx {

void reset_noise_statistics(RunState& st) {
  Reset_MeanSigma(st, -1);
}
void prepare_run_measurements(RunState& st, Indicators& indicators, FrontEndLinks& links,
                              const RunConfig& cfg) {
  Prepare_MeasurementsForRun(st, links, cfg);
  Init_RateMeasurement(st, indicators);
}
void measure_spectrum(RunState& st, const RunConfig& cfg, const DecodedEvent& event) {
  Compute_SpectrumOfEvent(st, cfg, event);
}
void measure_noise(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  Compute_NoiseMeasurement(st, cfg, event);
}
void measure_channels(RunState& st, ThreadPool& pool, const RunConfig& cfg,
                      const DecodedEvent& event) {
  Compute_EventMeasurements(st, pool, cfg, event);
}

void accumulate_firmware_charges(Settings& st, RunState& run_state, FrontEndLinks& links,
                                 const RunConfig& cfg, const DecodedEvent& event) {
  Accumulate_FirmwareChargeHistos(run_state, st, links, cfg);
  Post_HistoRanges(st, run_state, links);
  if (frame_wanted(run_state, st, links, cfg, false)) call(links.hooks.compute_display, cfg, event);
}

void update_run_histograms(Settings& st, RunState& run_state, FrontEndLinks& links,
                           const RunConfig& cfg) {
  Update_RunMeasurements(st, run_state, links, cfg);
  Post_HistoRanges(st, run_state, links);
}
void finish_run_histograms(Settings& st, RunState& run_state, FrontEndLinks& links,
                           const RunConfig& cfg) {
  Finish_MeasurementsForRun(run_state, links, cfg);
  Post_HistoRanges(st, run_state, links);
}

}  // namespace vx
