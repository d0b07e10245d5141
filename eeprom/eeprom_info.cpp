#include "eeprom/eeprom_info.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_encoding.h"
#include "platform/eeprom_map.h"
#include "platform/format_text.h"

namespace vx {

namespace {

constexpr std::uint32_t kUnitSerialModulo = 10000;

// Both SAM blocks of a daughter board carry the same identity. Record fields are packed:
// they are assigned by name, never through a pointer or reference.
template <typename F>
void for_both_blocks(SamBlocks& sam, int d, F&& f) {
  for (int b = 2 * d; b <= 2 * d + 1 && b < kMaxSamBlocks; ++b) f(sam[b]);
}

std::string tenths_text(float value) {
  return format_text("%.1f", static_cast<double>(value));
}

// Gain and offset gain: one byte holding ten times the value, and its marker.
void read_gains(Settings& st, BoardLink& link, MessageLog& log, int d) {
  using namespace eeprom;
  EepromPanelValues& panel = link.eeprom_panel;
  const char* invalid = "WARNING: Daughter Board [%d] Board Gain is not valid!\n";
  const auto gain = eeprom_read_byte(link, log, d, kGain, "the board gain");
  if (gain &&
      eeprom_read_byte(link, log, d, kGainValid, "the board gain's marker") == kGainMarker) {
    const float value = gain_value(*gain);
    for_both_blocks(st.sam, d, [&](SAMBlockParams& k) { k.BoardGain = value; });
    panel.gain = tenths_text(value);
    panel.gain_ok = "OK";
    Write_InfoMessage(log, format_text("Daughter Board [%d] Gain= %f read from EEPROM\n", d, value),
                      kInfo);
  } else {
    Write_InfoMessage(log, format_text(invalid, d), kWarningNoPopup);
  }
  const auto offset = eeprom_read_byte(link, log, d, kOffsetGain, "the board offset gain");
  if (offset && eeprom_read_byte(link, log, d, kOffsetGainValid,
                                 "the board offset gain's marker") == kOffsetGainMarker) {
    const float value = gain_value(*offset);
    for_both_blocks(st.sam, d, [&](SAMBlockParams& k) { k.OffsetGain = value; });
    panel.offset_gain = tenths_text(value);
    panel.offset_gain_ok = "OK";
    Write_InfoMessage(
        log, format_text("Daughter Board [%d] Offset Gain= %f read from EEPROM\n", d, value),
        kInfo);
  } else {
    Write_InfoMessage(log, format_text(invalid, d), kWarningNoPopup);
  }
}

void read_setup_register(Settings& st, BoardLink& link, MessageLog& log, int d) {
  using namespace eeprom;
  EepromPanelValues& panel = link.eeprom_panel;
  const auto read = eeprom_read_byte(link, log, d, kSetupRegister, "the setup register");
  if (!read ||
      eeprom_read_byte(link, log, d, kSetupValid, "the setup register's marker") != kSetupMarker) {
    Write_InfoMessage(log,
                      format_text("WARNING: Daugther Board [%d] Setup Register is not valid!\n", d),
                      kWarningNoPopup);
    return;
  }
  const std::uint8_t reg = *read;
  const SetupFields f = setup_fields(reg);
  for_both_blocks(st.sam, d, [&](SAMBlockParams& k) {
    k.SCAType = f.sca_type;
    k.ACDCCoupling = f.acdc_coupling;
    k.SAMLongType = f.sam_long_type;
  });
  panel.sca_type = std::to_string(f.sca_type);
  panel.acdc_coupling = std::to_string(f.acdc_coupling);
  panel.sam_long_type = std::to_string(f.sam_long_type);
  panel.setup_ok = "OK";
  Write_InfoMessage(
      log,
      format_text("Daugther Board [%d] Setup Register = '%x' read from EEPROM\n", d, unsigned{reg}),
      kInfo);
}

void read_inl_info(BoardLink& st, MessageLog& log, int d) {
  using namespace eeprom;
  EepromPanelValues& panel = st.eeprom_panel;
  if (!calibration_valid(st, log, d, kInlValid)) {
    Write_InfoMessage(log, format_text("WARNING: Daugther Board [%d] INL Info are not valid!\n", d),
                      kWarningNoPopup);
    return;
  }
  const auto date = eeprom_read_text(st, log, d, kInlDate, 8, "the INL calibration date");
  if (const auto shown = date ? shown_date(*date) : std::nullopt) panel.calibration_date = *shown;
  panel.location = eeprom_read_text(st, log, d, kInlLocation, 16, "the INL calibration location")
                       .value_or("N/A");
  panel.responsible =
      eeprom_read_text(st, log, d, kInlResponsible, 16, "the INL calibration's responsible")
          .value_or("N/A");
  panel.inl_valid = true;
  Write_InfoMessage(log, "INL calibration read from EEPROM is valid.\n", kInfo);
}

void report_validity(BoardLink& st, MessageLog& log, int d, std::uint16_t marker, bool& indicator,
                     const char* valid, const char* invalid) {
  indicator = calibration_valid(st, log, d, marker);
  Write_InfoMessage(log, format_text(indicator ? valid : invalid, d),
                    indicator ? kInfo : kWarningNoPopup);
}

// A daughter board's serial number starts with the serial number of the unit it was
// calibrated in (its last four digits, so that the text fits its field). Another unit's
// EEPROM content (a dump written onto the wrong board) carries that unit's tables.
void check_unit(BoardLink& st, Settings& settings, MessageLog& log, int d, int major) {
  if (st.Board_Connected.load() != 1) return;
  BoardInfo info{};
  std::memcpy(&info, settings.board.BoardInfo, sizeof info);
  const auto unit = static_cast<int>(info.SerialNumber % kUnitSerialModulo);
  if (major == unit) return;
  st.eeprom_panel.serial_ok = kOtherUnit;
  Write_InfoMessage(
      log,
      format_text("WARNING: Daughter Board [%d]'s EEPROM belongs to unit %d, not to this "
                  "board (serial number %u): its calibration tables were measured on "
                  "another unit. Write this board's own EEPROM dump back, or calibrate "
                  "the board again and save its tables.\n",
                  d, major, info.SerialNumber),
      kWarning);
}

bool board_exists(Settings& st, BoardLink& link, MessageLog& log, int d) {
  return !eeprom_boards(st, link, log, d).empty();
}

// Everything the entry holds must fit its field before a single byte is written.
bool entry_fits(FrontEndLinks& st, const EepromInfoEntry& e, int& major, int& minor) {
  if (e.serial.size() > 7) {
    Write_InfoMessage(
        st,
        format_text("ERROR: Daughter Board Serial Number '%s' is too long: its EEPROM "
                    "field holds 8 bytes, at most 7 characters!\n",
                    e.serial.c_str()),
        kError);
    return false;
  }
  if (!eeprom::parse_serial(e.serial, major, minor)) {
    Write_InfoMessage(st, "ERROR: Daughter Board Serial Number is not valid!\n", kError);
    return false;
  }
  for (auto [name, value] :
       {std::pair{"Board Gain", e.gain}, {"Board Offset Gain", e.offset_gain}}) {
    if (!eeprom::gain_byte(value)) {
      Write_InfoMessage(st,
                        format_text("ERROR: %s %.2f does not fit its EEPROM byte (0.0 to 25.5)!\n",
                                    name, static_cast<double>(value)),
                        kError);
      return false;
    }
  }
  if (e.sca_type < 0 || e.sca_type > 1 || e.acdc_coupling < 0 || e.acdc_coupling > 1 ||
      e.sam_long_type < 0 || e.sam_long_type > 3) {
    Write_InfoMessage(st,
                      "ERROR: Board Setup Register fields out of range (SCA type and AC/DC "
                      "coupling 0 or 1, SAM long type 0 to 3)!\n",
                      kError);
    return false;
  }
  return true;
}

}  // namespace

int Read_EEPROM_Info(BoardLink& st, Settings& settings, FrontEndLinks& links, int d) {
  using namespace eeprom;
  if (d < 0) {
    Write_InfoMessage(links.log,
                      "ERROR: It is not possible to Read EEPROM Info with all daughter boards "
                      "selected!\n",
                      kError);
    return -1;
  }
  st.eeprom_panel = EepromPanelValues{};
  st.eeprom_panel.daughter_board = d;
  EepromPanelValues& panel = st.eeprom_panel;

  const std::string serial =
      eeprom_read_text(st, links.log, d, kSerial, 8, "the serial number").value_or(std::string());
  int major = 0, minor = 0;
  if (eeprom_read_byte(st, links.log, d, kSerialValid, "the serial number's marker") !=
          kSerialMarker ||
      std::sscanf(serial.c_str(), "%d.%d", &major, &minor) != 2) {
    Write_InfoMessage(
        links.log, format_text("Daughter Board [%d] Serial Number is not valid\n!", d), kWarning);
    links.ui.refresh_panel(Panel::Eeprom);
    return -1;
  }
  for_both_blocks(settings.sam, d, [&](SAMBlockParams& k) {
    k.SerialNumberMajor = major;
    k.SerialNumberMinor = minor;
  });
  panel.serial = serial;
  panel.serial_ok = "OK";
  Write_InfoMessage(
      links.log,
      format_text("Daughter Board [%d] Serial Number : ", d) + serial + " read from EEPROM\n",
      kInfo);
  check_unit(st, settings, links.log, d, major);

  read_gains(settings, st, links.log, d);
  read_setup_register(settings, st, links.log, d);
  read_inl_info(st, links.log, d);
  report_validity(st, links.log, d, kSamDacValid, panel.sam_dac_valid,
                  "Daugther Board [%d] SAM DAC Calibration is valid\n",
                  "WARNING: Daugther Board [%d] SAM DAC Calibration is not valid!\n");
  report_validity(st, links.log, d, kTriggerDacValid, panel.trigger_dac_valid,
                  "Daugther Board [%d] Trigger Threshold Calibration is valid\n",
                  "WARNING: Daugther Board [%d] Trigger Threshold Calibration is not valid!\n");
  report_validity(st, links.log, d, kPedestalValid, panel.pedestal_valid,
                  "Daugther Board [%d] Pedestal Calibration is valid\n",
                  "WARNING: Daugther Board [%d] Pedestal Calibration is not valid!\n");
  links.ui.refresh_panel(Panel::Eeprom);
  return 0;
}

int Write_EEPROM_Info(Settings& st, BoardLink& link, FrontEndLinks& links, int d,
                      const EepromInfoEntry& e) {
  using namespace eeprom;
  if (d < 0) {
    Write_InfoMessage(links.log,
                      "ERROR: It is not possible to write EEPROM Info with all daughter boards "
                      "selected!\n",
                      kError);
    return -1;
  }
  int major = 0, minor = 0;
  if (!board_exists(st, link, links.log, d) || !entry_fits(links, e, major, minor)) return -1;

  for_both_blocks(st.sam, d, [&](SAMBlockParams& k) {
    k.SerialNumberMajor = major;
    k.SerialNumberMinor = minor;
  });
  std::vector<std::uint8_t> text(e.serial.begin(), e.serial.end());
  text.push_back(0);
  if (!write_marked_item(link, links.log, d, kSerialValid, kSerialMarker, {{kSerial, text}}))
    return -1;
  Write_InfoMessage(links.log,
                    format_text("Serial Number '%d.%d' written to Daughter Board[%d]'s EEPROM\n",
                                major, minor, d),
                    kInfo);

  for_both_blocks(st.sam, d, [&](SAMBlockParams& k) { k.BoardGain = e.gain; });
  if (!write_marked_item(link, links.log, d, kGainValid, kGainMarker,
                         {{kGain, {*gain_byte(e.gain)}}}))
    return -1;
  Write_InfoMessage(links.log,
                    format_text("Board Gain '%2.1f' written to Daughter Board[%d]'s EEPROM\n",
                                static_cast<double>(e.gain), d),
                    kInfo);

  for_both_blocks(st.sam, d, [&](SAMBlockParams& k) { k.OffsetGain = e.offset_gain; });
  if (!write_marked_item(link, links.log, d, kOffsetGainValid, kOffsetGainMarker,
                         {{kOffsetGain, {*gain_byte(e.offset_gain)}}}))
    return -1;
  Write_InfoMessage(
      links.log,
      format_text("Board Offset Gain '%2.1f' written to Daughter Board[%d]'s EEPROM\n",
                  static_cast<double>(e.offset_gain), d),
      kInfo);

  for_both_blocks(st.sam, d, [&](SAMBlockParams& k) {
    k.SCAType = e.sca_type;
    k.ACDCCoupling = e.acdc_coupling;
    k.SAMLongType = e.sam_long_type;
  });
  const std::uint8_t reg = setup_register(e.sca_type, e.acdc_coupling, e.sam_long_type);
  if (!write_marked_item(link, links.log, d, kSetupValid, kSetupMarker, {{kSetupRegister, {reg}}}))
    return -1;
  Write_InfoMessage(
      links.log,
      format_text("Board Setup Register '%x' written to Daughter Board[%d]'s EEPROM\n",
                  unsigned{reg}, d),
      kInfo);
  // The panel shows what was written; only the serial keeps its "OK" until the next read.
  EepromPanelValues& panel = link.eeprom_panel;
  panel.daughter_board = d;
  panel.serial = e.serial;
  panel.gain = tenths_text(gain_value(*gain_byte(e.gain)));
  panel.offset_gain = tenths_text(gain_value(*gain_byte(e.offset_gain)));
  panel.sca_type = std::to_string(e.sca_type);
  panel.acdc_coupling = std::to_string(e.acdc_coupling);
  panel.sam_long_type = std::to_string(e.sam_long_type);
  panel.gain_ok.clear();
  panel.offset_gain_ok.clear();
  panel.setup_ok.clear();
  links.ui.refresh_panel(Panel::Eeprom);
  return 0;
}

int Test_EEPROM(BoardLink& st, MessageLog& log, int d) {
  std::vector<std::uint8_t> pattern(eeprom::kSize);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i);
  std::vector<std::uint8_t> back(eeprom::kSize, 0);
  const bool passed = eeprom_write(st, log, d, 0, pattern) && eeprom_read_checked(st, d, 0, back) &&
                      back == pattern;
  if (passed) {
    Write_InfoMessage(log, "EEPROM Test finished successfully.\n", kInfo);
    return 0;
  }
  Write_InfoMessage(log, "EEPROM Test failed!\n", kError);
  return 1;
}

