#include "eeprom/calibration_tables.h"

#include <array>
#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "app/board_port.h"
#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_encoding.h"
#include "platform/eeprom_map.h"
#include "platform/format_text.h"

namespace vx {

namespace {

using namespace eeprom;

std::uint16_t table_address(std::uint16_t table_a, int half, int channel) {
  return static_cast<std::uint16_t>(block_address(table_a, half) + channel * kChannelTableStride);
}

std::vector<int> boards_of(Settings& st, BoardLink& link, MessageLog& log, int d) {
  return eeprom_boards(st, link, log, d);
}

// The 1024-word table of each channel of one block (half 0 = A, 1 = B) of board d.
template <typename Encode>
std::vector<EepromArea> table_areas(int d, int half, std::uint16_t table_a, Encode encode) {
  std::vector<EepromArea> areas;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    std::vector<std::uint8_t> bytes(2 * kMaxSamples);
    for (int cell = 0; cell < kMaxSamples; ++cell)
      put_u16(bytes, 2 * cell, encode(2 * d + half, c, cell));
    areas.push_back({table_address(table_a, half, c), std::move(bytes)});
  }
  return areas;
}

template <typename Encode>
bool save_tables(BoardPort port, int d, std::uint16_t table_a, std::uint16_t marker_a,
                 Encode encode) {
  return write_calibration_item(port, port.links.log, d, marker_a,
                                table_areas(d, 0, table_a, encode),
                                table_areas(d, 1, table_a, encode));
}

EepromArea line_dac_area(int half, const LineDacSettings& s) {
  std::vector<std::uint8_t> bytes(kPedestalLineDacsSize, kLineDacsUnrecorded);
  if (s.recorded()) {
    bytes[0] = s.reg2_bits;
    for (int c = 0; c < kChannelsPerBlock; ++c)
      for (int line = 0; line < kLinesPerMatrix; ++line)
        bytes[1 + 16 * c + line] = s.codes[c][line];
  }
  return {block_address(kPedestalLineDacs, half), std::move(bytes)};
}

std::optional<LineDacSettings> read_line_dacs(BoardLink& st, MessageLog& log, int d, int half) {
  const auto bytes = eeprom_read(
      st, log, d, block_address(kPedestalLineDacs, half), kPedestalLineDacsSize,
      format_text("the SAM DAC settings of SAM block %d's pedestal table", 2 * d + half));
  if (!bytes) return std::nullopt;
  LineDacSettings s;
  s.reg2_bits = (*bytes)[0] == kLineDacsUnrecorded ? kLineDacsUnrecorded : ((*bytes)[0] & 0x7);
  if (!s.recorded()) return s;
  for (int c = 0; c < kChannelsPerBlock; ++c)
    for (int line = 0; line < kLinesPerMatrix; ++line)
      s.codes[c][line] = (*bytes)[1 + 16 * c + line] & 0x7F;
  return s;
}

// The four 1024-word tables of board d, decoded only once every one of them was read: a
// failed read leaves every table as it was.
template <typename Decode>
bool read_tables(BoardLink& st, MessageLog& log, int d, std::uint16_t table_a,
                 const char* table_name, Decode decode) {
  std::array<std::vector<std::uint8_t>, 2 * kChannelsPerBlock> areas;
  for (int half = 0; half < 2; ++half) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      auto bytes = eeprom_read(st, log, d, table_address(table_a, half, c), 2 * kMaxSamples,
                               format_text("the %s table of channel %d", table_name,
                                           kChannelsPerBlock * (2 * d + half) + c));
      if (!bytes) return false;
      areas[kChannelsPerBlock * half + c] = std::move(*bytes);
    }
  }
  for (int half = 0; half < 2; ++half)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      for (int cell = 0; cell < kMaxSamples; ++cell)
        decode(2 * d + half, c, cell, get_u16(areas[kChannelsPerBlock * half + c], 2 * cell));
  return true;
}

bool valid_board(BoardLink& st, int d) {
  return d >= 0 && d < kMaxSamBlocks / 2 && st.digitizer != nullptr;
}

bool text_fits(FrontEndLinks& st, const std::string& text, const char* field) {
  if (text.size() <= 15) return true;
  Write_InfoMessage(
      st,
      format_text("ERROR: '%s' of INL calibration is too long: its EEPROM field holds 16 "
                  "bytes, at most 15 characters!\n",
                  field),
      kError);
  return false;
}

