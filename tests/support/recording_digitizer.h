// A driver around another that records every call it forwards (its name, its integer input
// arguments, its result) in a call log, so that tests can check what the core asks of the board
// and in which order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/digitizer.h"

namespace vx {

struct CallRecord {
  std::string name;
  std::vector<std::int64_t> args;
  std::string text;  // textual argument (the IP address of an Ethernet link)
  int result = 0;
};

// The calls in the order they returned; safe from any thread.
class CallLog {
 public:
  void add(CallRecord record) {
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(record));
  }
  std::vector<CallRecord> records() const {
    std::lock_guard lock(mutex_);
    return records_;
  }
  std::vector<std::string> names() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    out.reserve(records_.size());
    for (const auto& r : records_) out.push_back(r.name);
    return out;
  }
  std::vector<CallRecord> named(std::string_view name) const {
    std::lock_guard lock(mutex_);
    std::vector<CallRecord> out;
    for (const auto& r : records_)
      if (r.name == name) out.push_back(r);
    return out;
  }
  std::size_t count(std::string_view name) const {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const auto& r : records_) n += r.name == name ? 1 : 0;
    return n;
  }
  void clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<CallRecord> records_;
};

class RecordingDigitizer final : public Digitizer {
 public:
  RecordingDigitizer(Digitizer& board, CallLog& log) : board_(board), log_(log) {}

  KnownInputs Known_Inputs() const override { return board_.Known_Inputs(); }

