// The digitizer library as the system uses it: one abstract class whose operations mirror the
// vendor library's calls one for one (same meaning and argument order, handle first), each
// answering a DgtzResult (0 for success, negative for an error), and the records those calls
// exchange; the readout buffer is one record (ReadoutBuffer), not a pointer and its sizes.
// System code reaches boards through nothing else; the simulated board implements it, and a
// build against the vendor library can add a second implementation without touching the
// system code.
//
// Memory the board hands out (readout buffer, decoded event, charge-event arrays) belongs to
// the implementation: it stays valid until the matching Free call or the implementation's
// destruction, and the caller never deletes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

namespace vx {

// Results of the library calls. Only "0 = success, negative = error" is relied on by the
// system; the individual codes make logs and tests readable.
enum DgtzResult : int {
  kDgtzSuccess = 0,
  kDgtzCommError = -1,
  kDgtzGenericError = -2,
  kDgtzInvalidParam = -3,
  kDgtzInvalidLinkType = -4,
  kDgtzInvalidHandle = -5,
  kDgtzAlreadyOpen = -6,
  kDgtzBoardNotFound = -7,
  kDgtzInvalidBuffer = -8,
  kDgtzInvalidEvent = -9,
  kDgtzEventNotFound = -10,
  kDgtzNotAllowed = -11,
};

// The readout buffer the library allocates for a board (MallocReadoutBuffer): its memory and
// capacity in bytes, and how many bytes the last ReadData put in it. The memory belongs to the
// implementation, like every other buffer the board hands out.
struct ReadoutBuffer {
  char* data = nullptr;
  std::uint32_t capacity = 0;
  std::uint32_t filled = 0;
};

// Connection types accepted by OpenDigitizer2.
inline constexpr int kLinkUsb = 0;
inline constexpr int kLinkOptical = 1;
inline constexpr int kLinkUsbA4818 = 5;
inline constexpr int kLinkEthV4718 = 6;
inline constexpr int kLinkUsbV4718 = 7;

// The link argument: a link number (types 0 and 1) or a bridge PID (types 2 to 5 and 7) as a
// number, the bridge's IPv4 address text for type 6.
using LinkArg = std::variant<std::uint32_t, std::string>;

inline constexpr int kSamCellsPerChannel = 1024;
inline constexpr int kMaxGroups = 8;
inline constexpr int kMaxBoardChannels = 16;

// Trigger and acquisition codes of the library.
inline constexpr int kTrgModeDisabled = 0;
inline constexpr int kTrgModeAcqOnly = 1;
inline constexpr int kTrgModeExtOutOnly = 2;
inline constexpr int kTrgModeAcqAndExtOut = 3;
inline constexpr int kLogicOr = 0;
inline constexpr int kLogicAnd = 1;
inline constexpr int kLogicMajority = 2;
inline constexpr int kPolarityRisingEdge = 0;
inline constexpr int kPolarityFallingEdge = 1;
inline constexpr int kCorrectionDisabled = 0;
inline constexpr int kCorrectionPedestalOnly = 1;
inline constexpr int kCorrectionInlOnly = 2;
inline constexpr int kCorrectionAll = 3;
inline constexpr int kAcqModeWaveform = 0;
inline constexpr int kAcqModeCharge = 1;
inline constexpr int kReadoutSlaveTerminated = 0;

#pragma pack(push, 1)

// Board information as GetInfo fills it: 164 bytes, kept raw at the head of BoardParams.
struct BoardInfo {
  char ModelName[12];
  std::uint32_t Model;
  std::uint32_t Channels;  // for the x743 family: the number of SAM blocks
  std::uint32_t FormFactor;
  std::uint32_t FamilyCode;
  char ROC_FirmwareRel[20];
  char AMC_FirmwareRel[40];
  std::uint32_t SerialNumber;
  char MezzanineSerNum[4][8];
  std::uint32_t PCB_Revision;
  std::uint32_t ADC_NBits;
  std::uint32_t SAMCorrectionDataLoaded;
  std::int32_t CommHandle;
  std::int32_t VMEHandle;
  char License[17];
  std::uint8_t Reserved161[3];
};

#pragma pack(pop)

static_assert(sizeof(BoardInfo) == 164);
static_assert(offsetof(BoardInfo, ModelName) == 0);
static_assert(offsetof(BoardInfo, Channels) == 16);
static_assert(offsetof(BoardInfo, PCB_Revision) == 124);

// What GetEventInfo reports about one event of the readout buffer.
struct EventInfo {
  std::uint32_t EventSize = 0;  // bytes
  std::uint32_t BoardId = 0;
  std::uint32_t Pattern = 0;
  std::uint32_t ChannelMask = 0;  // groups (SAM blocks) present
  std::uint32_t EventCounter = 0;
  std::uint32_t TriggerTimeTag = 0;  // low 32 bits of the time stamp
};

// One SAM block of a decoded event.
struct GroupEvent743 {
  std::uint8_t GrPresent = 0;
  std::uint32_t ChSize = 0;  // samples per channel
  std::array<std::array<float, kSamCellsPerChannel>, 2> DataChannel{};
  std::array<std::uint16_t, 2> TriggerCount{};  // discriminator hits since the previous event
  std::array<std::uint16_t, 2> TimeCount{};     // microseconds since the previous event
  std::uint8_t EventId = 0;
  std::uint16_t StartIndexCell = 0;  // first cell read, 0..1023
  std::uint64_t TDC = 0;             // 40-bit time stamp, units of 16 sampling periods
  std::array<float, 2> Charge{};     // pC over the charge window
  std::array<float, 2> Baseline{};   // counts, mean of the window's leading samples
};

struct Event743 {
  std::array<GroupEvent743, kMaxGroups> DataGroup{};
};

// A firmware charge record: records of one channel lie 8 bytes apart.
struct ChargeRecord {
  float Charge = 0.0f;  // pC
  std::uint32_t TimeTag = 0;
};
static_assert(sizeof(ChargeRecord) == 8);

// Per-channel charge-record arrays handed out by MallocDPPEvents.
struct ChargeEvents {
  std::array<ChargeRecord*, kMaxBoardChannels> Channel{};
};

// Charge-mode window of each channel (SetDPPParameters).
struct ChargeModeParams {
  std::array<std::int32_t, kMaxBoardChannels> StartCell{};
  std::array<std::uint16_t, kMaxBoardChannels> Length{};
  std::int32_t BaselineSamples = 16;  // 0 = no baseline subtraction
};

// What one input of a board carries, as far as its driver knows it: a board reading real
// signals knows nothing of them, the simulated board what it was configured to make.
struct InputSignal {
  enum class Kind { kUnknown, kPulse, kSine, kNone };
  Kind kind = Kind::kUnknown;
  double excursion_v = 0.0;  // pulse: signed height from the baseline; sine: amplitude
};
using KnownInputs = std::array<InputSignal, 16>;

class Digitizer {
 public:
  virtual ~Digitizer() = default;

