// How a channel's leading and trailing times are taken. The setups keep the choice in the
// time-measurement option field (AcqParams::TimeMeasSpareOption), whose default, 0, is the
// standard method.
#pragma once

#include <optional>
#include <string_view>

namespace vx {

enum class EdgeTiming {
  // The threshold's crossing on the samples, or on their spline when the spline is on.
  kStandard = 0,
  // The crossing on the band-limited reconstruction of the waveform low-passed at half its
  // Nyquist frequency: no bias with the pulse's position within a sample, less noise.
  kBandLimited = 1,
};

inline EdgeTiming EdgeTiming_Of(int option) {
  return option == 1 ? EdgeTiming::kBandLimited : EdgeTiming::kStandard;
}

// Name on the command line, in setups' listings and in data files: "standard",
// "band-limited".
inline const char* EdgeTiming_Name(EdgeTiming m) {
  return m == EdgeTiming::kBandLimited ? "band-limited" : "standard";
}

inline std::optional<EdgeTiming> EdgeTiming_Named(std::string_view name) {
  if (name == "standard") return EdgeTiming::kStandard;
  if (name == "band-limited") return EdgeTiming::kBandLimited;
  return std::nullopt;
}

}  // namespace vx
