// Hit rates: the live per-channel accumulators fed by the events, and the results of the
// rate-versus-threshold scan, which its own thread fills while the panels read them.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "app/params.h"

namespace vx {

// One scan's result: per channel the thresholds (V) and rates (Hz) of the steps measured.
struct RateScanResult {
  int steps = 0;     // steps the scan was asked for
  int measured = 0;  // steps measured; fewer than steps when the scan was cut short
  int channels = 0;  // channels measured (both of every block)
  float start = 0.0f, end = 0.0f;
  std::array<std::vector<double>, kMaxChannels> ThresholdValuesForPlot{};
  std::array<std::vector<double>, kMaxChannels> RateValuesForPlot{};
  bool partial() const { return measured < steps; }
};

struct RateData {
  // Live rates, written by the acquisition thread.
  std::array<float, kMaxChannels> TimeSum{};  // microseconds
  std::array<std::int32_t, kMaxChannels> CountSum{};
  // Latest rate of each channel, in its unit (TrigRate) and in Hz; unit 0 none yet, 1 " Hz",
  // 2 "kHz", 3 "MHz". Read by the user-interface thread.
  std::array<std::atomic<float>, kMaxChannels> TrigRate{};
  std::array<std::atomic<std::int32_t>, kMaxChannels> TriggerRateUnit{};
  std::array<std::atomic<float>, kMaxChannels> RawTriggerRate{};
  std::array<std::atomic<float>, kMaxChannels> RawTriggerRateError{};  // sqrt(hits) / time, Hz
  std::atomic<bool> TextUpdatePosted{false};  // a copy into the displayed texts is queued
  // Everything counted since the run started, for a mean rate over the run.
  std::array<std::int64_t, kMaxChannels> TotalCount{};
  std::array<double, kMaxChannels> TotalTime{};  // microseconds
  bool RateInfoShown = false;                    // the first enabling shows a popup

  // Scan: the result (guarded by result_mutex, the scan thread writes it step by step) and
  // its progress for the panels and the command line.
  mutable std::mutex result_mutex;
  RateScanResult result;
  std::atomic<std::int32_t> ScanStep{0};  // step being counted, 1-based; 0 before the first
  std::atomic<float> ScanThreshold{0.0f};
  std::atomic<std::int32_t> ScansFinished{0};  // counts scan threads that have ended
};

}  // namespace vx
