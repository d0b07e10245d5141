#include "files/setup_ranges.h"

#include <climits>
#include <cstdint>
#include <vector>

namespace vx {

namespace {

struct Range {
  std::string name;
  std::int64_t value, lo, hi;
};

void add(std::vector<Range>& out, std::string name, std::int64_t value, std::int64_t lo,
         std::int64_t hi) {
  out.push_back({std::move(name), value, lo, hi});
}

std::vector<Range> ranges(const SetupImages& f, int blocks) {
  const int channels = 2 * blocks;
  const int last_channel = kMaxChannels - 1;
  std::vector<Range> r;
  const SystemParams& s = f.sys;
  add(r, "SystemParams.NbOfChannels", s.NbOfChannels, channels, channels);
  add(r, "SystemParams.RecordLength", s.RecordLength, 16, kMaxSamples);
  add(r, "SystemParams.TriggerSource", s.TriggerSource, 0, 3);
  add(r, "SystemParams.PrimitivesGateLength", s.PrimitivesGateLength, 0, 255);
  add(r, "SystemParams.MonitorGain", s.MonitorGain, 0, 10);
  const AcqParams& a = f.acq;
  add(r, "AcqParams.RunType", a.RunType, 0, 3);
  add(r, "AcqParams.MaxNumEventsBLT", a.MaxNumEventsBLT, 1, 1024);
  add(r, "AcqParams.NbOfEventsRequired", a.NbOfEventsRequired, 0, INT_MAX);
  add(r, "AcqParams.NbOfEventsPerFile", a.NbOfEventsPerFile, 0, INT_MAX);
  add(r, "AcqParams.DataFileType", a.DataFileType, 0, 1);
  add(r, "AcqParams.TimeHistoChannelA", a.TimeHistoChannelA, INT_MIN, last_channel);
  add(r, "AcqParams.TimeHistoChannelB", a.TimeHistoChannelB, INT_MIN, last_channel);
  for (int b = 0; b < blocks; ++b) {
    const SAMBlockParams& k = f.sam[b];
    const std::string block = "SAMBlockParams[" + std::to_string(b) + "].";
    add(r, block + "RecordLength16", k.RecordLength16, 1, kMaxSamples / 16);
    add(r, block + "FrequencyIndex", k.FrequencyIndex, 0, 3);
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const std::string index = "[" + std::to_string(c) + "]";
      add(r, block + "ChargeStartIndex" + index, k.ChargeStartIndex[c], 0, kMaxSamples - 1);
      add(r, block + "ChargeLength" + index, k.ChargeLength[c], 0, kMaxSamples);
    }
  }
  // The samples per channel are block 0's depth.
  if (blocks > 0) {
    const int depth = 16 * f.sam[0].RecordLength16;
    add(r, "SystemParams.RecordLength", s.RecordLength, depth, depth);
  }
  const GuiParams& g = f.gui;
  add(r, "GuiParams.GraphMode", g.GraphMode, 0, 4);
  add(r, "GuiParams.DisplayModulo", g.DisplayModulo, 1, 1024);
  add(r, "GuiParams.ChargeHistoNbOfBins", g.ChargeHistoNbOfBins, 1, 2000);
  add(r, "GuiParams.TimeHistoNbOfBins", g.TimeHistoNbOfBins, 1, 1000);
  add(r, "GuiParams.SelectedChannel", g.SelectedChannel, 0, last_channel);
  add(r, "GuiParams.ChargeHistoChannel", g.ChargeHistoChannel, 0, last_channel);
  add(r, "GuiParams.RateStripChartChannel", g.RateStripChartChannel, -1, last_channel);
  add(r, "GuiParams.NoiseStripChartChannel", g.NoiseStripChartChannel, -1, last_channel);
  return r;
}

}  // namespace

std::optional<std::string> Find_SetupValueOutOfRange(const SetupImages& images, int blocks) {
  for (const Range& r : ranges(images, blocks)) {
    if (r.value >= r.lo && r.value <= r.hi) continue;
    return r.name + " = " + std::to_string(r.value) + " is out of range (" + std::to_string(r.lo) +
           " to " + std::to_string(r.hi) + ")";
  }
  return std::nullopt;
}

}  // namespace vx
