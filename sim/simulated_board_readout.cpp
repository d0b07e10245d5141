// The simulated board's library calls for acquisition and readout: start, stop and software
// triggers, readout buffers, block reads, and the walk and decoding of waveform events.
#include <algorithm>

#include "sim/event_format.h"
#include "sim/simulated_board.h"

namespace vx::sim {

// ---- acquisition --------------------------------------------------------------------------------

DgtzResult SimulatedBoard::ClearData(int handle) {
  return board_call(handle, [&] {
    advance(now());
    pending_.clear();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SWStartAcquisition(int handle) {
  return board_call(handle, [&] {
    if (acquiring_) return kDgtzSuccess;
    const double t = now();
    advance(t);
    acquiring_ = true;
    armed_ = true;
    acquisition_start_ = t;
    last_event_time_ = t;
    event_counter_ = 0;
    for (auto& ch : ch_) ch.event_counter.restart(t);
    reschedule(t);
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SWStopAcquisition(int handle) {
  return board_call(handle, [&] {
    advance(now());
    acquiring_ = false;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SendSWtrigger(int handle) {
  return board_call(handle, [&] {
    const double t = now();
    advance(t);
    if (acquiring_ && armed_ && sw_trigger_mode_ != kTrgModeDisabled && accepting()) {
      accept_trigger(t);
      if (next_trigger_ < t + dead_time_s()) reschedule(t + dead_time_s());
    }
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SendSAMPulse(int handle) {
  return board_call(handle, [] { return kDgtzSuccess; });
}

// ---- readout buffers ----------------------------------------------------------------------------

DgtzResult SimulatedBoard::SetMaxNumEventsBLT(int handle, std::uint32_t max_events) {
  return board_call(handle, [&] {
    if (max_events == 0 || max_events > 1023) return kDgtzInvalidParam;
    max_events_blt_ = max_events;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::MallocReadoutBuffer(int handle, ReadoutBuffer* buffer) {
  return board_call(handle, [&] {
    if (buffer == nullptr) return kDgtzInvalidParam;
    auto b = std::make_unique<BufferMemory>();
    b->words.resize(static_cast<std::size_t>(max_events_blt_) * max_event_bytes() / 4);
    *buffer = ReadoutBuffer{b->data(), b->bytes(), 0};
    buffers_.push_back(std::move(b));
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::FreeReadoutBuffer(int handle, ReadoutBuffer* buffer) {
  return board_call(handle, [&] {
    if (buffer == nullptr || buffer->data == nullptr) return kDgtzInvalidBuffer;
    const auto it = std::find_if(buffers_.begin(), buffers_.end(),
                                 [&](const auto& b) { return b->data() == buffer->data; });
    if (it == buffers_.end()) return kDgtzInvalidBuffer;
    buffers_.erase(it);
    *buffer = ReadoutBuffer{};
    return kDgtzSuccess;
  });
}

SimulatedBoard::BufferMemory* SimulatedBoard::find_buffer(const char* p) {
  for (auto& b : buffers_) {
    if (b->data() == p) return b.get();
  }
  return nullptr;
}

const SimulatedBoard::BufferMemory* SimulatedBoard::find_containing(const char* p,
                                                                    std::uint32_t bytes) const {
  for (const auto& b : buffers_) {
    const char* begin = reinterpret_cast<const char*>(b->words.data());
    if (p >= begin && p + bytes <= begin + b->bytes()) return b.get();
  }
  return nullptr;
}

DgtzResult SimulatedBoard::ReadData(int handle, int mode, ReadoutBuffer* buffer) {
  return board_call(handle, [&](Lock& lock) {
    if (buffer == nullptr || mode != kReadoutSlaveTerminated) return kDgtzInvalidParam;
    buffer->filled = 0;
    BufferMemory* target = find_buffer(buffer->data);
    if (target == nullptr) return kDgtzInvalidBuffer;
    if (++readouts_ == config_.fault.fail_readout) return kDgtzCommError;

    advance(now());
    if (pending_.empty() && acquiring_) {
      // Nothing waiting: linger up to a millisecond, as a block transfer that times out would,
      // so that a polling caller does not spin.
      const double wait = std::clamp(next_trigger_ - now(), 0.0, 1e-3);
      lock.unlock();
      clock_->delay(wait > 0.0 ? wait : 1e-3);
      lock.lock();
      if (!valid(handle) || find_buffer(buffer->data) != target) return kDgtzInvalidBuffer;
      advance(now());
    }
    buffer->filled = acquisition_mode_ == kAcqModeCharge
                         ? fill_charges(target->data(), target->bytes())
                         : fill_waveforms(target->data(), target->bytes());
    return kDgtzSuccess;
  });
}

// ---- waveform events ----------------------------------------------------------------------------

DgtzResult SimulatedBoard::GetNumEvents(int handle, const ReadoutBuffer& readout,
                                        std::uint32_t* num_events) {
  const char* buffer = readout.data;
  const std::uint32_t size = readout.filled;
  return board_call(handle, [&] {
    if (num_events == nullptr || (buffer == nullptr && size != 0)) return kDgtzInvalidParam;
    std::uint32_t n = 0;
    const bool ok = size == 0 || format::walk(buffer, size, [&](const char*, std::uint32_t) {
                      ++n;
                      return true;
                    });
    *num_events = ok ? n : 0;
    return ok ? kDgtzSuccess : kDgtzInvalidBuffer;
  });
}

DgtzResult SimulatedBoard::GetEventInfo(int handle, const ReadoutBuffer& readout,
                                        std::int32_t index, EventInfo* info,
                                        const char** event_ptr) {
  const char* buffer = readout.data;
  const std::uint32_t size = readout.filled;
  return board_call(handle, [&] {
    if (buffer == nullptr || info == nullptr || event_ptr == nullptr || index < 0) {
      return kDgtzInvalidParam;
    }
    const char* found = nullptr;
    std::int32_t i = 0;
    const bool ok = format::walk(buffer, size, [&](const char* e, std::uint32_t) {
      if (i++ == index) found = e;
      return found == nullptr;
    });
    if (!ok) return kDgtzInvalidBuffer;
    if (found == nullptr || format::tag(format::word(found, 0)) != format::kWaveformTag) {
      return kDgtzEventNotFound;
    }
    info->EventSize = 4 * format::size_words(format::word(found, 0));
    info->BoardId = 0;
    info->Pattern = 0;
    info->ChannelMask = format::word(found, 1) & 0xFF;
    info->EventCounter = format::word(found, 2);
    info->TriggerTimeTag = format::word(found, 3);
    *event_ptr = found;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::AllocateEvent(int handle, Event743** event) {
  return board_call(handle, [&] {
    if (event == nullptr) return kDgtzInvalidParam;
    events_.push_back(std::make_unique<Event743>());
    *event = events_.back().get();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::FreeEvent(int handle, Event743** event) {
  return board_call(handle, [&] {
    if (event == nullptr || *event == nullptr) return kDgtzInvalidParam;
    const auto it = std::find_if(events_.begin(), events_.end(),
                                 [&](const auto& e) { return e.get() == *event; });
    if (it == events_.end()) return kDgtzInvalidParam;
    events_.erase(it);
    *event = nullptr;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::DecodeEvent(int handle, const char* event_ptr, Event743** event) {
  return board_call(handle, [&] {
    if (event_ptr == nullptr || event == nullptr || *event == nullptr) return kDgtzInvalidParam;
    if (find_containing(event_ptr, 4 * format::kHeaderWords) == nullptr) {
      return kDgtzInvalidBuffer;
    }
    const std::uint32_t w0 = format::word(event_ptr, 0);
    const std::uint32_t w1 = format::word(event_ptr, 1);
    const std::uint32_t words = format::size_words(w0);
    if (format::tag(w0) != format::kWaveformTag || (w1 >> 24) != format::kFormatVersion ||
        find_containing(event_ptr, 4 * words) == nullptr) {
      return kDgtzInvalidEvent;
    }
    // Check the group sizes against the event size before touching any sample.
    std::uint32_t offset = format::kHeaderWords;
    for (int b = 0; b < kMaxGroups; ++b) {
      if (!(w1 & (1u << b))) continue;
      if (b >= blocks_ || offset + format::kGroupHeaderWords > words) return kDgtzInvalidEvent;
      const std::uint32_t n = format::word(event_ptr, offset) & 0xFFFF;
      if (n > kCells) return kDgtzInvalidEvent;
      offset += format::kGroupHeaderWords + n;
    }
    if (offset != words) return kDgtzInvalidEvent;

    Event743& ev = **event;
    offset = format::kHeaderWords;
    std::array<double, kMaxGroups> period{};
    for (int b = 0; b < kMaxGroups; ++b) {
      GroupEvent743& g = ev.DataGroup[b];
      if (!(w1 & (1u << b))) {
        g.GrPresent = 0;
        continue;
      }
      g.TDC = format::word(event_ptr, 3);
      period[b] = decode_group(event_ptr + 4 * offset, b, g);
      offset += format::kGroupHeaderWords + g.ChSize;
    }
    compute_group_charges(ev, w1 & 0xFF, period);
    return kDgtzSuccess;
  });
}

}  // namespace vx::sim
