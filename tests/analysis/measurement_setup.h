// Settings and synthetic pulses shared by the measurement tests.
#pragma once

#include <cmath>

#include "app/state.h"

namespace vx::test {

// The parameter defaults the measurements read, on a 16-channel board at 3.2 GS/s.
inline void set_measurement_defaults(State& st) {
  st.sys.NbOfSAMBlocks = 8;
  st.sys.NbOfChannels = 16;
  st.sys.RecordLength = 1024;
  st.acq.NbOfSamplesInFile = 1024;
  st.acq.NbOfChannelsInFile = 16;
  st.acq.NbOfBinsForSpline = 5;
  st.acq.NbOfBinsForBaseline = 32;
  st.acq.CFDMethod = 1;
  st.acq.CFDRatio = 0.5f;
  st.acq.NoMaxPeakThresholdDistance = 1;
  st.acq.MaxPeakThresholdDistance = 5.0f;
  st.acq.TimeHistoChannelA = 0;
  st.acq.TimeHistoChannelB = 1;
  st.acq.MinPulsesDistance = -10.0f;
  st.acq.MaxPulsesDistance = 10.0f;
  st.acq.ChargeRangeAuto = 1;
  st.gui.ChargeHistoNbOfBins = 100;
  st.gui.TimeHistoNbOfBins = 100;
  st.gui.TimeHistoOption1 = 1;
  st.gui.TimeHistoOption2 = 1;
  st.gui.TimeHistoMin = -100.0;
  st.gui.TimeHistoMax = 100.0;
  st.gui.DisplayModulo = 100;
  for (int ch = 0; ch < kMaxChannels; ++ch) st.gui.ChannelEnabled[ch] = 1;
  for (int b = 0; b < kMaxSamBlocks; ++b) {
    st.acq.ChargeHistoMin[b][0] = st.acq.ChargeHistoMin[b][1] = -50.0f;
    st.acq.ChargeHistoMax[b][0] = st.acq.ChargeHistoMax[b][1] = 50.0f;
    st.sam[b].FrequencyIndex = 0;
    st.sam[b].ChargeStartIndex[0] = st.sam[b].ChargeStartIndex[1] = 17;
    st.sam[b].ChargeLength[0] = st.sam[b].ChargeLength[1] = 1005;
  }
}

// baseline + height * exp(-(i - centre)^2 / (2 sigma^2)), positions in samples.
inline void fill_gaussian(Samples& w, double baseline, double height, double centre, double sigma) {
  for (std::size_t i = 0; i < w.size(); ++i) {
    const double z = (static_cast<double>(i) - centre) / sigma;
    w[i] = static_cast<float>(baseline + height * std::exp(-0.5 * z * z));
  }
}

}  // namespace vx::test
