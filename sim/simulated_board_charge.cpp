// The simulated board's library calls for the firmware charge mode: the acquisition mode, the
// charge integration settings, and the charge record arrays the aggregates are unpacked into.
#include <algorithm>
#include <bit>
#include <cstring>

#include "sim/board_constants.h"
#include "sim/event_format.h"
#include "sim/simulated_board.h"

namespace vx::sim {

DgtzResult SimulatedBoard::SetSAMAcquisitionMode(int handle, int mode) {
  return board_call(handle, [&] {
    if (mode != kAcqModeWaveform && mode != kAcqModeCharge) return kDgtzInvalidParam;
    if (mode != acquisition_mode_) {
      advance(now());
      pending_.clear();  // what is stored is in the other mode's form
      acquisition_mode_ = mode;
    }
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetDPPParameters(int handle, std::uint32_t channel_mask,
                                            const ChargeModeParams& params) {
  return board_call(handle, [&] {
    if (params.BaselineSamples < 0 || params.BaselineSamples > kCells) return kDgtzInvalidParam;
    for (int c = 0; c < channels(); ++c) {
      if (!(channel_mask & (1u << c))) continue;
      ch_[c].charge_start = std::max(0, params.StartCell[c]);
      ch_[c].charge_length = params.Length[c];
    }
    if (channel_mask != 0) charge_baseline_samples_ = params.BaselineSamples;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::MallocDPPEvents(int handle, ChargeEvents* events, std::uint32_t* size) {
  return board_call(handle, [&] {
    if (events == nullptr || size == nullptr) return kDgtzInvalidParam;
    for (auto& slot : events->Channel) {
      charge_arrays_.push_back(std::make_unique<std::vector<ChargeRecord>>(kChargeAggregateMax));
      slot = charge_arrays_.back()->data();
    }
    *size =
        static_cast<std::uint32_t>(kMaxBoardChannels * kChargeAggregateMax * sizeof(ChargeRecord));
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::FreeDPPEvents(int handle, ChargeEvents* events) {
  return board_call(handle, [&]() -> int {
    if (events == nullptr) return kDgtzInvalidParam;
    int rc = kDgtzSuccess;
    for (auto& slot : events->Channel) {
      const auto it = std::find_if(charge_arrays_.begin(), charge_arrays_.end(),
                                   [&](const auto& a) { return a->data() == slot; });
      if (it != charge_arrays_.end()) {
        charge_arrays_.erase(it);
      } else if (slot != nullptr) {
        rc = kDgtzInvalidParam;
      }
      slot = nullptr;
    }
    return rc;
  });
}

DgtzResult SimulatedBoard::GetDPPEvents(int handle, const ReadoutBuffer& readout,
                                        ChargeEvents* events,
                                        std::uint32_t* num_events_per_channel) {
  const char* buffer = readout.data;
  const std::uint32_t size = readout.filled;
  return board_call(handle, [&]() -> int {
    if (buffer == nullptr || events == nullptr || num_events_per_channel == nullptr) {
      return kDgtzInvalidParam;
    }
    for (const auto* slot : events->Channel) {
      const bool ours = std::any_of(charge_arrays_.begin(), charge_arrays_.end(),
                                    [&](const auto& a) { return a->data() == slot; });
      if (!ours) return kDgtzInvalidBuffer;
    }
    std::fill_n(num_events_per_channel, kMaxBoardChannels, 0u);
    int rc = kDgtzSuccess;
    const bool ok = format::walk(buffer, size, [&](const char* e, std::uint32_t words) {
      const std::uint32_t w1 = format::word(e, 1);
      const std::uint32_t n = format::word(e, 2);
      const std::uint32_t mask = w1 & 0xFFFF;
      if (format::tag(format::word(e, 0)) != format::kChargeTag ||
          (w1 >> 24) != format::kFormatVersion ||
          words != format::kHeaderWords + 2 * n * static_cast<std::uint32_t>(std::popcount(mask))) {
        rc = kDgtzInvalidEvent;
        return false;
      }
      std::size_t w = format::kHeaderWords;
      for (int c = 0; c < kMaxBoardChannels; ++c) {
        if (!(mask & (1u << c))) continue;
        std::uint32_t& count = num_events_per_channel[c];
        if (count + n > kChargeAggregateMax) {
          rc = kDgtzInvalidBuffer;
          return false;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
          ChargeRecord& r = events->Channel[c][count++];
          const std::uint32_t bits = format::word(e, w++);
          std::memcpy(&r.Charge, &bits, 4);
          r.TimeTag = format::word(e, w++);
        }
      }
      return true;
    });
    if (!ok && rc == kDgtzSuccess) rc = kDgtzInvalidBuffer;
    if (rc != kDgtzSuccess) std::fill_n(num_events_per_channel, kMaxBoardChannels, 0u);
    return rc;
  });
}

}  // namespace vx::sim
