// The main graph's scaling and the curves of the displayed event: what is drawn, how it
// is scaled per channel, and the texts and markers around it. Free of any toolkit: the
// front end only draws what is computed here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/dac_conversions.h"
#include "app/run_config.h"
#include "app/state.h"

namespace vx {

inline constexpr int kDisplayPointsPerSample = 10;
// The graph spans this many divisions above and below zero.
inline constexpr double kHalfScreenDivisions = 5.0;

// One fixed colour per channel; any other index is white.
Rgb channel_colour(int channel);
// The spectrum's amplitude axis (dB).
inline constexpr double kFftAxisMinDb = -120.0;  // ten divisions of 20 dB
inline constexpr double kFftAxisMaxDb = 80.0;
// The main graph's background; the panels and the other plots are light.
inline constexpr Rgb kMainGraphBackground{12, 12, 16};
inline constexpr Rgb kLightBackground{239, 239, 239};
// Readability of one colour on another: the relative luminance of sRGB colours and the
// ratio (L1 + 0.05) / (L2 + 0.05), from 1 (none) to 21 (black on white).
double relative_luminance(Rgb c);
double contrast_ratio(Rgb a, Rgb b);

// Samples per channel and channels shown: the board's, or the replayed file's.
int shown_samples(const Settings& st);
int shown_samples(const RunConfig& cfg);
int shown_channels(const Settings& st);
int shown_channels(const RunConfig& cfg);

// Recomputes GraphComputedValue, NbOfPlotPoints, NbOfComputedPoints, NbOfXDivisions,
// XLabelScale, ChannelGain, ChannelOffset, YAxisMin, YAxisMax and DisplayShift.
void Compute_MainGraphParameters(Settings& st);
// The same into `g`, for the samples and sampling of `st`: a view other than the record's
// is scaled without writing the record, which the acquisition thread reads during a run.
void Compute_MainGraphParameters(const Settings& st, GuiParams& g);

// How the graph's axes are set up from the computed values (the zoomed state aside).
struct GraphAxes {
  double x_min = 0.0, x_max = 0.0;
  int x_divisions = 16;
  double x_label_factor = 1.0;  // axis value = display index * factor
  int x_precision = 0, y_precision = 0;
  double y_min = 0.0, y_max = 0.0;
  bool y_autoscale = false;
};
GraphAxes main_graph_axes(const GuiParams& gui);

struct DisplayCurve {
  int channel = 0;
  double x0 = 0.0;                   // x of the first value; then one unit per value
  std::vector<float> y;              // already scaled (offset + gain x value)
  float gain = 1.0f, offset = 0.0f;  // the scaling y was drawn with
  bool has_marker = false;           // leading-edge time of the channel
  double marker_x = 0.0, marker_y = 0.0;
};

// Everything the graph needs to draw one event; owned by the front end, filled on the
// acquisition thread.
struct DisplayFrame {
  int graph_mode = 0;
  int event_number = 0;
  bool trigger_found = false;
  std::vector<DisplayCurve> curves;
};

// Builds the curves of an event for every enabled channel shown (Compute_Histos), with the
// event's results and the run's spectra and charges (the run's part), and the board's
// calibration tables for the cells' graph. Reuses the frame's storage. What the event is (its
// channels, samples and sampling period) comes from the configuration its run took at its
// start; the display settings are a copy of them handed over by the thread that owns them.
// The form with the records draws from them as they are now (their own thread's call).
void Compute_Histos(const Settings& st, const BoardLink& link, const RunState& run,
                    const DecodedEvent& event, DisplayFrame& frame);
void Compute_Histos(const RunConfig& cfg, const BoardLink& link, const RunState& run,
                    const GuiParams& display, const DecodedEvent& event, DisplayFrame& frame);

// The smallest scale of the 1-2-5 series (10 mV/div to 5 V/div) at which a trace spanning
// min_volts to max_volts, drawn at position_div, stays within 4.5 divisions of the centre;
// the largest when none does.
int Fitting_VerticalScale(double min_volts, double max_volts, double position_div);

// Level, in divisions, of a channel's trigger-threshold marker, pinned at the screen's
// edge (pinned = +1 or -1, drawn as an arrow off the graph) when at or beyond +-5.
struct MarkerLevel {
  double level = 0.0;
  int pinned = 0;
};
MarkerLevel trigger_marker_level(double threshold_volts, double scale_mv_per_div,
                                 double position_div);

struct GraphTitles {
  std::string y_axis, label, x_axis;
};
// Axis names and graph label of the current display mode; zoomed waveforms show the time
// in ns. Mode 1 keeps the names it had (returns nothing to change).
bool graph_titles(const Settings& st, bool zoomed, GraphTitles& out);
bool graph_titles(const Settings& st, const GuiParams& g, bool zoomed, GraphTitles& out);
std::string channel_legend(const GuiParams& gui, int channel);

// The cursor read-out text; x values are display points.
std::string cursor_readout(int graph_mode, double x1, double y1, double x2, double y2,
                           double sampling_period_ps);

// What the "all channels" control shows: 1 every shown channel on, 0 none, 2 otherwise.
int all_channels_state(const Settings& st);

}  // namespace vx
