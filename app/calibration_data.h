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

// Signed value of a 7-bit SAM line DAC code: 0..63 stand for 0..-63, 64..127 for 0..+63.
int sam_dac_signed_value(int code);

// A SAM chip's line offset DACs as one block holds them: every cell's level depends on them,
// so a pedestal table holds only for the settings it was measured with.
struct LineDacSettings {
  // SamReg2 bits 5 (the DACs on), 6 and 7 (their step); kLineDacsUnrecorded for a table
  // stored without its settings (the factory's, measured with the DACs off).
  std::uint8_t reg2_bits = 0;
  std::array<std::array<std::uint8_t, kLinesPerMatrix>, kChannelsPerBlock> codes{};

  bool recorded() const;
  bool enabled() const;
  // The same level shift on every line: the codes count only while the DACs are on, and
  // the two codes of zero (0 and 64) are alike.
  bool same_effect(const LineDacSettings& other) const;
};
inline constexpr std::uint8_t kLineDacsUnrecorded = 0xFF;
// The DACs on with their 0.5 mV step: how the SAM DAC calibration leaves them, and how a
// connection loads stored SAM DAC offsets.
inline constexpr std::uint8_t kSamDacsCalibrated = 0x01;
// What the records say the block's chip holds.
LineDacSettings line_dac_settings(const SAMBlockParams& block);
// Writes settings into the records (SamReg2 bits 5 to 7, and the codes when recorded).
void put_line_dac_settings(SAMBlockParams& block, const LineDacSettings& settings);

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
  // Which blocks' IndividualOffsetDistribution holds a table (measured, or read from the
  // EEPROM), and the line DAC settings each was measured with.
  std::array<bool, kMaxSamBlocks> PedestalTableHeld{};
  std::array<LineDacSettings, kMaxSamBlocks> PedestalLineDacs{};
  // The table the library subtracts is the EEPROM's as of its last load: whether each block
  // has one, and the settings it was measured with.
  std::array<bool, kMaxSamBlocks> AppliedPedestalsValid{};
  std::array<LineDacSettings, kMaxSamBlocks> AppliedPedestalLineDacs{};
  PerChannel<std::array<double, kMaxSamples>> TimePedestals{};  // INL, ps
  PerChannel<bool> TimePedestalsHeld{};  // TimePedestals holds a measured or loaded table
  PerChannel<float> MeanThreshold{};     // measured trigger-DAC offset, volts
  // Which blocks' SAM DAC codes (SamDacOffsetCh0/Ch1 of the records) were measured on the
  // connected unit or read from its EEPROM: only those are stored.
  std::array<bool, kMaxSamBlocks> SamDacCodesHeld{};
  bool SamDACOffsetDone = false;
  bool TriggerDACsOffsetDone = false;
  bool PedestalMeasurement = false;  // a pedestal calibration is running
  // A calibration is running, and the user (Ctrl-C, closing the progress dialog) asked to
  // end it.
  std::atomic<bool> CalibrationRunning{false};
  std::atomic<bool> CalibrationCancel{false};
};

// The serial's status when the daughter board's EEPROM belongs to another unit.
inline constexpr const char* kOtherUnit = "Other unit";

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
