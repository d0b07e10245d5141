#include "acquisition/measurement_calls.h"

#include "acquisition/acquisition_loop.h"
#include "analysis/charge.h"
#include "analysis/fft_noise.h"
#include "analysis/measurement_context.h"
#include "analysis/measurement_pass.h"
#include "analysis/rate_measurement.h"

namespace vx {

void reset_noise_statistics(State& st) {
  Reset_MeanSigma(st, -1);
}
void prepare_run_measurements(State& st) {
  Prepare_MeasurementsForRun(st);
  Init_RateMeasurement(st);
}
void measure_spectrum(State& st) {
  Compute_FFT(st);
}
void measure_noise(State& st) {
  Compute_NoiseMeasurement(st);
}
void measure_channels(State& st) {
  Compute_EventMeasurements(st);
}

void accumulate_firmware_charges(State& st) {
  Accumulate_FirmwareChargeHistos(st);
  if (frame_wanted(st, false) && st.hooks.compute_display) st.hooks.compute_display();
}

void update_run_histograms(State& st) {
  Update_RunMeasurements(st);
}
void finish_run_histograms(State& st) {
  Finish_MeasurementsForRun(st);
}

}  // namespace vx
