// What reaches one channel's SAM cells: baseline, pulse or sine, white noise, sampled at the
// cells' true (non-linear) times and digitised by the 12-bit ADC. Shapes are tabulated once per
// configuration so that an event costs table lookups, never transcendental functions.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/dac_conversions.h"
#include "sim/sim_config.h"
#include "sim/sim_random.h"

namespace vx::sim {

inline constexpr int kCells = 1024;
inline constexpr float kAdcMax = 4095.0f;

// Unit-height pulse whose leading edge passes half height at t = 0: an exponential decay
// seen through a Gaussian response, smooth everywhere as a pulse is once it has passed the
// front end, its 10-90 % rise and 90-10 % fall as asked (a fall no longer than the rise is
// out of reach: the pulse then falls as fast as it can).
class PulseShape {
 public:
  PulseShape(double rise_ns, double fall_ns);
  float at(double t_ps) const {
    const double x = (t_ps - first_ps_) * inv_step_;
    if (x <= 0.0 || x >= last_index_) return 0.0f;
    const auto i = static_cast<std::size_t>(x);
    const float f = static_cast<float>(x - static_cast<double>(i));
    return values_[i] + f * (values_[i + 1] - values_[i]);
  }
  double first_ps() const { return first_ps_; }
  double last_ps() const { return first_ps_ + last_index_ * step_ps_; }

 private:
  double first_ps_ = 0.0;
  double step_ps_ = 1.0;
  double inv_step_ = 1.0;
  double last_index_ = 0.0;
  std::vector<float> values_;
};

// sin(2 pi x) for x in cycles.
class SineTable {
 public:
  SineTable();
  float at(double cycles) const {
    const double x = (cycles - std::floor(cycles)) * kSize;
    const auto i = static_cast<std::size_t>(x);
    const float f = static_cast<float>(x - static_cast<double>(i));
    return values_[i] + f * (values_[i + 1] - values_[i]);
  }

 private:
  static constexpr std::size_t kSize = 4096;
  std::array<float, kSize + 1> values_{};
};

// One channel's input, in ADC counts and picoseconds, ready for synthesis.
struct ChannelInput {
  InputKind kind = InputKind::kNone;
  float noise_counts = 0.0f;
  float amplitude_counts = 0.0f;  // signed: negative pulses are negative
  double delay_ps = 0.0;
  double jitter_ps = 0.0;
  double sine_cycles_per_ps = 0.0;
  std::shared_ptr<const PulseShape> shape;

  static ChannelInput from(const ChannelSignal& s);
};

struct SampleTiming {
  int first_cell = 0;    // physical cell of sample 0
  int samples = kCells;  // record length
  double period_ps = 312.5;
  const float* cell_time_error = nullptr;  // true time error of each physical cell, in periods
};

// Writes the raw 12-bit samples of one channel, as the readout buffer holds them (16 bits,
// little-endian, one after the other). baseline holds the cell levels (pedestal,
// line offsets and DC offset, in counts) by physical cell. jitter_draw and sine_phase are the
// event's random values for this channel.
void synthesize_channel(const ChannelInput& in, const float* baseline, const SampleTiming& timing,
                        float jitter_draw, double sine_phase, Rng& rng, char* out);

// The firmware charge (pC) of one trigger over the window [start, start + length) with the
// leading baseline_samples averaged and subtracted (0 = none, the DC level then counts).
float synthesize_charge(const ChannelInput& in, float dc_counts, int start, int length,
                        int baseline_samples, double period_ps, float jitter_draw,
                        double sine_phase, Rng& rng);

}  // namespace vx::sim
