// A run's per-event lists set from plain values, for tests that prepare the lists by hand.
#pragma once

#include <vector>

#include "app/run_list.h"

namespace vx::test {

inline void set_list(RunList<float>& list, const std::vector<double>& values) {
  list.release();
  for (double v : values) list.push_back(static_cast<float>(v));
}

}  // namespace vx::test
