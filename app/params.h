// The six parameter records. They are stored byte for byte in setup files, so their
// layouts are a file format: packed, little-endian, every offset pinned in the tables below.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

// The limits a setup file's values must keep: the ranges of the controls that set them (the
// panels, the command line). A file that holds anything else was not written by this program,
// or was damaged.
inline constexpr double kOffsetVolts = 1.25;     // DC offset, and a threshold's reach around it
inline constexpr double kVolts = 2.5;            // amplitudes and thresholds entered in volts
inline constexpr double kCounts = 2.5 * 1638.0;  // the same in ADC counts
inline constexpr double kMaxGain = 25.5;         // an EEPROM gain byte holds ten times the gain
inline constexpr double kHistoNs = 100000.0;
inline constexpr double kChargePc = 1e6;
inline constexpr double kPositionDivisions = 1e5;  // 100 V at 1 mV per division
inline constexpr double kAny = 1e300;              // computed values: only a number is required
inline constexpr double kIntMax = INT_MAX;
inline constexpr int kLastChannel = kMaxChannels - 1;

// A field's default when it has none of its own: left as it is (read from the board, computed
// from other fields, or never used).
struct Kept {};
inline constexpr Kept kept{};

// The values a setup file may hold in a field (every element of an array). A field without a
// range is not checked: register images rebuilt from other fields, what the board or the run
// fills in, unused bytes.
struct FieldRange {
  double lo = 0.0, hi = 0.0;
  bool checked = false;
  constexpr FieldRange() = default;
  constexpr FieldRange(double low, double high) : lo(low), hi(high), checked(true) {}
};

struct FieldInfo {
  const char* name;
  std::size_t offset;  // in the record, pinned: the setup file's layout
  FieldRange range;
  const char* label;  // what a user is shown
};

