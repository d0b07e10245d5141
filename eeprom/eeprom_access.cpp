#include "eeprom/eeprom_access.h"

#include <algorithm>
#include <cstdio>

#include "app/message_log.h"
#include "platform/eeprom_map.h"

namespace vx {

namespace {

bool board_present(State& st) {
  return st.digitizer != nullptr && st.DeviceHandle.load() >= 0;
}

bool in_range(std::uint32_t address, std::size_t count) {
  return static_cast<std::uint64_t>(address) + count <= eeprom::kSize;
}

}  // namespace

int daughter_board_count(const State& st) {
  return board_blocks(st) / 2;
}

bool eeprom_reachable(State& st) {
  if (board_present(st)) return true;
  Write_InfoMessage(st, "ERROR: No board is connected: its EEPROMs cannot be reached!\n", kError);
  return false;
}

std::vector<int> eeprom_boards(State& st, int d) {
  std::vector<int> out;
  if (!eeprom_reachable(st)) return out;
  const int n = daughter_board_count(st);
  if (d >= n) {
    char text[120];
    std::snprintf(text, sizeof text,
                  "ERROR: Daughter Board [%d] does not exist on this board (0 to %d)!\n", d, n - 1);
    Write_InfoMessage(st, text, kError);
    return out;
  }
  for (int i = d < 0 ? 0 : d; i < (d < 0 ? n : d + 1); ++i) out.push_back(i);
  return out;
}

std::vector<std::uint8_t> eeprom_read(State& st, int daughter_board, std::uint16_t address,
                                      std::uint32_t count) {
  std::vector<std::uint8_t> bytes(count, 0);
  if (board_present(st) && in_range(address, count))
    st.digitizer->Read_EEPROM(st.DeviceHandle.load(), daughter_board, address, count, bytes.data());
  return bytes;
}

std::uint8_t eeprom_read_byte(State& st, int daughter_board, std::uint16_t address) {
  return eeprom_read(st, daughter_board, address, 1)[0];
}

std::string eeprom_read_text(State& st, int daughter_board, std::uint16_t address,
                             std::uint32_t size) {
  const auto bytes = eeprom_read(st, daughter_board, address, size);
  std::string text;
  for (auto b : bytes) {
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

bool eeprom_read_checked(State& st, int daughter_board, std::uint32_t address,
                         std::span<std::uint8_t> out) {
  if (!board_present(st) || !in_range(address, out.size())) return false;
  return st.digitizer->Read_EEPROM(st.DeviceHandle.load(), daughter_board,
                                   static_cast<std::uint16_t>(address),
                                   static_cast<std::uint32_t>(out.size()), out.data()) == 0;
}

bool eeprom_write(State& st, int daughter_board, std::uint32_t address,
                  std::span<const std::uint8_t> bytes) {
  const bool ok = board_present(st) && in_range(address, bytes.size()) &&
                  st.digitizer->Write_EEPROM(
                      st.DeviceHandle.load(), daughter_board, static_cast<std::uint16_t>(address),
                      static_cast<std::uint32_t>(bytes.size()), bytes.data()) == 0;
  if (!ok) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "ERROR: Writing %zu bytes at address 0x%04x of Daughter Board [%d]'s EEPROM "
                  "failed!\n",
                  bytes.size(), address, daughter_board);
    Write_InfoMessage(st, text, kError);
  }
  return ok;
}

bool eeprom_write_byte(State& st, int daughter_board, std::uint16_t address, std::uint8_t value) {
  return eeprom_write(st, daughter_board, address, std::span<const std::uint8_t>(&value, 1));
}

bool calibration_valid(State& st, int daughter_board, std::uint16_t marker_a) {
  const std::uint16_t marker_b = eeprom::block_address(marker_a, 1);
  return eeprom_read_byte(st, daughter_board, marker_a) == eeprom::marker_value(marker_a) &&
         eeprom_read_byte(st, daughter_board, marker_b) == eeprom::marker_value(marker_b);
}

bool write_marked_item(State& st, int daughter_board, std::uint16_t marker_address,
                       std::uint8_t marker, const std::vector<EepromArea>& areas) {
  if (!eeprom_write_byte(st, daughter_board, marker_address, 0)) return false;
  for (const auto& area : areas)
    if (!eeprom_write(st, daughter_board, area.address, area.bytes)) return false;
  return eeprom_write_byte(st, daughter_board, marker_address, marker);
}

bool write_calibration_item(State& st, int daughter_board, std::uint16_t marker_a,
                            const std::vector<EepromArea>& block_a,
                            const std::vector<EepromArea>& block_b) {
  const std::uint16_t marker_b = eeprom::block_address(marker_a, 1);
  if (!eeprom_write_byte(st, daughter_board, marker_a, 0) ||
      !eeprom_write_byte(st, daughter_board, marker_b, 0))
    return false;
  for (const auto& area : block_a)
    if (!eeprom_write(st, daughter_board, area.address, area.bytes)) return false;
  if (!eeprom_write_byte(st, daughter_board, marker_a, eeprom::marker_value(marker_a)))
    return false;
  for (const auto& area : block_b)
    if (!eeprom_write(st, daughter_board, area.address, area.bytes)) return false;
  return eeprom_write_byte(st, daughter_board, marker_b, eeprom::marker_value(marker_b));
}

}  // namespace vx
