// Least-squares fit of a Gaussian amplitude * exp(-(x - centre)^2 / (2 sigma^2)).
#pragma once

#include <span>

namespace vx {

struct GaussFitResult {
  int status = -1;  // 0 = converged; negative = no fit (too few points, no signal, failure)
  double amplitude = 0.0;
  double centre = 0.0;
  double sigma = 0.0;    // always >= 0
  double residue = 0.0;  // mean squared difference between the data and the fitted curve
};

// Unweighted fit of y against x with automatic initial guesses (moments of y). fitted,
// when not empty, must have the size of x and receives the curve at the x values (zeros
// when there is no fit). Needs at least three points and a positive maximum of y.
GaussFitResult GaussFit(std::span<const double> x, std::span<const double> y,
                        std::span<double> fitted);

// How well a fitted curve describes a histogram: the chi-square of the counts against the
// curve, each count's variance taken as the count itself (one for an empty bin), over the
// bins given, with as many degrees of freedom as bins less the fit's three parameters.
struct FitQuality {
  double chi2 = 0.0;
  int ndf = 0;
  double per_ndf() const { return ndf > 0 ? chi2 / ndf : 0.0; }
};
FitQuality Histogram_FitQuality(std::span<const double> counts, std::span<const double> fitted);

}  // namespace vx
