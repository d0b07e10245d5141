#include "sim/signal_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace vx::sim {
namespace {

const SineTable& sine_table() {
  static const SineTable table;
  return table;
}

// An exponential decay of time constant tau (ns) that starts at t = 0, seen through a
// Gaussian response of width sigma (ns): the exponentially modified Gaussian, smooth
// everywhere, as a pulse is once it has passed a front end. Its peak is below 1.
double smooth_pulse(double t, double sigma, double tau) {
  const double z = (sigma / tau - t / sigma) / std::numbers::sqrt2;
  if (z < 8.0) {
    return 0.5 * std::exp(sigma * sigma / (2.0 * tau * tau) - t / tau) * std::erfc(z);
  }
  // Far ahead of the edge, or with a tail much shorter than the edge: the same value as
  // exp(-t^2 / 2 sigma^2) / 2 times exp(z^2) erfc(z), the latter by its asymptotic series
  // (relative error below 4e-7 from z = 8), so that no exponential overflows.
  const double u = 1.0 / (2.0 * z * z);
  const double scaled =
      (1.0 - u * (1.0 - 3.0 * u * (1.0 - 5.0 * u))) / (z * std::sqrt(std::numbers::pi));
  return 0.5 * std::exp(-t * t / (2.0 * sigma * sigma)) * scaled;
}

// The span the tabulated pulse covers, from well ahead of its edge to deep in its tail.
double span_begin(double sigma) {
  return -6.0 * sigma;
}
double span_end(double sigma, double tau) {
  return 6.0 * sigma + 16.0 * tau;
}

// 10-90 % rise and 90-10 % fall of smooth_pulse, measured on a table of `points`.
struct Edges {
  double rise = 0.0, fall = 0.0;
};
Edges measure_edges(double sigma, double tau, std::size_t points) {
  const double t0 = span_begin(sigma);
  const double step = (span_end(sigma, tau) - t0) / static_cast<double>(points - 1);
  std::vector<double> v(points);
  for (std::size_t i = 0; i < points; ++i)
    v[i] = smooth_pulse(t0 + step * static_cast<double>(i), sigma, tau);
  const std::size_t peak =
      static_cast<std::size_t>(std::max_element(v.begin(), v.end()) - v.begin());
  const double height = v[peak];
  // Where the table passes level, rising before the peak or falling after it.
  const auto rising = [&](double level) {
    std::size_t i = 0;
    while (i + 1 < peak && v[i + 1] < level) ++i;
    return t0 + step * (static_cast<double>(i) + (level - v[i]) / (v[i + 1] - v[i]));
  };
  const auto falling = [&](double level) {
    std::size_t i = peak;
    while (i + 2 < points && v[i + 1] > level) ++i;
    return t0 + step * (static_cast<double>(i) + (v[i] - level) / (v[i] - v[i + 1]));
  };
  return {rising(0.9 * height) - rising(0.1 * height),
          falling(0.1 * height) - falling(0.9 * height)};
}

}  // namespace

PulseShape::PulseShape(double rise_ns, double fall_ns) {
  // Start from the edge and the tail taken apart (10-90 % of an error-function edge spans
  // 2.563 sigma, 90-10 % of an exponential 2.197 tau), then correct both until the pulse's
  // own edges are as asked. A fall no longer than the rise cannot be reached (as tau goes
  // to 0 the pulse becomes a Gaussian, as fast down as up): tau stops at a small fraction
  // of sigma and the pulse falls as fast as it can.
  double sigma = rise_ns / 2.5631;
  double tau = fall_ns / 2.1972;
  for (int i = 0; i < 40; ++i) {
    const Edges e = measure_edges(sigma, tau, 4096);
    const double rise_ratio = rise_ns / e.rise, fall_ratio = fall_ns / e.fall;
    sigma *= rise_ratio;
    tau = std::max(tau * fall_ratio, 1e-3 * sigma);
    if (std::fabs(rise_ratio - 1.0) < 1e-6 && std::fabs(fall_ratio - 1.0) < 1e-6) break;
  }
  const double t_begin = span_begin(sigma);
  const double t_end = span_end(sigma, tau);
  // Points no further apart than 2 ps, so that the linear steps between them stay far finer
  // than any edge (at least 16384 points, at most 2^20 for the longest tails).
  const auto points = static_cast<std::size_t>(
      std::clamp((t_end - t_begin) * 500.0, 16384.0, static_cast<double>(1 << 20)));
  const double step_ns = (t_end - t_begin) / static_cast<double>(points - 1);
  std::vector<double> v(points);
  for (std::size_t i = 0; i < points; ++i) {
    v[i] = smooth_pulse(t_begin + step_ns * static_cast<double>(i), sigma, tau);
  }
  const auto peak = std::max_element(v.begin(), v.end());
  const double height = *peak;
  std::size_t i_half = 0;
  while (i_half + 1 < points && v[i_half + 1] < 0.5 * height) ++i_half;
  const double frac = (0.5 * height - v[i_half]) / (v[i_half + 1] - v[i_half]);
  const double t_half_ns = t_begin + step_ns * (static_cast<double>(i_half) + frac);

  values_.resize(points + 1);
  for (std::size_t i = 0; i < points; ++i) values_[i] = static_cast<float>(v[i] / height);
  values_[points] = values_[points - 1];
  step_ps_ = step_ns * 1000.0;
  inv_step_ = 1.0 / step_ps_;
  first_ps_ = (t_begin - t_half_ns) * 1000.0;
  last_index_ = static_cast<double>(points - 1);
}

