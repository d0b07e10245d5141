#include "files/setup_ranges.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace vx {

namespace {

using Record = SetupFieldRange::Record;
using Kind = SetupFieldRange::Kind;

// Ranges of the controls that set the values (the panels, the command line); a file that
// holds anything else was not written by this program, or was damaged.
constexpr double kOffsetVolts = 1.25;     // DC offset, and a threshold's reach around it
constexpr double kVolts = 2.5;            // amplitudes and thresholds entered in volts
constexpr double kCounts = 2.5 * 1638.0;  // the same in ADC counts
constexpr double kMaxGain = 25.5;         // a gain byte of the EEPROM holds ten times the gain
constexpr double kHistoNs = 100000.0;
constexpr double kChargePc = 1e6;
constexpr double kPositionDivisions = 1e5;  // 100 V at 1 mV per division
constexpr double kAny = 1e300;              // computed values: only a number is required
constexpr double kIntMax = INT_MAX;
constexpr double kSlack = 1e-3;  // what a float's rounding adds to a bound

template <typename T>
constexpr Kind kind_of() {
  using E = std::remove_all_extents_t<T>;
  if constexpr (std::is_same_v<E, float>) return Kind::F32;
  if constexpr (std::is_same_v<E, double>) return Kind::F64;
  if constexpr (std::is_same_v<E, std::uint16_t>) return Kind::U16;
  static_assert(std::is_same_v<E, std::int32_t> || std::is_same_v<E, float> ||
                std::is_same_v<E, double> || std::is_same_v<E, std::uint16_t>);
  return Kind::I32;
}

template <typename T>
constexpr SetupFieldRange range(Record record, const char* name, std::size_t offset, double lo,
                                double hi) {
  using E = std::remove_all_extents_t<T>;
  return {record, name, offset, kind_of<T>(), static_cast<int>(sizeof(T) / sizeof(E)), lo, hi};
}

#define VX_SYS(field, lo, hi)                                                                     \
  range<decltype(SystemParams::field)>(Record::System, #field, offsetof(SystemParams, field), lo, \
                                       hi)
#define VX_ACQ(field, lo, hi) \
  range<decltype(AcqParams::field)>(Record::Acq, #field, offsetof(AcqParams, field), lo, hi)
#define VX_BLK(field, lo, hi)                                                                    \
  range<decltype(SAMBlockParams::field)>(Record::Block, #field, offsetof(SAMBlockParams, field), \
                                         lo, hi)
#define VX_GUI(field, lo, hi) \
  range<decltype(GuiParams::field)>(Record::Gui, #field, offsetof(GuiParams, field), lo, hi)

constexpr int kLastChannel = kMaxChannels - 1;

// In the order they are checked: the records in file order, block by block.
constexpr SetupFieldRange kRanges[] = {
    VX_SYS(NbOfChannels, 0, kMaxChannels),  // and twice the block count
    VX_SYS(NbOfEnabledSAMBlocks, 0, kMaxSamBlocks),
    VX_SYS(RecordLength, 16, kMaxSamples),  // and block 0's depth
    VX_SYS(TriggerSource, 0, 3),
    VX_SYS(OverallTriggerLogic, 0, 2),
    VX_SYS(MajorityLevel, 0, kMaxSamBlocks - 1),
    VX_SYS(ExtTrigInAsGate, 0, 1),
    VX_SYS(PrimitivesGateLength, 0, 255),
    VX_SYS(Adc20MHzOnOff, 0, 1),
    VX_SYS(ExternalTriggerType, 0, 1),
    VX_SYS(MonitorGain, 0, 10),
    VX_SYS(MonitorMode, 0, 4),
    VX_SYS(SyncMode, 0, 1),
    VX_SYS(BoardMasterMode, 0, 1),
    VX_SYS(SlaveNumber, 0, 15),
    VX_SYS(NumberOfSlaves, 0, 15),
    VX_SYS(UseLvdsIO, 0, 1),
    VX_SYS(VetoInExtraLatency, 0, 255),

    VX_ACQ(RunFromFile, 0, 1),
    VX_ACQ(RunType, 0, 3),
    VX_ACQ(RunDuration, 0, kIntMax),
    VX_ACQ(DisplayOn, 0, 1),
    VX_ACQ(MaxNumEventsBLT, 1, 1024),
    VX_ACQ(NbOfEventsRequired, 0, kIntMax),
    VX_ACQ(StopRequest, 0, 1),
    VX_ACQ(TCPCommandsEnabled, 0, 1),
    VX_ACQ(TransmitRunDataToTcpClient, 0, 1),
    VX_ACQ(FFTMode, 0, 1),
    VX_ACQ(AveragingDataOn, 0, 1),
    VX_ACQ(SelectedLine, 0, 15),
    VX_ACQ(NbOfBinsForSpline, 1, 100),
    VX_ACQ(NbOfBinsForBaseline, 1, kMaxSamples),
    VX_ACQ(INLCalibrationRunning, 0, 1),
    VX_ACQ(PulseMode, 0, 1),
    VX_ACQ(INLUseIntervalRatio, 0, 1),
    VX_ACQ(EnSoftwareChargeHisto, 0, 1),
    VX_ACQ(EnTimeJitter, 0, 1),
    VX_ACQ(CFDMethod, 0, 1),
    VX_ACQ(CFDRatio, 0.0, 1.0),
    // A negative channel A means no time histogram.
    VX_ACQ(TimeHistoChannelA, INT_MIN, kLastChannel),
    VX_ACQ(TimeHistoChannelB, INT_MIN, kLastChannel),
    VX_ACQ(NoMaxPeakThresholdDistance, 0, 1),
    VX_ACQ(MaxPeakThresholdDistance, 0.0, 1000.0),
    VX_ACQ(MinPulsesDistance, -1000.0, 1000.0),
    VX_ACQ(MaxPulsesDistance, -1000.0, 1000.0),
    VX_ACQ(EnExcludeBelowAmplitude, 0, 1),
    VX_ACQ(MinPeakAmplitude, -kVolts, kVolts),
    VX_ACQ(EnExcludeAboveAmplitude, 0, 1),
    VX_ACQ(MaxPeakAmplitude, -kVolts, kVolts),
    VX_ACQ(INLCalibPanelValue, -kCounts, kCounts),
    VX_ACQ(PulseThreshold, -kCounts, kCounts),
    VX_ACQ(PulseEdge, 0, 1),
    VX_ACQ(INLCalibOption, 0, kMaxSamples - 1),
    VX_ACQ(INLCorrectionEnabled, 0, 1),
    VX_ACQ(SaveDataInFile, 0, 1),
    VX_ACQ(MeasurementsEnabled, 0, 1),
    VX_ACQ(SplitFileToSaveData, 0, 1),
    VX_ACQ(NbOfEventsPerFile, 0, kIntMax),
    VX_ACQ(SaveMeasurementsInFile, 0, 1),
    VX_ACQ(DataFileType, 0, 1),
    VX_ACQ(PopupForFileName, 0, 1),
    VX_ACQ(AddSystemDate, 0, 1),
    VX_ACQ(AddSystemTime, 0, 1),
    VX_ACQ(AddRunId, 0, 1),
    VX_ACQ(AutoIncRunId, 0, 1),
    VX_ACQ(RunIdUser, 0, kIntMax),
    VX_ACQ(NbOfSamplesInFile, 0, kMaxSamples),
    VX_ACQ(NbOfChannelsAcquiredInFile, 0, kMaxChannels),
    VX_ACQ(NbOfChannelsInFile, 0, kMaxChannels),
    VX_ACQ(DebugSamBlock, 0, kMaxSamBlocks - 1),
    VX_ACQ(ChargeRangeAuto, 0, 1),
    VX_ACQ(ChargeCutEnabled, 0, 1),
    VX_ACQ(ChargeHistoMin, -kChargePc, kChargePc),
    VX_ACQ(ChargeHistoMax, -kChargePc, kChargePc),
    VX_ACQ(RateScanStartThreshold, -kOffsetVolts, kOffsetVolts),
    VX_ACQ(RateScanEndThreshold, -kOffsetVolts, kOffsetVolts),
    VX_ACQ(RateScanNbOfSteps, 1, 10000),
    VX_ACQ(RateScanStepValue, 0.001, 3600.0),
    VX_ACQ(RateScanRunning, 0, 1),
    VX_ACQ(RateScanFlag, 0, 1),

    VX_BLK(ControlRegBit0, 0, 1),
    VX_BLK(BoardGain, 0.0, kMaxGain),
    VX_BLK(OffsetGain, 0.0, kMaxGain),
    VX_BLK(TriggerRegBit0, 0, 1),
    VX_BLK(TriggerRegBit2, 0, 1),
    VX_BLK(TriggerPolarity, 0, 1),
    VX_BLK(TriggerEnable, 0, 1),
    VX_BLK(ControlRegBit6, 0, 1),
    VX_BLK(ControlRegBit7, 0, 1),
    VX_BLK(CoincidenceAND, 0, 1),
    VX_BLK(TriggerGateRegHigh, 0, 1),
    VX_BLK(PedestalPerCell, 0, 1),
    VX_BLK(FrequencyIndex, 0, 3),
    VX_BLK(PostTrigger, 1, 255),  // the delay plus one
    VX_BLK(RateCountersEnabled, 0, 1),
    VX_BLK(TrigCountVetoEnable, 0, 1),
    VX_BLK(RecordLength16, 1, kMaxSamples / 16),
    VX_BLK(TriggerThreshold, -kVolts, kVolts),  // and within reach of its offset
    VX_BLK(DCOffset, -kOffsetVolts, kOffsetVolts),
    VX_BLK(ChargeNoBaseline, 0, 1),
    VX_BLK(ChargeModeEnabled, 0, 1),
    VX_BLK(ChargeStartIndex, 0, kMaxSamples - 1),
    VX_BLK(ChargeLength, 0, kMaxSamples),
    VX_BLK(ChargeThresholdFlag, 0, 1),
    VX_BLK(ChargeThreshold, 0, 0x7FFFFF),  // 23 bits
    VX_BLK(ChargeThresholdVolts, -kChargePc, kChargePc),
    VX_BLK(PulseEnable, 0, 1),
    VX_BLK(PulseSource, 0, 1),
    VX_BLK(NoResetPerReadout, 0, 1),
    VX_BLK(ControlRegBit2, 0, 1),

    VX_GUI(ChannelEnabled, 0, 1),
    VX_GUI(ThresholdVolts, -kVolts, kVolts),
    VX_GUI(ThresholdMin, -kVolts, kVolts),
    VX_GUI(ThresholdMax, -kVolts, kVolts),
    VX_GUI(ChargeHistoNbOfBins, 1, 2000),
    VX_GUI(TimeHistoNbOfBins, 1, 1000),
    VX_GUI(TimeHistoOption1, 0, 1),
    VX_GUI(TimeHistoOption2, 0, 1),
    VX_GUI(TimeHistoMin, -kHistoNs, kHistoNs),
    VX_GUI(TimeHistoMax, -kHistoNs, kHistoNs),
    VX_GUI(VerticalPosition, -kPositionDivisions, kPositionDivisions),
    VX_GUI(SelectedChannel, 0, kLastChannel),
    VX_GUI(VerticalScale, 1, 5000),
    VX_GUI(DisplayTimeOnWaveforms, 0, 1),
    VX_GUI(DisplayModulo, 1, 1024),
    VX_GUI(RateMeasurementOn, 0, 1),
    VX_GUI(RateStripChartChannel, -1, kLastChannel),
    VX_GUI(NoiseMeasurementOn, 0, 1),
    VX_GUI(NoiseStripChartChannel, -1, kLastChannel),
    VX_GUI(GraphOptionCharge, 0, 1),
    VX_GUI(GraphMode, 0, 4),
    VX_GUI(XLabelScale, -kAny, kAny),
    VX_GUI(ChannelGain, -kAny, kAny),
    VX_GUI(ChannelOffset, -kAny, kAny),
    VX_GUI(YAxisMin, -kAny, kAny),
    VX_GUI(YAxisMax, -kAny, kAny),
    VX_GUI(AmplitudeInVolts, 0, 1),
    VX_GUI(DisplayOption, 0, 1),
    VX_GUI(PlotAlignment, 0, 1),
    VX_GUI(PlotAlignmentOption1, 0, kLastChannel),
    VX_GUI(PlotAlignmentOption2, 0, 1),
    VX_GUI(PlotAlignmentValue, -kVolts, kVolts),
    VX_GUI(ChargeHistoChannel, 0, kLastChannel),
    VX_GUI(RateVsThresholdChannel, -1, kLastChannel),
};

#undef VX_SYS
#undef VX_ACQ
#undef VX_BLK
#undef VX_GUI

std::size_t element_size(Kind kind) {
  switch (kind) {
    case Kind::U16:
      return 2;
    case Kind::F64:
      return 8;
    default:
      return 4;
  }
}

double element(const unsigned char* p, Kind kind) {
  switch (kind) {
    case Kind::I32: {
      std::int32_t v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case Kind::U16: {
      std::uint16_t v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case Kind::F32: {
      float v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case Kind::F64: {
      double v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
  }
  return 0.0;
}

bool is_real(Kind kind) {
  return kind == Kind::F32 || kind == Kind::F64;
}

std::string number_text(double v, bool real) {
  if (!real) return std::to_string(static_cast<long long>(v));
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string out_of_range(const std::string& name, double v, double lo, double hi, bool real) {
  if (real && std::fabs(lo) == kAny)
    return name + " = " + number_text(v, true) + " is not a number";
  return name + " = " + number_text(v, real) + " is out of range (" + number_text(lo, real) +
         " to " + number_text(hi, real) + ")";
}

bool in_range(double v, double lo, double hi, bool real) {
  if (!real) return v >= lo && v <= hi;
  return std::isfinite(v) && v >= lo - kSlack && v <= hi + kSlack;
}

const char* record_name(Record r) {
  switch (r) {
    case Record::System:
      return "SystemParams.";
    case Record::Acq:
      return "AcqParams.";
    case Record::Block:
      return "SAMBlockParams[";
    case Record::Gui:
      return "GuiParams.";
  }
  return "";
}

// The name of element i of a field as messages give it.
std::string element_name(const SetupFieldRange& f, int block, int i) {
  std::string name = record_name(f.record);
  if (f.record == Record::Block) name += std::to_string(block) + "].";
  name += f.name;
  if (f.count > 1) name += "[" + std::to_string(i) + "]";
  return name;
}

// The first element of a field out of its range, if any.
std::optional<std::string> check_field(const SetupFieldRange& f, const void* rec, int block) {
  const auto* bytes = static_cast<const unsigned char*>(rec) + f.offset;
  const bool real = is_real(f.kind);
  for (int i = 0; i < f.count; ++i) {
    const double v = element(bytes + i * element_size(f.kind), f.kind);
    if (!in_range(v, f.lo, f.hi, real))
      return out_of_range(element_name(f, block, i), v, f.lo, f.hi, real);
  }
  return std::nullopt;
}

}  // namespace

std::span<const SetupFieldRange> Setup_FieldRanges() {
  return kRanges;
}

std::optional<std::string> Find_SetupValueOutOfRange(const SetupImages& images, int blocks) {
  std::optional<std::string> found;
  const auto check = [&](const SetupFieldRange& f, const void* rec, int block) {
    if (!found) found = check_field(f, rec, block);
  };
  const auto whole = [&](const char* name, std::int64_t v, std::int64_t lo, std::int64_t hi) {
    if (!found && (v < lo || v > hi))
      found = out_of_range(name, static_cast<double>(v), static_cast<double>(lo),
                           static_cast<double>(hi), false);
  };
  whole("SystemParams.NbOfChannels", images.sys.NbOfChannels, 2 * blocks, 2 * blocks);
  whole("SystemParams.NbOfEnabledSAMBlocks", images.sys.NbOfEnabledSAMBlocks, 0, blocks);
  for (const auto& f : kRanges) {
    if (f.record == Record::System) check(f, &images.sys, 0);
    if (f.record == Record::Acq) check(f, &images.acq, 0);
  }
  for (int b = 0; b < blocks; ++b) {
    for (const auto& f : kRanges)
      if (f.record == Record::Block) check(f, &images.sam[b], b);
    // A threshold reaches 1.25 V either side of its channel's offset.
    const SAMBlockParams& blk = images.sam[b];
    for (int c = 0; c < kChannelsPerBlock && !found; ++c) {
      const double lo = blk.DCOffset[c] - kOffsetVolts, hi = blk.DCOffset[c] + kOffsetVolts;
      if (!in_range(blk.TriggerThreshold[c], lo, hi, true))
        found = out_of_range(
            "SAMBlockParams[" + std::to_string(b) + "].TriggerThreshold[" + std::to_string(c) + "]",
            blk.TriggerThreshold[c], lo, hi, true);
    }
  }
  // The samples per channel are block 0's depth.
  if (blocks > 0) {
    const int depth = 16 * images.sam[0].RecordLength16;
    whole("SystemParams.RecordLength", images.sys.RecordLength, depth, depth);
  }
  for (const auto& f : kRanges)
    if (f.record == Record::Gui) check(f, &images.gui, 0);
  return found;
}

}  // namespace vx
