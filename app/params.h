// The six parameter records. They are stored byte for byte in setup files, so their
// layouts are a file format: packed, little-endian, every offset pinned below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vx {

inline constexpr int kMaxSamBlocks = 8;
inline constexpr int kChannelsPerBlock = 2;
inline constexpr int kMaxChannels = kMaxSamBlocks * kChannelsPerBlock;
inline constexpr int kMaxSamples = 1024;
inline constexpr const char* kSoftwareVersion = "V1.8.5";
inline constexpr std::size_t kBoardInfoSize = 164;

// AcqParams::RunType.
enum RunTypeValue : int {
  kRunSingleEvent = 0,
  kRunFiniteEvents = 1,
  kRunFiniteTime = 2,
  kRunContinuous = 3
};
// GuiParams::GraphMode: what the main graph shows.
enum GraphMode : int {
  kGraphWaveforms = 0,
  kGraphPedestals = 1,
  kGraphCells = 2,
  kGraphCharges = 3,
  kGraphFft = 4
};
// SystemParams::TriggerSource.
enum TriggerSourceValue : int {
  kTriggerSoftware = 0,
  kTriggerNormal = 1,
  kTriggerAuto = 2,
  kTriggerExternal = 3
};

#pragma pack(push, 1)

struct AcqParams {
  std::int32_t RunFromFile;
  std::int32_t RunType;
  std::int32_t RunDuration;
  std::int32_t RunElapsedTime;
  double RunStartTime;
  std::int32_t DisplayOn;
  std::int32_t MaxNumEventsBLT;
  std::int32_t NbOfEventsRequired;
  std::int32_t StopRequest;
  std::int32_t TCPCommandsEnabled;
  std::int32_t TransmitRunDataToTcpClient;
  std::int32_t TCPDataTransmitOptions;
  std::int32_t FFTMode;
  std::int32_t AveragingDataOn;
  std::uint16_t SelectedLine;
  std::int32_t NbOfBinsForSpline;
  std::int32_t NbOfBinsForBaseline;
  std::int32_t INLCalibrationRunning;
  std::int32_t PulseMode;
  std::int32_t INLUseIntervalRatio;
  std::int32_t EnSoftwareChargeHisto;
  std::int32_t INLSegmentOffset;
  std::int32_t INLCellOffset;
  std::int32_t EnTimeJitter;
  std::int32_t CFDMethod;
  float CFDRatio;
  std::int32_t TimeHistoChannelA;
  std::int32_t TimeHistoChannelB;
  std::int32_t NoMaxPeakThresholdDistance;
  float MaxPeakThresholdDistance;
  float Unused122;
  float MinPulsesDistance;
  float MaxPulsesDistance;
  std::int32_t EnExcludeBelowAmplitude;
  float MinPeakAmplitude;
  std::int32_t EnExcludeAboveAmplitude;
  float MaxPeakAmplitude;
  std::int32_t TimeMeasSpareOption;
  float INLCalibPanelValue;
  float PulseThreshold[kMaxSamBlocks][kChannelsPerBlock];
  std::int32_t PulseEdge[kMaxSamBlocks][kChannelsPerBlock];
  std::int32_t INLCalibOption;
  std::int32_t INLNbOfSegments;
  std::int32_t INLCorrectionEnabled;
  std::int32_t SaveDataInFile;
  std::int32_t MeasurementsEnabled;
  std::int32_t SplitFileToSaveData;
  std::int32_t NbOfEventsPerFile;
  std::int32_t SaveMeasurementsInFile;
  std::int32_t DataFileType;
  std::int32_t PopupForFileName;
  char BaseFileName[516];
  char DataDirectory[260];
  char RunDirectory[260];
  std::int32_t AddSystemDate;
  std::int32_t AddSystemTime;
  std::int32_t AddRunId;
  std::int32_t AutoIncRunId;
  std::int32_t RunIdUser;
  std::int32_t Unused1382;
  std::int32_t AutoRunId;
  std::int32_t NbOfSamplesInFile;
  std::int32_t NbOfChannelsAcquiredInFile;
  std::int32_t NbOfChannelsInFile;
  std::int32_t DebugSamBlock;
  std::int32_t ChargeRangeAuto;
  std::int32_t ChargeCutEnabled[kMaxSamBlocks][kChannelsPerBlock];
  float ChargeHistoMin[kMaxSamBlocks][kChannelsPerBlock];
  float ChargeHistoMax[kMaxSamBlocks][kChannelsPerBlock];
  std::int32_t RunStartHour;
  std::int32_t RunStartMinute;
  std::int32_t RunStartSecond;
  float RateScanStartThreshold;
  float RateScanEndThreshold;
  std::int32_t RateScanNbOfSteps;
  float RateScanStepValue;
  std::int32_t RateScanRunning;
  std::int32_t RateScanFlag;
};

