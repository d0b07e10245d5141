// Accumulators and results of the INL (time non-linearity) calibration, one set per SAM
// block channel. The per-run sums restart with each calibration run; the interval
// references are kept for the life of the program.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/params.h"

namespace vx {

inline constexpr int kInlCells = 1024;
inline constexpr int kInlMaxGroups = 64;
inline constexpr int kInlLines = 16;
inline constexpr int kInlHistoBins = 10;

struct InlChannelCalibration {
  template <typename T>
  using Cells = std::array<T, kInlCells>;
  template <typename T>
  using Groups = std::array<T, kInlMaxGroups>;

  // Per-cell crossing steps.
  Cells<float> ZeroCrossingSegmentSum{};
  Cells<std::int32_t> NbOfZeroCrossings{};
  Cells<float> ReferenceSegment{};
  Cells<std::int32_t> ZeroCrossingFoundInCell{};
  Cells<double> ReducedSegment{};
  Cells<double> ZeroCrossingReducedSum{};
  Cells<double> ZeroCrossingSquareSum{};
  std::array<std::int32_t, kInlHistoBins> ZeroCrossingHisto{};

  // Per-group intervals between successive rising crossings, in cells.
  Groups<double> ZeroCrossingIntervalSum{};
  Groups<std::int32_t> NbOfCrossingsInZeroCrossingIntervalSum{};
  Groups<double> ReferenceInterval{};  // persists across runs
  Groups<std::int32_t> ZeroCrossingIntervalInMean{};
  Groups<double> ZeroCrossingIntervalReducedSum{};
  Groups<double> ZeroCrossingIntervalSquareSum{};
  Groups<std::int32_t> NbOfCrossingsInZeroCrossingIntervalReducedSum{};
  Groups<float> ZeroCrossingMean{};
  Groups<std::int32_t> NbOfCrossingsInMean{};
  std::array<double, kInlLines> ModuloZeroCrossingSegment{};
  std::array<double, kInlLines> ModuloResidualSegments{};

  // Results of the last computation.
  Cells<double> ZeroCrossingSegment{};
  Cells<double> ZeroCrossingSigma{};
  Groups<double> ZeroCrossingIntervals{};
  Groups<double> ZeroCrossingIntervalSigma{};
  Groups<double> ZeroCrossingIntervalRatio{};
  Groups<double> ZeroCrossingIntervalResidues{};
  Cells<double> ZeroCrossingSegmentResidue{};
  Cells<double> GlobalTimeDNL{};
  Cells<double> ResidualSegments{};
  Cells<float> Segments{};  // current event: step from each physical cell to the next
  Cells<float> PhysicallyOrderedValues{};
};

// Held on the heap, some 100 kB per channel, and only from the first use on: most states
// (a replay, an export, a test) never calibrate. Only the calibration, on the thread that
// runs it, uses it before a calibration has been computed.
struct InlCalibrationData {
  std::vector<InlChannelCalibration> channels;  // kMaxChannels of them once used
  InlChannelCalibration& at(int block, int channel) {
    if (channels.empty()) channels.resize(static_cast<std::size_t>(kMaxChannels));
    return channels[static_cast<std::size_t>(kChannelsPerBlock * block + channel)];
  }
  // Zeros for a channel never calibrated.
  const InlChannelCalibration& at(int block, int channel) const {
    static const InlChannelCalibration kNone{};
    if (channels.empty()) return kNone;
    return channels[static_cast<std::size_t>(kChannelsPerBlock * block + channel)];
  }
  bool computed = false;  // a calibration run has ended since the board was connected
  // The last run's results may be used (Save_INL_In_Array): every enabled channel saw the
  // calibration sine and no register access failed during the run.
  bool usable = false;
  // The channels the last usable run measured (enabled during it): only their results are
  // taken into the INL table.
  std::array<bool, kMaxChannels> measured{};
  int communication_errors_at_start = 0;  // NbOfCommunicatonErrors when the run was prepared
  int events_accumulated = 0;             // of the last calibration run
  // The board's INL correction as it was when the calibration was switched on.
  std::int32_t correction_before = 1;
};

}  // namespace vx
