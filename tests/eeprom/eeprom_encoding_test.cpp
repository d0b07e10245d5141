// The stored forms of every EEPROM value, checked against numbers worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "eeprom/eeprom_encoding.h"
#include "eeprom/eeprom_low_level.h"

namespace vx::eeprom {
namespace {

TEST(EepromEncoding, TablesInSixteenthsTruncateTowardZeroAndClampAtTheEnds) {
  struct Case {
    double value;
    bool signed_table;
    std::uint16_t code;
    double back;
  };
  const Case cases[] = {
      {0.0624, false, 0, 0.0},            // below one sixteenth
      {-0.5, false, 0, 0.0},              // negative pedestal: not 0xFFF8 (4095.5)
      {5000.0, false, 65535, 4095.9375},  // beyond 16 bits: not wrapped to 3192
      {-2049.0, true, 0x8000, -2048.0},   // clamped to the most negative code
      {std::nan(""), false, 0, 0.0},
  };
  for (const auto& c : cases) {
    const std::uint16_t code = c.signed_table ? inl_code(c.value) : pedestal_code(c.value);
    EXPECT_EQ(code, c.code) << c.value;
    EXPECT_DOUBLE_EQ(c.signed_table ? inl_value(code) : pedestal_value(code), c.back) << c.value;
  }
}

// The words, the byte order, the SAM DAC word and the values read back are checked on the
// board's EEPROMs (eeprom_board_test.cpp); here the ends and the roundings.
TEST(EepromEncoding, TriggerCodeGainAndSetupRegister) {
  EXPECT_EQ(trigger_dac_code(-2.0f), 65535);  // clamped, not wrapped
  EXPECT_EQ(gain_byte(0.7f), 7);              // 6.9999998 in a float
  EXPECT_FALSE(gain_byte(-0.1f).has_value());
  EXPECT_EQ(setup_register(0, 1, 3), 0x1A);
  const auto f = setup_fields(0xFF);  // bits 2 and 5-7 are ignored
  EXPECT_EQ(f.sca_type, 1);
  EXPECT_EQ(f.acdc_coupling, 1);
  EXPECT_EQ(f.sam_long_type, 3);
}

TEST(EepromEncoding, SerialDateAndHexTexts) {
  int major = 0, minor = 0;
  EXPECT_TRUE(parse_serial("123.45", major, minor));
  EXPECT_EQ(major, 123);
  EXPECT_EQ(minor, 45);
  for (const char* bad : {"", "12", "12.", ".3", "1.2x", "1. 2", "a.b", "1.2/..", "1.2.3"})
    EXPECT_FALSE(parse_serial(bad, major, minor)) << bad;

  EXPECT_EQ(stored_date(6, 12, 2026), "061226");
  EXPECT_EQ(shown_date("061226"), "06/12/2026");
  EXPECT_FALSE(shown_date("").has_value());

  EXPECT_EQ(parse_eeprom_hex("0a 1B,ff"), (std::vector<std::uint8_t>{0x0A, 0x1B, 0xFF}));
  EXPECT_EQ(parse_eeprom_hex(" 7f \n"), (std::vector<std::uint8_t>{0x7F}));
  for (const char* bad : {"", " ", "1", "0a1b", "0a 1", "0g", "0a11b"})
    EXPECT_FALSE(parse_eeprom_hex(bad).has_value()) << bad;
}

}  // namespace
}  // namespace vx::eeprom
