// A run's per-event lists set from plain values and read back as plain values, for tests
// that prepare the lists by hand or check what a run put in them.
#pragma once

#include <limits>
#include <vector>

#include "app/run_list.h"

namespace vx::test {

inline void set_list(RunList<float>& list, const std::vector<double>& values) {
  list.release();
  for (double v : values) list.push_back(static_cast<float>(v));
}

// Entries 0 ... size() - 1; those no longer held read NaN.
inline std::vector<double> list_values(const RunList<float>& list) {
  std::vector<double> values(list.size(), std::numeric_limits<double>::quiet_NaN());
  for (std::size_t k = list.first(); k < list.size(); ++k) values[k] = list[k];
  return values;
}

}  // namespace vx::test
