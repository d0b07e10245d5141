#include "sim/board_imperfections.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sim/sim_random.h"

namespace vx::sim {
namespace {

constexpr std::uint64_t kHardwareStream = 0x743743;

// Line offsets stay within what the SAM DACs can compensate (63 codes of 0.5 mV).
constexpr float kLineOffsetSigma = 18.0f;
constexpr float kLineOffsetLimit = 42.0f;
constexpr float kCellPedestalSigma = 5.0f;
constexpr float kDiscriminatorSigmaV = 0.003f;
constexpr float kDiscriminatorLimitV = 0.010f;

std::array<float, 1024> make_time_error(Rng& rng) {
  constexpr double kTwoPi = 2.0 * std::numbers::pi;
  const double a1 = 0.06 + 0.04 * rng.uniform();
  const double a2 = 0.02 + 0.02 * rng.uniform();
  const double phi1 = kTwoPi * rng.uniform();
  const double phi2 = kTwoPi * rng.uniform();
  std::array<double, 16> line{};
  for (int i = 1; i < 16; ++i) line[i] = 0.015 * rng.gaussian();

  // A random walk pinned to 0 at both ends of the ring (a Brownian bridge).
  std::array<double, 1025> walk{};
  for (int p = 1; p <= 1024; ++p) walk[p] = walk[p - 1] + 0.002 * rng.gaussian();
  std::array<float, 1024> e{};
  for (int p = 0; p < 1024; ++p) {
    const double x = kTwoPi * p / 1024.0;
    const double smooth =
        a1 * (std::sin(x + phi1) - std::sin(phi1)) + a2 * (std::sin(2 * x + phi2) - std::sin(phi2));
    const double bridge = walk[p] - walk[1024] * p / 1024.0;
    e[p] = static_cast<float>(smooth + line[p % 16] + bridge);
  }
  return e;
}

}  // namespace

BoardImperfections make_board_imperfections(std::uint32_t board_id, int channels) {
  Rng rng(board_id, kHardwareStream);
  BoardImperfections b;
  b.pedestal.resize(channels);
  b.line_offset.resize(channels);
  b.time_error.resize(channels);
  b.discriminator_offset_v.resize(channels);
  for (int c = 0; c < channels; ++c) {
    for (auto& l : b.line_offset[c]) {
      l = std::clamp(kLineOffsetSigma * rng.gaussian(), -kLineOffsetLimit, kLineOffsetLimit);
    }
    for (int p = 0; p < 1024; ++p) {
      b.pedestal[c][p] = 2048.0f + b.line_offset[c][p % 16] + kCellPedestalSigma * rng.gaussian();
    }
    b.time_error[c] = make_time_error(rng);
    b.discriminator_offset_v[c] = std::clamp(kDiscriminatorSigmaV * rng.gaussian(),
                                             -kDiscriminatorLimitV, kDiscriminatorLimitV);
  }
  return b;
}

}  // namespace vx::sim
