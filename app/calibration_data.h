// Calibration tables kept in memory: produced by the calibrations, stored on and read back
// from the daughter-board EEPROMs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "app/event_data.h"

namespace vx {

inline constexpr int kLinesPerMatrix = 16;
inline constexpr float kPedestalResetValue = 2048.0f;

struct CalibrationData {
  PerChannel<std::array<float, kMaxSamples>> IndividualOffsetDistribution{};  // ADC counts
  // Working arrays of the pedestal calibration, indexed by physical cell.
  PerChannel<std::array<float, kMaxSamples>> IndividualOffsetSum{};
  PerChannel<std::array<float, kMaxSamples>> PhysicallyOrderedValues{};
  PerChannel<std::array<float, kMaxSamples / 16>> ModuloValues{};
  std::int32_t NbOfRunsForPedestalCalibration = 0;
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
  // A calibration is running, and the user (Ctrl-C, closing the progress dialog) asked to
  // end it.
  std::atomic<bool> CalibrationRunning{false};
  std::atomic<bool> CalibrationCancel{false};
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
