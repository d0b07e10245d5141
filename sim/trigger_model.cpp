#include "sim/trigger_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace vx::sim {
namespace {

double normal_cdf(double x) {
  return 0.5 * std::erfc(-x / std::numbers::sqrt2);
}

// Firing rate of a discriminator that does not come from pulses.
double background_rate(const Discriminator& d, double bandwidth_hz) {
  if (d.input == InputKind::kSine) {
    if (std::fabs(d.level_v) < d.sine_amplitude_v) return d.sine_frequency_hz;
    return noise_crossing_rate(std::fabs(d.level_v) - d.sine_amplitude_v, d.noise_v, bandwidth_hz);
  }
  return noise_crossing_rate(d.level_v, d.noise_v, bandwidth_hz);
}

// Probability that at least m of the independent events with probabilities p happen.
double at_least(const std::vector<double>& p, int m) {
  std::vector<double> dist(p.size() + 1, 0.0);
  dist[0] = 1.0;
  for (std::size_t i = 0; i < p.size(); ++i) {
    for (std::size_t k = i + 1; k > 0; --k) dist[k] = dist[k] * (1.0 - p[i]) + dist[k - 1] * p[i];
    dist[0] *= 1.0 - p[i];
  }
  double sum = 0.0;
  for (std::size_t k = static_cast<std::size_t>(std::max(m, 0)); k < dist.size(); ++k)
    sum += dist[k];
  return sum;
}

// Rate of m-fold coincidences within window w among independent Poisson streams: m e_m w^(m-1),
// e_m the elementary symmetric polynomial; never more than the fastest stream.
double coincidence_rate(const std::vector<double>& rates, int m, double w) {
  if (m <= 1) {
    double sum = 0.0;
    for (double r : rates) sum += r;
    return sum;
  }
  if (static_cast<int>(rates.size()) < m) return 0.0;
  std::vector<double> e(static_cast<std::size_t>(m) + 1, 0.0);
  e[0] = 1.0;
  for (double r : rates) {
    for (int k = m; k > 0; --k) e[k] += e[k - 1] * r;
  }
  const double rate = m * e[m] * std::pow(w, m - 1);
  return std::min(rate, *std::max_element(rates.begin(), rates.end()));
}

}  // namespace

double noise_crossing_rate(double level_v, double noise_v, double bandwidth_hz) {
  if (noise_v <= 0.0) return 0.0;
  const double z = level_v / noise_v;
  // Rice: crossings of a band-limited (flat to B) Gaussian noise occur at B / sqrt(3) per
  // second at its mean, falling off as the Gaussian density.
  return bandwidth_hz / std::sqrt(3.0) * std::exp(-0.5 * z * z);
}

double pulse_fire_probability(const Discriminator& d) {
  if (d.input != InputKind::kPulse || d.excursion_v == 0.0) return 0.0;
  // The pulse must go past a threshold that lies on its side of the baseline.
  if (d.level_v * d.excursion_v <= 0.0) return 0.0;
  const double margin = std::fabs(d.excursion_v) - std::fabs(d.level_v);
  if (d.noise_v <= 0.0) return margin > 0.0 ? 1.0 : 0.0;
  return normal_cdf(margin / d.noise_v);
}

double channel_hit_rate(const Discriminator& d, double pulse_rate_hz, double bandwidth_hz) {
  return background_rate(d, bandwidth_hz) + pulse_rate_hz * pulse_fire_probability(d);
}

double self_trigger_rate(const TriggerSetup& s) {
  std::vector<double> block_pulse_p;
  std::vector<double> block_background;
  double widest_window = 0.0;
  for (int b = 0; b < s.channels / 2; ++b) {
    std::vector<double> p;
    std::vector<double> r;
    for (int c = 2 * b; c < 2 * b + 2; ++c) {
      if (!s.ch[c].acquisition_trigger) continue;
      p.push_back(pulse_fire_probability(s.ch[c]));
      r.push_back(background_rate(s.ch[c], s.noise_bandwidth_hz));
    }
    if (p.empty()) continue;
    const bool pair_and = s.pair_logic[b] == 1;
    const int need = pair_and ? static_cast<int>(p.size()) : 1;
    block_pulse_p.push_back(at_least(p, need));
    block_background.push_back(coincidence_rate(r, need, s.window_s[b]));
    widest_window = std::max(widest_window, s.window_s[b]);
  }
  if (block_pulse_p.empty()) return 0.0;
  const int n = static_cast<int>(block_pulse_p.size());
  int need = 1;
  if (s.logic == 1) need = n;
  if (s.logic == 2) need = std::min(n, s.majority_level + 1);
  const double pulses = s.pulse_rate_hz * at_least(block_pulse_p, need);
  return pulses + coincidence_rate(block_background, need, widest_window);
}

}  // namespace vx::sim