// The records' fields, each declared once, in file order:
//   X(R, type, name, array extents, offset, default, range, label)
// The structs and their layout checks below, the defaults of a fresh start (Init_Params), the
// ranges a setup file is checked against and the listing of what a setup changed all come from
// these tables. The default is given to every element of an array; `kept` leaves a field as it
// is. A range is (lo, hi), or () for an unchecked field. The label is the field's name for a user,
// its unit in brackets.
// clang-format off
#define VX_ACQ_FIELDS(X, R) \
  X(R, std::int32_t,  RunFromFile,                ,                                   0,    0,              (0, 1),                        "Run from file")                           \
  X(R, std::int32_t,  RunType,                    ,                                   4,    kRunContinuous, (0, 3),                        "Run type")                                \
  X(R, std::int32_t,  RunDuration,                ,                                   8,    300,            (0, kIntMax),                  "Run duration (s)")                        \
  X(R, std::int32_t,  RunElapsedTime,             ,                                   12,   0,              (),                            "Run elapsed time (s)")                    \
  X(R, double,        RunStartTime,               ,                                   16,   kept,           (),                            "Run start time")                          \
  X(R, std::int32_t,  DisplayOn,                  ,                                   24,   1,              (0, 1),                        "Display on")                              \
  X(R, std::int32_t,  MaxNumEventsBLT,            ,                                   28,   100,            (1, 1024),                     "Events per block transfer")               \
  X(R, std::int32_t,  NbOfEventsRequired,         ,                                   32,   0,              (0, kIntMax),                  "Number of events")                        \
  X(R, std::int32_t,  StopRequest,                ,                                   36,   0,              (0, 1),                        "Stop request")                            \
  X(R, std::int32_t,  TCPCommandsEnabled,         ,                                   40,   0,              (0, 1),                        "TCP commands enabled")                    \
  X(R, std::int32_t,  TransmitRunDataToTcpClient, ,                                   44,   0,              (0, 1),                        "Transmit run data to the TCP client")     \
  X(R, std::int32_t,  TCPDataTransmitOptions,     ,                                   48,   0,              (),                            "TCP data transmit options")               \
  X(R, std::int32_t,  FFTMode,                    ,                                   52,   0,              (0, 1),                        "FFT mode")                                \
  X(R, std::int32_t,  AveragingDataOn,            ,                                   56,   0,              (0, 1),                        "Averaging")                               \
  X(R, std::uint16_t, SelectedLine,               ,                                   60,   0,              (0, 15),                       "Selected line")                           \
  X(R, std::int32_t,  NbOfBinsForSpline,          ,                                   62,   5,              (1, 100),                      "Spline bins")                             \
  X(R, std::int32_t,  NbOfBinsForBaseline,        ,                                   66,   32,             (1, kMaxSamples),              "Baseline samples")                        \
  X(R, std::int32_t,  INLCalibrationRunning,      ,                                   70,   0,              (0, 1),                        "INL calibration running")                 \
  X(R, std::int32_t,  PulseMode,                  ,                                   74,   0,              (0, 1),                        "Pulse mode")                              \
  X(R, std::int32_t,  INLUseIntervalRatio,        ,                                   78,   1,              (0, 1),                        "INL from interval ratios")                \
  X(R, std::int32_t,  EnSoftwareChargeHisto,      ,                                   82,   0,              (0, 1),                        "Software charge histogram")               \
  X(R, std::int32_t,  INLSegmentOffset,           ,                                   86,   1,              (),                            "INL segment offset")                      \
  X(R, std::int32_t,  INLCellOffset,              ,                                   90,   0,              (),                            "INL cell offset")                         \
  X(R, std::int32_t,  EnTimeJitter,               ,                                   94,   0,              (0, 1),                        "Time jitter measurement")                 \
  X(R, std::int32_t,  CFDMethod,                  ,                                   98,   1,              (0, 1),                        "Constant-fraction method")                \
  X(R, float,         CFDRatio,                   ,                                   102,  0.5f,           (0.0, 1.0),                    "Constant-fraction ratio")                 \
  X(R, std::int32_t,  TimeHistoChannelA,          ,                                   106,  0,              (INT_MIN, kLastChannel),       "Time difference, first channel")          \
  X(R, std::int32_t,  TimeHistoChannelB,          ,                                   110,  1,              (INT_MIN, kLastChannel),       "Time difference, second channel")         \
  X(R, std::int32_t,  NoMaxPeakThresholdDistance, ,                                   114,  1,              (0, 1),                        "No maximum peak-to-threshold distance")   \
  X(R, float,         MaxPeakThresholdDistance,   ,                                   118,  5.0f,           (0.0, 1000.0),                 "Maximum peak-to-threshold distance (ns)") \
  X(R, float,         Unused122,                  ,                                   122,  kept,           (),                            "Unused (122)")                            \
  X(R, float,         MinPulsesDistance,          ,                                   126,  -10.0f,         (-1000.0, 1000.0),             "Minimum pulse distance (ns)")             \
  X(R, float,         MaxPulsesDistance,          ,                                   130,  10.0f,          (-1000.0, 1000.0),             "Maximum pulse distance (ns)")             \
  X(R, std::int32_t,  EnExcludeBelowAmplitude,    ,                                   134,  0,              (0, 1),                        "Exclude pulses below an amplitude")       \
  X(R, float,         MinPeakAmplitude,           ,                                   138,  0.0f,           (-kVolts, kVolts),             "Minimum peak amplitude (V)")              \
  X(R, std::int32_t,  EnExcludeAboveAmplitude,    ,                                   142,  0,              (0, 1),                        "Exclude pulses above an amplitude")       \
  X(R, float,         MaxPeakAmplitude,           ,                                   146,  0.0f,           (-kVolts, kVolts),             "Maximum peak amplitude (V)")              \
  X(R, std::int32_t,  TimeMeasSpareOption,        ,                                   150,  0,              (0, 1),                        "Edge timing")                             \
  X(R, float,         INLCalibPanelValue,         ,                                   154,  0.0f,           (-kCounts, kCounts),           "INL calibration panel value")             \
  X(R, float,         PulseThreshold,             [kMaxSamBlocks][kChannelsPerBlock], 158,  0.0f,           (-kCounts, kCounts),           "Pulse threshold (ADC counts)")            \
  X(R, std::int32_t,  PulseEdge,                  [kMaxSamBlocks][kChannelsPerBlock], 222,  0,              (0, 1),                        "Pulse edge")                              \
  X(R, std::int32_t,  INLCalibOption,             ,                                   286,  0,              (0, kMaxSamples - 1),          "INL calibration option")                  \
  X(R, std::int32_t,  INLNbOfSegments,            ,                                   290,  64,             (),                            "INL segments")                            \
  X(R, std::int32_t,  INLCorrectionEnabled,       ,                                   294,  1,              (0, 1),                        "INL correction")                          \
  X(R, std::int32_t,  SaveDataInFile,             ,                                   298,  0,              (0, 1),                        "Save data in file")                       \
  X(R, std::int32_t,  MeasurementsEnabled,        ,                                   302,  0,              (0, 1),                        "Measurements")                            \
  X(R, std::int32_t,  SplitFileToSaveData,        ,                                   306,  1,              (0, 1),                        "Split the data file")                     \
  X(R, std::int32_t,  NbOfEventsPerFile,          ,                                   310,  500,            (0, kIntMax),                  "Events per file")                         \
  X(R, std::int32_t,  SaveMeasurementsInFile,     ,                                   314,  0,              (0, 1),                        "Save measurements in file")               \
  X(R, std::int32_t,  DataFileType,               ,                                   318,  0,              (0, 1),                        "Data file type")                          \
  X(R, std::int32_t,  PopupForFileName,           ,                                   322,  1,              (0, 1),                        "Ask for the file name")                   \
  X(R, char,          BaseFileName,               [516],                              326,  "veltrix",      (),                            "Base file name")                          \
  X(R, char,          DataDirectory,              [260],                              842,  kept,           (),                            "Data directory")                          \
  X(R, char,          RunDirectory,               [260],                              1102, kept,           (),                            "Run directory")                           \
  X(R, std::int32_t,  AddSystemDate,              ,                                   1362, 0,              (0, 1),                        "Add the date to file names")              \
  X(R, std::int32_t,  AddSystemTime,              ,                                   1366, 0,              (0, 1),                        "Add the time to file names")              \
  X(R, std::int32_t,  AddRunId,                   ,                                   1370, 1,              (0, 1),                        "Add the run number to file names")        \
  X(R, std::int32_t,  AutoIncRunId,               ,                                   1374, 1,              (0, 1),                        "Increment the run number")                \
  X(R, std::int32_t,  RunIdUser,                  ,                                   1378, 1,              (0, kIntMax),                  "Run number")                              \
  X(R, std::int32_t,  Unused1382,                 ,                                   1382, kept,           (),                            "Unused (1382)")                           \
  X(R, std::int32_t,  AutoRunId,                  ,                                   1386, 0,              (),                            "Automatic run number")                    \
  X(R, std::int32_t,  NbOfSamplesInFile,          ,                                   1390, 1024,           (0, kMaxSamples),              "Samples in file")                         \
  X(R, std::int32_t,  NbOfChannelsAcquiredInFile, ,                                   1394, 0,              (0, kMaxChannels),             "Channels acquired in file")               \
  X(R, std::int32_t,  NbOfChannelsInFile,         ,                                   1398, 16,             (0, kMaxChannels),             "Channels in file")                        \
  X(R, std::int32_t,  DebugSamBlock,              ,                                   1402, 0,              (0, kMaxSamBlocks - 1),        "Debug SAM block")                         \
  X(R, std::int32_t,  ChargeRangeAuto,            ,                                   1406, 1,              (0, 1),                        "Automatic charge range")                  \
  X(R, std::int32_t,  ChargeCutEnabled,           [kMaxSamBlocks][kChannelsPerBlock], 1410, 0,              (0, 1),                        "Charge cut")                              \
  X(R, float,         ChargeHistoMin,             [kMaxSamBlocks][kChannelsPerBlock], 1474, -50.0f,         (-kChargePc, kChargePc),       "Charge histogram minimum (pC)")           \
  X(R, float,         ChargeHistoMax,             [kMaxSamBlocks][kChannelsPerBlock], 1538, 50.0f,          (-kChargePc, kChargePc),       "Charge histogram maximum (pC)")           \
  X(R, std::int32_t,  RunStartHour,               ,                                   1602, kept,           (),                            "Run start hour")                          \
  X(R, std::int32_t,  RunStartMinute,             ,                                   1606, kept,           (),                            "Run start minute")                        \
  X(R, std::int32_t,  RunStartSecond,             ,                                   1610, kept,           (),                            "Run start second")                        \
  X(R, float,         RateScanStartThreshold,     ,                                   1614, -0.02f,         (-kOffsetVolts, kOffsetVolts), "Rate scan start threshold (V)")           \
  X(R, float,         RateScanEndThreshold,       ,                                   1618, 0.02f,          (-kOffsetVolts, kOffsetVolts), "Rate scan end threshold (V)")             \
  X(R, std::int32_t,  RateScanNbOfSteps,          ,                                   1622, 99,             (1, 10000),                    "Rate scan steps")                         \
  X(R, float,         RateScanStepValue,          ,                                   1626, 0.1f,           (0.001, 3600.0),               "Rate scan step duration (s)")             \
  X(R, std::int32_t,  RateScanRunning,            ,                                   1630, 0,              (0, 1),                        "Rate scan running")                       \
  X(R, std::int32_t,  RateScanFlag,               ,                                   1634, 0,              (0, 1),                        "Rate scan flag")

