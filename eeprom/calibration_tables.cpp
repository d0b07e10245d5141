#include "eeprom/calibration_tables.h"

#include <cstdio>
#include <span>
#include <vector>

#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_encoding.h"
#include "platform/eeprom_map.h"

namespace vx {

namespace {

using namespace eeprom;

template <typename... Args>
std::string format(const char* fmt, Args... args) {
  char text[256];
  std::snprintf(text, sizeof text, fmt, args...);
  return text;
}

std::uint16_t table_address(std::uint16_t table_a, int half, int channel) {
  return static_cast<std::uint16_t>(block_address(table_a, half) + channel * kChannelTableStride);
}

std::vector<int> boards_of(State& st, int d) {
  return eeprom_boards(st, d);
}

// Writes one 1024-word table per channel of each block, each block behind its marker.
template <typename Encode>
bool save_tables(State& st, int d, std::uint16_t table_a, std::uint16_t marker_a, Encode encode) {
  for (int half = 0; half < 2; ++half) {
    std::vector<EepromArea> areas;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      std::vector<std::uint8_t> bytes(2 * kMaxSamples);
      for (int cell = 0; cell < kMaxSamples; ++cell)
        put_u16(bytes, 2 * cell, encode(2 * d + half, c, cell));
      areas.push_back({table_address(table_a, half, c), std::move(bytes)});
    }
    if (!write_calibration_block(st, d, marker_a, half, areas)) return false;
  }
  return true;
}

template <typename Decode>
void read_tables(State& st, int d, std::uint16_t table_a, Decode decode) {
  for (int half = 0; half < 2; ++half) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const auto bytes = eeprom_read(st, d, table_address(table_a, half, c), 2 * kMaxSamples);
      for (int cell = 0; cell < kMaxSamples; ++cell)
        decode(2 * d + half, c, cell, get_u16(bytes, 2 * cell));
    }
  }
}

bool valid_board(State& st, int d) {
  return d >= 0 && d < kMaxSamBlocks / 2 && st.digitizer != nullptr;
}

bool text_fits(State& st, const std::string& text, const char* field) {
  if (text.size() <= 15) return true;
  Write_InfoMessage(st,
                    format("ERROR: '%s' of INL calibration is too long: its EEPROM field holds 16 "
                           "bytes, at most 15 characters!\n",
                           field),
                    kError);
  return false;
}

}  // namespace

int Save_Pedestal_Values_To_EEPROM(State& st, int d) {
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  const auto& table = st.calib.IndividualOffsetDistribution;
  for (int b : boards) {
    if (!save_tables(st, b, kPedestals, kPedestalValid, [&](int block, int c, int cell) {
          return pedestal_code(table[block][c][cell]);
        }))
      return -1;
  }
  Write_InfoMessage(st, "Pedestal Calibration values successfully saved to EEPROMs\n", kInfo);
  return 0;
}

int Read_Pedestal_Values_From_EEPROM(State& st, int d, int with_message) {
  if (!valid_board(st, d) || !calibration_valid(st, d, kPedestalValid)) {
    Write_InfoMessage(
        st, format("WARNING: Daughter Board [%d] Pedestal Calibration is not valid!\n", d), kInfo);
    return -1;
  }
  auto& table = st.calib.IndividualOffsetDistribution;
  read_tables(st, d, kPedestals, [&](int block, int c, int cell, std::uint16_t code) {
    table[block][c][cell] = static_cast<float>(pedestal_value(code));
  });
  if (with_message == 1) {
    Write_InfoMessage(
        st,
        format(" Daughter Board [%d]'s Pedestal Calibration Values successfully read from EEPROM\n",
               d),
        kInfo);
  }
  return 0;
}

int Save_INL_Values_To_EEPROM(State& st, int d, const std::string& location,
                              const std::string& responsible) {
  const WallTime now = st.clock.wall();
  const std::string date = stored_date(now.day, now.month, now.year);
  st.eeprom_panel.calibration_date = format("%02d/%02d/%4d", now.day, now.month, now.year);
  if (responsible.empty()) {
    Write_InfoMessage(st, "Please Fill in'responsible of INL calibration' EEPROM field!\n", kError);
    return -1;
  }
  if (location.empty()) {
    Write_InfoMessage(st, "Please Fill in 'location of INL calibration' EEPROM field!\n", kError);
    return -1;
  }
  if (!text_fits(st, location, "location") || !text_fits(st, responsible, "responsible")) return -1;
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  if (boards.size() > 1) {
    for (int b : boards)
      if (Save_INL_Values_To_EEPROM(st, b, location, responsible) != 0) return -1;
    return 0;
  }

  // The identity texts belong to the INL item: its block A marker guards them too.
  const auto text = [](const std::string& s) {
    std::vector<std::uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    return bytes;
  };
  if (!eeprom_write_byte(st, d, kInlValid, 0) || !eeprom_write(st, d, kInlDate, text(date)) ||
      !eeprom_write(st, d, kInlLocation, text(location)) ||
      !eeprom_write(st, d, kInlResponsible, text(responsible)))
    return -1;
  const auto& table = st.calib.TimePedestals;
  if (!save_tables(st, d, kInlTable, kInlValid,
                   [&](int block, int c, int cell) { return inl_code(table[block][c][cell]); }))
    return -1;
  Write_InfoMessage(
      st, format("Daughter Board [%d] INL Calibration values successfully saved to EEPROM.\n", d),
      kInfo);
  return 0;
}

