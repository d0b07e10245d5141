// Clamped cubic spline: second derivatives through a table of points with given first
// derivatives at both ends, and evaluation of that spline anywhere.
#pragma once

#include <cstddef>
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

// kSplineLanes waveforms' splines at once (n samples each), each with the end slopes of
// its first and last pairs of samples, as a waveform's spline uses them. The second
// derivative at sample i of lane l lands in second_derivs[L i + l]; u is scratch of L n
// values. Each lane gets exactly the result of SplineUnitSpacing on its samples: the
// solves only run side by side so that each hides the others' latency. When given,
// largest_difference[l] receives the largest |y[i+1] - 2 y[i] + y[i-1]| of lane l, three
// times which bounds its second derivatives. Returns 0, or -1 when n < 2 or an array holds
// fewer than L n values.
inline constexpr std::size_t kSplineLanes = 8;
int SplineUnitSpacingLanes(const float* const* waveforms, std::size_t n, std::span<double> u,
                           std::span<double> second_derivs, double* largest_difference);

// Value at `at` of the spline described by x, y and the second derivatives from Spline.
// Outside [x[0], x[n-1]] the end polynomial is extended.
double SpInterp(std::span<const double> x, std::span<const double> y,
                std::span<const double> second_derivs, double at);

}  // namespace vx
