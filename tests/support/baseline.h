// The no-input baseline of every channel as the corrections in use leave it.
#pragma once

#include <cmath>
#include <vector>

#include "acquisition/acquisition_loop.h"
#include "acquisition/run_control.h"
#include "app/dac_conversions.h"
#include "calibration/calibration_pass.h"
#include "digitizer/board_configuration.h"

namespace vx::test {

// The rms around 0 of every channel's corrected samples over a number of software-triggered
// full-length events, ADC counts: the noise alone when the pedestal table fits the cells.
inline std::vector<double> baseline_rms(State& st, int events) {
  const int channels = 2 * st.sys.NbOfSAMBlocks;
  st.sys.TriggerSource = 2;
  Set_SystemTriggerMode(st);
  Set_SAMCorrectionLevel(st, st);
  std::vector<double> sum2(channels, 0.0);
  int taken = 0;
  Start_run(st);
  while (taken < events && Read_CalibrationPass(st) == PassResult::Events) {
    for (int i = 0; i < Get_NbOfEvents(st) && taken < events; ++i) {
      if (Decode_Event(st, st, st.log, Freeze_RunConfig(st), i) != kDone) continue;
      ++taken;
      for (int ch = 0; ch < channels; ++ch)
        for (const float v : st.event.FullyOrderedValues[ch / 2][ch % 2]) sum2[ch] += double{v} * v;
    }
  }
  Stop_run(st, st);
  std::vector<double> rms(channels, 0.0);
  for (int ch = 0; ch < channels && taken > 0; ++ch)
    rms[ch] = std::sqrt(sum2[ch] / (static_cast<double>(taken) * kMaxSamples));
  return rms;
}

// A channel's noise with the ADC's rounding, ADC counts.
inline double noise_alone_counts(double noise_mv) {
  return std::hypot(noise_mv * 1e-3 / kVoltsPerAdcCount, std::sqrt(1.0 / 12.0));
}

}  // namespace vx::test
