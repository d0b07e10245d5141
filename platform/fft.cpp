#include "platform/fft.h"

#include <fftw3.h>

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

int ReFFT(FftPlanCache& plans, std::span<double> re, std::span<double> im) {
  const std::size_t n = re.size();
  if (n == 0 || im.size() != n) return -1;
  const auto& plan = plans.plan_for(static_cast<int>(n));
  if (plan.plan == nullptr) return -1;

  thread_local std::vector<std::complex<double>> spectrum;
  if (spectrum.size() < n / 2 + 1) spectrum.resize(n / 2 + 1);
  fftw_execute_dft_r2c(plan.plan, re.data(), reinterpret_cast<fftw_complex*>(spectrum.data()));

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

}  // namespace vx