  // What the board's inputs carry, where its driver knows it (unknown by default).
  virtual KnownInputs Known_Inputs() const { return {}; }

  // Connection.
  virtual DgtzResult OpenDigitizer2(int link_type, const LinkArg& link_arg, int conet_node,
                                    std::uint32_t vme_base_address, int* handle) = 0;
  virtual DgtzResult GetInfo(int handle, BoardInfo* info) = 0;
  virtual DgtzResult CloseDigitizer(int handle) = 0;
  virtual DgtzResult ReadRegister(int handle, std::uint32_t address, std::uint32_t* value) = 0;
  virtual DgtzResult WriteRegister(int handle, std::uint32_t address, std::uint32_t value) = 0;

  // Readout.
  virtual DgtzResult SetMaxNumEventsBLT(int handle, std::uint32_t max_events) = 0;
  virtual DgtzResult MallocReadoutBuffer(int handle, ReadoutBuffer* buffer) = 0;
  virtual DgtzResult FreeReadoutBuffer(int handle, ReadoutBuffer* buffer) = 0;
  virtual DgtzResult ReadData(int handle, int mode, ReadoutBuffer* buffer) = 0;
  virtual DgtzResult GetNumEvents(int handle, const ReadoutBuffer& buffer,
                                  std::uint32_t* num_events) = 0;
  virtual DgtzResult GetEventInfo(int handle, const ReadoutBuffer& buffer, std::int32_t index,
                                  EventInfo* info, const char** event_ptr) = 0;
  virtual DgtzResult AllocateEvent(int handle, Event743** event) = 0;
  virtual DgtzResult DecodeEvent(int handle, const char* event_ptr, Event743** event) = 0;
  virtual DgtzResult FreeEvent(int handle, Event743** event) = 0;
  virtual DgtzResult ClearData(int handle) = 0;
  virtual DgtzResult SWStartAcquisition(int handle) = 0;
  virtual DgtzResult SWStopAcquisition(int handle) = 0;
  virtual DgtzResult SendSWtrigger(int handle) = 0;
  virtual DgtzResult SendSAMPulse(int handle) = 0;

