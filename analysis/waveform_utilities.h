// Routines on one channel's waveform (single-precision samples in ADC counts, index =
// sample number): the pulse extreme, spline up-sampling, normalisation to the pulse's own
// height, and the first threshold crossing in an index window.
#pragma once

#include <cstdint>
#include <span>

#include "app/state.h"
#include "platform/numeric.h"

namespace vx {

// Largest spline factor the measurements accept; more points per sample interval carry
// no information and only cost memory.
inline constexpr int kMaxSplineFactor = 100;

// Extreme of the pulse. Polarity 1 (a minimum) when the maximum lies no further above the
// first sample than the minimum lies below it, else 0 (a maximum). With peakInterp non-zero
// an extreme away from both ends is refined to the vertex of the parabola through it and
// its two neighbours. index receives the sample index of the extreme (never refined).
float Search_MinOrMax_In_Waveform(std::span<const float> waveform, int peakInterp, int& polarity,
                                  int& index);
// The same with the waveform's extremes already known.
float Search_MinOrMax_In_Waveform(std::span<const float> waveform, const MaxMinResult& extremes,
                                  int peakInterp, int& polarity, int& index);

// Value at the vertex of the parabola through (i - 1, before), (i, at), (i + 1, after);
// provisional when the three points are collinear.
float Refine_PeakValue(int i, float before, float at, float after, float provisional);

// Coefficients of y = a x^2 + b x + c through three points. Returns 1, or -1 (outputs
// untouched) when two x values are equal.
int Compute_ParabolaCoefficients(const float x[3], const float y[3], float& c, float& b, float& a);
int Compute_ParabolaCoefficients(const double x[3], const double y[3], double& c, double& b,
                                 double& a);

// Largest and smallest of w[0 ... n - 1] (values only; n >= 1), four at a time.
void Float_Extremes(const float* w, std::size_t n, float& largest, float& smallest);

// Clamped cubic spline through the samples (end slopes from the first and last pairs),
// evaluated at j / factor for j = 0 ... (n - 1) * factor; out must hold that many points.
// Point j * factor is sample j exactly.
void Perform_SplineOnWaveform(std::span<const float> waveform, int factor, std::span<float> out);

// Weights of the spline points at r / per, r = 0 ... per - 1, of a unit interval: the
// point's value is wa[r] y[k] + wb[r] y[k + 1] + wc[r] y2[k] + wd[r] y2[k + 1], y2 being
// the second derivatives (evaluated in that order, in double precision, then rounded to
// float).
void Spline_IntervalWeights(std::size_t per, double* wa, double* wb, double* wc, double* wd);

// The event's samples re-indexed by physical cell of the 1024-cell ring: time-ordered
// sample k lies in cell (k + T - (T mod 16)) mod 1024, T being the block's first cell
// (EventFCR). out holds 1024 cells; cells no sample of the record reached read NaN.
void Build_PhysicallyOrderedValues(std::span<const float> time_ordered, std::uint32_t first_cell,
                                   std::span<float> out);

// out[i] = (w[i] - baseline) / height, baseline being the mean of the first nbBaseline
// samples and height the extreme's distance from it, so the baseline maps to 0 and the
// pulse's extreme to +1 (positive) or -1 (negative). Returns false for a flat waveform
// (no height): out is then all zeros and no crossing may be taken from it.
bool Normalize_WaveFormOnMaxOrMin(std::span<const float> waveform, std::span<float> out,
                                  int& peakIndex, int& polarity, int nbBaseline, float& baseline);
bool Normalize_WaveFormOnMaxOrMin(std::span<const float> waveform, const MaxMinResult& extremes,
                                  std::span<float> out, int& peakIndex, int& polarity,
                                  int nbBaseline, float& baseline);

// First i in [start, end] where the waveform crosses threshold between i and i + 1 in the
// given direction (the display alignment's edge, PlotAlignmentOption2). offset is the
// crossing's (or, when none, the end index's) distance from the reference index.
void Search_TriggerLocationInWaveForm(bool rising, std::span<const float> waveform, float threshold,
                                      int start, int end, int reference, int& found, int& offset);

}  // namespace vx
