// Fast deterministic random numbers for the simulator: xoshiro256** seeded through
// splitmix64, Gaussians from a quantile table indexed by 16 random bits (four per draw), so
// that a full 16-channel event of noise costs a few nanoseconds per sample.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace vx::sim {

inline std::uint64_t splitmix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Unit-variance Gaussian quantiles at (i + 0.5) / 65536.
const std::array<float, 65536>& gaussian_table();

class Rng {
 public:
  explicit Rng(std::uint64_t seed = 0) { reseed(seed); }
  // Seeds from several words so that (seed, stream, index) give independent sequences.
  Rng(std::uint64_t seed, std::uint64_t stream, std::uint64_t index = 0) {
    std::uint64_t sm = seed;
    std::uint64_t mix = splitmix64(sm) ^ (stream * 0xD1B54A32D192ED03ull);
    mix = splitmix64(mix) ^ (index * 0x8CB92BA72F3D8DD7ull);
    reseed(mix);
  }

  void reseed(std::uint64_t seed) {
    std::uint64_t sm = seed;
    for (auto& w : s_) w = splitmix64(sm);
    spare_bits_ = 0;
  }

  std::uint64_t next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Uniform in (0, 1].
  double uniform_open0() { return (static_cast<double>(next() >> 11) + 1.0) * 0x1.0p-53; }
  std::uint32_t below(std::uint32_t n) {
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(next() >> 32) * n) >> 32);
  }
  double exponential(double rate) { return -std::log(uniform_open0()) / rate; }

  float gaussian() {
    if (spare_bits_ == 0) {
      spare_ = next();
      spare_bits_ = 4;
    }
    const auto idx = static_cast<std::uint16_t>(spare_);
    spare_ >>= 16;
    --spare_bits_;
    return gaussian_table()[idx];
  }

  // n Gaussians, four per 64-bit draw, without the bookkeeping of gaussian().
  void fill_gaussian(float* out, int n) {
    const auto& table = gaussian_table();
    int k = 0;
    for (; k + 4 <= n; k += 4) {
      const std::uint64_t r = next();
      out[k] = table[r & 0xFFFF];
      out[k + 1] = table[(r >> 16) & 0xFFFF];
      out[k + 2] = table[(r >> 32) & 0xFFFF];
      out[k + 3] = table[r >> 48];
    }
    for (; k < n; ++k) out[k] = gaussian();
  }

  // Poisson counts: exact inversion for small means, a rounded Gaussian for large ones.
  std::uint64_t poisson(double mean) {
    if (!(mean > 0.0)) return 0;
    if (mean < 30.0) {
      const double limit = std::exp(-mean);
      std::uint64_t k = 0;
      double p = uniform_open0();
      while (p > limit) {
        p *= uniform_open0();
        ++k;
      }
      return k;
    }
    const double x = std::floor(mean + std::sqrt(mean) * gaussian() + 0.5);
    return x < 0.0 ? 0 : static_cast<std::uint64_t>(x);
  }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> s_{};
  std::uint64_t spare_ = 0;
  int spare_bits_ = 0;
};

}  // namespace vx::sim