struct BoardParams {
  // Copy of the digitizer library's board-information record: model name text at 0,
  // SAM block count word at 16, PCB revision word at 124.
  std::uint8_t BoardInfo[kBoardInfoSize];
  std::int32_t Reserved164;
  std::int32_t BoardRunState;
  std::int32_t LinkType;
  std::int32_t LinkNumber;
  std::int32_t ConetNode;
  std::uint32_t VMEBaseAddress;
  char IPAddress[16];
  std::uint32_t PIDNumber;
};

struct SystemParams {
  std::int32_t NbOfSAMBlocks;
  std::int32_t NbOfChannels;
  std::uint8_t GroupEnableMask;
  std::int32_t NbOfEnabledSAMBlocks;
  std::int32_t RecordLength;
  std::uint8_t Unused17[188];
  std::int32_t TriggerSource;
  std::int32_t OverallTriggerLogic;
  std::int32_t MajorityLevel;
  std::int32_t ExtTrigInAsGate;
  std::int32_t PrimitivesGateLength;
  std::int32_t Adc20MHzOnOff;
  std::int32_t ExternalTriggerType;
  std::int32_t MonitorGain;
  std::int32_t MonitorMode;
  std::int32_t SyncMode;
  std::int32_t BoardMasterMode;
  std::int32_t SlaveNumber;
  std::int32_t NumberOfSlaves;
  std::int32_t UseLvdsIO;
  std::int32_t VetoInExtraLatency;
};

struct SAMBlockParams {
  std::int32_t ControlRegBit0;
  float BoardGain;
  float OffsetGain;
  std::uint8_t Unused12[4];
  std::int32_t SerialNumberMajor;
  std::int32_t SerialNumberMinor;
  std::int32_t SCAType;
  std::int32_t SAMLongType;
  std::int32_t ACDCCoupling;
  std::uint16_t TriggerReg;
  std::uint16_t TriggerRegBit0;
  std::int32_t TriggerRegBit2;
  std::int32_t TriggerPolarity[kChannelsPerBlock];
  std::int32_t TriggerEnable[kChannelsPerBlock];
  std::int32_t ControlRegBit6;
  std::int32_t ControlRegBit7;
  std::int32_t CoincidenceAND;
  std::int32_t Reserved72;
  std::uint8_t TriggerGateLength;
  std::int32_t TriggerGateRegHigh;
  std::uint16_t TriggerGateReg;
  std::int32_t PedestalPerCell;
  std::int32_t FrequencyIndex;
  std::uint16_t ControlReg;
  std::uint16_t SamParamWord;
  std::uint16_t PostTrigger;
  std::int32_t RateCountersEnabled;
  std::int32_t TrigCountVetoEnable[kChannelsPerBlock];
  std::uint16_t TrigCountVetoWindow[kChannelsPerBlock];
  std::uint16_t RecordLength16;
  std::uint16_t SamReg1;
  std::uint16_t SamReg2;
  std::uint16_t SamReg6;
  std::uint16_t SamReg3;
  std::uint16_t SamReg5;
  std::uint8_t SamDacOffsetCh0[16];
  std::uint8_t SamDacOffsetCh1[16];
  float TriggerThreshold[kChannelsPerBlock];
  float DCOffset[kChannelsPerBlock];
  std::int32_t ChargeNoBaseline;
  std::int32_t ChargeModeEnabled;
  std::int32_t ChargeStartIndex[kChannelsPerBlock];
  std::uint16_t ChargeLength[kChannelsPerBlock];
  std::int32_t ChargeThresholdFlag[kChannelsPerBlock];
  std::int32_t ChargeThreshold[kChannelsPerBlock];
  float ChargeThresholdVolts[kChannelsPerBlock];
  std::int32_t ChargeThresholdReg[kChannelsPerBlock];
  std::uint16_t PulsePattern[kChannelsPerBlock];
  std::uint8_t PulseReg;
  std::int32_t PulseEnable[kChannelsPerBlock];
  std::int32_t PulseSource;
  std::int32_t NoResetPerReadout;
  std::int32_t ControlRegBit2;
};

