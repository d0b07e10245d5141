#include "cli/setup_changes.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <span>
#include <type_traits>

namespace vx::cli {

namespace {

enum class Kind { I32, U32, U16, U8, F32, F64, Text };

struct FieldInfo {
  const char* name;
  std::size_t offset;
  std::size_t element_size;
  std::size_t count;
  std::size_t inner;  // second extent of a two-dimensional array, else 0
  Kind kind;
};

template <typename T>
constexpr Kind kind_of() {
  using E = std::remove_all_extents_t<T>;
  if constexpr (std::is_same_v<E, char>) return Kind::Text;
  if constexpr (std::is_same_v<E, float>) return Kind::F32;
  if constexpr (std::is_same_v<E, double>) return Kind::F64;
  if constexpr (std::is_same_v<E, std::uint8_t>) return Kind::U8;
  if constexpr (std::is_same_v<E, std::uint16_t>) return Kind::U16;
  if constexpr (std::is_same_v<E, std::uint32_t>) return Kind::U32;
  return Kind::I32;
}

template <typename T>
constexpr FieldInfo field_info(const char* name, std::size_t offset) {
  using E = std::remove_all_extents_t<T>;
  return {name,
          offset,
          sizeof(E),
          sizeof(T) / sizeof(E),
          std::rank_v<T> == 2 ? std::extent_v<T, 1> : 0,
          kind_of<T>()};
}

#define VX_FIELD(rec, name) field_info<decltype(rec::name)>(#name, offsetof(rec, name))

constexpr FieldInfo kSystemFields[] = {
    VX_FIELD(SystemParams, NbOfSAMBlocks),        VX_FIELD(SystemParams, NbOfChannels),
    VX_FIELD(SystemParams, GroupEnableMask),      VX_FIELD(SystemParams, NbOfEnabledSAMBlocks),
    VX_FIELD(SystemParams, RecordLength),         VX_FIELD(SystemParams, Unused17),
    VX_FIELD(SystemParams, TriggerSource),        VX_FIELD(SystemParams, OverallTriggerLogic),
    VX_FIELD(SystemParams, MajorityLevel),        VX_FIELD(SystemParams, ExtTrigInAsGate),
    VX_FIELD(SystemParams, PrimitivesGateLength), VX_FIELD(SystemParams, Adc20MHzOnOff),
    VX_FIELD(SystemParams, ExternalTriggerType),  VX_FIELD(SystemParams, MonitorGain),
    VX_FIELD(SystemParams, MonitorMode),          VX_FIELD(SystemParams, SyncMode),
    VX_FIELD(SystemParams, BoardMasterMode),      VX_FIELD(SystemParams, SlaveNumber),
    VX_FIELD(SystemParams, NumberOfSlaves),       VX_FIELD(SystemParams, UseLvdsIO),
    VX_FIELD(SystemParams, VetoInExtraLatency),
};
constexpr FieldInfo kAcqFields[] = {
    VX_FIELD(AcqParams, RunFromFile),
    VX_FIELD(AcqParams, RunType),
    VX_FIELD(AcqParams, RunDuration),
    VX_FIELD(AcqParams, RunElapsedTime),
    VX_FIELD(AcqParams, RunStartTime),
    VX_FIELD(AcqParams, DisplayOn),
    VX_FIELD(AcqParams, MaxNumEventsBLT),
    VX_FIELD(AcqParams, NbOfEventsRequired),
    VX_FIELD(AcqParams, StopRequest),
    VX_FIELD(AcqParams, TCPCommandsEnabled),
    VX_FIELD(AcqParams, TransmitRunDataToTcpClient),
    VX_FIELD(AcqParams, TCPDataTransmitOptions),
    VX_FIELD(AcqParams, FFTMode),
    VX_FIELD(AcqParams, AveragingDataOn),
    VX_FIELD(AcqParams, SelectedLine),
    VX_FIELD(AcqParams, NbOfBinsForSpline),
    VX_FIELD(AcqParams, NbOfBinsForBaseline),
    VX_FIELD(AcqParams, INLCalibrationRunning),
    VX_FIELD(AcqParams, PulseMode),
    VX_FIELD(AcqParams, INLUseIntervalRatio),
    VX_FIELD(AcqParams, EnSoftwareChargeHisto),
    VX_FIELD(AcqParams, INLSegmentOffset),
    VX_FIELD(AcqParams, INLCellOffset),
    VX_FIELD(AcqParams, EnTimeJitter),
    VX_FIELD(AcqParams, CFDMethod),
    VX_FIELD(AcqParams, CFDRatio),
    VX_FIELD(AcqParams, TimeHistoChannelA),
    VX_FIELD(AcqParams, TimeHistoChannelB),
    VX_FIELD(AcqParams, NoMaxPeakThresholdDistance),
    VX_FIELD(AcqParams, MaxPeakThresholdDistance),
    VX_FIELD(AcqParams, Unused122),
    VX_FIELD(AcqParams, MinPulsesDistance),
    VX_FIELD(AcqParams, MaxPulsesDistance),
    VX_FIELD(AcqParams, EnExcludeBelowAmplitude),
    VX_FIELD(AcqParams, MinPeakAmplitude),
    VX_FIELD(AcqParams, EnExcludeAboveAmplitude),
    VX_FIELD(AcqParams, MaxPeakAmplitude),
    VX_FIELD(AcqParams, TimeMeasSpareOption),
    VX_FIELD(AcqParams, INLCalibPanelValue),
    VX_FIELD(AcqParams, PulseThreshold),
    VX_FIELD(AcqParams, PulseEdge),
    VX_FIELD(AcqParams, INLCalibOption),
    VX_FIELD(AcqParams, INLNbOfSegments),
    VX_FIELD(AcqParams, INLCorrectionEnabled),
    VX_FIELD(AcqParams, SaveDataInFile),
    VX_FIELD(AcqParams, MeasurementsEnabled),
    VX_FIELD(AcqParams, SplitFileToSaveData),
    VX_FIELD(AcqParams, NbOfEventsPerFile),
    VX_FIELD(AcqParams, SaveMeasurementsInFile),
    VX_FIELD(AcqParams, DataFileType),
    VX_FIELD(AcqParams, PopupForFileName),
    VX_FIELD(AcqParams, BaseFileName),
    VX_FIELD(AcqParams, DataDirectory),
    VX_FIELD(AcqParams, RunDirectory),
    VX_FIELD(AcqParams, AddSystemDate),
    VX_FIELD(AcqParams, AddSystemTime),
    VX_FIELD(AcqParams, AddRunId),
    VX_FIELD(AcqParams, AutoIncRunId),
    VX_FIELD(AcqParams, RunIdUser),
    VX_FIELD(AcqParams, Unused1382),
    VX_FIELD(AcqParams, AutoRunId),
    VX_FIELD(AcqParams, NbOfSamplesInFile),
    VX_FIELD(AcqParams, NbOfChannelsAcquiredInFile),
    VX_FIELD(AcqParams, NbOfChannelsInFile),
    VX_FIELD(AcqParams, DebugSamBlock),
    VX_FIELD(AcqParams, ChargeRangeAuto),
    VX_FIELD(AcqParams, ChargeCutEnabled),
    VX_FIELD(AcqParams, ChargeHistoMin),
    VX_FIELD(AcqParams, ChargeHistoMax),
    VX_FIELD(AcqParams, RunStartHour),
    VX_FIELD(AcqParams, RunStartMinute),
    VX_FIELD(AcqParams, RunStartSecond),
    VX_FIELD(AcqParams, RateScanStartThreshold),
    VX_FIELD(AcqParams, RateScanEndThreshold),
    VX_FIELD(AcqParams, RateScanNbOfSteps),
    VX_FIELD(AcqParams, RateScanStepValue),
    VX_FIELD(AcqParams, RateScanRunning),
    VX_FIELD(AcqParams, RateScanFlag),
};
constexpr FieldInfo kBlockFields[] = {
    VX_FIELD(SAMBlockParams, ControlRegBit0),
    VX_FIELD(SAMBlockParams, BoardGain),
    VX_FIELD(SAMBlockParams, OffsetGain),
    VX_FIELD(SAMBlockParams, Unused12),
    VX_FIELD(SAMBlockParams, SerialNumberMajor),
    VX_FIELD(SAMBlockParams, SerialNumberMinor),
    VX_FIELD(SAMBlockParams, SCAType),
    VX_FIELD(SAMBlockParams, SAMLongType),
    VX_FIELD(SAMBlockParams, ACDCCoupling),
    VX_FIELD(SAMBlockParams, TriggerReg),
    VX_FIELD(SAMBlockParams, TriggerRegBit0),
    VX_FIELD(SAMBlockParams, TriggerRegBit2),
    VX_FIELD(SAMBlockParams, TriggerPolarity),
    VX_FIELD(SAMBlockParams, TriggerEnable),
    VX_FIELD(SAMBlockParams, ControlRegBit6),
    VX_FIELD(SAMBlockParams, ControlRegBit7),
    VX_FIELD(SAMBlockParams, CoincidenceAND),
    VX_FIELD(SAMBlockParams, Reserved72),
    VX_FIELD(SAMBlockParams, TriggerGateLength),
    VX_FIELD(SAMBlockParams, TriggerGateRegHigh),
    VX_FIELD(SAMBlockParams, TriggerGateReg),
    VX_FIELD(SAMBlockParams, PedestalPerCell),
    VX_FIELD(SAMBlockParams, FrequencyIndex),
    VX_FIELD(SAMBlockParams, ControlReg),
    VX_FIELD(SAMBlockParams, SamParamWord),
    VX_FIELD(SAMBlockParams, PostTrigger),
    VX_FIELD(SAMBlockParams, RateCountersEnabled),
    VX_FIELD(SAMBlockParams, TrigCountVetoEnable),
    VX_FIELD(SAMBlockParams, TrigCountVetoWindow),
    VX_FIELD(SAMBlockParams, RecordLength16),
    VX_FIELD(SAMBlockParams, SamReg1),
    VX_FIELD(SAMBlockParams, SamReg2),
    VX_FIELD(SAMBlockParams, SamReg6),
    VX_FIELD(SAMBlockParams, SamReg3),
    VX_FIELD(SAMBlockParams, SamReg5),
    VX_FIELD(SAMBlockParams, SamDacOffsetCh0),
    VX_FIELD(SAMBlockParams, SamDacOffsetCh1),
    VX_FIELD(SAMBlockParams, TriggerThreshold),
    VX_FIELD(SAMBlockParams, DCOffset),
    VX_FIELD(SAMBlockParams, ChargeNoBaseline),
    VX_FIELD(SAMBlockParams, ChargeModeEnabled),
    VX_FIELD(SAMBlockParams, ChargeStartIndex),
    VX_FIELD(SAMBlockParams, ChargeLength),
    VX_FIELD(SAMBlockParams, ChargeThresholdFlag),
    VX_FIELD(SAMBlockParams, ChargeThreshold),
    VX_FIELD(SAMBlockParams, ChargeThresholdVolts),
    VX_FIELD(SAMBlockParams, ChargeThresholdReg),
    VX_FIELD(SAMBlockParams, PulsePattern),
    VX_FIELD(SAMBlockParams, PulseReg),
    VX_FIELD(SAMBlockParams, PulseEnable),
    VX_FIELD(SAMBlockParams, PulseSource),
    VX_FIELD(SAMBlockParams, NoResetPerReadout),
    VX_FIELD(SAMBlockParams, ControlRegBit2),
};
constexpr FieldInfo kGuiFields[] = {
    VX_FIELD(GuiParams, ChannelEnabled),
    VX_FIELD(GuiParams, ThresholdVolts),
    VX_FIELD(GuiParams, ThresholdMin),
    VX_FIELD(GuiParams, ThresholdMax),
    VX_FIELD(GuiParams, ChargeHistoNbOfBins),
    VX_FIELD(GuiParams, TimeHistoNbOfBins),
    VX_FIELD(GuiParams, TimeHistoOption1),
    VX_FIELD(GuiParams, TimeHistoOption2),
    VX_FIELD(GuiParams, TimeHistoMin),
    VX_FIELD(GuiParams, TimeHistoMax),
    VX_FIELD(GuiParams, VerticalPosition),
    VX_FIELD(GuiParams, SelectedChannel),
    VX_FIELD(GuiParams, VerticalScale),
    VX_FIELD(GuiParams, GraphComputedValue),
    VX_FIELD(GuiParams, DisplayTimeOnWaveforms),
    VX_FIELD(GuiParams, DisplayModulo),
    VX_FIELD(GuiParams, RateMeasurementOn),
    VX_FIELD(GuiParams, RateStripChartChannel),
    VX_FIELD(GuiParams, NoiseMeasurementOn),
    VX_FIELD(GuiParams, NoiseStripChartChannel),
    VX_FIELD(GuiParams, GraphOptionCharge),
    VX_FIELD(GuiParams, GraphMode),
    VX_FIELD(GuiParams, DisplayShift),
    VX_FIELD(GuiParams, NbOfXDivisions),
    VX_FIELD(GuiParams, XLabelScale),
    VX_FIELD(GuiParams, ChannelGain),
    VX_FIELD(GuiParams, ChannelOffset),
    VX_FIELD(GuiParams, YAxisMin),
    VX_FIELD(GuiParams, YAxisMax),
    VX_FIELD(GuiParams, AmplitudeInVolts),
    VX_FIELD(GuiParams, NbOfPlotPoints),
    VX_FIELD(GuiParams, NbOfComputedPoints),
    VX_FIELD(GuiParams, DisplayOption),
    VX_FIELD(GuiParams, PlotAlignment),
    VX_FIELD(GuiParams, PlotAlignmentOption1),
    VX_FIELD(GuiParams, PlotAlignmentOption2),
    VX_FIELD(GuiParams, PlotAlignmentValue),
    VX_FIELD(GuiParams, ChargeHistoChannel),
    VX_FIELD(GuiParams, RateVsThresholdChannel),
};

#undef VX_FIELD

// Every byte of every record is covered, so no change can go unreported.
template <std::size_t N>
constexpr std::size_t covered(const FieldInfo (&fields)[N]) {
  std::size_t bytes = 0;
  for (const auto& f : fields) bytes += f.element_size * f.count;
  return bytes;
}
static_assert(covered(kSystemFields) == sizeof(SystemParams));
static_assert(covered(kAcqFields) == sizeof(AcqParams));
static_assert(covered(kBlockFields) == sizeof(SAMBlockParams));
static_assert(covered(kGuiFields) == sizeof(GuiParams));

std::string value_text(const unsigned char* p, Kind kind) {
  char text[64];
  switch (kind) {
    case Kind::I32: {
      std::int32_t v;
      std::memcpy(&v, p, sizeof v);
      std::snprintf(text, sizeof text, "%d", v);
      break;
    }
    case Kind::U32: {
      std::uint32_t v;
      std::memcpy(&v, p, sizeof v);
      std::snprintf(text, sizeof text, "%u", v);
      break;
    }
    case Kind::U16: {
      std::uint16_t v;
      std::memcpy(&v, p, sizeof v);
      std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(v));
      break;
    }
    case Kind::U8:
      std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(*p));
      break;
    case Kind::F32: {
      float v;
      std::memcpy(&v, p, sizeof v);
      std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
      break;
    }
    case Kind::F64: {
      double v;
      std::memcpy(&v, p, sizeof v);
      std::snprintf(text, sizeof text, "%g", v);
      break;
    }
    case Kind::Text:
      return {};
  }
  return text;
}