  // Charge mode.
  virtual DgtzResult SetSAMAcquisitionMode(int handle, int mode) = 0;
  virtual DgtzResult MallocDPPEvents(int handle, ChargeEvents* events, std::uint32_t* size) = 0;
  virtual DgtzResult FreeDPPEvents(int handle, ChargeEvents* events) = 0;
  virtual DgtzResult GetDPPEvents(int handle, const ReadoutBuffer& buffer, ChargeEvents* events,
                                  std::uint32_t* num_events_per_channel) = 0;
  virtual DgtzResult SetDPPParameters(int handle, std::uint32_t channel_mask,
                                      const ChargeModeParams& params) = 0;

  // Trigger.
  virtual DgtzResult SetSWTriggerMode(int handle, int mode) = 0;
  virtual DgtzResult SetExtTriggerInputMode(int handle, int mode) = 0;
  virtual DgtzResult SetChannelSelfTrigger(int handle, int mode, std::uint32_t channel_mask) = 0;
  virtual DgtzResult SetTriggerLogic(int handle, int logic, std::uint32_t majority_level) = 0;
  virtual DgtzResult GetTriggerLogic(int handle, int* logic, std::uint32_t* majority_level) = 0;
  virtual DgtzResult SetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                                std::uint32_t channel_b, int logic,
                                                std::uint16_t coincidence_window_ns) = 0;
  virtual DgtzResult GetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                                std::uint32_t channel_b, int* logic,
                                                std::uint16_t* coincidence_window_ns) = 0;
  virtual DgtzResult SetTriggerPolarity(int handle, std::uint32_t channel, int polarity) = 0;
  virtual DgtzResult SetIOLevel(int handle, int level) = 0;
  virtual DgtzResult SetTriggerInAsGate(int handle, int gate) = 0;
  virtual DgtzResult SetSAMTriggerCountVetoParam(int handle, int channel, int enable,
                                                 std::uint32_t veto_window_ns) = 0;
  virtual DgtzResult GetSAMTriggerCountVetoParam(int handle, int channel, int* enable,
                                                 std::uint32_t* veto_window_ns) = 0;

  // SAM chips and DACs.
  virtual DgtzResult SetSAMSamplingFrequency(int handle, int frequency) = 0;
  virtual DgtzResult SetSAMPostTriggerSize(int handle, int sam_index, std::uint8_t value) = 0;
  virtual DgtzResult SetSAMCorrectionLevel(int handle, int level) = 0;
  virtual DgtzResult EnableSAMPulseGen(int handle, int channel, std::uint16_t pattern,
                                       int source) = 0;
  virtual DgtzResult DisableSAMPulseGen(int handle, int channel) = 0;
  virtual DgtzResult LoadSAMCorrectionData(int handle) = 0;
  virtual DgtzResult SetGroupEnableMask(int handle, std::uint32_t mask) = 0;
  virtual DgtzResult SetRecordLength(int handle, std::uint32_t samples) = 0;
  virtual DgtzResult SetChannelDCOffset(int handle, std::uint32_t channel, std::uint32_t code) = 0;
  virtual DgtzResult SetChannelTriggerThreshold(int handle, std::uint32_t channel,
                                                std::uint32_t code) = 0;

  // Daughter-board EEPROMs and the threshold-scan switch.
  virtual DgtzResult Read_EEPROM(int handle, int daughter_board, std::uint16_t address,
                                 std::uint32_t count, unsigned char* buffer) = 0;
  virtual DgtzResult Write_EEPROM(int handle, int daughter_board, std::uint16_t address,
                                  std::uint32_t count, const unsigned char* buffer) = 0;
  virtual DgtzResult TriggerThreshold(int handle, int enable) = 0;
};

}  // namespace vx