using LineCodes = decltype(LineDacSettings::codes);

// The line codes of both blocks of board d as its SAM DAC offsets item holds them (the
// inverted copies in bytes 1 and 3 are not checked).
std::optional<std::array<LineCodes, 2>> stored_sam_dac_codes(BoardLink& st, MessageLog& log,
                                                             int d) {
  std::array<LineCodes, 2> out{};
  for (int half = 0; half < 2; ++half) {
    const auto words =
        eeprom_read(st, log, d, block_address(kSamDacOffsets, half), 64,
                    format_text("the SAM DAC Offsets of SAM block %d", 2 * d + half));
    if (!words) return std::nullopt;
    for (int k = 0; k < kLinesPerMatrix; ++k) {
      out[half][1][k] = (*words)[4 * k];
      out[half][0][k] = (*words)[4 * k + 2];
    }
  }
  return out;
}

bool write_sam_dac_item(BoardLink& st, MessageLog& log, int d,
                        const std::array<LineCodes, 2>& codes, bool log_words) {
  if (!eeprom_write_byte(st, log, d, kSamDacZero, 0)) return false;
  std::array<std::vector<EepromArea>, 2> areas;
  for (int half = 0; half < 2; ++half) {
    const int block = 2 * d + half;
    for (int k = 0; k < kLinesPerMatrix; ++k) {
      const std::uint8_t c0 = codes[half][0][k];
      const std::uint8_t c1 = codes[half][1][k];
      if (log_words)
        Write_InfoMessage(log,
                          format_text("DAC Offset samIndex[%d], data[%d]=%04x \n", block, k,
                                      sam_dac_word_value(c0, c1)),
                          kInfo);
      const auto word = sam_dac_word(c0, c1);
      areas[half].push_back(
          {static_cast<std::uint16_t>(block_address(kSamDacOffsets, half) + 4 * k),
           {word.begin(), word.end()}});
    }
  }
  return write_calibration_item(st, log, d, kSamDacValid, areas[0], areas[1]);
}

// A connection loads the stored SAM DAC offsets (with the DACs on and their 0.5 mV step)
// when they are valid, and leaves the DACs off otherwise. After a pedestal table of board d
// was stored, the stored offsets are made to say what the table was measured with, so that
// the next connection applies the two together.
bool store_matching_sam_dac_offsets(BoardLink& st, MessageLog& log, int d) {
  const auto& measured = st.calib.PedestalLineDacs;
  const LineDacSettings& a = measured[2 * d];
  const LineDacSettings& b = measured[2 * d + 1];
  if (!a.recorded() || !b.recorded()) return true;  // read back from the EEPROM as it was
  const bool stored = calibration_valid(st, log, d, kSamDacValid);
  if (!a.enabled() && !b.enabled()) {
    if (!stored) return true;
    if (!eeprom_write_byte(st, log, d, kSamDacValid, 0) ||
        !eeprom_write_byte(st, log, d, block_address(kSamDacValid, 1), 0))
      return false;
    Write_InfoMessage(
        log,
        format_text("Daughter Board [%d]'s stored SAM DAC Offsets marked not valid: its "
                    "pedestal table was measured with the SAM DACs off.\n",
                    d),
        kInfo);
    return true;
  }
  if (a.reg2_bits != kSamDacsCalibrated || b.reg2_bits != kSamDacsCalibrated) {
    Write_InfoMessage(
        log,
        format_text("WARNING: Daughter Board [%d]'s pedestal table was measured with SAM "
                    "DAC settings that its stored SAM DAC Offsets cannot hold (another "
                    "step, or the DACs on in one block only): the next connection "
                    "will not apply them. Calibrate the SAM DACs Offsets, then the "
                    "pedestals, and save them.\n",
                    d),
        kWarning);
    return true;
  }
  const std::array<LineCodes, 2> codes{a.codes, b.codes};
  if (stored && stored_sam_dac_codes(st, log, d) == codes) return true;
  if (!write_sam_dac_item(st, log, d, codes, false)) return false;
  Write_InfoMessage(
      log,
      format_text("Daughter Board [%d]'s SAM DAC Offsets saved with the pedestal table "
                  "that was measured with them.\n",
                  d),
      kInfo);
  return true;
}

}  // namespace

