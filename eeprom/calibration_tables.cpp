#include "eeprom/calibration_tables.h"

#include <cstdio>

#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "platform/eeprom_map.h"

namespace vx {

void Read_Pedestal_Values_From_EEPROM(State& st, int d, int with_message) {
  using namespace eeprom;
  char text[128];
  if (d < 0 || d >= kMaxSamBlocks / 2 || !calibration_valid(st, d, kPedestalValid)) {
    std::snprintf(text, sizeof text,
                  "WARNING: Daughter Board [%d] Pedestal Calibration is not valid!\n", d);
    Write_InfoMessage(st, text, kInfo);
    return;
  }
  for (int half = 0; half < 2; ++half) {
    const int block = 2 * d + half;
    if (block >= kMaxSamBlocks) break;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const auto address =
          static_cast<std::uint16_t>(block_address(kPedestals, half) + c * kChannelTableStride);
      const auto bytes = eeprom_read(st, d, address, 2 * kMaxSamples);
      auto& table = st.calib.IndividualOffsetDistribution[block][c];
      for (int cell = 0; cell < kMaxSamples; ++cell) {
        const unsigned value = bytes[2 * cell] | (bytes[2 * cell + 1] << 8);
        table[cell] = static_cast<float>(value / 16.0);
      }
    }
  }
  if (with_message == 1) {
    std::snprintf(
        text, sizeof text,
        " Daughter Board [%d]'s Pedestal Calibration Values successfully read from EEPROM\n", d);
    Write_InfoMessage(st, text, kInfo);
  }
}

}  // namespace vx
