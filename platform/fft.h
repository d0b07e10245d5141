// Discrete Fourier transform of real sequences on FFTW, one plan per length made on first
// use and reused.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <span>

namespace vx {

class FftPlanCache {
 public:
  FftPlanCache();
  ~FftPlanCache();
  FftPlanCache(const FftPlanCache&) = delete;
  FftPlanCache& operator=(const FftPlanCache&) = delete;

  struct Plan;
  // The plan for real sequences of length n (n >= 1), made on first request.
  const Plan& plan_for(int n);

 private:
  std::mutex mutex_;
  std::map<int, std::unique_ptr<Plan>> plans_;
};

// Transforms the real sequence in re (length n) in place: re and im (length n) receive
// the real and imaginary parts of all n coefficients X[k] = sum x[j] exp(-2 pi i jk / n),
// the upper half being the complex conjugate mirror of the lower. Safe to call from
// several threads at once. Returns 0, or -1 when the sizes differ or are 0.
int ReFFT(FftPlanCache& plans, std::span<double> re, std::span<double> im);

// Magnitudes |X[k]| of the bins k = 0 ... n/2 of the real sequence x (length n), the bins
// a real sequence has (X[n - k] is the conjugate of X[k]); the same values, bit for bit,
// as sqrt(re[k]^2 + im[k]^2) from ReFFT. magnitude receives n/2 + 1 values. Safe to call
// from several threads at once. Returns 0, or -1 when x is empty or magnitude too short.
int ReFFT_Magnitudes(FftPlanCache& plans, std::span<const float> x, std::span<double> magnitude);

}  // namespace vx
