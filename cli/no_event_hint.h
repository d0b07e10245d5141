// The command line's side of the no-trigger explanation: printed once on stderr, with the
// options that change the trigger settings.
#pragma once

#include <string>

#include "acquisition/no_trigger_hint.h"

namespace vx::cli {

class NoEventHint {
 public:
  explicit NoEventHint(State& st) : watch_(st) {}
  // Called on every pass of the command's loop.
  void update();

 private:
  NoTriggerWatch watch_;
};

// The last line of the explanation on the command line.
inline constexpr const char* kNoEventHintOptions =
    "Change them with --threshold SEL=VOLTS, --edge SEL=rising|falling and --trigger-channels "
    "LIST (SEL: N, N-M or all); Ctrl-C stops.\n";

}  // namespace vx::cli