int Erase_EEPROM(BoardLink& st, MessageLog& log, int d) {
  const std::vector<std::uint8_t> zeros(eeprom::kSize, 0);
  if (!eeprom_write(st, log, d, 0, zeros)) return -1;
  Write_InfoMessage(log, "EEPROM successfully erased!\n", kInfo);
  return 0;
}

std::string EEPROM_Change_Question(EepromChange change, int d) {
  const std::string which =
      d < 0 ? std::string("every daughter board") : "daughter board " + std::to_string(d);
  switch (change) {
    case EepromChange::WriteInfo:
      return "Write the serial number, gains and setup register of " + which + " to its EEPROM?";
    case EepromChange::SaveCalibration:
      return "Overwrite the calibration tables stored in the EEPROM of " + which + "?";
    case EepromChange::Restore:
      return "Overwrite the whole EEPROM of " + which + " with the dump file?";
    case EepromChange::Test:
      return "The EEPROM test writes a test pattern over the whole EEPROM of " + which +
             " and leaves it there: the board information and every calibration table are "
             "lost, and the board information must be written again afterwards. Run the test?";
    case EepromChange::Erase:
      return "Erase the whole EEPROM of " + which +
             " (board information and every calibration table)?";
    case EepromChange::WriteBytes:
      return "Write these bytes into the EEPROM of " + which + "?";
  }
  return {};
}

bool Confirm_EEPROM_Change(FrontEndLinks& st, EepromChange change, int d) {
  return st.ui.confirm("Confirm", EEPROM_Change_Question(change, d));
}

}  // namespace vx
