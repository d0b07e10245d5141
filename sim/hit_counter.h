// A discriminator's hit counter with the time counter beside it. Both are 16 bits wide and the
// pair stops counting as soon as either fills, so that their ratio stays the hit rate of the
// counted stretch however long the reader waits.
#pragma once

#include <cstdint>
#include <limits>

#include "sim/sim_random.h"

namespace vx::sim {

class HitCounter {
 public:
  static constexpr double kFull = 65535.0;

  void restart(double t) {
    start_ = t;
    stop_ = t + kFull * 1e-6;
    hits_ = 0;
  }
  // Adds the hits that a discriminator firing at rate (per second) gives over [from, to).
  void count(double from, double to, double rate, Rng& rng) {
    const double a = from > start_ ? from : start_;
    const double b = to < stop_ ? to : stop_;
    if (!(b > a) || rate <= 0.0) return;
    const std::uint64_t n = rng.poisson(rate * (b - a));
    if (static_cast<double>(hits_ + n) < kFull) {
      hits_ += n;
      return;
    }
    // The hit counter fills inside this stretch: the time counter stops with it.
    stop_ = a + (b - a) * (kFull - static_cast<double>(hits_)) / static_cast<double>(n);
    hits_ = static_cast<std::uint64_t>(kFull);
  }
  std::uint16_t hits() const { return static_cast<std::uint16_t>(hits_); }
  // Microseconds counted up to t.
  std::uint16_t micros(double t) const {
    const double end = t < stop_ ? t : stop_;
    const double us = (end - start_) * 1e6;
    if (!(us > 0.0)) return 0;
    return us >= kFull ? static_cast<std::uint16_t>(kFull) : static_cast<std::uint16_t>(us);
  }

 private:
  double start_ = 0.0;
  double stop_ = kFull * 1e-6;
  std::uint64_t hits_ = 0;
};

}  // namespace vx::sim
