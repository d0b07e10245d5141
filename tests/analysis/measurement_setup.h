// Settings and synthetic pulses shared by the measurement tests.
#pragma once

#include <cmath>

#include "app/parameters.h"
#include "app/state.h"
#include "support/test_state.h"

namespace vx::test {

// The program's defaults on a 16-channel board at 3.2 GS/s, with the display refreshed
// only on its decimation rule (so that tests see no refresh unless they ask for one).
inline void set_measurement_defaults(State& st) {
  Init_Params(st);
  st.sys.NbOfSAMBlocks = 8;
  st.sys.NbOfChannels = 16;
  st.acq.DisplayOn = 0;
}

// A core state with those defaults.
struct MeasurementCore : TestCore {
  MeasurementCore() { set_measurement_defaults(state); }
  State& st = state;
};

// The sampling period at 3.2 GS/s, and a Gaussian's half width at half height over its sigma.
inline constexpr double kPeriodNs = 0.3125;
inline const double kHalfWidth = std::sqrt(2.0 * std::log(2.0));

// baseline + height * exp(-(i - centre)^2 / (2 sigma^2)), positions in samples.
inline void fill_gaussian(Samples& w, double baseline, double height, double centre, double sigma) {
  for (std::size_t i = 0; i < w.size(); ++i) {
    const double z = (static_cast<double>(i) - centre) / sigma;
    w[i] = static_cast<float>(baseline + height * std::exp(-0.5 * z * z));
  }
}

}  // namespace vx::test
