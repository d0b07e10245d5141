// Layout of the simulated board's readout buffer, in little-endian 32-bit words.
//
// Waveform event:  w0 = 0xA << 28 | size in words; w1 = group mask | format << 24;
//                  w2 = event counter (24 bits); w3 = time stamp bits 0..31;
//   per present group: g0 = samples | first cell << 16 | frequency index << 26;
//                      g1 = time stamp bits 32..39 | event id << 8;
//                      g2 = hit counts of channel 0 | channel 1 << 16;
//                      g3 = elapsed microseconds of channel 0 | channel 1 << 16;
//                      then the raw 16-bit samples of channel 0, then of channel 1.
// Charge aggregate: w0 = 0xC << 28 | size in words; w1 = channel mask | format << 24;
//                   w2 = triggers per channel; w3 = reserved;
//   per channel of the mask: that many (float charge, time tag) pairs.
#pragma once

#include <cstdint>
#include <cstring>

namespace vx::sim::format {

inline constexpr std::uint32_t kWaveformTag = 0xA;
inline constexpr std::uint32_t kChargeTag = 0xC;
inline constexpr std::uint32_t kFormatVersion = 0x43;
inline constexpr std::uint32_t kHeaderWords = 4;
inline constexpr std::uint32_t kGroupHeaderWords = 4;

inline std::uint32_t word(const char* p, std::size_t index) {
  std::uint32_t w;
  std::memcpy(&w, p + 4 * index, 4);
  return w;
}
inline void put(char* p, std::size_t index, std::uint32_t w) {
  std::memcpy(p + 4 * index, &w, 4);
}

inline std::uint32_t tag(std::uint32_t w0) {
  return w0 >> 28;
}
inline std::uint32_t size_words(std::uint32_t w0) {
  return w0 & 0x0FFFFFFF;
}

// Walks the entries of a buffer; returns false when the buffer is malformed.
template <typename Visit>
bool walk(const char* buffer, std::uint32_t bytes, Visit&& visit) {
  std::uint32_t offset = 0;
  while (offset + 4 * kHeaderWords <= bytes) {
    const std::uint32_t w0 = word(buffer + offset, 0);
    const std::uint32_t words = size_words(w0);
    if ((tag(w0) != kWaveformTag && tag(w0) != kChargeTag) || words < kHeaderWords ||
        offset + 4ull * words > bytes) {
      return false;
    }
    if (!visit(buffer + offset, words)) return true;
    offset += 4 * words;
  }
  return offset == bytes;
}

}  // namespace vx::sim::format
