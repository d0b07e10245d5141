// Byte-level reads and writes of a daughter board's EEPROM through the digitizer library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/state.h"

namespace vx {

std::vector<std::uint8_t> eeprom_read(State& st, int daughter_board, std::uint16_t address,
                                      std::uint32_t count);
std::uint8_t eeprom_read_byte(State& st, int daughter_board, std::uint16_t address);
// A NUL-terminated text of at most size bytes.
std::string eeprom_read_text(State& st, int daughter_board, std::uint16_t address,
                             std::uint32_t size);
void eeprom_write(State& st, int daughter_board, std::uint16_t address,
                  const std::vector<std::uint8_t>& bytes);
// True when both blocks' markers of a calibration item hold their values.
bool calibration_valid(State& st, int daughter_board, std::uint16_t marker_a);

}  // namespace vx
