// The simulated board's register file: the registers with behaviour (firmware releases, hit
// counters, clears, arming, the SAM chips' slow control) and the rest as plain storage, and
// the channel baselines that the SAM offset DACs set.
#include "sim/board_constants.h"
#include "sim/simulated_board.h"

namespace vx::sim {
namespace {

// Step of the SAM offset DACs in millivolts, from the LSB bits of SAM register 2.
double sam_dac_step_mv(std::uint16_t reg2) {
  const bool lsb1 = reg2 & kSamRegLsb1;
  const bool lsb2 = reg2 & kSamRegLsb2;
  if (lsb1) return 1.0;
  if (lsb2) return 0.25;
  return 0.5;
}

int signed_dac_code(std::uint8_t code) {
  code &= 0x7F;
  return code < 64 ? -static_cast<int>(code) : static_cast<int>(code) - 64;
}

}  // namespace

int SimulatedBoard::register_read(std::uint32_t address, std::uint32_t* value) {
  const double t = now();
  advance(t);
  if (address == 0x8124) {
    *value = kMotherboardFirmware;
    return kDgtzSuccess;
  }
  if (address >= 0x1000 && address < 0x1800) {
    const int b = static_cast<int>((address - 0x1000) >> 8);
    const std::uint32_t off = address & 0xFF;
    if (b < blocks_) {
      if (off == 0x8C) {
        *value = kDaughterFirmware;
        return kDgtzSuccess;
      }
      if (off == 0x6C || off == 0x94) {
        const Channel& ch = ch_[2 * b + (off == 0x94 ? 1 : 0)];
        *value = (static_cast<std::uint32_t>(ch.register_counter.micros(t)) << 16) |
                 ch.register_counter.hits();
        return kDgtzSuccess;
      }
    }
  }
  const auto it = registers_.find(address);
  *value = it == registers_.end() ? 0u : it->second;
  return kDgtzSuccess;
}

void SimulatedBoard::slow_control_write(int b, std::uint32_t data) {
  Group& g = grp_[b];
  if ((g.slow_control_address & 0xFF00) != 0x2000) return;
  const std::uint32_t index = g.slow_control_address & 0xFF;
  if (index >= g.sam_register.size()) return;
  g.sam_register[index] = static_cast<std::uint16_t>(data);
  if (index >= 0x10) {
    // Channel 1's code in the low byte, channel 0's in the third; the other bytes carry the
    // codes with bit 6 inverted, which the chip does not need.
    g.line_code[1][index - 0x10] = static_cast<std::uint8_t>(data & 0x7F);
    g.line_code[0][index - 0x10] = static_cast<std::uint8_t>((data >> 16) & 0x7F);
  }
  ch_[2 * b].baseline_dirty = true;
  ch_[2 * b + 1].baseline_dirty = true;
}

int SimulatedBoard::register_write(std::uint32_t address, std::uint32_t value) {
  const double t = now();
  advance(t);
  if (address == 0x8124) return kDgtzSuccess;  // read-only
  if (address >= 0x1000 && address < 0x1800) {
    const int b = static_cast<int>((address - 0x1000) >> 8);
    const std::uint32_t off = address & 0xFF;
    if (b < blocks_) {
      if (off == 0x8C || off == 0x6C || off == 0x94) return kDgtzSuccess;  // read-only
      if (off == 0x20) {
        ch_[2 * b].register_counter.restart(t);
        ch_[2 * b + 1].register_counter.restart(t);
      } else if (off == 0x84) {
        grp_[b].slow_control_address = value;
      } else if (off == 0x28) {
        slow_control_write(b, value);
      }
    }
  }
  switch (address) {
    case 0x8020:
      for (auto& ch : ch_) ch.register_counter.restart(t);
      break;
    case 0x8010:  // software clear: board memory and counters
      pending_.clear();
      for (auto& ch : ch_) {
        ch.register_counter.restart(t);
        ch.event_counter.restart(t);
      }
      last_event_time_ = t;
      break;
    case 0x807C:
      pending_.clear();
      break;
    case 0x8018:
      if (value & 1) armed_ = true;
      break;
    default:
      break;
  }
  registers_[address] = value;
  return kDgtzSuccess;
}

void SimulatedBoard::refresh_baseline(int c) {
  Channel& ch = ch_[c];
  const Group& g = grp_[c / 2];
  const std::uint16_t reg2 = g.sam_register[2];
  const bool dac_on = reg2 & kSamRegEnDac;
  const double step_counts = sam_dac_step_mv(reg2) * 1e-3 / kVoltsPerAdcCount;
  std::array<float, 16> line_shift{};
  for (int line = 0; line < 16; ++line) {
    line_shift[line] =
        dac_on ? static_cast<float>(signed_dac_code(g.line_code[c % 2][line]) * step_counts) : 0.0f;
  }
  const auto offset = static_cast<float>(dac_volts(ch.offset_code) / kVoltsPerAdcCount);
  for (int p = 0; p < kCells; ++p) {
    ch.baseline[p] = truth_.pedestal[c][p] + line_shift[p % 16] + offset;
  }
  ch.baseline_dirty = false;
}

std::uint32_t SimulatedBoard::threshold_dac(int channel) const {
  std::lock_guard lock(mutex_);
  return channel >= 0 && channel < channels() ? ch_[channel].threshold_code : 0u;
}

std::array<float, kCells> SimulatedBoard::cell_levels(int channel) {
  Lock lock(mutex_);
  if (channel < 0 || channel >= channels()) return {};
  if (ch_[channel].baseline_dirty) refresh_baseline(channel);
  return ch_[channel].baseline;
}

}  // namespace vx::sim
