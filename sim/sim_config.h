// Configuration of the simulated board: a small "key = value" text with '#' comments.
// Per-channel overrides are written "chN.key". Every key and its default is listed in
// the README.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::sim {

enum class InputKind { kPulse, kSine, kNone };
enum class PulsePolarity { kNegative, kPositive };

// What one channel's input carries.
struct ChannelSignal {
  InputKind input = InputKind::kPulse;
  double noise_mv = 0.5;
  double pulse_amplitude_mv = 200.0;
  PulsePolarity pulse_polarity = PulsePolarity::kNegative;
  double pulse_delay_ns = 50.0;  // half-height point of the leading edge, from the first sample
  double pulse_rise_ns = 1.0;    // 10 % to 90 %
  double pulse_fall_ns = 5.0;    // 90 % to 10 %
  double pulse_jitter_ps = 0.0;  // Gaussian sigma, independent per channel and event
  double sine_frequency_mhz = 200.0;
  double sine_amplitude_mv = 500.0;
};

struct FaultInjection {
  bool fail_open = false;
  std::optional<std::uint64_t> fail_register_access;  // 1-based access number
  std::optional<std::uint64_t> fail_readout;          // 1-based ReadData call number
  std::optional<std::uint64_t> undecodable_event;     // 1-based delivered event number
  std::optional<std::uint64_t> stop_after_events;     // no event after this many
  std::optional<std::uint64_t> fail_eeprom_write;     // 1-based Write_EEPROM call number
  // Reads of more than one byte starting at or above this address fail; the one-byte reads
  // of the validity markers still succeed.
  std::optional<std::uint32_t> fail_eeprom_read_from;
};

struct SimConfig {
  std::string model = "V1743";
  std::uint64_t seed = 1;
  std::uint32_t board_id = 1;
  double trigger_rate_hz = 1000.0;
  std::optional<double> external_rate_hz;  // defaults to trigger_rate_hz
  std::uint32_t memory_events = 128;
  double dead_time_us = 125.0;  // per event of 1024 samples, proportional to the length
  double register_access_us = 20.0;
  double noise_bandwidth_mhz = 500.0;
  // How far the factory's time (INL) tables stored in new EEPROMs miss the unit's truth:
  // the sigma of each cell's error.
  double factory_inl_error_ps = 2.0;
  bool discriminator_after_offset = false;
  std::uint32_t pcb_revision = 2;
  std::uint32_t vme_base_address = 0x32100000;
  std::array<ChannelSignal, 16> channel{};
  FaultInjection fault;

  double external_rate() const { return external_rate_hz.value_or(trigger_rate_hz); }
};

struct SimConfigParse {
  SimConfig config;
  std::vector<std::string> errors;  // one clear line per problem, with its line number
  bool ok() const { return errors.empty(); }
};

SimConfigParse parse_sim_config(std::string_view text);
SimConfigParse load_sim_config(const std::filesystem::path& path);

}  // namespace vx::sim