#define VX_BOARD_FIELDS(X, R) \
  X(R, std::uint8_t,  BoardInfo,      [kBoardInfoSize], 0,   kept, (), "Board information") \
  X(R, std::int32_t,  Reserved164,    ,                 164, 276,  (), "Reserved (164)")    \
  X(R, std::int32_t,  BoardRunState,  ,                 168, kept, (), "Board run state")   \
  X(R, std::int32_t,  LinkType,       ,                 172, kept, (), "Link type")         \
  X(R, std::int32_t,  LinkNumber,     ,                 176, kept, (), "Link number")       \
  X(R, std::int32_t,  ConetNode,      ,                 180, kept, (), "CONET node")        \
  X(R, std::uint32_t, VMEBaseAddress, ,                 184, kept, (), "VME base address")  \
  X(R, char,          IPAddress,      [16],             188, kept, (), "IP address")        \
  X(R, std::uint32_t, PIDNumber,      ,                 204, kept, (), "PID number")

#define VX_SYSTEM_FIELDS(X, R) \
  X(R, std::int32_t, NbOfSAMBlocks,        ,      0,   kept,             (),                     "SAM blocks")               \
  X(R, std::int32_t, NbOfChannels,         ,      4,   kept,             (0, kMaxChannels),      "Channels")                 \
  X(R, std::uint8_t, GroupEnableMask,      ,      8,   kept,             (),                     "Group enable mask")        \
  X(R, std::int32_t, NbOfEnabledSAMBlocks, ,      9,   kept,             (0, kMaxSamBlocks),     "Enabled SAM blocks")       \
  X(R, std::int32_t, RecordLength,         ,      13,  kept,             (16, kMaxSamples),      "Record length (samples)")  \
  X(R, std::uint8_t, Unused17,             [188], 17,  kept,             (),                     "Unused (17)")              \
  X(R, std::int32_t, TriggerSource,        ,      205, kTriggerSoftware, (0, 3),                 "Trigger source")           \
  X(R, std::int32_t, OverallTriggerLogic,  ,      209, 0,                (0, 2),                 "Trigger logic")            \
  X(R, std::int32_t, MajorityLevel,        ,      213, 0,                (0, kMaxSamBlocks - 1), "Majority level")           \
  X(R, std::int32_t, ExtTrigInAsGate,      ,      217, 0,                (0, 1),                 "External trigger as gate") \
  X(R, std::int32_t, PrimitivesGateLength, ,      221, 3,                (0, 255),               "Primitives gate length")   \
  X(R, std::int32_t, Adc20MHzOnOff,        ,      225, 0,                (0, 1),                 "20 MHz ADC")               \
  X(R, std::int32_t, ExternalTriggerType,  ,      229, 1,                (0, 1),                 "External trigger type")    \
  X(R, std::int32_t, MonitorGain,          ,      233, 7,                (0, 10),                "Monitor gain")             \
  X(R, std::int32_t, MonitorMode,          ,      237, 3,                (0, 4),                 "Monitor mode")             \
  X(R, std::int32_t, SyncMode,             ,      241, 0,                (0, 1),                 "Synchronisation mode")     \
  X(R, std::int32_t, BoardMasterMode,      ,      245, 1,                (0, 1),                 "Master board")             \
  X(R, std::int32_t, SlaveNumber,          ,      249, 1,                (0, 15),                "Slave number")             \
  X(R, std::int32_t, NumberOfSlaves,       ,      253, 1,                (0, 15),                "Number of slaves")         \
  X(R, std::int32_t, UseLvdsIO,            ,      257, 1,                (0, 1),                 "LVDS I/O")                 \
  X(R, std::int32_t, VetoInExtraLatency,   ,      261, 20,               (0, 255),               "Veto extra latency")

