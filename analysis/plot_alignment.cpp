#include "analysis/plot_alignment.h"

#include <algorithm>

namespace vx {

void Set_PlotAlignment(Settings& st, bool on) {
  st.gui.PlotAlignment = on ? 1 : 0;
  if (on) st.acq.AveragingDataOn = 0;
}

void Set_PlotAlignmentOptions(Settings& st, int channel, int rising, float volts) {
  st.gui.PlotAlignmentOption1 = std::clamp(channel, 0, kMaxChannels - 1);
  st.gui.PlotAlignmentOption2 = rising != 0 ? 1 : 0;
  st.gui.PlotAlignmentValue = volts;
}

}  // namespace vx
