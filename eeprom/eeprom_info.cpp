#include "eeprom/eeprom_info.h"

#include <cstdio>

#include "app/message_log.h"
#include "eeprom/eeprom_access.h"
#include "platform/eeprom_map.h"

namespace vx {

namespace {

std::string format(const char* fmt, int d) {
  char text[160];
  std::snprintf(text, sizeof text, fmt, d);
  return text;
}

std::string format(const char* fmt, int d, double value) {
  char text[160];
  std::snprintf(text, sizeof text, fmt, d, value);
  return text;
}

// Both SAM blocks of a daughter board carry the same identity.
template <typename F>
void for_both_blocks(State& st, int d, F&& f) {
  for (int b = 2 * d; b <= 2 * d + 1 && b < kMaxSamBlocks; ++b) f(st.sam[b]);
}

// Gain and offset gain: one byte holding ten times the value, and its marker. The value
// is stored by value: a pointer to a packed record's float would be misaligned.
using StoreGain = void (*)(SAMBlockParams&, float);

void read_gain_item(State& st, int d, std::uint16_t address, std::uint16_t marker_address,
                    std::uint8_t marker, StoreGain store, std::string& shown, std::string& ok,
                    const char* message) {
  const std::uint8_t byte = eeprom_read_byte(st, d, address);
  if (eeprom_read_byte(st, d, marker_address) != marker) {
    Write_InfoMessage(st, format("WARNING: Daughter Board [%d] Board Gain is not valid!\n", d),
                      kInfo);
    return;
  }
  const float value = static_cast<float>(byte / 10.0);
  for_both_blocks(st, d, [&](SAMBlockParams& k) { store(k, value); });
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  shown = text;
  ok = "OK";
  Write_InfoMessage(st, format(message, d, value), kInfo);
}

void read_setup_register(State& st, int d) {
  using namespace eeprom;
  EepromPanelValues& panel = st.eeprom_panel;
  const std::uint8_t reg = eeprom_read_byte(st, d, kSetupRegister);
  if (eeprom_read_byte(st, d, kSetupValid) != kSetupMarker) {
    Write_InfoMessage(st, format("WARNING: Daugther Board [%d] Setup Register is not valid!\n", d),
                      kInfo);
    return;
  }
  const int sca = reg & 0x1;
  const int acdc = (reg >> 1) & 0x1;
  const int sam_long = (reg >> 3) & 0x3;
  for_both_blocks(st, d, [&](SAMBlockParams& k) {
    k.SCAType = sca;
    k.ACDCCoupling = acdc;
    k.SAMLongType = sam_long;
  });
  panel.sca_type = std::to_string(sca);
  panel.acdc_coupling = std::to_string(acdc);
  panel.sam_long_type = std::to_string(sam_long);
  panel.setup_ok = "OK";
  char text[120];
  std::snprintf(text, sizeof text, "Daugther Board [%d] Setup Register = '%x' read from EEPROM\n",
                d, reg);
  Write_InfoMessage(st, text, kInfo);
}

void read_inl_info(State& st, int d) {
  using namespace eeprom;
  EepromPanelValues& panel = st.eeprom_panel;
  if (!calibration_valid(st, d, kInlValid)) {
    Write_InfoMessage(st, format("WARNING: Daugther Board [%d] INL Info are not valid!\n", d),
                      kInfo);
    return;
  }
  const std::string date = eeprom_read_text(st, d, kInlDate, 8);
  int day = 0, month = 0, year = 0;
  if (date.size() >= 6 && std::sscanf(date.c_str(), "%2d%2d%2d", &day, &month, &year) == 3) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", day, month, 2000 + year);
    panel.calibration_date = text;
  }
  panel.location = eeprom_read_text(st, d, kInlLocation, 16);
  panel.responsible = eeprom_read_text(st, d, kInlResponsible, 16);
  panel.inl_valid = true;
  Write_InfoMessage(st, "INL calibration read from EEPROM is valid.\n", kInfo);
}

void report_validity(State& st, int d, std::uint16_t marker, bool& indicator, const char* valid,
                     const char* invalid) {
  indicator = calibration_valid(st, d, marker);
  Write_InfoMessage(st, format(indicator ? valid : invalid, d), kInfo);
}

}  // namespace

int Read_EEPROM_Info(State& st, int d) {
  using namespace eeprom;
  if (d < 0) {
    Write_InfoMessage(st,
                      "ERROR: It is not possible to Read EEPROM Info with all daughter boards "
                      "selected!\n",
                      kError);
    return -1;
  }
  st.eeprom_panel = EepromPanelValues{};
  st.eeprom_panel.daughter_board = d;
  EepromPanelValues& panel = st.eeprom_panel;

  const std::string serial = eeprom_read_text(st, d, kSerial, 8);
  int major = 0, minor = 0;
  if (eeprom_read_byte(st, d, kSerialValid) != kSerialMarker ||
      std::sscanf(serial.c_str(), "%d.%d", &major, &minor) != 2) {
    Write_InfoMessage(st, format("Daughter Board [%d] Serial Number is not valid\n!", d), kWarning);
    st.ui.refresh_panel(Panel::Eeprom);
    return -1;
  }
  for_both_blocks(st, d, [&](SAMBlockParams& k) {
    k.SerialNumberMajor = major;
    k.SerialNumberMinor = minor;
  });
  panel.serial = serial;
  panel.serial_ok = "OK";
  Write_InfoMessage(
      st, format("Daughter Board [%d] Serial Number : ", d) + serial + " read from EEPROM\n",
      kInfo);

  read_gain_item(
      st, d, kGain, kGainValid, kGainMarker, [](SAMBlockParams& k, float v) { k.BoardGain = v; },
      panel.gain, panel.gain_ok, "Daughter Board [%d] Gain= %f read from EEPROM\n");
  read_gain_item(
      st, d, kOffsetGain, kOffsetGainValid, kOffsetGainMarker,
      [](SAMBlockParams& k, float v) { k.OffsetGain = v; }, panel.offset_gain, panel.offset_gain_ok,
      "Daughter Board [%d] Offset Gain= %f read from EEPROM\n");
  read_setup_register(st, d);
  read_inl_info(st, d);
  report_validity(st, d, kSamDacValid, panel.sam_dac_valid,
                  "Daugther Board [%d] SAM DAC Calibration is valid\n",
                  "WARNING: Daugther Board [%d] SAM DAC Calibration is not valid!\n");
  report_validity(st, d, kTriggerDacValid, panel.trigger_dac_valid,
                  "Daugther Board [%d] Trigger Threshold Calibration is valid\n",
                  "WARNING: Daugther Board [%d] Trigger Threshold Calibration is not valid!\n");
  report_validity(st, d, kPedestalValid, panel.pedestal_valid,
                  "Daugther Board [%d] Pedestal Calibration is valid\n",
                  "WARNING: Daugther Board [%d] Pedestal Calibration is not valid!\n");
  st.ui.refresh_panel(Panel::Eeprom);
  return 0;
}

}  // namespace vx
