#include "sim/eeprom_image.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "sim/board_constants.h"
#include "sim/sim_random.h"

namespace vx::sim {
namespace {

constexpr std::uint64_t kFactoryStream = 0xFAC7;
// How far the factory's own calibration misses the truth.
constexpr float kFactoryPedestalError = 0.15f;  // counts

void put_text(EepromImage& img, std::uint16_t address, const char* text) {
  std::memcpy(img.data() + address, text, std::strlen(text) + 1);
}

void put_u16(EepromImage& img, std::size_t address, std::uint16_t v) {
  img[address] = static_cast<std::uint8_t>(v & 0xFF);
  img[address + 1] = static_cast<std::uint8_t>(v >> 8);
}

std::uint16_t get_u16(const EepromImage& img, std::size_t address) {
  return static_cast<std::uint16_t>(img[address] | (img[address + 1] << 8));
}

bool both_markers(const EepromImage& img, std::uint16_t marker_a) {
  for (int half = 0; half < 2; ++half) {
    const auto a = eeprom::block_address(marker_a, half);
    if (img[a] != eeprom::marker_value(a)) return false;
  }
  return true;
}

void set_both_markers(EepromImage& img, std::uint16_t marker_a) {
  for (int half = 0; half < 2; ++half) {
    const auto a = eeprom::block_address(marker_a, half);
    img[a] = eeprom::marker_value(a);
  }
}

std::uint16_t table_address(std::uint16_t table_a, int block, int channel) {
  return static_cast<std::uint16_t>(eeprom::block_address(table_a, block) +
                                    channel * eeprom::kChannelTableStride);
}

}  // namespace

EepromImage factory_eeprom(const BoardImperfections& truth, std::uint32_t board_id, int daughter,
                           double inl_error_ps) {
  EepromImage img(kEepromSize, 0xFF);
  char serial[32];
  std::snprintf(serial, sizeof serial, "%u.%d", board_id % 10000u, 10 + daughter);
  put_text(img, eeprom::kSerial, serial);
  img[eeprom::kSerialValid] = eeprom::kSerialMarker;
  img[eeprom::kSetupRegister] = 0x01;  // SCA type 1, DC coupled, SAM long type 0
  img[eeprom::kSetupValid] = eeprom::kSetupMarker;
  img[eeprom::kGain] = 10;
  img[eeprom::kGainValid] = eeprom::kGainMarker;
  img[eeprom::kOffsetGain] = 10;
  img[eeprom::kOffsetGainValid] = eeprom::kOffsetGainMarker;
  put_text(img, eeprom::kInlDate, "150124");
  put_text(img, eeprom::kInlLocation, "Factory");
  put_text(img, eeprom::kInlResponsible, "Final test");

  Rng rng(board_id, kFactoryStream, static_cast<std::uint64_t>(daughter));
  for (int block = 0; block < 2; ++block) {
    for (int ch = 0; ch < 2; ++ch) {
      const std::size_t channel = static_cast<std::size_t>(4 * daughter + 2 * block + ch);
      const auto& ped = truth.pedestal[channel];
      const auto& err = truth.time_error[channel];
      for (int i = 0; i < 1024; ++i) {
        const float p = ped[i] + kFactoryPedestalError * rng.gaussian();
        put_u16(img, table_address(eeprom::kPedestals, block, ch) + 2u * i,
                static_cast<std::uint16_t>(static_cast<std::uint32_t>(p * 16.0f)));
        // Entry i is the accumulated error up to the end of cell i, that is cell i + 1's.
        const double inl = err[(i + 1) % 1024] * kNominalPeriodPs + inl_error_ps * rng.gaussian();
        const auto code = static_cast<std::int16_t>(static_cast<std::int32_t>(inl * 16.0));
        put_u16(img, table_address(eeprom::kInlTable, block, ch) + 2u * i,
                static_cast<std::uint16_t>(code));
      }
    }
  }
  set_both_markers(img, eeprom::kPedestalValid);
  set_both_markers(img, eeprom::kInlValid);
  return img;
}

DaughterCorrections corrections_from_eeprom(const EepromImage& image) {
  DaughterCorrections out;
  if (image.size() < kEepromSize) return out;
  const bool ped_ok = both_markers(image, eeprom::kPedestalValid);
  const bool inl_ok = both_markers(image, eeprom::kInlValid);
  for (int block = 0; block < 2; ++block) {
    for (int ch = 0; ch < 2; ++ch) {
      const int i = 2 * block + ch;
      if (ped_ok) {
        out.pedestal[i].resize(1024);
        for (int c = 0; c < 1024; ++c) {
          out.pedestal[i][c] =
              get_u16(image, table_address(eeprom::kPedestals, block, ch) + 2u * c) / 16.0f;
        }
      }
      if (inl_ok) {
        out.inl_ps[i].resize(1024);
        for (int c = 0; c < 1024; ++c) {
          const auto raw = static_cast<std::int16_t>(
              get_u16(image, table_address(eeprom::kInlTable, block, ch) + 2u * c));
          out.inl_ps[i][c] = raw / 16.0f;
        }
      }
    }
  }
  return out;
}

}  // namespace vx::sim