std::string quoted(const unsigned char* p, std::size_t size) {
  const auto* c = reinterpret_cast<const char*>(p);
  return "'" + std::string(c, strnlen(c, size)) + "'";
}

std::string index_text(const FieldInfo& f, std::size_t i) {
  if (f.count == 1) return {};
  if (f.inner != 0)
    return "[" + std::to_string(i / f.inner) + "][" + std::to_string(i % f.inner) + "]";
  return "[" + std::to_string(i) + "]";
}

template <typename Rec>
void compare(const std::string& record, std::span<const FieldInfo> fields, const Rec& before,
             const Rec& after, std::vector<std::string>& out) {
  const auto* a = reinterpret_cast<const unsigned char*>(&before);
  const auto* b = reinterpret_cast<const unsigned char*>(&after);
  for (const auto& f : fields) {
    const std::string name = record + "." + f.name;
    if (f.kind == Kind::Text) {
      const std::size_t size = f.count;
      if (std::memcmp(a + f.offset, b + f.offset, size) != 0)
        out.push_back(name + ": " + quoted(a + f.offset, size) + " -> " +
                      quoted(b + f.offset, size));
      continue;
    }
    for (std::size_t i = 0; i < f.count; ++i) {
      const std::size_t at = f.offset + i * f.element_size;
      if (std::memcmp(a + at, b + at, f.element_size) == 0) continue;
      out.push_back(name + index_text(f, i) + ": " + value_text(a + at, f.kind) + " -> " +
                    value_text(b + at, f.kind));
    }
  }
}

}  // namespace

RestoredRecords snapshot_restored_records(const State& st) {
  RestoredRecords r;
  std::memcpy(&r.sys, &st.sys, sizeof r.sys);
  std::memcpy(&r.acq, &st.acq, sizeof r.acq);
  std::memcpy(r.sam.data(), st.sam.data(), sizeof r.sam);
  std::memcpy(&r.gui, &st.gui, sizeof r.gui);
  return r;
}

std::vector<std::string> describe_changes(const RestoredRecords& before,
                                          const RestoredRecords& after) {
  std::vector<std::string> out;
  compare("SystemParams", kSystemFields, before.sys, after.sys, out);
  compare("AcqParams", kAcqFields, before.acq, after.acq, out);
  for (int b = 0; b < kMaxSamBlocks; ++b)
    compare("SAMBlockParams[" + std::to_string(b) + "]", kBlockFields, before.sam[b], after.sam[b],
            out);
  compare("GuiParams", kGuiFields, before.gui, after.gui, out);
  return out;
}

}  // namespace vx::cli