int Save_Pedestal_Values_To_EEPROM(BoardLink& st, Settings& settings, MessageLog& log, int d) {
  const auto boards = boards_of(settings, st, log, d);
  if (boards.empty()) return -1;
  auto& k = st.calib;
  // A table that was never measured nor read holds nothing: it is not stored as valid.
  for (int b : boards) {
    if (k.PedestalTableHeld[2 * b] && k.PedestalTableHeld[2 * b + 1]) continue;
    Write_InfoMessage(log,
                      format_text("ERROR: Daughter Board [%d] holds no pedestal table to save: "
                                  "calibrate the pedestals first. Nothing was saved.\n",
                                  b),
                      kError);
    return -1;
  }
  const auto& table = k.IndividualOffsetDistribution;
  const auto encode = [&](int block, int c, int cell) {
    return pedestal_code(table[block][c][cell]);
  };
  for (int b : boards) {
    auto block_a = table_areas(b, 0, kPedestals, encode);
    auto block_b = table_areas(b, 1, kPedestals, encode);
    block_a.push_back(line_dac_area(0, k.PedestalLineDacs[2 * b]));
    block_b.push_back(line_dac_area(1, k.PedestalLineDacs[2 * b + 1]));
    if (!write_calibration_item(st, log, b, kPedestalValid, block_a, block_b) ||
        !store_matching_sam_dac_offsets(st, log, b))
      return -1;
  }
  Write_InfoMessage(log, "Pedestal Calibration values successfully saved to EEPROMs\n", kInfo);
  return 0;
}

int Read_Pedestal_Values_From_EEPROM(BoardLink& st, MessageLog& log, int d, int with_message) {
  if (!valid_board(st, d) || !calibration_valid(st, log, d, kPedestalValid)) {
    Write_InfoMessage(
        log, format_text("WARNING: Daughter Board [%d] Pedestal Calibration is not valid!\n", d),
        kWarningNoPopup);
    return -1;
  }
  // The table holds only with the settings it was measured with: both, or neither.
  std::array<LineDacSettings, 2> settings;
  for (int half = 0; half < 2; ++half) {
    const auto read = read_line_dacs(st, log, d, half);
    if (!read) return kEepromReadFailed;
    settings[half] = *read;
  }
  auto& table = st.calib.IndividualOffsetDistribution;
  if (!read_tables(st, log, d, kPedestals, "pedestal",
                   [&](int block, int c, int cell, std::uint16_t code) {
                     table[block][c][cell] = static_cast<float>(pedestal_value(code));
                   }))
    return kEepromReadFailed;
  for (int half = 0; half < 2; ++half) {
    st.calib.PedestalTableHeld[2 * d + half] = true;
    st.calib.PedestalLineDacs[2 * d + half] = settings[half];
  }
  if (with_message == 1) {
    Write_InfoMessage(
        log,
        format_text(
            " Daughter Board [%d]'s Pedestal Calibration Values successfully read from EEPROM\n",
            d),
        kInfo);
  }
  return 0;
}

int Save_INL_Values_To_EEPROM(State& st, int d, const std::string& location,
                              const std::string& responsible) {
  const WallTime now = st.clock.wall();
  const std::string date = stored_date(now.day, now.month, now.year);
  st.eeprom_panel.calibration_date = format_text("%02d/%02d/%4d", now.day, now.month, now.year);
  if (responsible.empty()) {
    Write_InfoMessage(st, "Please Fill in'responsible of INL calibration' EEPROM field!\n", kError);
    return -1;
  }
  if (location.empty()) {
    Write_InfoMessage(st, "Please Fill in 'location of INL calibration' EEPROM field!\n", kError);
    return -1;
  }
  if (!text_fits(st, location, "location") || !text_fits(st, responsible, "responsible")) return -1;
  const auto boards = boards_of(st, st, st.log, d);
  if (boards.empty()) return -1;
  if (boards.size() > 1) {
    for (int b : boards)
      if (Save_INL_Values_To_EEPROM(st, b, location, responsible) != 0) return -1;
    return 0;
  }
  for (int block = 2 * d; block <= 2 * d + 1; ++block)
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (st.calib.TimePedestalsHeld[block][c]) continue;
      Write_InfoMessage(
          st,
          format_text("ERROR: Channel %d holds no INL table to save to Daughter Board "
                      "[%d]'s EEPROM: save the values of an INL calibration, or load "
                      "the INL files, first. Nothing was saved.\n",
                      2 * block + c, d),
          kError);
      return -1;
    }

  // The identity texts belong to the INL item: its block A marker guards them too.
  const auto text = [](const std::string& s) {
    std::vector<std::uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    return bytes;
  };
  if (!eeprom_write_byte(st, st.log, d, kInlValid, 0) ||
      !eeprom_write(st, st.log, d, kInlDate, text(date)) ||
      !eeprom_write(st, st.log, d, kInlLocation, text(location)) ||
      !eeprom_write(st, st.log, d, kInlResponsible, text(responsible)))
    return -1;
  const auto& table = st.calib.TimePedestals;
  if (!save_tables(st, d, kInlTable, kInlValid,
                   [&](int block, int c, int cell) { return inl_code(table[block][c][cell]); }))
    return -1;
  Write_InfoMessage(
      st,
      format_text("Daughter Board [%d] INL Calibration values successfully saved to EEPROM.\n", d),
      kInfo);
  return 0;
}

