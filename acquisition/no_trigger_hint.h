// A run waiting for the board's own or the external trigger that reads nothing usually has
// its thresholds on the wrong side of the signals, or no signal at all. After a few quiet
// seconds both front ends say why: the trigger source, the thresholds and edges in force
// and, where the inputs are known (the simulated board), what the signals look like and
// whether a threshold can see them.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/state.h"

namespace vx {

inline constexpr double kNoTriggerSeconds = 5.0;

static_assert(std::tuple_size_v<KnownInputs> == kMaxChannels);

// The explanation for the current settings, lines ending in "\n", without the last line that
// says where to change them (each front end has its own).
std::string No_TriggerExplanation(const Settings& st, const KnownInputs& inputs);

// Watches the runs from the user-interface thread: poll() gives the explanation once per
// start of the acquisition (a settings change restarts it) when it waits for the Normal or
// External trigger and the run has read no event for kNoTriggerSeconds.
class NoTriggerWatch {
 public:
  // The inputs are what the board connected when the explanation is given knows of them.
  explicit NoTriggerWatch(const State& st) : st_(st) {}
  std::optional<std::string> poll();

 private:
  const State& st_;
  int generation_ = -1;
  double since_ = 0.0;
  bool told_ = false;
};

}  // namespace vx
