#include "eeprom/eeprom_encoding.h"

#include <cmath>
#include <cstdio>

#include "app/dac_conversions.h"

namespace vx::eeprom {

namespace {

// Truncation toward zero into [lo, hi]; NaN gives 0.
long clamp_truncate(double value, long lo, long hi) {
  if (std::isnan(value)) return 0;
  const double t = std::trunc(value);
  if (t <= static_cast<double>(lo)) return lo;
  if (t >= static_cast<double>(hi)) return hi;
  return static_cast<long>(t);
}

}  // namespace

std::uint16_t pedestal_code(double counts) {
  return static_cast<std::uint16_t>(clamp_truncate(counts * 16.0, 0, 65535));
}

double pedestal_value(std::uint16_t code) {
  return code / 16.0;
}

std::uint16_t inl_code(double ps) {
  const auto v = static_cast<std::int16_t>(clamp_truncate(ps * 16.0, -32768, 32767));
  return static_cast<std::uint16_t>(v);
}

double inl_value(std::uint16_t code) {
  return static_cast<std::int16_t>(code) / 16.0;
}

std::array<std::uint8_t, 4> sam_dac_word(std::uint8_t c0, std::uint8_t c1) {
  return {c1, static_cast<std::uint8_t>(c1 ^ 0x40), c0, static_cast<std::uint8_t>(c0 ^ 0x40)};
}

std::uint32_t sam_dac_word_value(std::uint8_t c0, std::uint8_t c1) {
  const auto w = sam_dac_word(c0, c1);
  return static_cast<std::uint32_t>(w[0]) | (static_cast<std::uint32_t>(w[1]) << 8) |
         (static_cast<std::uint32_t>(w[2]) << 16) | (static_cast<std::uint32_t>(w[3]) << 24);
}

std::uint16_t trigger_dac_code(float volts) {
  return static_cast<std::uint16_t>(Calculate_ThresholdDACIntValues(volts));
}

float trigger_dac_volts(std::uint16_t code) {
  return static_cast<float>(kDacHalfRange - code * 2.5 / kDacFullScale);
}

std::optional<std::uint8_t> gain_byte(float gain) {
  // Rounded to the nearest tenth: 0.7 typed on the panel is 6.99999 in a float.
  const double tenths = std::round(static_cast<double>(gain) * 10.0);
  if (!(tenths >= 0.0 && tenths <= 255.0)) return std::nullopt;
  return static_cast<std::uint8_t>(tenths);
}

std::uint8_t setup_register(int sca_type, int acdc_coupling, int sam_long_type) {
  return static_cast<std::uint8_t>((sca_type & 1) | ((acdc_coupling & 1) << 1) |
                                   ((sam_long_type & 3) << 3));
}

SetupFields setup_fields(std::uint8_t reg) {
  return {reg & 1, (reg >> 1) & 1, (reg >> 3) & 3};
}

bool parse_serial(const std::string& text, int& major, int& minor) {
  int a = 0, b = 0, used = 0;
  if (std::sscanf(text.c_str(), "%d.%d%n", &a, &b, &used) != 2) return false;
  if (static_cast<std::size_t>(used) != text.size()) return false;
  for (char c : text)
    if (c == ' ' || c == '+' || c == '\t') return false;
  major = a;
  minor = b;
  return true;
}

std::string stored_date(int day, int month, int year) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d%02d%02d", day, month, year - 2000);
  return text;
}

std::optional<std::string> shown_date(const std::string& stored) {
  int day = 0, month = 0, year = 0;
  if (stored.size() < 6 || std::sscanf(stored.c_str(), "%2d%2d%2d", &day, &month, &year) != 3)
    return std::nullopt;
  char text[40];
  std::snprintf(text, sizeof text, "%02d/%02d/%04d", day, month, 2000 + year);
  return text;
}

void put_u16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t get_u16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

}  // namespace vx::eeprom