int Read_INL_Values_From_EEPROM(State& st, int d) {
  if (!valid_board(st, d) || !calibration_valid(st, d, kInlValid)) {
    Write_InfoMessage(
        st, format("WARNING: Daughter Board [%d]'s INL Calibration values are not valid!\n", d),
        kWarning);
    return -1;
  }
  auto& table = st.calib.TimePedestals;
  read_tables(st, d, kInlTable, [&](int block, int c, int cell, std::uint16_t code) {
    table[block][c][cell] = inl_value(code);
  });
  Write_InfoMessage(
      st,
      format("Daughter Board [%d]'s INL Calibration values successfully read from EEPROM.\n", d),
      kInfo);
  return 0;
}

int Save_INL_Files_To_EEPROM(State& st, int d, const std::string& location,
                             const std::string& responsible, const InlFileOperation& read_file) {
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  int result = 0;
  for (int b : boards) {
    int read = 0;
    for (int block = 2 * b; block <= 2 * b + 1; ++block)
      for (int c = 0; c < kChannelsPerBlock; ++c) read += read_file(st, block, c) == 1 ? 1 : 0;
    if (read != 4) {
      Write_InfoMessage(st,
                        format("Unable to save INL Files to Daughter Board [%d]'s EEPROM because "
                               "one or more INL files is not present!\n",
                               b),
                        kWarning);
      result = -1;
    } else if (Save_INL_Values_To_EEPROM(st, b, location, responsible) != 0) {
      result = -1;
    }
  }
  return result;
}

int Save_INL_Files_From_EEPROM(State& st, int d, const InlFileOperation& save_file) {
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  for (int b : boards) {
    Read_INL_Values_From_EEPROM(st, b);
    for (int block = 2 * b; block <= 2 * b + 1; ++block)
      for (int c = 0; c < kChannelsPerBlock; ++c) save_file(st, block, c);
  }
  return 0;
}

int Save_SAMDACsOffsets_To_EEPROM(State& st, int d) {
  if (!st.calib.SamDACOffsetDone) {
    Write_InfoMessage(
        st, "Cannot save SAM DACs Offsets to EEPROM because calibration was not performed.\n",
        kError);
    return -1;
  }
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  for (int b : boards) {
    if (!eeprom_write_byte(st, b, kSamDacZero, 0)) return -1;
    for (int half = 0; half < 2; ++half) {
      const int block = 2 * b + half;
      std::vector<EepromArea> areas;
      for (int k = 0; k < 16; ++k) {
        const std::uint8_t c0 = st.sam[block].SamDacOffsetCh0[k];
        const std::uint8_t c1 = st.sam[block].SamDacOffsetCh1[k];
        Write_InfoMessage(st,
                          format("DAC Offset samIndex[%d], data[%d]=%04x \n", block, k,
                                 sam_dac_word_value(c0, c1)),
                          kInfo);
        const auto word = sam_dac_word(c0, c1);
        areas.push_back({static_cast<std::uint16_t>(block_address(kSamDacOffsets, half) + 4 * k),
                         {word.begin(), word.end()}});
      }
      if (!write_calibration_block(st, b, kSamDacValid, half, areas)) return -1;
    }
  }
  Write_InfoMessage(st, "SAM DACs Offsets successfully saved to EEPROM.\n", kInfo);
  return 0;
}