struct GuiParams {
  std::int32_t ChannelEnabled[kMaxChannels];
  float ThresholdVolts[kMaxChannels];
  float ThresholdMin[kMaxChannels];
  float ThresholdMax[kMaxChannels];
  std::int32_t ChargeHistoNbOfBins;
  std::int32_t TimeHistoNbOfBins;
  std::int32_t TimeHistoOption1;
  std::int32_t TimeHistoOption2;
  double TimeHistoMin;
  double TimeHistoMax;
  float VerticalPosition[kMaxChannels];
  std::int32_t SelectedChannel;
  std::int32_t VerticalScale[kMaxChannels];
  std::int32_t GraphComputedValue;
  std::int32_t DisplayTimeOnWaveforms;
  std::int32_t DisplayModulo;
  std::int32_t RateMeasurementOn;
  std::int32_t RateStripChartChannel;
  std::int32_t NoiseMeasurementOn;
  std::int32_t NoiseStripChartChannel;
  std::int32_t GraphOptionCharge;
  std::int32_t GraphMode;
  std::int32_t DisplayShift;
  std::int32_t NbOfXDivisions;
  double XLabelScale;
  float ChannelGain[kMaxChannels];
  float ChannelOffset[kMaxChannels];
  double YAxisMin;
  double YAxisMax;
  std::int32_t AmplitudeInVolts;
  std::int32_t NbOfPlotPoints;
  std::int32_t NbOfComputedPoints;
  std::int32_t DisplayOption;
  std::int32_t PlotAlignment;
  std::int32_t PlotAlignmentOption1;
  std::int32_t PlotAlignmentOption2;
  float PlotAlignmentValue;
  std::int32_t ChargeHistoChannel;
  std::int32_t RateVsThresholdChannel;
};

struct TCPParams {
  std::int32_t ClientHandle;
  std::int32_t ServerPort;
  std::int32_t ServerOnline;
  char ServerName[256];
  char ServerIp[20];
  std::int32_t ClientConnected;
  char ClientIp[20];
  std::int32_t RemoteStartRequest;
  std::int32_t RemoteStopRequest;
  std::int32_t RemoteLoadSetupRequest;
  char RemoteSetupFileName[516];
  std::int32_t TCPRunId;
  std::int32_t Unused844;
};

#pragma pack(pop)

// Record sizes are part of the setup-file format.
static_assert(sizeof(AcqParams) == 1638);
static_assert(sizeof(BoardParams) == 208);
static_assert(sizeof(SystemParams) == 265);
static_assert(sizeof(SAMBlockParams) == 250);
static_assert(sizeof(GuiParams) == 656);
static_assert(sizeof(TCPParams) == 848);