int Read_INL_Values_From_EEPROM(BoardLink& st, MessageLog& log, int d) {
  if (!valid_board(st, d) || !calibration_valid(st, log, d, kInlValid)) {
    Write_InfoMessage(
        log,
        format_text("WARNING: Daughter Board [%d]'s INL Calibration values are not valid!\n", d),
        kWarning);
    return -1;
  }
  auto& table = st.calib.TimePedestals;
  if (!read_tables(st, log, d, kInlTable, "INL",
                   [&](int block, int c, int cell, std::uint16_t code) {
                     table[block][c][cell] = inl_value(code);
                     st.calib.TimePedestalsHeld[block][c] = true;
                   }))
    return kEepromReadFailed;
  Write_InfoMessage(
      log,
      format_text("Daughter Board [%d]'s INL Calibration values successfully read from EEPROM.\n",
                  d),
      kInfo);
  return 0;
}

int Save_INL_Files_To_EEPROM(State& st, int d, const std::string& location,
                             const std::string& responsible, const InlFileOperation& read_file) {
  const auto boards = boards_of(st, st, st.log, d);
  if (boards.empty()) return -1;
  int result = 0;
  for (int b : boards) {
    int read = 0;
    for (int block = 2 * b; block <= 2 * b + 1; ++block)
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        const bool taken = read_file(st, block, c) == 1;
        st.calib.TimePedestalsHeld[block][c] = taken;
        read += taken ? 1 : 0;
      }
    if (read != 4) {
      Write_InfoMessage(
          st,
          format_text("Unable to save INL Files to Daughter Board [%d]'s EEPROM because "
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

int Save_INL_Files_From_EEPROM(BoardPort port, int d, const InlFileOperation& save_file) {
  const auto boards = boards_of(port, port, port.links.log, d);
  if (boards.empty()) return -1;
  int result = 0;
  for (int b : boards) {
    Read_INL_Values_From_EEPROM(port, port.links.log, b);
    for (int block = 2 * b; block <= 2 * b + 1; ++block)
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        // A file made from a table never measured nor read would come back as a valid table.
        if (port.link.calib.TimePedestalsHeld[block][c]) {
          save_file(port, block, c);
          continue;
        }
        Write_InfoMessage(
            port,
            format_text("WARNING: No INL file written for channel %d: this session holds "
                        "no INL table for it (measured, or read from this board).\n",
                        kChannelsPerBlock * block + c),
            kWarning);
        result = -1;
      }
  }
  return result;
}

int Save_SAMDACsOffsets_To_EEPROM(Settings& st, BoardLink& link, MessageLog& log, int d) {
  if (!link.calib.SamDACOffsetDone) {
    Write_InfoMessage(
        log, "Cannot save SAM DACs Offsets to EEPROM because calibration was not performed.\n",
        kError);
    return -1;
  }
  const auto boards = boards_of(st, link, log, d);
  if (boards.empty()) return -1;
  // Codes are those of one unit's chips: only codes measured on this unit, or read from it,
  // are stored.
  for (int b : boards) {
    if (link.calib.SamDacCodesHeld[2 * b] && link.calib.SamDacCodesHeld[2 * b + 1]) continue;
    Write_InfoMessage(
        log,
        format_text("ERROR: Daughter Board [%d] holds no SAM DAC Offsets measured on "
                    "this board or read from it: calibrate the SAM DACs Offsets first. "
                    "Nothing was saved.\n",
                    b),
        kError);
    return -1;
  }
  for (int b : boards) {
    const std::array<LineCodes, 2> codes{line_dac_settings(st.sam[2 * b]).codes,
                                         line_dac_settings(st.sam[2 * b + 1]).codes};
    if (!write_sam_dac_item(link, log, b, codes, true)) return -1;
  }
  Write_InfoMessage(log, "SAM DACs Offsets successfully saved to EEPROM.\n", kInfo);
  // The next connection loads these codes: the stored pedestals must have been measured
  // with them.
  for (int b : boards) {
    LineDacSettings loaded_then;
    loaded_then.reg2_bits = kSamDacsCalibrated;
    for (int half = 0; half < 2; ++half) {
      loaded_then.codes = line_dac_settings(st.sam[2 * b + half]).codes;
      if (!calibration_valid(link, log, b, kPedestalValid)) break;
      const auto measured_with = read_line_dacs(link, log, b, half);
      if (measured_with && !measured_with->same_effect(loaded_then)) {
        Write_InfoMessage(log,
                          format_text("WARNING: Daughter Board [%d]'s stored pedestal table was "
                                      "measured with other SAM DAC Offsets than those just saved: "
                                      "calibrate the pedestals now (no signal at the inputs) and "
                                      "save them to FLASH, or the next connections show wrong "
                                      "baselines.\n",
                                      b),
                          kWarning);
        break;
      }
    }
  }
  return 0;
}

int Read_SAMDACsOffsets_From_EEPROM(Settings& st, BoardLink& link, MessageLog& log, int d,
                                    int with_message) {
  if (!valid_board(link, d) || !calibration_valid(link, log, d, kSamDacValid)) {
    if (with_message == 1)
      Write_InfoMessage(
          log, format_text("Daughter Board [%d]'s SAM DAC's Offsets are not valid!\n", d), kInfo);
    return -1;
  }
  const auto codes = stored_sam_dac_codes(link, log, d);
  if (!codes) return kEepromReadFailed;
  for (int half = 0; half < 2; ++half) {
    const int block = 2 * d + half;
    link.calib.SamDacCodesHeld[block] = true;
    for (int k = 0; k < kLinesPerMatrix; ++k) {
      const std::uint8_t c0 = (*codes)[half][0][k];
      const std::uint8_t c1 = (*codes)[half][1][k];
      st.sam[block].SamDacOffsetCh0[k] = c0;
      st.sam[block].SamDacOffsetCh1[k] = c1;
      if (with_message != 1) continue;
      Write_InfoMessage(
          log, format_text("SAM DAC Offset[index=%d][ch0][line=%d]= %d\n", block, k, int{c0}),
          kInfo);
      Write_InfoMessage(
          log, format_text("SAM DAC Offset[index=%d][ch1][line=%d]= %d\n", block, k, int{c1}),
          kInfo);
    }
  }
  if (with_message == 1)
    Write_InfoMessage(
        log,
        format_text("Daughter Board [%d]'s SAM DAC's Offsets successfully read from EEPROM \n", d),
        kInfo);
  link.calib.SamDACOffsetDone = true;
  return 0;
}

int Save_TriggerThresholdDACs_To_EEPROM(BoardLink& st, Settings& settings, MessageLog& log, int d) {
  if (!st.calib.TriggerDACsOffsetDone) {
    Write_InfoMessage(
        log,
        "Cannot save Trigger Threshold DACs Offset to EEPROM because calibration was not "
        "performed.\n",
        kError);
    return -1;
  }
  const auto boards = boards_of(settings, st, log, d);
  if (boards.empty()) return -1;
  for (int b : boards) {
    std::array<std::vector<EepromArea>, 2> areas;
    for (int half = 0; half < 2; ++half) {
      for (int c = 0; c < kChannelsPerBlock; ++c) {
        std::vector<std::uint8_t> bytes(2);
        put_u16(bytes, 0, trigger_dac_code(st.calib.MeanThreshold[2 * b + half][c]));
        areas[half].push_back(
            {static_cast<std::uint16_t>(block_address(kTriggerDac, half) + 2 * c), bytes});
      }
    }
    if (!write_calibration_item(st, log, b, kTriggerDacValid, areas[0], areas[1])) return -1;
  }
  Write_InfoMessage(log, "Trigger DACs Offset successfully saved to EEPROM.\n", kInfo);
  return 0;
}

int Read_TriggerThresholdDACs_From_EEPROM(BoardLink& st, MessageLog& log, int d) {
  if (!valid_board(st, d) || !calibration_valid(st, log, d, kTriggerDacValid)) {
    Write_InfoMessage(
        log,
        format_text("Daughter Board [%d]'s Trigger Threshold DACs Offsets are not valid!\n", d),
        kInfo);
    return -1;
  }
  std::array<std::vector<std::uint8_t>, 2> codes;
  for (int half = 0; half < 2; ++half) {
    auto bytes =
        eeprom_read(st, log, d, block_address(kTriggerDac, half), 4,
                    format_text("the Trigger Threshold DAC Offsets of SAM block %d", 2 * d + half));
    if (!bytes) return kEepromReadFailed;
    codes[half] = std::move(*bytes);
  }
  for (int half = 0; half < 2; ++half) {
    const int block = 2 * d + half;
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      const float volts = trigger_dac_volts(get_u16(codes[half], 2 * c));
      st.calib.MeanThreshold[block][c] = volts;
      Write_InfoMessage(log,
                        format_text(c == 0 ? "Mean Trigger Threshold [samIndex%d][ch0] = %f \n"
                                           : "Mean Trigger Threshold [samIndex%d][ch1] = %f \n",
                                    block, static_cast<double>(volts)),
                        kInfo);
    }
  }
  Write_InfoMessage(
      log,
      format_text(
          "Daughter Board [%d]'s Trigger Threshold DACs Offsets successfully read from EEPROM!\n",
          d),
      kInfo);
  return 0;
}

int StoredTablesRead::taken() const {
  int n = 0;
  for (const int rc : {sam_dacs, pedestals, inl, trigger_dacs}) n += rc == 0 ? 1 : 0;
  return n;
}

bool StoredTablesRead::read_failed() const {
  for (const int rc : {sam_dacs, pedestals, inl, trigger_dacs})
    if (rc == kEepromReadFailed) return true;
  return false;
}

StoredTablesRead Load_Calib_Values_From_EEPROM(Settings& st, BoardLink& link, MessageLog& log,
                                               int d) {
  StoredTablesRead read;
  read.sam_dacs = Read_SAMDACsOffsets_From_EEPROM(st, link, log, d);
  read.pedestals = Read_Pedestal_Values_From_EEPROM(link, log, d, 1);
  read.inl = Read_INL_Values_From_EEPROM(link, log, d);
  read.trigger_dacs = Read_TriggerThresholdDACs_From_EEPROM(link, log, d);
  return read;
}

void Note_AppliedPedestals(BoardLink& st, Settings& records, MessageLog& log) {
  auto& k = st.calib;
  k.AppliedPedestalsValid.fill(false);
  for (int d = 0; d < daughter_board_count(records); ++d) {
    if (!calibration_valid(st, log, d, kPedestalValid)) continue;
    // Without the settings the table was measured with, nothing can be checked against it.
    for (int half = 0; half < 2; ++half) {
      const auto settings = read_line_dacs(st, log, d, half);
      k.AppliedPedestalsValid[2 * d + half] = settings.has_value();
      if (settings) k.AppliedPedestalLineDacs[2 * d + half] = *settings;
    }
  }
}

int Check_PedestalLineDacs(BoardLink& st, Settings& settings, MessageLog& log) {
  int mismatched = 0;
  for (int d = 0; d < daughter_board_count(settings); ++d) {
    bool same = true;
    for (int block = 2 * d; block <= 2 * d + 1; ++block)
      same = same && (!st.calib.AppliedPedestalsValid[block] ||
                      st.calib.AppliedPedestalLineDacs[block].same_effect(
                          line_dac_settings(settings.sam[block])));
    if (same) continue;
    ++mismatched;
    Write_InfoMessage(
        log,
        format_text("WARNING: Daughter Board [%d]'s pedestal table in use was measured "
                    "with other SAM DAC Offsets than those loaded now: its baselines "
                    "are off. Calibrate the pedestals (no signal at the inputs) and "
                    "save them to FLASH.\n",
                    d),
        kWarning);
  }
  return mismatched;
}

}  // namespace vx
