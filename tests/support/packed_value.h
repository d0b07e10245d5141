// The parameter records are packed: their fields may sit at any offset, and a reference
// to one (as EXPECT_EQ takes its arguments) is misaligned. Tests compare a copy instead.
#pragma once

#include <type_traits>

#define VX_VALUE(field) (std::remove_cvref_t<decltype(field)>(field))
