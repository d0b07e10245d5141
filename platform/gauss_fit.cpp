#include "platform/gauss_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <gsl/gsl_vector.h>

#include <algorithm>
#include <cmath>

namespace vx {

namespace {

struct FitData {
  std::span<const double> x;
  std::span<const double> y;
};

double gaussian(double a, double c, double s, double x) {
  const double z = (x - c) / s;
  return a * std::exp(-0.5 * z * z);
}

int residuals(const gsl_vector* p, void* data, gsl_vector* f) {
  const auto* d = static_cast<const FitData*>(data);
  const double a = gsl_vector_get(p, 0);
  const double c = gsl_vector_get(p, 1);
  const double s = gsl_vector_get(p, 2);
  if (s == 0.0) return GSL_EDOM;
  for (std::size_t i = 0; i < d->x.size(); ++i)
    gsl_vector_set(f, i, gaussian(a, c, s, d->x[i]) - d->y[i]);
  return GSL_SUCCESS;
}

int jacobian(const gsl_vector* p, void* data, gsl_matrix* j) {
  const auto* d = static_cast<const FitData*>(data);
  const double a = gsl_vector_get(p, 0);
  const double c = gsl_vector_get(p, 1);
  const double s = gsl_vector_get(p, 2);
  if (s == 0.0) return GSL_EDOM;
  for (std::size_t i = 0; i < d->x.size(); ++i) {
    const double z = (d->x[i] - c) / s;
    const double e = std::exp(-0.5 * z * z);
    gsl_matrix_set(j, i, 0, e);
    gsl_matrix_set(j, i, 1, a * e * z / s);
    gsl_matrix_set(j, i, 2, a * e * z * z / s);
  }
  return GSL_SUCCESS;
}

// Initial guesses from the data: the highest point for amplitude, the first and second
// moments of the positive part of y for centre and width.
bool initial_guess(std::span<const double> x, std::span<const double> y, double guess[3]) {
  double sum = 0.0, sum_x = 0.0;
  double peak = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double w = std::max(y[i], 0.0);
    sum += w;
    sum_x += w * x[i];
    peak = std::max(peak, y[i]);
  }
  if (!(sum > 0.0) || !(peak > 0.0)) return false;
  const double centre = sum_x / sum;
  double var = 0.0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const double d = x[i] - centre;
    var += std::max(y[i], 0.0) * d * d;
  }
  var /= sum;
  double sigma = std::sqrt(var);
  if (!(sigma > 0.0)) {
    // All the weight in one point: start from the spacing of the x values.
    const auto [lo, hi] = std::minmax_element(x.begin(), x.end());
    sigma = (*hi - *lo) / static_cast<double>(x.size());
  }
  if (!(sigma > 0.0) || !std::isfinite(sigma)) return false;
  guess[0] = peak;
  guess[1] = centre;
  guess[2] = sigma;
  return true;
}

}  // namespace

FitQuality Histogram_FitQuality(std::span<const double> counts, std::span<const double> fitted) {
  FitQuality q;
  const std::size_t n = std::min(counts.size(), fitted.size());
  for (std::size_t i = 0; i < n; ++i) {
    const double d = counts[i] - fitted[i];
    q.chi2 += d * d / std::max(counts[i], 1.0);
  }
  q.ndf = static_cast<int>(n) - 3;
  return q;
}

GaussFitResult GaussFit(std::span<const double> x, std::span<const double> y,
                        std::span<double> fitted) {
  GaussFitResult r;
  const std::size_t n = x.size();
  std::fill(fitted.begin(), fitted.end(), 0.0);
  double guess[3];
  if (n < 3 || y.size() != n || (!fitted.empty() && fitted.size() != n) ||
      !initial_guess(x, y, guess))
    return r;

  FitData data{x, y};
  gsl_multifit_nlinear_fdf fdf{};
  fdf.f = residuals;
  fdf.df = jacobian;
  fdf.fvv = nullptr;
  fdf.n = n;
  fdf.p = 3;
  fdf.params = &data;

  gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
  gsl_multifit_nlinear_workspace* w =
      gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, n, 3);
  if (w == nullptr) return r;
  gsl_vector_view p0 = gsl_vector_view_array(guess, 3);

  // GSL's default handler aborts the program on a numerical failure; a failed fit must
  // only give no result. The handler is process-wide, so it is switched off once.
  static const bool handler_off = [] {
    gsl_set_error_handler_off();
    return true;
  }();
  (void)handler_off;
  int info = 0;
  int status = gsl_multifit_nlinear_init(&p0.vector, &fdf, w);
  if (status == GSL_SUCCESS)
    status = gsl_multifit_nlinear_driver(200, 1e-10, 1e-10, 1e-10, nullptr, nullptr, &info, w);

  if (status == GSL_SUCCESS || status == GSL_EMAXITER) {
    const gsl_vector* p = gsl_multifit_nlinear_position(w);
    const double a = gsl_vector_get(p, 0);
    const double c = gsl_vector_get(p, 1);
    const double s = std::fabs(gsl_vector_get(p, 2));
    if (std::isfinite(a) && std::isfinite(c) && std::isfinite(s) && s > 0.0) {
      r.status = status == GSL_SUCCESS ? 0 : -2;
      r.amplitude = a;
      r.centre = c;
      r.sigma = s;
      double sq = 0.0;
      for (std::size_t i = 0; i < n; ++i) {
        const double f = gaussian(a, c, s, x[i]);
        if (!fitted.empty()) fitted[i] = f;
        sq += (f - y[i]) * (f - y[i]);
      }
      r.residue = sq / static_cast<double>(n);
    }
  }
  gsl_multifit_nlinear_free(w);
  return r;
}

}  // namespace vx
