// Clamped cubic spline: second derivatives through a table of points with given first
// derivatives at both ends, and evaluation of that spline anywhere.
#pragma once

#include <span>

namespace vx {

// Fills second_derivs (same size as x and y) for the cubic spline through (x[i], y[i]),
// x strictly increasing, with first derivatives first_slope at x[0] and last_slope at
// x[n-1]. Returns 0, or -1 when the sizes differ, n < 2 or x is not strictly increasing.
int Spline(std::span<const double> x, std::span<const double> y, double first_slope,
           double last_slope, std::span<double> second_derivs);

// The same spline on the abscissas 0, 1, ..., n - 1 (samples of a waveform). The
// elimination coefficients of equal spacing do not depend on the data, so they are kept
// from call to call and the solve is a multiply-add per point.
int SplineUnitSpacing(std::span<const double> y, double first_slope, double last_slope,
                      std::span<double> second_derivs);

// Value at `at` of the spline described by x, y and the second derivatives from Spline.
// Outside [x[0], x[n-1]] the end polynomial is extended.
double SpInterp(std::span<const double> x, std::span<const double> y,
                std::span<const double> second_derivs, double at);

}  // namespace vx
