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
void prepare_run_measurements(State& st, const RunConfig& cfg) {
  Prepare_MeasurementsForRun(st, cfg);
  Init_RateMeasurement(st);
}
void measure_spectrum(RunState& st, const RunConfig& cfg, const DecodedEvent& event) {
  Compute_FFT(st, cfg, event);
}
void measure_noise(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  Compute_NoiseMeasurement(st, cfg, event);
}
void measure_channels(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  Compute_EventMeasurements(st, cfg, event);
}

void accumulate_firmware_charges(State& st, const RunConfig& cfg, const DecodedEvent& event) {
  Accumulate_FirmwareChargeHistos(st, cfg);
  Post_HistoRanges(st);
  if (frame_wanted(st, cfg, false)) call(st.hooks.compute_display, event);
}

void update_run_histograms(State& st, const RunConfig& cfg) {
  Update_RunMeasurements(st, cfg);
  Post_HistoRanges(st);
}
void finish_run_histograms(State& st, const RunConfig& cfg) {
  Finish_MeasurementsForRun(st, cfg);
  Post_HistoRanges(st);
}

}  // namespace vx