#define VX_AT(rec, field, off) static_assert(offsetof(rec, field) == (off), #rec "." #field)
VX_AT(AcqParams, RunFromFile, 0);
VX_AT(AcqParams, RunType, 4);
VX_AT(AcqParams, RunDuration, 8);
VX_AT(AcqParams, RunElapsedTime, 12);
VX_AT(AcqParams, RunStartTime, 16);
VX_AT(AcqParams, DisplayOn, 24);
VX_AT(AcqParams, MaxNumEventsBLT, 28);
VX_AT(AcqParams, NbOfEventsRequired, 32);
VX_AT(AcqParams, StopRequest, 36);
VX_AT(AcqParams, TCPCommandsEnabled, 40);
VX_AT(AcqParams, TransmitRunDataToTcpClient, 44);
VX_AT(AcqParams, TCPDataTransmitOptions, 48);
VX_AT(AcqParams, FFTMode, 52);
VX_AT(AcqParams, AveragingDataOn, 56);
VX_AT(AcqParams, SelectedLine, 60);
VX_AT(AcqParams, NbOfBinsForSpline, 62);
VX_AT(AcqParams, NbOfBinsForBaseline, 66);
VX_AT(AcqParams, INLCalibrationRunning, 70);
VX_AT(AcqParams, PulseMode, 74);
VX_AT(AcqParams, INLUseIntervalRatio, 78);
VX_AT(AcqParams, EnSoftwareChargeHisto, 82);
VX_AT(AcqParams, INLSegmentOffset, 86);
VX_AT(AcqParams, INLCellOffset, 90);
VX_AT(AcqParams, EnTimeJitter, 94);
VX_AT(AcqParams, CFDMethod, 98);
VX_AT(AcqParams, CFDRatio, 102);
VX_AT(AcqParams, TimeHistoChannelA, 106);
VX_AT(AcqParams, TimeHistoChannelB, 110);
VX_AT(AcqParams, NoMaxPeakThresholdDistance, 114);
VX_AT(AcqParams, MaxPeakThresholdDistance, 118);
VX_AT(AcqParams, Unused122, 122);
VX_AT(AcqParams, MinPulsesDistance, 126);
VX_AT(AcqParams, MaxPulsesDistance, 130);
VX_AT(AcqParams, EnExcludeBelowAmplitude, 134);
VX_AT(AcqParams, MinPeakAmplitude, 138);
VX_AT(AcqParams, EnExcludeAboveAmplitude, 142);
VX_AT(AcqParams, MaxPeakAmplitude, 146);
VX_AT(AcqParams, TimeMeasSpareOption, 150);
VX_AT(AcqParams, INLCalibPanelValue, 154);
VX_AT(AcqParams, PulseThreshold, 158);
VX_AT(AcqParams, PulseEdge, 222);
VX_AT(AcqParams, INLCalibOption, 286);
VX_AT(AcqParams, INLNbOfSegments, 290);
VX_AT(AcqParams, INLCorrectionEnabled, 294);
VX_AT(AcqParams, SaveDataInFile, 298);
VX_AT(AcqParams, MeasurementsEnabled, 302);
VX_AT(AcqParams, SplitFileToSaveData, 306);
VX_AT(AcqParams, NbOfEventsPerFile, 310);
VX_AT(AcqParams, SaveMeasurementsInFile, 314);
VX_AT(AcqParams, DataFileType, 318);
VX_AT(AcqParams, PopupForFileName, 322);
VX_AT(AcqParams, BaseFileName, 326);
VX_AT(AcqParams, DataDirectory, 842);
VX_AT(AcqParams, RunDirectory, 1102);
VX_AT(AcqParams, AddSystemDate, 1362);
VX_AT(AcqParams, AddSystemTime, 1366);
VX_AT(AcqParams, AddRunId, 1370);
VX_AT(AcqParams, AutoIncRunId, 1374);
VX_AT(AcqParams, RunIdUser, 1378);
VX_AT(AcqParams, Unused1382, 1382);
VX_AT(AcqParams, AutoRunId, 1386);
VX_AT(AcqParams, NbOfSamplesInFile, 1390);
VX_AT(AcqParams, NbOfChannelsAcquiredInFile, 1394);
VX_AT(AcqParams, NbOfChannelsInFile, 1398);
VX_AT(AcqParams, DebugSamBlock, 1402);
VX_AT(AcqParams, ChargeRangeAuto, 1406);
VX_AT(AcqParams, ChargeCutEnabled, 1410);
VX_AT(AcqParams, ChargeHistoMin, 1474);
VX_AT(AcqParams, ChargeHistoMax, 1538);
VX_AT(AcqParams, RunStartHour, 1602);
VX_AT(AcqParams, RunStartMinute, 1606);
VX_AT(AcqParams, RunStartSecond, 1610);
VX_AT(AcqParams, RateScanStartThreshold, 1614);
VX_AT(AcqParams, RateScanEndThreshold, 1618);
VX_AT(AcqParams, RateScanNbOfSteps, 1622);
VX_AT(AcqParams, RateScanStepValue, 1626);
VX_AT(AcqParams, RateScanRunning, 1630);
VX_AT(AcqParams, RateScanFlag, 1634);

VX_AT(BoardParams, BoardInfo, 0);
VX_AT(BoardParams, Reserved164, 164);
VX_AT(BoardParams, BoardRunState, 168);
VX_AT(BoardParams, LinkType, 172);
VX_AT(BoardParams, LinkNumber, 176);
VX_AT(BoardParams, ConetNode, 180);
VX_AT(BoardParams, VMEBaseAddress, 184);
VX_AT(BoardParams, IPAddress, 188);
VX_AT(BoardParams, PIDNumber, 204);

