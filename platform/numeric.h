// Basic numerical routines on sample arrays: extremes, mean, standard deviation,
// histogram and polynomial interpolation.
#pragma once

#include <cstdint>
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

// Count, mean, standard deviation (population convention) and extremes of values taken one
// at a time: Welford's update, exact enough whatever the offset of the values.
struct RunningStats {
  std::int64_t count = 0;
  double mean = 0.0;
  double m2 = 0.0;  // sum of the squared deviations from the mean
  double min = 0.0;
  double max = 0.0;
  void add(double v);
  double sigma() const;
};

// Equal intervals between base and top, cut as Histogram cuts them.
class HistogramBins {
 public:
  HistogramBins() = default;
  HistogramBins(double base, double top, int bins);
  // Not usable: no intervals, or an interval that is empty or not finite.
  bool usable() const { return width_ > 0.0; }
  int bins() const { return bins_; }
  // The interval holding v (a value equal to top in the last one), or -1 when v lies
  // outside [base, top] or the intervals are not usable.
  int bin_of(double v) const {
    if (!(v >= base_ && v <= top_) || !usable()) return -1;
    const auto k = static_cast<int>((v - base_) / width_);
    return k < bins_ ? k : bins_ - 1;
  }
  double centre(int i) const { return base_ + (static_cast<double>(i) + 0.5) * width_; }

 private:
  double base_ = 0.0;
  double top_ = 0.0;
  double width_ = 0.0;
  int bins_ = 0;
};

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
