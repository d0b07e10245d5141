// Basic numerical routines on sample arrays: extremes, mean, standard deviation,
// histogram and polynomial interpolation.
#pragma once

#include <span>

namespace vx {

struct MaxMinResult {
  double max = 0.0;
  int max_index = -1;
  double min = 0.0;
  int min_index = -1;
};

// Largest and smallest values with the indices of their first occurrences. An empty
// array gives indices -1 and values 0.
MaxMinResult MaxMin1D(std::span<const double> values);
MaxMinResult MaxMin1D(std::span<const float> values);

// Arithmetic mean; 0 for an empty array.
double Mean(std::span<const double> values);

struct MeanAndSigma {
  double mean = 0.0;
  double sigma = 0.0;
};

// Mean and standard deviation, dividing by n (population convention). Both are 0 for an
// empty array.
MeanAndSigma StdDev(std::span<const double> values);
MeanAndSigma StdDev(std::span<const float> values);

// Counts of the values falling in counts.size() equal intervals between base and top;
// a value equal to top belongs to the last interval and values outside [base, top] are
// not counted. axis (same size as counts) receives the centre of each interval.
// Returns the number of values counted, or -1 (counts zeroed, axis set to base) when the
// interval is empty or not finite or there are no intervals.
int Histogram(std::span<const double> values, double base, double top, std::span<int> counts,
              std::span<double> axis);

// Neville polynomial interpolation through the points (x[i], y[i]), evaluated at `at`.
// Returns NaN when two x values are equal or the arrays are empty or of unequal size.
double PolyInterp(std::span<const double> x, std::span<const double> y, double at);

}  // namespace vx