VX_AT(SystemParams, NbOfSAMBlocks, 0);
VX_AT(SystemParams, NbOfChannels, 4);
VX_AT(SystemParams, GroupEnableMask, 8);
VX_AT(SystemParams, NbOfEnabledSAMBlocks, 9);
VX_AT(SystemParams, RecordLength, 13);
VX_AT(SystemParams, Unused17, 17);
VX_AT(SystemParams, TriggerSource, 205);
VX_AT(SystemParams, OverallTriggerLogic, 209);
VX_AT(SystemParams, MajorityLevel, 213);
VX_AT(SystemParams, ExtTrigInAsGate, 217);
VX_AT(SystemParams, PrimitivesGateLength, 221);
VX_AT(SystemParams, Adc20MHzOnOff, 225);
VX_AT(SystemParams, ExternalTriggerType, 229);
VX_AT(SystemParams, MonitorGain, 233);
VX_AT(SystemParams, MonitorMode, 237);
VX_AT(SystemParams, SyncMode, 241);
VX_AT(SystemParams, BoardMasterMode, 245);
VX_AT(SystemParams, SlaveNumber, 249);
VX_AT(SystemParams, NumberOfSlaves, 253);
VX_AT(SystemParams, UseLvdsIO, 257);
VX_AT(SystemParams, VetoInExtraLatency, 261);

VX_AT(SAMBlockParams, ControlRegBit0, 0);
VX_AT(SAMBlockParams, BoardGain, 4);
VX_AT(SAMBlockParams, OffsetGain, 8);
VX_AT(SAMBlockParams, Unused12, 12);
VX_AT(SAMBlockParams, SerialNumberMajor, 16);
VX_AT(SAMBlockParams, SerialNumberMinor, 20);
VX_AT(SAMBlockParams, SCAType, 24);
VX_AT(SAMBlockParams, SAMLongType, 28);
VX_AT(SAMBlockParams, ACDCCoupling, 32);
VX_AT(SAMBlockParams, TriggerReg, 36);
VX_AT(SAMBlockParams, TriggerRegBit0, 38);
VX_AT(SAMBlockParams, TriggerRegBit2, 40);
VX_AT(SAMBlockParams, TriggerPolarity, 44);
VX_AT(SAMBlockParams, TriggerEnable, 52);
VX_AT(SAMBlockParams, ControlRegBit6, 60);
VX_AT(SAMBlockParams, ControlRegBit7, 64);
VX_AT(SAMBlockParams, CoincidenceAND, 68);
VX_AT(SAMBlockParams, Reserved72, 72);
VX_AT(SAMBlockParams, TriggerGateLength, 76);
VX_AT(SAMBlockParams, TriggerGateRegHigh, 77);
VX_AT(SAMBlockParams, TriggerGateReg, 81);
VX_AT(SAMBlockParams, PedestalPerCell, 83);
VX_AT(SAMBlockParams, FrequencyIndex, 87);
VX_AT(SAMBlockParams, ControlReg, 91);
VX_AT(SAMBlockParams, SamParamWord, 93);
VX_AT(SAMBlockParams, PostTrigger, 95);
VX_AT(SAMBlockParams, RateCountersEnabled, 97);
VX_AT(SAMBlockParams, TrigCountVetoEnable, 101);
VX_AT(SAMBlockParams, TrigCountVetoWindow, 109);
VX_AT(SAMBlockParams, RecordLength16, 113);
VX_AT(SAMBlockParams, SamReg1, 115);
VX_AT(SAMBlockParams, SamReg2, 117);
VX_AT(SAMBlockParams, SamReg6, 119);
VX_AT(SAMBlockParams, SamReg3, 121);
VX_AT(SAMBlockParams, SamReg5, 123);
VX_AT(SAMBlockParams, SamDacOffsetCh0, 125);
VX_AT(SAMBlockParams, SamDacOffsetCh1, 141);
VX_AT(SAMBlockParams, TriggerThreshold, 157);
VX_AT(SAMBlockParams, DCOffset, 165);
VX_AT(SAMBlockParams, ChargeNoBaseline, 173);
VX_AT(SAMBlockParams, ChargeModeEnabled, 177);
VX_AT(SAMBlockParams, ChargeStartIndex, 181);
VX_AT(SAMBlockParams, ChargeLength, 189);
VX_AT(SAMBlockParams, ChargeThresholdFlag, 193);
VX_AT(SAMBlockParams, ChargeThreshold, 201);
VX_AT(SAMBlockParams, ChargeThresholdVolts, 209);
VX_AT(SAMBlockParams, ChargeThresholdReg, 217);
VX_AT(SAMBlockParams, PulsePattern, 225);
VX_AT(SAMBlockParams, PulseReg, 229);
VX_AT(SAMBlockParams, PulseEnable, 230);
VX_AT(SAMBlockParams, PulseSource, 238);
VX_AT(SAMBlockParams, NoResetPerReadout, 242);
VX_AT(SAMBlockParams, ControlRegBit2, 246);