#define VX_BLOCK_FIELDS(X, R) \
  X(R, std::int32_t,  ControlRegBit0,       ,                    0,   1,     (0, 1),                        "Control register bit 0")          \
  X(R, float,         BoardGain,            ,                    4,   1.0f,  (0.0, kMaxGain),               "Board gain")                      \
  X(R, float,         OffsetGain,           ,                    8,   1.0f,  (0.0, kMaxGain),               "Offset gain")                     \
  X(R, std::uint8_t,  Unused12,             [4],                 12,  kept,  (),                            "Unused (12)")                     \
  X(R, std::int32_t,  SerialNumberMajor,    ,                    16,  kept,  (),                            "Serial number (major)")           \
  X(R, std::int32_t,  SerialNumberMinor,    ,                    20,  kept,  (),                            "Serial number (minor)")           \
  X(R, std::int32_t,  SCAType,              ,                    24,  kept,  (),                            "SCA type")                        \
  X(R, std::int32_t,  SAMLongType,          ,                    28,  kept,  (),                            "SAM long type")                   \
  X(R, std::int32_t,  ACDCCoupling,         ,                    32,  kept,  (),                            "AC/DC coupling")                  \
  X(R, std::uint16_t, TriggerReg,           ,                    36,  kept,  (),                            "Trigger register")                \
  X(R, std::uint16_t, TriggerRegBit0,       ,                    38,  1,     (0, 1),                        "Trigger register bit 0")          \
  X(R, std::int32_t,  TriggerRegBit2,       ,                    40,  0,     (0, 1),                        "Trigger register bit 2")          \
  X(R, std::int32_t,  TriggerPolarity,      [kChannelsPerBlock], 44,  0,     (0, 1),                        "Trigger polarity")                \
  X(R, std::int32_t,  TriggerEnable,        [kChannelsPerBlock], 52,  1,     (0, 1),                        "Trigger enabled")                 \
  X(R, std::int32_t,  ControlRegBit6,       ,                    60,  0,     (0, 1),                        "Control register bit 6")          \
  X(R, std::int32_t,  ControlRegBit7,       ,                    64,  0,     (0, 1),                        "Control register bit 7")          \
  X(R, std::int32_t,  CoincidenceAND,       ,                    68,  0,     (0, 1),                        "Coincidence (AND)")               \
  X(R, std::int32_t,  Reserved72,           ,                    72,  0,     (),                            "Reserved (72)")                   \
  X(R, std::uint8_t,  TriggerGateLength,    ,                    76,  kept,  (),                            "Trigger gate length")             \
  X(R, std::int32_t,  TriggerGateRegHigh,   ,                    77,  0,     (0, 1),                        "Trigger gate high")               \
  X(R, std::uint16_t, TriggerGateReg,       ,                    81,  kept,  (),                            "Trigger gate register")           \
  X(R, std::int32_t,  PedestalPerCell,      ,                    83,  1,     (0, 1),                        "Pedestal per cell")               \
  X(R, std::int32_t,  FrequencyIndex,       ,                    87,  0,     (0, 3),                        "Sampling frequency")              \
  X(R, std::uint16_t, ControlReg,           ,                    91,  kept,  (),                            "Control register")                \
  X(R, std::uint16_t, SamParamWord,         ,                    93,  100,   (),                            "SAM parameter word")              \
  X(R, std::uint16_t, PostTrigger,          ,                    95,  1,     (1, 255),                      "Post-trigger")                    \
  X(R, std::int32_t,  RateCountersEnabled,  ,                    97,  1,     (0, 1),                        "Rate counters")                   \
  X(R, std::int32_t,  TrigCountVetoEnable,  [kChannelsPerBlock], 101, 0,     (0, 1),                        "Trigger count veto")              \
  X(R, std::uint16_t, TrigCountVetoWindow,  [kChannelsPerBlock], 109, 2,     (),                            "Trigger count veto window")       \
  X(R, std::uint16_t, RecordLength16,       ,                    113, 64,    (1, kMaxSamples / 16),         "Record length (16-sample units)") \
  X(R, std::uint16_t, SamReg1,              ,                    115, 745,   (),                            "SAM register 1")                  \
  X(R, std::uint16_t, SamReg2,              ,                    117, 49281, (),                            "SAM register 2")                  \
  X(R, std::uint16_t, SamReg6,              ,                    119, 61441, (),                            "SAM register 6")                  \
  X(R, std::uint16_t, SamReg3,              ,                    121, 39,    (),                            "SAM register 3")                  \
  X(R, std::uint16_t, SamReg5,              ,                    123, 0,     (),                            "SAM register 5")                  \
  X(R, std::uint8_t,  SamDacOffsetCh0,      [16],                125, kept,  (),                            "SAM DAC offsets, first channel")  \
  X(R, std::uint8_t,  SamDacOffsetCh1,      [16],                141, kept,  (),                            "SAM DAC offsets, second channel") \
  X(R, float,         TriggerThreshold,     [kChannelsPerBlock], 157, 0.02f, (-kVolts, kVolts),             "Trigger threshold (V)")           \
  X(R, float,         DCOffset,             [kChannelsPerBlock], 165, 0.0f,  (-kOffsetVolts, kOffsetVolts), "DC offset (V)")                   \
  X(R, std::int32_t,  ChargeNoBaseline,     ,                    173, 0,     (0, 1),                        "Charge without baseline")         \
  X(R, std::int32_t,  ChargeModeEnabled,    ,                    177, 0,     (0, 1),                        "Charge mode")                     \
  X(R, std::int32_t,  ChargeStartIndex,     [kChannelsPerBlock], 181, 17,    (0, kMaxSamples - 1),          "Charge start sample")             \
  X(R, std::uint16_t, ChargeLength,         [kChannelsPerBlock], 189, 1005,  (0, kMaxSamples),              "Charge length (samples)")         \
  X(R, std::int32_t,  ChargeThresholdFlag,  [kChannelsPerBlock], 193, 0,     (0, 1),                        "Charge threshold")                \
  X(R, std::int32_t,  ChargeThreshold,      [kChannelsPerBlock], 201, 0,     (0, 0x7FFFFF),                 "Charge threshold (counts)")       \
  X(R, float,         ChargeThresholdVolts, [kChannelsPerBlock], 209, 0.0f,  (-kChargePc, kChargePc),       "Charge threshold (pC)")           \
  X(R, std::int32_t,  ChargeThresholdReg,   [kChannelsPerBlock], 217, kept,  (),                            "Charge threshold register")       \
  X(R, std::uint16_t, PulsePattern,         [kChannelsPerBlock], 225, 1,     (),                            "Pulse pattern")                   \
  X(R, std::uint8_t,  PulseReg,             ,                    229, kept,  (),                            "Pulse register")                  \
  X(R, std::int32_t,  PulseEnable,          [kChannelsPerBlock], 230, kept,  (0, 1),                        "Test pulse")                      \
  X(R, std::int32_t,  PulseSource,          ,                    238, 1,     (0, 1),                        "Pulse source")                    \
  X(R, std::int32_t,  NoResetPerReadout,    ,                    242, 1,     (0, 1),                        "No reset per readout")            \
  X(R, std::int32_t,  ControlRegBit2,       ,                    246, 1,     (0, 1),                        "Control register bit 2")

