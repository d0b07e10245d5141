// A run on a self trigger that reads nothing usually has its thresholds or edges on the
// wrong side of the pulses: after a few silent seconds the progress output says which
// channels trigger, at what, and which options change that.
#pragma once

#include <string>

#include "app/state.h"

namespace vx::cli {

inline constexpr double kNoEventHintSeconds = 5.0;

// The hint's text for the current settings.
std::string no_event_hint(const State& st);

class NoEventHint {
 public:
  explicit NoEventHint(State& st);
  // Prints the hint once, on stderr, when the run has read no event for 5 s.
  void update();

 private:
  State& st_;
  double start_;
  bool shown_ = false;
};

}  // namespace vx::cli
