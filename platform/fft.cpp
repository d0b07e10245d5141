#include "platform/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace vx {

namespace {

// FFTW's planner is process-wide and not thread-safe: every plan creation and
// destruction, whichever cache asks, goes through this lock. Executing a plan is safe.
std::mutex& planner_mutex() {
  static std::mutex m;
  return m;
}

}  // namespace

struct FftPlanCache::Plan {
  int n = 0;
  fftw_plan plan = nullptr;
};

FftPlanCache::FftPlanCache() = default;

FftPlanCache::~FftPlanCache() {
  std::lock_guard planner(planner_mutex());
  for (auto& [n, p] : plans_)
    if (p->plan) fftw_destroy_plan(p->plan);
}

const FftPlanCache::Plan& FftPlanCache::plan_for(int n) {
  std::lock_guard lock(mutex_);
  auto& slot = plans_[n];
  if (!slot) {
    auto p = std::make_unique<Plan>();
    p->n = n;
    std::vector<double> in(static_cast<std::size_t>(n));
    std::vector<fftw_complex> out(static_cast<std::size_t>(n / 2 + 1));
    {
      std::lock_guard planner(planner_mutex());
      // Unaligned so that the plan can run on any caller's arrays.
      p->plan = fftw_plan_dft_r2c_1d(n, in.data(), out.data(), FFTW_ESTIMATE | FFTW_UNALIGNED);
    }
    slot = std::move(p);
  }
  return *slot;
}

namespace {

// The n/2 + 1 coefficients of the real sequence in, computed in a buffer of the calling
// thread (kept for its next calls). Null when no plan could be made.
const std::complex<double>* half_spectrum(FftPlanCache& plans, double* in, std::size_t n) {
  const auto& plan = plans.plan_for(static_cast<int>(n));
  if (plan.plan == nullptr) return nullptr;
  thread_local std::vector<std::complex<double>> spectrum;
  if (spectrum.size() < n / 2 + 1) spectrum.resize(n / 2 + 1);
  fftw_execute_dft_r2c(plan.plan, in, reinterpret_cast<fftw_complex*>(spectrum.data()));
  return spectrum.data();
}

}  // namespace

int ReFFT(FftPlanCache& plans, std::span<double> re, std::span<double> im) {
  const std::size_t n = re.size();
  if (n == 0 || im.size() != n) return -1;
  const std::complex<double>* spectrum = half_spectrum(plans, re.data(), n);
  if (spectrum == nullptr) return -1;

  for (std::size_t k = 0; k <= n / 2; ++k) {
    re[k] = spectrum[k].real();
    im[k] = spectrum[k].imag();
  }
  for (std::size_t k = n / 2 + 1; k < n; ++k) {
    re[k] = spectrum[n - k].real();
    im[k] = -spectrum[n - k].imag();
  }
  return 0;
}

int ReFFT_Magnitudes(FftPlanCache& plans, std::span<const float> x, std::span<double> magnitude) {
  const std::size_t n = x.size();
  if (n == 0 || magnitude.size() < n / 2 + 1) return -1;
  thread_local std::vector<double> in;
  if (in.size() < n) in.resize(n);
  std::copy(x.begin(), x.end(), in.begin());
  const std::complex<double>* spectrum = half_spectrum(plans, in.data(), n);
  if (spectrum == nullptr) return -1;
  for (std::size_t k = 0; k <= n / 2; ++k) {
    const double re = spectrum[k].real(), im = spectrum[k].imag();
    magnitude[k] = std::sqrt(re * re + im * im);
  }
  return 0;
}

}  // namespace vx
