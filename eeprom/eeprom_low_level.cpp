#include "eeprom/eeprom_low_level.h"

#include <cctype>
#include <cstdio>

#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "platform/eeprom_map.h"

namespace vx {

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (l >= 'a' && l <= 'f') return l - 'a' + 10;
  return -1;
}

bool range_fits(Settings& st, BoardLink& link, MessageLog& log, int d, long address, long count,
                const char* action) {
  if (d < 0) {
    Write_InfoMessage(log, "ERROR: Select one daughter board for the low-level access!\n", kError);
    return false;
  }
  if (eeprom_boards(st, link, log, d).empty()) return false;
  if (address >= 0 && count > 0 && address + count <= static_cast<long>(eeprom::kSize)) return true;
  char text[200];
  std::snprintf(text, sizeof text,
                "ERROR: Cannot %s %ld bytes at address %ld of Daughter Board [%d]'s EEPROM: it "
                "holds 65536 bytes (0x0000 to 0xffff)!\n",
                action, count, address, d);
  Write_InfoMessage(log, text, kError);
  return false;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> parse_eeprom_hex(const std::string& typed) {
  const auto first = typed.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  const std::string text = typed.substr(first, typed.find_last_not_of(" \t\r\n") + 1 - first);
  const std::size_t n = (text.size() + 1) / 3;
  if (n == 0 || text.size() != 3 * n - 1) return std::nullopt;
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) {
    const int hi = hex_digit(text[3 * i]);
    const int lo = hex_digit(text[3 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    if (i + 1 < n && hex_digit(text[3 * i + 2]) >= 0) return std::nullopt;  // not a separator
    bytes[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return bytes;
}

std::string eeprom_listing(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  char text[64];
  std::snprintf(text, sizeof text,
                "%d Bytes read  at address 0x:%04x :", static_cast<int>(bytes.size()), address);
  std::string out = text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) out += '\n';
    std::snprintf(text, sizeof text, "%02x ", bytes[i]);
    out += text;
  }
  return out + '\n';
}

int Read_EEPROM_Bytes(Settings& st, BoardLink& link, MessageLog& log, int d, long address,
                      long count, std::string* listing) {
  if (!range_fits(st, link, log, d, address, count, "read")) return -1;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
  if (!eeprom_read_checked(link, d, static_cast<std::uint32_t>(address), bytes)) {
    Write_InfoMessage(log, "ERROR: Reading the EEPROM failed!\n", kError);
    return -1;
  }
  const std::string text = eeprom_listing(static_cast<std::uint32_t>(address), bytes);
  Write_InfoMessage(log, text, kInfo);
  if (listing != nullptr) *listing = text;
  return 0;
}

int Write_EEPROM_Bytes(Settings& st, BoardLink& link, MessageLog& log, int d, long address,
                       const std::string& hex) {
  const auto bytes = parse_eeprom_hex(hex);
  if (!bytes) {
    Write_InfoMessage(log,
                      "ERROR: Bytes to write must be given as two hexadecimal digits each, "
                      "separated by one character (e.g. \"0a 1b ff\")!\n",
                      kError);
    return -1;
  }
  if (!range_fits(st, link, log, d, address, static_cast<long>(bytes->size()), "write")) return -1;
  if (!eeprom_write(link, log, d, static_cast<std::uint32_t>(address), *bytes)) return -1;
  char text[120];
  std::snprintf(text, sizeof text, "%zu Bytes written at address 0x:%04lx\n", bytes->size(),
                address);
  Write_InfoMessage(log, text, kInfo);
  return 0;
}

}  // namespace vx
