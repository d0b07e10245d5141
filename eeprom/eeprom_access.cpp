#include "eeprom/eeprom_access.h"

#include <algorithm>
#include <cstdio>

#include "app/message_log.h"
#include "platform/eeprom_map.h"

namespace vx {

namespace {

bool board_present(BoardLink& st) {
  return st.digitizer != nullptr && st.DeviceHandle.load() >= 0;
}

bool in_range(std::uint32_t address, std::size_t count) {
  return static_cast<std::uint64_t>(address) + count <= eeprom::kSize;
}

}  // namespace

int daughter_board_count(const Settings& st) {
  return board_blocks(st) / 2;
}

bool eeprom_reachable(BoardLink& st, MessageLog& log) {
  if (board_present(st)) return true;
  Write_InfoMessage(log, "ERROR: No board is connected: its EEPROMs cannot be reached!\n", kError);
  return false;
}

std::vector<int> eeprom_boards(Settings& st, BoardLink& link, MessageLog& log, int d) {
  std::vector<int> out;
  if (!eeprom_reachable(link, log)) return out;
  const int n = daughter_board_count(st);
  if (d >= n) {
    char text[120];
    std::snprintf(text, sizeof text,
                  "ERROR: Daughter Board [%d] does not exist on this board (0 to %d)!\n", d, n - 1);
    Write_InfoMessage(log, text, kError);
    return out;
  }
  for (int i = d < 0 ? 0 : d; i < (d < 0 ? n : d + 1); ++i) out.push_back(i);
  return out;
}

bool eeprom_read_checked(BoardLink& st, int daughter_board, std::uint32_t address,
                         std::span<std::uint8_t> out) {
  if (!board_present(st) || !in_range(address, out.size())) return false;
  return st.digitizer->Read_EEPROM(st.DeviceHandle.load(), daughter_board,
                                   static_cast<std::uint16_t>(address),
                                   static_cast<std::uint32_t>(out.size()), out.data()) == 0;
}

std::optional<std::vector<std::uint8_t>> eeprom_read(BoardLink& st, MessageLog& log,
                                                     int daughter_board, std::uint16_t address,
                                                     std::uint32_t count, std::string_view what) {
  std::vector<std::uint8_t> bytes(count, 0);
  if (eeprom_read_checked(st, daughter_board, address, bytes)) return bytes;
  char text[240];
  std::snprintf(text, sizeof text,
                "ERROR: Reading %.*s (%u bytes at address 0x%04x) from Daughter Board [%d]'s "
                "EEPROM failed: it is not used!\n",
                static_cast<int>(what.size()), what.data(), count, unsigned{address},
                daughter_board);
  Write_InfoMessage(log, text, kError);
  return std::nullopt;
}

std::optional<std::uint8_t> eeprom_read_byte(BoardLink& st, MessageLog& log, int daughter_board,
                                             std::uint16_t address, std::string_view what) {
  const auto bytes = eeprom_read(st, log, daughter_board, address, 1, what);
  if (!bytes) return std::nullopt;
  return (*bytes)[0];
}

std::optional<std::string> eeprom_read_text(BoardLink& st, MessageLog& log, int daughter_board,
                                            std::uint16_t address, std::uint32_t size,
                                            std::string_view what) {
  const auto bytes = eeprom_read(st, log, daughter_board, address, size, what);
  if (!bytes) return std::nullopt;
  std::string text;
  for (auto b : *bytes) {
    if (b == 0) break;
    text.push_back(static_cast<char>(b));
  }
  return text;
}

bool eeprom_write(BoardLink& st, MessageLog& log, int daughter_board, std::uint32_t address,
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
    Write_InfoMessage(log, text, kError);
  }
  return ok;
}

bool eeprom_write_byte(BoardLink& st, MessageLog& log, int daughter_board, std::uint16_t address,
                       std::uint8_t value) {
  return eeprom_write(st, log, daughter_board, address, std::span<const std::uint8_t>(&value, 1));
}

bool calibration_valid(BoardLink& st, MessageLog& log, int daughter_board, std::uint16_t marker_a) {
  for (const std::uint16_t marker : {marker_a, eeprom::block_address(marker_a, 1)}) {
    if (eeprom_read_byte(st, log, daughter_board, marker, "a validity marker") !=
        eeprom::marker_value(marker))
      return false;
  }
  return true;
}

bool write_marked_item(BoardLink& st, MessageLog& log, int daughter_board,
                       std::uint16_t marker_address, std::uint8_t marker,
                       const std::vector<EepromArea>& areas) {
  if (!eeprom_write_byte(st, log, daughter_board, marker_address, 0)) return false;
  for (const auto& area : areas)
    if (!eeprom_write(st, log, daughter_board, area.address, area.bytes)) return false;
  return eeprom_write_byte(st, log, daughter_board, marker_address, marker);
}

bool write_calibration_item(BoardLink& st, MessageLog& log, int daughter_board,
                            std::uint16_t marker_a, const std::vector<EepromArea>& block_a,
                            const std::vector<EepromArea>& block_b) {
  const std::uint16_t marker_b = eeprom::block_address(marker_a, 1);
  if (!eeprom_write_byte(st, log, daughter_board, marker_a, 0) ||
      !eeprom_write_byte(st, log, daughter_board, marker_b, 0))
    return false;
  for (const auto& area : block_a)
    if (!eeprom_write(st, log, daughter_board, area.address, area.bytes)) return false;
  if (!eeprom_write_byte(st, log, daughter_board, marker_a, eeprom::marker_value(marker_a)))
    return false;
  for (const auto& area : block_b)
    if (!eeprom_write(st, log, daughter_board, area.address, area.bytes)) return false;
  return eeprom_write_byte(st, log, daughter_board, marker_b, eeprom::marker_value(marker_b));
}

}  // namespace vx