#define VX_GUI_FIELDS(X, R) \
  X(R, std::int32_t, ChannelEnabled,         [kMaxChannels], 0,   1,               (0, 1),                                    "Channel enabled")               \
  X(R, float,        ThresholdVolts,         [kMaxChannels], 64,  kept,            (-kVolts, kVolts),                         "Threshold (V)")                 \
  X(R, float,        ThresholdMin,           [kMaxChannels], 128, kept,            (-kVolts, kVolts),                         "Threshold minimum (V)")         \
  X(R, float,        ThresholdMax,           [kMaxChannels], 192, kept,            (-kVolts, kVolts),                         "Threshold maximum (V)")         \
  X(R, std::int32_t, ChargeHistoNbOfBins,    ,               256, 100,             (1, 2000),                                 "Charge histogram bins")         \
  X(R, std::int32_t, TimeHistoNbOfBins,      ,               260, 100,             (1, 1000),                                 "Time histogram bins")           \
  X(R, std::int32_t, TimeHistoOption1,       ,               264, 1,               (0, 1),                                    "Time histogram option 1")       \
  X(R, std::int32_t, TimeHistoOption2,       ,               268, 1,               (0, 1),                                    "Time histogram option 2")       \
  X(R, double,       TimeHistoMin,           ,               272, -100.0,          (-kHistoNs, kHistoNs),                     "Time histogram minimum (ns)")   \
  X(R, double,       TimeHistoMax,           ,               280, 100.0,           (-kHistoNs, kHistoNs),                     "Time histogram maximum (ns)")   \
  X(R, float,        VerticalPosition,       [kMaxChannels], 288, 0.0f,            (-kPositionDivisions, kPositionDivisions), "Vertical position (divisions)") \
  X(R, std::int32_t, SelectedChannel,        ,               352, 0,               (0, kLastChannel),                         "Selected channel")              \
  X(R, std::int32_t, VerticalScale,          [kMaxChannels], 356, 500,             (1, 5000),                                 "Vertical scale (mV/division)")  \
  X(R, std::int32_t, GraphComputedValue,     ,               420, kept,            (),                                        "Graph computed value")          \
  X(R, std::int32_t, DisplayTimeOnWaveforms, ,               424, 0,               (0, 1),                                    "Time shown on waveforms")       \
  X(R, std::int32_t, DisplayModulo,          ,               428, 100,             (1, 1024),                                 "Display every Nth event")       \
  X(R, std::int32_t, RateMeasurementOn,      ,               432, 0,               (0, 1),                                    "Rate measurement")              \
  X(R, std::int32_t, RateStripChartChannel,  ,               436, -1,              (-1, kLastChannel),                        "Rate strip chart channel")      \
  X(R, std::int32_t, NoiseMeasurementOn,     ,               440, 0,               (0, 1),                                    "Noise measurement")             \
  X(R, std::int32_t, NoiseStripChartChannel, ,               444, -1,              (-1, kLastChannel),                        "Noise strip chart channel")     \
  X(R, std::int32_t, GraphOptionCharge,      ,               448, 0,               (0, 1),                                    "Charge graph option")           \
  X(R, std::int32_t, GraphMode,              ,               452, kGraphWaveforms, (0, 4),                                    "Graph")                         \
  X(R, std::int32_t, DisplayShift,           ,               456, kept,            (),                                        "Display shift")                 \
  X(R, std::int32_t, NbOfXDivisions,         ,               460, kept,            (),                                        "Horizontal divisions")          \
  X(R, double,       XLabelScale,            ,               464, kept,            (-kAny, kAny),                             "Horizontal label scale")        \
  X(R, float,        ChannelGain,            [kMaxChannels], 472, kept,            (-kAny, kAny),                             "Channel gain")                  \
  X(R, float,        ChannelOffset,          [kMaxChannels], 536, kept,            (-kAny, kAny),                             "Channel offset")                \
  X(R, double,       YAxisMin,               ,               600, kept,            (-kAny, kAny),                             "Vertical axis minimum")         \
  X(R, double,       YAxisMax,               ,               608, kept,            (-kAny, kAny),                             "Vertical axis maximum")         \
  X(R, std::int32_t, AmplitudeInVolts,       ,               616, kept,            (0, 1),                                    "Amplitude in volts")            \
  X(R, std::int32_t, NbOfPlotPoints,         ,               620, kept,            (),                                        "Plot points")                   \
  X(R, std::int32_t, NbOfComputedPoints,     ,               624, kept,            (),                                        "Computed points")               \
  X(R, std::int32_t, DisplayOption,          ,               628, 0,               (0, 1),                                    "Display option")                \
  X(R, std::int32_t, PlotAlignment,          ,               632, 0,               (0, 1),                                    "Plot alignment")                \
  X(R, std::int32_t, PlotAlignmentOption1,   ,               636, 0,               (0, kLastChannel),                         "Plot alignment channel")        \
  X(R, std::int32_t, PlotAlignmentOption2,   ,               640, 1,               (0, 1),                                    "Plot alignment option")         \
  X(R, float,        PlotAlignmentValue,     ,               644, 0.0f,            (-kVolts, kVolts),                         "Plot alignment value (V)")      \
  X(R, std::int32_t, ChargeHistoChannel,     ,               648, 0,               (0, kLastChannel),                         "Charge histogram channel")      \
  X(R, std::int32_t, RateVsThresholdChannel, ,               652, -1,              (-1, kLastChannel),                        "Rate-versus-threshold channel")

