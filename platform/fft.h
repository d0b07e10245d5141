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

}  // namespace vx
