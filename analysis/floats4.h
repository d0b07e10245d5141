// Four floats at once (SSE2 on every x86-64 machine), for the scans written for the
// vectoriser.
#pragma once

#include <cstring>

namespace vx {

using Floats4 = float __attribute__((vector_size(16)));

inline Floats4 Load_Floats4(const float* p) {
  Floats4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace vx