#define VX_TCP_FIELDS(X, R) \
  X(R, std::int32_t, ClientHandle,           ,      0,   0,      (), "Client handle")             \
  X(R, std::int32_t, ServerPort,             ,      4,   8008,   (), "Server port")               \
  X(R, std::int32_t, ServerOnline,           ,      8,   0,      (), "Server online")             \
  X(R, char,         ServerName,             [256], 12,  "NONE", (), "Server name")               \
  X(R, char,         ServerIp,               [20],  268, "NONE", (), "Server address")            \
  X(R, std::int32_t, ClientConnected,        ,      288, 0,      (), "Client connected")          \
  X(R, char,         ClientIp,               [20],  292, "NONE", (), "Client address")            \
  X(R, std::int32_t, RemoteStartRequest,     ,      312, 0,      (), "Remote start request")      \
  X(R, std::int32_t, RemoteStopRequest,      ,      316, 1,      (), "Remote stop request")       \
  X(R, std::int32_t, RemoteLoadSetupRequest, ,      320, 0,      (), "Remote setup load request") \
  X(R, char,         RemoteSetupFileName,    [516], 324, ".",    (), "Remote setup file")         \
  X(R, std::int32_t, TCPRunId,               ,      840, 0,      (), "TCP run number")            \
  X(R, std::int32_t, Unused844,              ,      844, kept,   (), "Unused (844)")
