// The simulated board's library calls that set it up: trigger sources, logic and polarity,
// the SAM chips (sampling frequency, post-trigger, corrections, pulsers), the enabled groups,
// the record length and the channel DACs.
#include "sim/simulated_board.h"

namespace vx::sim {

// ---- trigger ------------------------------------------------------------------------------------

DgtzResult SimulatedBoard::SetSWTriggerMode(int handle, int mode) {
  return board_call(handle, [&] {
    if (mode < 0 || mode > 3) return kDgtzInvalidParam;
    sw_trigger_mode_ = mode;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetExtTriggerInputMode(int handle, int mode) {
  return board_call(handle, [&] {
    if (mode < 0 || mode > 3) return kDgtzInvalidParam;
    advance(now());
    ext_trigger_mode_ = mode;
    recompute_rates();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetChannelSelfTrigger(int handle, int mode, std::uint32_t channel_mask) {
  return board_call(handle, [&] {
    if (mode < 0 || mode > 3) return kDgtzInvalidParam;
    advance(now());
    for (int c = 0; c < channels(); ++c) {
      if (channel_mask & (1u << c)) ch_[c].self_trigger_mode = mode;
    }
    recompute_rates();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetTriggerLogic(int handle, int logic, std::uint32_t majority_level) {
  return board_call(handle, [&] {
    if (logic < kLogicOr || logic > kLogicMajority ||
        majority_level >= static_cast<std::uint32_t>(blocks_)) {
      return kDgtzInvalidParam;
    }
    advance(now());
    logic_ = logic;
    majority_ = majority_level;
    recompute_rates();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::GetTriggerLogic(int handle, int* logic, std::uint32_t* majority_level) {
  return board_call(handle, [&] {
    if (logic == nullptr || majority_level == nullptr) return kDgtzInvalidParam;
    *logic = logic_;
    *majority_level = majority_;
    return kDgtzSuccess;
  });
}

bool SimulatedBoard::channel_pair(std::uint32_t channel_a, std::uint32_t channel_b) const {
  return check_channel(channel_b) == kDgtzSuccess && channel_a % 2 == 0 &&
         channel_b == channel_a + 1;
}

DgtzResult SimulatedBoard::SetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                                      std::uint32_t channel_b, int logic,
                                                      std::uint16_t coincidence_window_ns) {
  return board_call(handle, [&] {
    if (!channel_pair(channel_a, channel_b) || (logic != kLogicOr && logic != kLogicAnd)) {
      return kDgtzInvalidParam;
    }
    advance(now());
    grp_[channel_a / 2].pair_logic = logic;
    grp_[channel_a / 2].window_ns = coincidence_window_ns;
    recompute_rates();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::GetChannelPairTriggerLogic(int handle, std::uint32_t channel_a,
                                                      std::uint32_t channel_b, int* logic,
                                                      std::uint16_t* coincidence_window_ns) {
  return board_call(handle, [&] {
    if (!channel_pair(channel_a, channel_b) || logic == nullptr ||
        coincidence_window_ns == nullptr) {
      return kDgtzInvalidParam;
    }
    *logic = grp_[channel_a / 2].pair_logic;
    *coincidence_window_ns = grp_[channel_a / 2].window_ns;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetTriggerPolarity(int handle, std::uint32_t channel, int polarity) {
  return board_call(handle, [&] {
    if (check_channel(channel) != kDgtzSuccess ||
        (polarity != kPolarityRisingEdge && polarity != kPolarityFallingEdge)) {
      return kDgtzInvalidParam;
    }
    ch_[channel].polarity = polarity;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetIOLevel(int handle, int level) {
  return board_call(handle, [&] {
    if (level != 0 && level != 1) return kDgtzInvalidParam;
    io_level_ = level;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetTriggerInAsGate(int handle, int gate) {
  return board_call(handle, [&] {
    if (gate != 0 && gate != 1) return kDgtzInvalidParam;
    advance(now());
    trigger_in_as_gate_ = gate;
    recompute_rates();
    return kDgtzSuccess;
  });
}

bool SimulatedBoard::signed_channel_ok(int channel) const {
  return channel >= 0 && check_channel(static_cast<std::uint32_t>(channel)) == kDgtzSuccess;
}

DgtzResult SimulatedBoard::SetSAMTriggerCountVetoParam(int handle, int channel, int enable,
                                                       std::uint32_t veto_window_ns) {
  return board_call(handle, [&] {
    if (!signed_channel_ok(channel) || veto_window_ns > 0xFFFF) return kDgtzInvalidParam;
    advance(now());
    ch_[channel].veto_enable = enable != 0 ? 1 : 0;
    ch_[channel].veto_window_ns = veto_window_ns;
    recompute_rates();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::GetSAMTriggerCountVetoParam(int handle, int channel, int* enable,
                                                       std::uint32_t* veto_window_ns) {
  return board_call(handle, [&] {
    if (!signed_channel_ok(channel) || enable == nullptr || veto_window_ns == nullptr) {
      return kDgtzInvalidParam;
    }
    *enable = ch_[channel].veto_enable;
    *veto_window_ns = ch_[channel].veto_window_ns;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::TriggerThreshold(int handle, int enable) {
  return board_call(handle, [&] {
    threshold_scan_flag_ = enable;
    return kDgtzSuccess;
  });
}

// ---- SAM chips and DACs -------------------------------------------------------------------------

DgtzResult SimulatedBoard::SetSAMSamplingFrequency(int handle, int frequency) {
  return board_call(handle, [&] {
    if (frequency < 0 || frequency > 3) return kDgtzInvalidParam;
    advance(now());
    frequency_ = frequency;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetSAMPostTriggerSize(int handle, int sam_index, std::uint8_t value) {
  return board_call(handle, [&] {
    if (sam_index < 0 || sam_index >= blocks_) return kDgtzInvalidParam;
    grp_[sam_index].post_trigger = value;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetSAMCorrectionLevel(int handle, int level) {
  return board_call(handle, [&] {
    if (level < kCorrectionDisabled || level > kCorrectionAll) return kDgtzInvalidParam;
    correction_level_ = level;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::LoadSAMCorrectionData(int handle) {
  return board_call(handle, [&] {
    load_corrections();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::EnableSAMPulseGen(int handle, int channel, std::uint16_t pattern,
                                             int source) {
  return board_call(handle, [&] {
    if (!signed_channel_ok(channel)) return kDgtzInvalidParam;
    ch_[channel].pulser_enable = 1;
    ch_[channel].pulser_pattern = pattern;
    ch_[channel].pulser_source = source;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::DisableSAMPulseGen(int handle, int channel) {
  return board_call(handle, [&] {
    if (!signed_channel_ok(channel)) return kDgtzInvalidParam;
    ch_[channel].pulser_enable = 0;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetGroupEnableMask(int handle, std::uint32_t mask) {
  return board_call(handle, [&] {
    if (mask > 0xFF) return kDgtzInvalidParam;
    group_mask_ = mask;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetRecordLength(int handle, std::uint32_t samples) {
  return board_call(handle, [&] {
    if (samples < 16 || samples > kCells || samples % 16 != 0) return kDgtzInvalidParam;
    advance(now());
    record_length_ = samples;
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetChannelDCOffset(int handle, std::uint32_t channel,
                                              std::uint32_t code) {
  return board_call(handle, [&] {
    if (check_channel(channel) != kDgtzSuccess || code > 0xFFFF) return kDgtzInvalidParam;
    advance(now());
    ch_[channel].offset_code = code;
    ch_[channel].baseline_dirty = true;
    recompute_rates();
    return kDgtzSuccess;
  });
}

DgtzResult SimulatedBoard::SetChannelTriggerThreshold(int handle, std::uint32_t channel,
                                                      std::uint32_t code) {
  return board_call(handle, [&] {
    if (check_channel(channel) != kDgtzSuccess || code > 0xFFFF) return kDgtzInvalidParam;
    advance(now());
    ch_[channel].threshold_code = code;
    recompute_rates();
    return kDgtzSuccess;
  });
}

}  // namespace vx::sim
