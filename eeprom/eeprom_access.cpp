#include "eeprom/eeprom_access.h"

#include "platform/eeprom_map.h"

namespace vx {

std::vector<std::uint8_t> eeprom_read(State& st, int daughter_board, std::uint16_t address,
                                      std::uint32_t count) {
  // Unchecked on purpose: a failed read leaves zeros, and the markers decide validity.
  std::vector<std::uint8_t> bytes(count, 0);
  if (st.digitizer != nullptr && st.DeviceHandle.load() >= 0)
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

void eeprom_write(State& st, int daughter_board, std::uint16_t address,
                  const std::vector<std::uint8_t>& bytes) {
  if (st.digitizer != nullptr && st.DeviceHandle.load() >= 0) {
    st.digitizer->Write_EEPROM(st.DeviceHandle.load(), daughter_board, address,
                               static_cast<std::uint32_t>(bytes.size()), bytes.data());
  }
}

bool calibration_valid(State& st, int daughter_board, std::uint16_t marker_a) {
  const std::uint16_t marker_b = eeprom::block_address(marker_a, 1);
  return eeprom_read_byte(st, daughter_board, marker_a) == eeprom::marker_value(marker_a) &&
         eeprom_read_byte(st, daughter_board, marker_b) == eeprom::marker_value(marker_b);
}

}  // namespace vx
