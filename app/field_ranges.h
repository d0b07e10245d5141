// A field's range, from its row of the parameter tables: range_of<&AcqParams::MaxNumEventsBLT>().
// The controls that set a field (panels, setters, command-line options) take their limits from
// here, so that they accept what a setup file may hold, and nothing else.
#pragma once

#include <climits>

#include "app/params.h"

namespace vx {

template <auto Member>
struct FieldRangeOf;

// clang-format off
#define VX_RANGE_OF(R, type, name, extents, offset, def, range, label) \
  template <>                                                          \
  struct FieldRangeOf<&R::name> {                                      \
    static constexpr FieldRange value = FieldRange range;              \
  };
// clang-format on
VX_ACQ_FIELDS(VX_RANGE_OF, AcqParams)
VX_BOARD_FIELDS(VX_RANGE_OF, BoardParams)
VX_SYSTEM_FIELDS(VX_RANGE_OF, SystemParams)
VX_BLOCK_FIELDS(VX_RANGE_OF, SAMBlockParams)
VX_GUI_FIELDS(VX_RANGE_OF, GuiParams)
VX_TCP_FIELDS(VX_RANGE_OF, TCPParams)
#undef VX_RANGE_OF

template <auto Member>
constexpr FieldRange range_of() {
  constexpr FieldRange r = FieldRangeOf<Member>::value;
  static_assert(r.checked, "the field has no range");
  return r;
}

// The range of a whole-number field, as ints (a spin box's limits, a clamp).
struct IntRange {
  int lo = 0, hi = 0;
};
template <auto Member>
constexpr IntRange int_range_of() {
  constexpr FieldRange r = range_of<Member>();
  static_assert(r.lo >= INT_MIN && r.hi <= INT_MAX && r.lo == static_cast<int>(r.lo) &&
                    r.hi == static_cast<int>(r.hi),
                "the field's range is not one of ints");
  return {static_cast<int>(r.lo), static_cast<int>(r.hi)};
}

}  // namespace vx