int Read_SAMDACsOffsets_From_EEPROM(State& st, int d) {
  if (!valid_board(st, d) || !calibration_valid(st, d, kSamDacValid)) {
    Write_InfoMessage(st, format("Daughter Board [%d]'s SAM DAC's Offsets are not valid!\n", d),
                      kInfo);
    return -1;
  }
  eeprom_read_byte(st, d, kSamDacZero);  // written with the offsets, not used
  for (int half = 0; half < 2; ++half) {
    const int block = 2 * d + half;
    const auto words = eeprom_read(st, d, block_address(kSamDacOffsets, half), 64);
    for (int k = 0; k < 16; ++k) {
      // The inverted copies (bytes 1 and 3) are not checked.
      const std::uint8_t c1 = words[4 * k];
      const std::uint8_t c0 = words[4 * k + 2];
      st.sam[block].SamDacOffsetCh0[k] = c0;
      st.sam[block].SamDacOffsetCh1[k] = c1;
      Write_InfoMessage(
          st, format("SAM DAC Offset[index=%d][ch0][line=%d]= %d\n", block, k, int{c0}), kInfo);
      Write_InfoMessage(
          st, format("SAM DAC Offset[index=%d][ch1][line=%d]= %d\n", block, k, int{c1}), kInfo);
    }
  }
  Write_InfoMessage(
      st, format("Daughter Board [%d]'s SAM DAC's Offsets successfully read from EEPROM \n", d),
      kInfo);
  st.calib.SamDACOffsetDone = true;
  return 0;
}

int Save_TriggerThresholdDACs_To_EEPROM(State& st, int d) {
  if (!st.calib.TriggerDACsOffsetDone) {
    Write_InfoMessage(
        st,
        "Cannot save Trigger Threshold DACs Offset to EEPROM because calibration was not "
        "performed.\n",
        kError);
    return -1;
  }
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  for (int b : boards) {
    for (int half = 0; half < 2; ++half) {
      std::vector<EepromArea> areas;
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        std::vector<std::uint8_t> bytes(2);
        put_u16(bytes, 0, trigger_dac_code(st.calib.MeanThreshold[2 * b + half][c]));
        areas.push_back(
            {static_cast<std::uint16_t>(block_address(kTriggerDac, half) + 2 * c), bytes});
      }
      if (!write_calibration_block(st, b, kTriggerDacValid, half, areas)) return -1;
    }
  }
  Write_InfoMessage(st, "Trigger DACs Offset successfully saved to EEPROM.\n", kInfo);
  return 0;
}

int Read_TriggerThresholdDACs_From_EEPROM(State& st, int d) {
  if (!valid_board(st, d) || !calibration_valid(st, d, kTriggerDacValid)) {
    Write_InfoMessage(
        st, format("Daughter Board [%d]'s Trigger Threshold DACs Offsets are not valid!\n", d),
        kInfo);
    return -1;
  }
  for (int half = 0; half < 2; ++half) {
    const int block = 2 * d + half;
    const auto bytes = eeprom_read(st, d, block_address(kTriggerDac, half), 4);
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const float volts = trigger_dac_volts(get_u16(bytes, 2 * c));
      st.calib.MeanThreshold[block][c] = volts;
      Write_InfoMessage(st,
                        format(c == 0 ? "Mean Trigger Threshold [samIndex%d][ch0] = %f \n"
                                      : "Mean Trigger Threshold [samIndex%d][ch1] = %f \n",
                               block, static_cast<double>(volts)),
                        kInfo);
    }
  }
  Write_InfoMessage(
      st,
      format(
          "Daughter Board [%d]'s Trigger Threshold DACs Offsets successfully read from EEPROM!\n",
          d),
      kInfo);
  return 0;
}

int Load_Calib_Values_From_EEPROM(State& st, int d) {
  int taken = 0;
  taken += Read_SAMDACsOffsets_From_EEPROM(st, d) == 0 ? 1 : 0;
  taken += Read_Pedestal_Values_From_EEPROM(st, d, 1) == 0 ? 1 : 0;
  taken += Read_INL_Values_From_EEPROM(st, d) == 0 ? 1 : 0;
  taken += Read_TriggerThresholdDACs_From_EEPROM(st, d) == 0 ? 1 : 0;
  return taken;
}

int Load_Calibrations_And_Reload(State& st, int d) {
  const auto boards = boards_of(st, d);
  if (boards.empty()) return -1;
  for (int b : boards) Load_Calib_Values_From_EEPROM(st, b);
  if (st.digitizer == nullptr || st.DeviceHandle.load() < 0 ||
      st.digitizer->LoadSAMCorrectionData(st.DeviceHandle.load()) != 0) {
    Write_InfoMessage(st, "ERROR: The correction values could not be re-loaded from FLASH!\n",
                      kError);
    return -1;
  }
  Write_InfoMessage(st, "Correction Values re-loaded from FLASH\n", kInfo);
  return 0;
}

}  // namespace vx
