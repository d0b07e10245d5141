#include "files/setup_ranges.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace vx {

namespace {

constexpr double kSlack = 1e-3;  // what a float's rounding adds to a bound

std::string number_text(double v, bool real) {
  if (!real) return std::to_string(static_cast<long long>(v));
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string out_of_range(const std::string& name, double v, double lo, double hi, bool real) {
  if (real && std::fabs(lo) == kAny)
    return name + " = " + number_text(v, true) + " is not a number";
  return name + " = " + number_text(v, real) + " is out of range (" + number_text(lo, real) +
         " to " + number_text(hi, real) + ")";
}

bool in_range(double v, double lo, double hi, bool real) {
  if (!real) return v >= lo && v <= hi;
  return std::isfinite(v) && v >= lo - kSlack && v <= hi + kSlack;
}

// The first element of a checked field of the record out of its range, if none was found yet.
// prefix: the record's name as messages give it.
template <typename Rec>
void check_record(const Rec& rec, const std::string& prefix, std::optional<std::string>& found) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&rec);
  Fields<Rec>::visit([&]<typename T>(const FieldInfo& f, auto, std::type_identity<T>) {
    if (found || !f.range.checked) return;
    constexpr bool real = std::is_floating_point_v<std::remove_all_extents_t<T>>;
    for (std::size_t i = 0; i < kElements<T>; ++i) {
      const double v = static_cast<double>(field_element<T>(bytes + f.offset, i));
      if (in_range(v, f.range.lo, f.range.hi, real)) continue;
      std::string name = prefix + f.name;
      if (kElements < T >> 1) name += "[" + std::to_string(i) + "]";
      found = out_of_range(name, v, f.range.lo, f.range.hi, real);
      return;
    }
  });
}

}  // namespace

std::optional<std::string> Find_SetupValueOutOfRange(const SetupImages& images, int blocks) {
  std::optional<std::string> found;
  const auto whole = [&](const char* name, std::int64_t v, std::int64_t lo, std::int64_t hi) {
    if (!found && (v < lo || v > hi))
      found = out_of_range(name, static_cast<double>(v), static_cast<double>(lo),
                           static_cast<double>(hi), false);
  };
  whole("SystemParams.NbOfChannels", images.sys.NbOfChannels, 2 * blocks, 2 * blocks);
  whole("SystemParams.NbOfEnabledSAMBlocks", images.sys.NbOfEnabledSAMBlocks, 0, blocks);
  check_record(images.sys, "SystemParams.", found);
  check_record(images.acq, "AcqParams.", found);
  for (int b = 0; b < blocks; ++b) {
    check_record(images.sam[b], "SAMBlockParams[" + std::to_string(b) + "].", found);
    // A threshold reaches 1.25 V either side of its channel's offset.
    const SAMBlockParams& blk = images.sam[b];
    for (int c = 0; c < kChannelsPerBlock && !found; ++c) {
      const double lo = blk.DCOffset[c] - kOffsetVolts, hi = blk.DCOffset[c] + kOffsetVolts;
      if (!in_range(blk.TriggerThreshold[c], lo, hi, true))
        found = out_of_range(
            "SAMBlockParams[" + std::to_string(b) + "].TriggerThreshold[" + std::to_string(c) + "]",
            blk.TriggerThreshold[c], lo, hi, true);
    }
  }
  // The samples per channel are block 0's depth.
  if (blocks > 0) {
    const int depth = 16 * images.sam[0].RecordLength16;
    whole("SystemParams.RecordLength", images.sys.RecordLength, depth, depth);
  }
  check_record(images.gui, "GuiParams.", found);
  return found;
}

}  // namespace vx
