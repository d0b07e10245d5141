// The low-level access panel: bytes read and listed, or written from hexadecimal text, at
// any address of one daughter board's EEPROM.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/state.h"

namespace vx {

// Two hexadecimal digits per byte, one separator character between bytes: a text of length L
// gives (L + 1) / 3 bytes, byte i at character 3i. Nothing for a text that is not of that form.
std::optional<std::vector<std::uint8_t>> parse_eeprom_hex(const std::string& text);
// "%d Bytes read  at address 0x:%04x :" then lines of 16 "%02x " values.
std::string eeprom_listing(std::uint32_t address, const std::vector<std::uint8_t>& bytes);

// Both refuse a range that is empty or runs past the end of the EEPROM. 0 or -1.
// The listing is logged and, when asked for, handed back.
int Read_EEPROM_Bytes(Settings& st, BoardLink& link, MessageLog& log, int daughter_board,
                      long address, long count, std::string* listing = nullptr);
int Write_EEPROM_Bytes(Settings& st, BoardLink& link, MessageLog& log, int daughter_board,
                       long address, const std::string& hex);

}  // namespace vx