// clang-format on

#pragma pack(push, 1)

#define VX_DECLARE(R, type, name, extents, offset, def, range, label) type name extents;
struct AcqParams {
  VX_ACQ_FIELDS(VX_DECLARE, AcqParams)
};
// BoardInfo is a copy of the digitizer library's board-information record: model name text at
// 0, SAM block count word at 16, PCB revision word at 124.
struct BoardParams {
  VX_BOARD_FIELDS(VX_DECLARE, BoardParams)
};
struct SystemParams {
  VX_SYSTEM_FIELDS(VX_DECLARE, SystemParams)
};
struct SAMBlockParams {
  VX_BLOCK_FIELDS(VX_DECLARE, SAMBlockParams)
};
struct GuiParams {
  VX_GUI_FIELDS(VX_DECLARE, GuiParams)
};
struct TCPParams {
  VX_TCP_FIELDS(VX_DECLARE, TCPParams)
};
#undef VX_DECLARE

#pragma pack(pop)

// Record sizes and offsets are part of the setup-file format.
static_assert(sizeof(AcqParams) == 1638);
static_assert(sizeof(BoardParams) == 208);
static_assert(sizeof(SystemParams) == 265);
static_assert(sizeof(SAMBlockParams) == 250);
static_assert(sizeof(GuiParams) == 656);
static_assert(sizeof(TCPParams) == 848);

