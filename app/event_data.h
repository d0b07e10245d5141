// The decoded event and the per-event results shared by acquisition, measurements,
// display and the data-file writer. Written by the acquisition thread (or the file
// reader during a replay) only.
#pragma once

#include <array>
#include <cstdint>

#include "app/params.h"

namespace vx {

template <typename T>
using PerChannel = std::array<std::array<T, kChannelsPerBlock>, kMaxSamBlocks>;
using Samples = std::array<float, kMaxSamples>;

struct DecodedEvent {
  PerChannel<Samples> DataValues{};
  PerChannel<Samples> FullyOrderedValues{};
  PerChannel<std::uint16_t> TrigCount{};
  PerChannel<std::uint16_t> TimeCount{};
  std::array<std::uint32_t, kMaxSamBlocks> EventID{};
  std::array<std::uint32_t, kMaxSamBlocks> EventFCR{};
  std::array<std::uint64_t, kMaxSamBlocks> EventTDC{};
  std::array<char, 24> EventTimeChain{};
};

// Results of the per-event measurements of the current event.
struct EventResults {
  PerChannel<float> RiseTimeInstant{};
  PerChannel<float> FallTimeInstant{};
  PerChannel<float> AmplitudeValue{};
  PerChannel<float> ComputedCharge{};
  PerChannel<float> MeasuredBaseline{};
};

}  // namespace vx
