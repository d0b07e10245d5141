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

namespace sim {
struct SimConfig;
}

inline constexpr double kNoTriggerSeconds = 5.0;

// What one input carries, as far as the program knows it.
struct InputSignal {
  enum class Kind { kUnknown, kPulse, kSine, kNone };
  Kind kind = Kind::kUnknown;
  double excursion_v = 0.0;  // pulse: signed height from the baseline; sine: amplitude
};
using KnownInputs = std::array<InputSignal, kMaxChannels>;

// The inputs of the simulated board configured so (unknown when its discriminators see the
// offset-shifted signal: then the threshold alone says nothing).
KnownInputs Known_SimulatedInputs(const sim::SimConfig& config);

// The explanation for the current settings, lines ending in "\n", without the last line that
// says where to change them (each front end has its own).
std::string No_TriggerExplanation(const State& st, const KnownInputs& inputs);

// Watches the runs from the user-interface thread: poll() gives the explanation once per
// start of the acquisition (a settings change restarts it) when it waits for the Normal or
// External trigger and the run has read no event for kNoTriggerSeconds.
class NoTriggerWatch {
 public:
  NoTriggerWatch(const State& st, const KnownInputs& inputs) : st_(st), inputs_(inputs) {}
  std::optional<std::string> poll();

 private:
  const State& st_;
  KnownInputs inputs_;
  int generation_ = -1;
  double since_ = 0.0;
  bool told_ = false;
};

}  // namespace vx