SineTable::SineTable() {
  for (std::size_t i = 0; i <= kSize; ++i) {
    values_[i] = static_cast<float>(
        std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(kSize)));
  }
}

ChannelInput ChannelInput::from(const ChannelSignal& s) {
  ChannelInput in;
  in.kind = s.input;
  in.noise_counts = static_cast<float>(s.noise_mv * 1e-3 / kVoltsPerAdcCount);
  if (s.input == InputKind::kPulse) {
    const double sign = s.pulse_polarity == PulsePolarity::kNegative ? -1.0 : 1.0;
    in.amplitude_counts =
        static_cast<float>(sign * s.pulse_amplitude_mv * 1e-3 / kVoltsPerAdcCount);
    in.delay_ps = s.pulse_delay_ns * 1000.0;
    in.jitter_ps = s.pulse_jitter_ps;
    in.shape = std::make_shared<PulseShape>(s.pulse_rise_ns, s.pulse_fall_ns);
  } else if (s.input == InputKind::kSine) {
    in.amplitude_counts = static_cast<float>(s.sine_amplitude_mv * 1e-3 / kVoltsPerAdcCount);
    in.sine_cycles_per_ps = s.sine_frequency_mhz * 1e-6;
  }
  return in;
}

void synthesize_channel(const ChannelInput& in, const float* baseline, const SampleTiming& timing,
                        float jitter_draw, double sine_phase, Rng& rng, char* out) {
  std::array<float, kCells> v;
  const int n = timing.samples;
  const int p0 = timing.first_cell;
  const float noise = in.noise_counts;
  rng.fill_gaussian(v.data(), n);
  const int head = std::min(n, kCells - p0);  // samples before the ring wraps
  for (int k = 0; k < head; ++k) v[k] = baseline[p0 + k] + noise * v[k];
  for (int k = head; k < n; ++k) v[k] = baseline[p0 + k - kCells] + noise * v[k];

  const float* err = timing.cell_time_error;
  const double e0 = err[p0];
  const auto sample_time = [&](int k) {
    return (k + (err[(p0 + k) & (kCells - 1)] - e0)) * timing.period_ps;
  };
  if (in.kind == InputKind::kPulse && in.shape) {
    const double t_pulse = in.delay_ps + in.jitter_ps * jitter_draw;
    const int k_lo = std::max(
        0, static_cast<int>(std::floor((t_pulse + in.shape->first_ps()) / timing.period_ps)) - 2);
    const int k_hi = std::min(
        n, static_cast<int>(std::ceil((t_pulse + in.shape->last_ps()) / timing.period_ps)) + 2);
    for (int k = k_lo; k < k_hi; ++k) {
      v[k] += in.amplitude_counts * in.shape->at(sample_time(k) - t_pulse);
    }
  } else if (in.kind == InputKind::kSine) {
    const SineTable& sine = sine_table();
    for (int k = 0; k < n; ++k) {
      v[k] += in.amplitude_counts * sine.at(sine_phase + in.sine_cycles_per_ps * sample_time(k));
    }
  }

  // Through int: the vectoriser converts and packs that without a detour per sample.
  for (int k = 0; k < n; ++k) {
    const float clamped = std::clamp(v[k] + 0.5f, 0.0f, kAdcMax + 0.49f);
    const auto sample = static_cast<std::uint16_t>(static_cast<int>(clamped));
    std::memcpy(out + 2 * k, &sample, 2);
  }
}

float synthesize_charge(const ChannelInput& in, float dc_counts, int start, int length,
                        int baseline_samples, double period_ps, float jitter_draw,
                        double sine_phase, Rng& rng) {
  const auto signal = [&](int k) -> double {
    const double t = k * period_ps;
    if (in.kind == InputKind::kPulse && in.shape) {
      return in.amplitude_counts * in.shape->at(t - in.delay_ps - in.jitter_ps * jitter_draw);
    }
    if (in.kind == InputKind::kSine) {
      return in.amplitude_counts * sine_table().at(sine_phase + in.sine_cycles_per_ps * t);
    }
    return 0.0;
  };
  double sum = 0.0;
  for (int k = start; k < start + length; ++k) sum += signal(k) + dc_counts;
  const double sigma = in.noise_counts;
  sum += sigma * std::sqrt(static_cast<double>(length)) * rng.gaussian();
  if (baseline_samples > 0) {
    double base = 0.0;
    for (int k = 0; k < baseline_samples; ++k) base += signal(k) + dc_counts;
    base /= baseline_samples;
    base += sigma / std::sqrt(static_cast<double>(baseline_samples)) * rng.gaussian();
    sum -= base * length;
  }
  return static_cast<float>(sum * kVoltsPerAdcCount * period_ps / 50.0);
}

}  // namespace vx::sim