#define VX_AT(R, type, name, extents, offset, def, range, label) \
  static_assert(offsetof(R, name) == (offset), #R "." #name);
VX_ACQ_FIELDS(VX_AT, AcqParams)
VX_BOARD_FIELDS(VX_AT, BoardParams)
VX_SYSTEM_FIELDS(VX_AT, SystemParams)
VX_BLOCK_FIELDS(VX_AT, SAMBlockParams)
VX_GUI_FIELDS(VX_AT, GuiParams)
VX_TCP_FIELDS(VX_AT, TCPParams)
#undef VX_AT

// The fields of a record, visited in file order: Fields<Rec>::visit(f) calls
// f(info, default, std::type_identity<T>{}) for every field, T its type (an array's included).
// The records are packed: a field is reached through its offset, never by reference.
template <typename Rec>
struct Fields;

#define VX_VISIT(R, type, name, extents, offset, def, range, label) \
  f(FieldInfo{#name, offset, FieldRange range, label}, def, std::type_identity<type extents>{});
#define VX_RECORD_FIELDS(Rec, TABLE) \
  template <>                        \
  struct Fields<Rec> {               \
    template <typename F>            \
    static void visit(F&& f) {       \
      TABLE(VX_VISIT, Rec)           \
    }                                \
  };
VX_RECORD_FIELDS(AcqParams, VX_ACQ_FIELDS)
VX_RECORD_FIELDS(BoardParams, VX_BOARD_FIELDS)
VX_RECORD_FIELDS(SystemParams, VX_SYSTEM_FIELDS)
VX_RECORD_FIELDS(SAMBlockParams, VX_BLOCK_FIELDS)
VX_RECORD_FIELDS(GuiParams, VX_GUI_FIELDS)
VX_RECORD_FIELDS(TCPParams, VX_TCP_FIELDS)
#undef VX_RECORD_FIELDS
#undef VX_VISIT

// The elements of a field of type T, in memory order.
template <typename T>
inline constexpr std::size_t kElements = sizeof(T) / sizeof(std::remove_all_extents_t<T>);

// Element i of a field of type T whose first byte is at `at`, and its writing.
template <typename T>
std::remove_all_extents_t<T> field_element(const unsigned char* at, std::size_t i) {
  std::remove_all_extents_t<T> v;
  std::memcpy(&v, at + i * sizeof v, sizeof v);
  return v;
}
template <typename T>
void set_field_element(unsigned char* at, std::size_t i, std::remove_all_extents_t<T> v) {
  std::memcpy(at + i * sizeof v, &v, sizeof v);
}

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
