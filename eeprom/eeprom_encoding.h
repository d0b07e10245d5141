// How values are packed into a daughter board's EEPROM: tables of 16-bit words in 1/16 units,
// the SAM DAC offset words, trigger-DAC codes, gains in tenths and the setup register byte.
// Everything is little-endian. Values outside what a field can hold are clamped to its ends
// rather than wrapped around to the opposite end.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vx::eeprom {

// Pedestals: counts x 16, truncated toward zero, unsigned 16 bits.
std::uint16_t pedestal_code(double counts);
double pedestal_value(std::uint16_t code);
// INL corrections: ps x 16, truncated toward zero, signed 16 bits.
std::uint16_t inl_code(double ps);
double inl_value(std::uint16_t code);

// SAM DAC offset word k, lowest byte first: c1, c1 ^ 0x40, c0, c0 ^ 0x40.
std::array<std::uint8_t, 4> sam_dac_word(std::uint8_t c0, std::uint8_t c1);
std::uint32_t sam_dac_word_value(std::uint8_t c0, std::uint8_t c1);

// Measured trigger-threshold offset (volts) as a threshold-DAC code and back.
std::uint16_t trigger_dac_code(float volts);
float trigger_dac_volts(std::uint16_t code);

// Gains are stored in tenths in one byte; nullopt when the value does not fit (0 .. 25.5).
std::optional<std::uint8_t> gain_byte(float gain);
inline float gain_value(std::uint8_t byte) {
  return static_cast<float>(byte / 10.0);
}

// Setup register: bit 0 SCA type, bit 1 AC/DC coupling, bits 3-4 SAM long type.
std::uint8_t setup_register(int sca_type, int acdc_coupling, int sam_long_type);
struct SetupFields {
  int sca_type, acdc_coupling, sam_long_type;
};
SetupFields setup_fields(std::uint8_t reg);

// A serial number text "major.minor": two decimal integers and nothing else.
bool parse_serial(const std::string& text, int& major, int& minor);
// INL calibration date as stored ("%02d%02d%02d": day, month, year - 2000) and as shown.
std::string stored_date(int day, int month, int year);
std::optional<std::string> shown_date(const std::string& stored);

void put_u16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value);
std::uint16_t get_u16(std::span<const std::uint8_t> bytes, std::size_t at);
// A table of 1024 values as 2048 bytes, and back.
template <typename T, typename Encode>
std::vector<std::uint8_t> encode_table(std::span<const T> values, Encode encode) {
  std::vector<std::uint8_t> bytes(2 * values.size());
  for (std::size_t i = 0; i < values.size(); ++i) put_u16(bytes, 2 * i, encode(values[i]));
  return bytes;
}

}  // namespace vx::eeprom