VX_AT(GuiParams, ChannelEnabled, 0);
VX_AT(GuiParams, ThresholdVolts, 64);
VX_AT(GuiParams, ThresholdMin, 128);
VX_AT(GuiParams, ThresholdMax, 192);
VX_AT(GuiParams, ChargeHistoNbOfBins, 256);
VX_AT(GuiParams, TimeHistoNbOfBins, 260);
VX_AT(GuiParams, TimeHistoOption1, 264);
VX_AT(GuiParams, TimeHistoOption2, 268);
VX_AT(GuiParams, TimeHistoMin, 272);
VX_AT(GuiParams, TimeHistoMax, 280);
VX_AT(GuiParams, VerticalPosition, 288);
VX_AT(GuiParams, SelectedChannel, 352);
VX_AT(GuiParams, VerticalScale, 356);
VX_AT(GuiParams, GraphComputedValue, 420);
VX_AT(GuiParams, DisplayTimeOnWaveforms, 424);
VX_AT(GuiParams, DisplayModulo, 428);
VX_AT(GuiParams, RateMeasurementOn, 432);
VX_AT(GuiParams, RateStripChartChannel, 436);
VX_AT(GuiParams, NoiseMeasurementOn, 440);
VX_AT(GuiParams, NoiseStripChartChannel, 444);
VX_AT(GuiParams, GraphOptionCharge, 448);
VX_AT(GuiParams, GraphMode, 452);
VX_AT(GuiParams, DisplayShift, 456);
VX_AT(GuiParams, NbOfXDivisions, 460);
VX_AT(GuiParams, XLabelScale, 464);
VX_AT(GuiParams, ChannelGain, 472);
VX_AT(GuiParams, ChannelOffset, 536);
VX_AT(GuiParams, YAxisMin, 600);
VX_AT(GuiParams, YAxisMax, 608);
VX_AT(GuiParams, AmplitudeInVolts, 616);
VX_AT(GuiParams, NbOfPlotPoints, 620);
VX_AT(GuiParams, NbOfComputedPoints, 624);
VX_AT(GuiParams, DisplayOption, 628);
VX_AT(GuiParams, PlotAlignment, 632);
VX_AT(GuiParams, PlotAlignmentOption1, 636);
VX_AT(GuiParams, PlotAlignmentOption2, 640);
VX_AT(GuiParams, PlotAlignmentValue, 644);
VX_AT(GuiParams, ChargeHistoChannel, 648);
VX_AT(GuiParams, RateVsThresholdChannel, 652);

VX_AT(TCPParams, ClientHandle, 0);
VX_AT(TCPParams, ServerPort, 4);
VX_AT(TCPParams, ServerOnline, 8);
VX_AT(TCPParams, ServerName, 12);
VX_AT(TCPParams, ServerIp, 268);
VX_AT(TCPParams, ClientConnected, 288);
VX_AT(TCPParams, ClientIp, 292);
VX_AT(TCPParams, RemoteStartRequest, 312);
VX_AT(TCPParams, RemoteStopRequest, 316);
VX_AT(TCPParams, RemoteLoadSetupRequest, 320);
VX_AT(TCPParams, RemoteSetupFileName, 324);
VX_AT(TCPParams, TCPRunId, 840);
VX_AT(TCPParams, Unused844, 844);
#undef VX_AT

// Copies a text into a fixed record buffer, always NUL-terminated, truncating if needed.
template <std::size_t N>
void set_text(char (&dst)[N], const char* src) {
  std::size_t i = 0;
  for (; src != nullptr && src[i] != '\0' && i + 1 < N; ++i) dst[i] = src[i];
  for (; i < N; ++i) dst[i] = '\0';
}

// Reads a fixed record buffer as text, stopping at its NUL or its end.
template <std::size_t N>
std::size_t text_length(const char (&src)[N]) {
  std::size_t i = 0;
  while (i < N && src[i] != '\0') ++i;
  return i;
}

}  // namespace vx
