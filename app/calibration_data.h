// Calibration tables kept in memory: produced by the calibrations, stored on and read back
// from the daughter-board EEPROMs.
#pragma once

#include <array>
#include <string>

#include "app/event_data.h"

namespace vx {

inline constexpr int kLinesPerMatrix = 16;
inline constexpr float kPedestalResetValue = 2048.0f;

struct CalibrationData {
  PerChannel<std::array<float, kMaxSamples>> IndividualOffsetDistribution{};  // ADC counts
  // Per-line pedestals (16 lines of the cell matrix), ADC counts; 2048 until measured.
  PerChannel<std::array<float, kLinesPerMatrix>> OffsetDistribution = [] {
    PerChannel<std::array<float, kLinesPerMatrix>> lines{};
    for (auto& block : lines)
      for (auto& channel : block) channel.fill(kPedestalResetValue);
    return lines;
  }();
  PerChannel<std::array<double, kMaxSamples>> TimePedestals{};  // INL, ps
  PerChannel<float> MeanThreshold{};  // measured trigger-DAC offset, volts
  bool SamDACOffsetDone = false;
  bool TriggerDACsOffsetDone = false;
  bool PedestalMeasurement = false;  // a pedestal calibration is running
};

// What the EEPROM panel shows for the selected daughter board.
struct EepromPanelValues {
  int daughter_board = 0;
  std::string serial = "N/A", gain = "N/A", offset_gain = "N/A";
  std::string sca_type = "N/A", acdc_coupling = "N/A", sam_long_type = "N/A";
  std::string calibration_date = "N/A", location = "N/A", responsible = "N/A";
  std::string serial_ok = "N/A", gain_ok = "N/A", offset_gain_ok = "N/A", setup_ok = "N/A";
  bool inl_valid = false, sam_dac_valid = false, trigger_dac_valid = false, pedestal_valid = false;
};

}  // namespace vx