  DgtzResult OpenDigitizer2(int link_type, const LinkArg& link_arg, int conet_node,
                            std::uint32_t vme_base_address, int* handle) override {
    const auto* number = std::get_if<std::uint32_t>(&link_arg);
    const auto* address = std::get_if<std::string>(&link_arg);
    return record("OpenDigitizer2",
                  {link_type, number ? std::int64_t{*number} : -1, conet_node, vme_base_address},
                  board_.OpenDigitizer2(link_type, link_arg, conet_node, vme_base_address, handle),
                  address ? *address : std::string());
  }

// Forwards the call and records it with the listed arguments.
#define VX_RECORDED(name, params, args, ...)               \
  DgtzResult name params override {                        \
    return record(#name, {__VA_ARGS__}, board_.name args); \
  }
  VX_RECORDED(GetInfo, (int handle, BoardInfo* info), (handle, info), handle)
  VX_RECORDED(CloseDigitizer, (int handle), (handle), handle)
  VX_RECORDED(ReadRegister, (int handle, std::uint32_t address, std::uint32_t* value),
              (handle, address, value), handle, address)
  VX_RECORDED(WriteRegister, (int handle, std::uint32_t address, std::uint32_t value),
              (handle, address, value), handle, address, value)
  VX_RECORDED(SetMaxNumEventsBLT, (int handle, std::uint32_t max_events), (handle, max_events),
              handle, max_events)
  VX_RECORDED(MallocReadoutBuffer, (int handle, ReadoutBuffer* buffer), (handle, buffer), handle)
  VX_RECORDED(FreeReadoutBuffer, (int handle, ReadoutBuffer* buffer), (handle, buffer), handle)
  VX_RECORDED(ReadData, (int handle, int mode, ReadoutBuffer* buffer), (handle, mode, buffer),
              handle, mode)
  VX_RECORDED(GetNumEvents, (int handle, const ReadoutBuffer& buffer, std::uint32_t* num_events),
              (handle, buffer, num_events), handle, buffer.filled)
  VX_RECORDED(GetEventInfo,
              (int handle, const ReadoutBuffer& buffer, std::int32_t index, EventInfo* info,
               const char** event_ptr),
              (handle, buffer, index, info, event_ptr), handle, buffer.filled, index)
  VX_RECORDED(AllocateEvent, (int handle, Event743** event), (handle, event), handle)
  VX_RECORDED(DecodeEvent, (int handle, const char* event_ptr, Event743** event),
              (handle, event_ptr, event), handle)
  VX_RECORDED(FreeEvent, (int handle, Event743** event), (handle, event), handle)
  VX_RECORDED(ClearData, (int handle), (handle), handle)
  VX_RECORDED(SWStartAcquisition, (int handle), (handle), handle)
  VX_RECORDED(SWStopAcquisition, (int handle), (handle), handle)
  VX_RECORDED(SendSWtrigger, (int handle), (handle), handle)
  VX_RECORDED(SendSAMPulse, (int handle), (handle), handle)
  VX_RECORDED(SetSAMAcquisitionMode, (int handle, int mode), (handle, mode), handle, mode)
  VX_RECORDED(MallocDPPEvents, (int handle, ChargeEvents* events, std::uint32_t* size),
              (handle, events, size), handle)
  VX_RECORDED(FreeDPPEvents, (int handle, ChargeEvents* events), (handle, events), handle)
  VX_RECORDED(GetDPPEvents,
              (int handle, const ReadoutBuffer& buffer, ChargeEvents* events,
               std::uint32_t* num_events_per_channel),
              (handle, buffer, events, num_events_per_channel), handle, buffer.filled)
  VX_RECORDED(SetDPPParameters,
              (int handle, std::uint32_t channel_mask, const ChargeModeParams& params),
              (handle, channel_mask, params), handle, channel_mask)
  VX_RECORDED(SetSWTriggerMode, (int handle, int mode), (handle, mode), handle, mode)
  VX_RECORDED(SetExtTriggerInputMode, (int handle, int mode), (handle, mode), handle, mode)
  VX_RECORDED(SetChannelSelfTrigger, (int handle, int mode, std::uint32_t channel_mask),
              (handle, mode, channel_mask), handle, mode, channel_mask)
  VX_RECORDED(SetTriggerLogic, (int handle, int logic, std::uint32_t majority_level),
              (handle, logic, majority_level), handle, logic, majority_level)
  VX_RECORDED(GetTriggerLogic, (int handle, int* logic, std::uint32_t* majority_level),
              (handle, logic, majority_level), handle)
  VX_RECORDED(SetChannelPairTriggerLogic,
              (int handle, std::uint32_t channel_a, std::uint32_t channel_b, int logic,
               std::uint16_t coincidence_window_ns),
              (handle, channel_a, channel_b, logic, coincidence_window_ns), handle, channel_a,
              channel_b, logic, coincidence_window_ns)
  VX_RECORDED(GetChannelPairTriggerLogic,
              (int handle, std::uint32_t channel_a, std::uint32_t channel_b, int* logic,
               std::uint16_t* coincidence_window_ns),
              (handle, channel_a, channel_b, logic, coincidence_window_ns), handle, channel_a,
              channel_b)
  VX_RECORDED(SetTriggerPolarity, (int handle, std::uint32_t channel, int polarity),
              (handle, channel, polarity), handle, channel, polarity)
  VX_RECORDED(SetIOLevel, (int handle, int level), (handle, level), handle, level)
  VX_RECORDED(SetTriggerInAsGate, (int handle, int gate), (handle, gate), handle, gate)
  VX_RECORDED(SetSAMTriggerCountVetoParam,
              (int handle, int channel, int enable, std::uint32_t veto_window_ns),
              (handle, channel, enable, veto_window_ns), handle, channel, enable, veto_window_ns)
  VX_RECORDED(GetSAMTriggerCountVetoParam,
              (int handle, int channel, int* enable, std::uint32_t* veto_window_ns),
              (handle, channel, enable, veto_window_ns), handle, channel)
  VX_RECORDED(SetSAMSamplingFrequency, (int handle, int frequency), (handle, frequency), handle,
              frequency)
  VX_RECORDED(SetSAMPostTriggerSize, (int handle, int sam_index, std::uint8_t value),
              (handle, sam_index, value), handle, sam_index, value)
  VX_RECORDED(SetSAMCorrectionLevel, (int handle, int level), (handle, level), handle, level)
  VX_RECORDED(EnableSAMPulseGen, (int handle, int channel, std::uint16_t pattern, int source),
              (handle, channel, pattern, source), handle, channel, pattern, source)
  VX_RECORDED(DisableSAMPulseGen, (int handle, int channel), (handle, channel), handle, channel)
  VX_RECORDED(LoadSAMCorrectionData, (int handle), (handle), handle)
  VX_RECORDED(SetGroupEnableMask, (int handle, std::uint32_t mask), (handle, mask), handle, mask)
  VX_RECORDED(SetRecordLength, (int handle, std::uint32_t samples), (handle, samples), handle,
              samples)
  VX_RECORDED(SetChannelDCOffset, (int handle, std::uint32_t channel, std::uint32_t code),
              (handle, channel, code), handle, channel, code)
  VX_RECORDED(SetChannelTriggerThreshold, (int handle, std::uint32_t channel, std::uint32_t code),
              (handle, channel, code), handle, channel, code)
  VX_RECORDED(Read_EEPROM,
              (int handle, int daughter_board, std::uint16_t address, std::uint32_t count,
               unsigned char* buffer),
              (handle, daughter_board, address, count, buffer), handle, daughter_board, address,
              count)
  VX_RECORDED(Write_EEPROM,
              (int handle, int daughter_board, std::uint16_t address, std::uint32_t count,
               const unsigned char* buffer),
              (handle, daughter_board, address, count, buffer), handle, daughter_board, address,
              count)
  VX_RECORDED(TriggerThreshold, (int handle, int enable), (handle, enable), handle, enable)
#undef VX_RECORDED

 private:
  DgtzResult record(const char* name, std::initializer_list<std::int64_t> args, DgtzResult result,
                    std::string text = {}) {
    log_.add(CallRecord{name, std::vector<std::int64_t>(args), std::move(text), result});
    return result;
  }

  Digitizer& board_;
  CallLog& log_;
};

}  // namespace vx
