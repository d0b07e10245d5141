#include "analysis/main_graph.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analysis/fft_noise.h"
#include "analysis/waveform_utilities.h"
#include "app/run_from_file.h"
#include "digitizer/board_configuration.h"
#include "platform/format_text.h"

namespace vx {

namespace {

// The two channels of a SAM block share a hue, the second one lighter. Every colour reads
// on the main graph's dark background at a contrast of at least 4.5:1, and still at 3:1 on
// the light background of the panels and the other plots.
constexpr std::array<Rgb, kMaxChannels> kChannelColours{{
    {245, 6, 6},
    {236, 85, 85},
    {4, 143, 4},
    {17, 159, 17},
    {215, 6, 215},
    {232, 47, 232},
    {135, 124, 4},
    {150, 139, 16},
    {4, 137, 137},
    {17, 153, 153},
    {162, 74, 250},
    {172, 105, 239},
    {194, 94, 5},
    {211, 111, 24},
    {6, 118, 246},
    {56, 139, 233},
}};

// Fills curve.y with offset + gain x values[0 .. count).
void scale_into(DisplayCurve& curve, const float* values, int count, float gain, float offset) {
  curve.y.resize(static_cast<std::size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) curve.y[i] = offset + gain * values[i];
}

}  // namespace

double relative_luminance(Rgb c) {
  const auto linear = [](std::uint8_t v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

double contrast_ratio(Rgb a, Rgb b) {
  const double la = relative_luminance(a), lb = relative_luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb channel_colour(int channel) {
  if (channel < 0 || channel >= kMaxChannels) return {255, 255, 255};
  return kChannelColours[channel];
}

namespace {

int samples_shown(const AcqParams& acq, const SystemParams& sys) {
  const int n = replaying(acq) ? acq.NbOfSamplesInFile : sys.RecordLength;
  return std::clamp(n, 0, kMaxSamples);
}

int channels_shown(const AcqParams& acq, const SystemParams& sys) {
  const int n = replaying(acq) ? acq.NbOfChannelsInFile : sys.NbOfChannels;
  return std::clamp(n, 0, kMaxChannels);
}

}  // namespace

int shown_samples(const Settings& st) {
  return samples_shown(st.acq, st.sys);
}
int shown_samples(const RunConfig& cfg) {
  return samples_shown(cfg.acq, cfg.sys);
}

int shown_channels(const Settings& st) {
  return channels_shown(st.acq, st.sys);
}
int shown_channels(const RunConfig& cfg) {
  return channels_shown(cfg.acq, cfg.sys);
}

void Compute_MainGraphParameters(Settings& st) {
  Compute_MainGraphParameters(st, st.gui);
}

void Compute_MainGraphParameters(const Settings& st, GuiParams& g) {
  const int n = shown_samples(st);
  const int mode = g.GraphMode;
  g.GraphComputedValue = mode == kGraphWaveforms ? 1 : 0;
  switch (mode) {
    case kGraphWaveforms:
      g.NbOfPlotPoints = g.PlotAlignment != 0 ? 2 * n : n;
      break;
    case kGraphPedestals:
      g.NbOfPlotPoints = 16;
      break;
    case kGraphCharges:
      g.NbOfPlotPoints = 256;
      break;
    case kGraphFft:
      g.NbOfPlotPoints = n / 2;
      break;
    default:
      g.NbOfPlotPoints = n;
      break;
  }
  g.NbOfComputedPoints = mode == kGraphWaveforms ? n : g.NbOfPlotPoints;

  const bool volts = g.AmplitudeInVolts == 1;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const double volts_per_div = volts ? 1.0 : g.VerticalScale[ch] / 1000.0;
    const float position = volts ? 0.0f : g.VerticalPosition[ch];
    if ((mode == kGraphWaveforms || mode == kGraphPedestals) && volts_per_div > 0.0) {
      g.ChannelGain[ch] = static_cast<float>(kVoltsPerAdcCount / volts_per_div);
      g.ChannelOffset[ch] = position;
    } else {
      g.ChannelGain[ch] = 1.0f;
      g.ChannelOffset[ch] = 0.0f;
    }
  }

  g.DisplayShift = 0;
  g.NbOfXDivisions = 16;
  const double points = std::max(int{g.NbOfPlotPoints}, 1);
  switch (mode) {
    case kGraphWaveforms:
    case kGraphPedestals:
      g.YAxisMin = volts ? -2.5 : -kHalfScreenDivisions;
      g.YAxisMax = volts ? 2.5 : kHalfScreenDivisions;
      if (mode == kGraphWaveforms) {
        g.NbOfXDivisions = g.PlotAlignment != 0 ? 32 : 16;
        g.XLabelScale = g.NbOfXDivisions / points;
      } else {
        g.XLabelScale = 1.0;
      }
      break;
    case kGraphCells:
      g.YAxisMin = 0.0;
      g.YAxisMax = 4095.0;
      g.XLabelScale = 16.0 / points;
      break;
    case kGraphCharges:
      g.YAxisMin = -100.0;
      g.YAxisMax = 100.0;
      g.XLabelScale = 1.0;
      break;
    default:
      // The whole spectrum: a full-scale signal reaches about +66 dB (20 log10 of 2048
      // counts), an offset baseline's zero-frequency bin up to +72 dB.
      g.YAxisMin = kFftAxisMinDb;
      g.YAxisMax = kFftAxisMaxDb;
      g.XLabelScale = n > 0 ? Get_Frequency(st) / static_cast<double>(n) : 1.0;
      break;
  }
}

GraphAxes main_graph_axes(const GuiParams& g) {
  GraphAxes a;
  a.x_divisions = g.NbOfXDivisions;
  if (g.GraphMode == kGraphWaveforms) {
    a.x_label_factor = g.XLabelScale / kDisplayPointsPerSample;
    a.x_max = static_cast<double>(g.NbOfPlotPoints) * kDisplayPointsPerSample;
    a.x_precision = 10;
    a.y_precision = g.AmplitudeInVolts == 1 ? 3 : 0;
  } else {
    a.x_label_factor = g.XLabelScale;
    a.x_max = g.NbOfPlotPoints;
    a.y_precision = 2;
  }
  a.y_min = g.YAxisMin;
  a.y_max = g.YAxisMax;
  a.y_autoscale = g.GraphOptionCharge == 1;
  return a;
}

void Compute_Histos(const Settings& st, const BoardLink& link, const RunState& run,
                    const DecodedEvent& event, DisplayFrame& frame) {
  Compute_Histos(Freeze_RunConfig(st), link, run, st.gui, event, frame);
}

void Compute_Histos(const RunConfig& cfg, const BoardLink& link, const RunState& run,
                    const GuiParams& g, const DecodedEvent& event, DisplayFrame& frame) {
  const int mode = g.GraphMode;
  const int n = shown_samples(cfg);
  const int channels = shown_channels(cfg);
  frame.graph_mode = mode;
  frame.event_number = run.EventNumber.load();
  frame.trigger_found = false;

  std::size_t used = 0;
  auto next_curve = [&](int ch) -> DisplayCurve& {
    if (frame.curves.size() <= used) frame.curves.emplace_back();
    DisplayCurve& c = frame.curves[used++];
    c.channel = ch;
    c.gain = g.ChannelGain[ch];
    c.offset = g.ChannelOffset[ch];
    c.x0 = 0.0;
    c.has_marker = false;
    return c;
  };

  const int spline_points = std::max(n - 1, 0) * kDisplayPointsPerSample + 1;
  const int plotted = std::max(n * kDisplayPointsPerSample - kDisplayPointsPerSample, 0);
  for (int ch = 0; ch < channels; ++ch) {
    if (g.ChannelEnabled[ch] == 0) continue;
    const int b = ch / 2, c = ch % 2;
    const float gain = g.ChannelGain[ch], offset = g.ChannelOffset[ch];
    DisplayCurve& curve = next_curve(ch);
    switch (mode) {
      case kGraphWaveforms: {
        if (n < 2) {
          curve.y.clear();
          break;
        }
        // Spline into the curve's own storage, then scale in place.
        curve.y.resize(static_cast<std::size_t>(spline_points));
        Perform_SplineOnWaveform(std::span<const float>(event.FullyOrderedValues[b][c].data(), n),
                                 kDisplayPointsPerSample, curve.y);
        const float t = run.results.RiseTimeInstant[b][c];
        const double period = sampling_period_from_index(cfg.sam[0].FrequencyIndex);
        if (g.DisplayTimeOnWaveforms == 1 && t != -1.0f && period > 0.0) {
          const auto j = static_cast<long>(t * 1000.0 * kDisplayPointsPerSample / period);
          if (j >= 0 && j < spline_points) {
            curve.has_marker = true;
            curve.marker_x = static_cast<double>(j);
            curve.marker_y = offset + gain * curve.y[j];
          }
        }
        curve.y.resize(static_cast<std::size_t>(plotted));
        for (float& v : curve.y) v = offset + gain * v;
        break;
      }
      case kGraphFft: {
        // The spectrum goes to decibels here, for the events shown only.
        const ChannelSpectrum& spectrum = run.meas.Spectra[b][c];
        const int count = std::clamp(static_cast<int>(g.NbOfPlotPoints), 0, kMaxSamples);
        curve.y.resize(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) curve.y[i] = offset + gain * Spectrum_Db(spectrum, i);
        break;
      }
      case kGraphCharges: {
        const auto& q = run.meas.ChargeDataValues[b][c];
        const int count =
            std::min<int>(run.meas.NbOfValidChargeWords[b][c], static_cast<int>(q.size()));
        curve.y.resize(static_cast<std::size_t>(std::max(count, 0)));
        for (int i = 0; i < count; ++i) curve.y[i] = static_cast<float>(offset + gain * q[i]);
        break;
      }
      case kGraphCells: {
        // The record's samples by physical cell, then scaled in place.
        curve.y.resize(kMaxSamples);
        const auto& w = event.FullyOrderedValues[b][c];
        Build_PhysicallyOrderedValues(
            std::span<const float>(w.data(),
                                   static_cast<std::size_t>(std::clamp(n, 0, kMaxSamples))),
            event.EventFCR[b], curve.y);
        curve.y.resize(static_cast<std::size_t>(std::clamp(int{g.NbOfPlotPoints}, 0, kMaxSamples)));
        for (float& v : curve.y) v = offset + gain * v;
        break;
      }
      default:  // the 16 per-line pedestals
        scale_into(curve, link.calib.OffsetDistribution[b][c].data(), kLinesPerMatrix, gain,
                   offset);
        break;
    }
  }
  frame.curves.resize(used);

  // Alignment on the reference channel's crossing of the software threshold.
  int shift = 0;
  const int ref = g.PlotAlignmentOption1;
  if (mode == kGraphWaveforms && g.PlotAlignment != 0 && ref >= 0 && ref < channels &&
      g.ChannelEnabled[ref] != 0 && n >= 2) {
    std::vector<float> reference(static_cast<std::size_t>(spline_points));
    Perform_SplineOnWaveform(
        std::span<const float>(event.FullyOrderedValues[ref / 2][ref % 2].data(), n),
        kDisplayPointsPerSample, reference);
    int found = 0, offset_to_ref = 0;
    const int reference_index = n * kDisplayPointsPerSample;
    Search_TriggerLocationInWaveForm(g.PlotAlignmentOption2 == 1, reference,
                                     g.PlotAlignmentValue * 1638.0f, 0, plotted - 1,
                                     reference_index, found, offset_to_ref);
    frame.trigger_found = found != 0;
    if (found != 0) shift = -offset_to_ref;
  }
  for (auto& curve : frame.curves) {
    curve.x0 = shift;
    if (curve.has_marker) curve.marker_x += shift;
  }
}

int Fitting_VerticalScale(double min_volts, double max_volts, double position_div) {
  constexpr int kScales[] = {10, 20, 50, 100, 200, 500, 1000, 2000, 5000};
  constexpr double kReach = 4.5;  // divisions from the centre, a margin below the edge
  for (int scale : kScales) {
    const double low = position_div + min_volts * 1000.0 / scale;
    const double high = position_div + max_volts * 1000.0 / scale;
    if (low >= -kReach && high <= kReach) return scale;
  }
  return kScales[std::size(kScales) - 1];
}

MarkerLevel trigger_marker_level(double threshold_volts, double scale_mv_per_div,
                                 double position_div) {
  MarkerLevel m;
  const double level = scale_mv_per_div > 0.0
                           ? threshold_volts * 1000.0 / scale_mv_per_div + position_div
                           : position_div;
  if (level >= kHalfScreenDivisions) {
    m.level = kHalfScreenDivisions;
    m.pinned = 1;
  } else if (level <= -kHalfScreenDivisions) {
    m.level = -kHalfScreenDivisions;
    m.pinned = -1;
  } else {
    m.level = level;
  }
  return m;
}

bool graph_titles(const Settings& st, bool zoomed, GraphTitles& out) {
  return graph_titles(st, st.gui, zoomed, out);
}

bool graph_titles(const Settings& st, const GuiParams& g, bool zoomed, GraphTitles& out) {
  switch (g.GraphMode) {
    case kGraphWaveforms: {
      out.y_axis = g.AmplitudeInVolts == 1 ? "Amplitude [Volts]" : "Amplitude [mV/Div]";
      out.label = "Data mV/Div";
      if (zoomed) {
        out.x_axis = "Time[ns]";
      } else {
        const double span_ns = shown_samples(st) * Get_SamplingPeriod(st) / 1000.0;
        const int per_div = static_cast<int>(std::lround(
            span_ns / std::max(int{g.NbOfXDivisions}, 1) * (g.PlotAlignment != 0 ? 2 : 1)));
        out.x_axis = format_text("Time[%d ns/Div]", per_div);
      }
      return true;
    }
    case kGraphCells:
      out = {"Pedestal Values[ADC counts]", "Pedestal Values", "Samples"};
      return true;
    case kGraphCharges:
      out = {"Charge [pC]", "Charge Data in pC", "Event Number"};
      return true;
    case kGraphFft:
      out = {"Amplitude [dB]", "FFT on data in dB", "Frequency[MHz]"};
      return true;
    default:
      return false;
  }
}

std::string channel_legend(const GuiParams& g, int ch) {
  switch (g.GraphMode) {
    case kGraphWaveforms:
    case kGraphCells:
      if (g.GraphOptionCharge != 0) return {};
      return g.AmplitudeInVolts == 1 ? format_text("Ch%d: Volts", ch)
                                     : format_text("Ch%d:%d mV/Div", ch, g.VerticalScale[ch]);
    case kGraphCharges:
      return format_text("Ch%d: pC", ch);
    case kGraphFft:
      return format_text("Ch%d: dB", ch);
    default:
      return {};
  }
}

std::string cursor_readout(int mode, double x1, double y1, double x2, double y2, double period_ps) {
  if (mode == kGraphFft) {
    return format_text("Distance between cursors:\ndeltaX =%2.3f Div delta Y = %2.3f Div",
                       std::abs(x2 - x1), std::abs(y2 - y1));
  }
  const double to_ns = period_ps / 10000.0;
  const double a = x1 * to_ns, b = x2 * to_ns;
  return format_text("Distance between cursors:\nx1 -x2 =%2.3f-%2.3f=%2.3fns deltaY = %2.3f Div", a,
                     b, std::abs(b - a), std::abs(y2 - y1));
}

int all_channels_state(const Settings& st) {
  const int n = shown_channels(st);
  int on = 0;
  for (int ch = 0; ch < n; ++ch) on += st.gui.ChannelEnabled[ch] != 0 ? 1 : 0;
  if (n > 0 && on == n) return 1;
  return on == 0 ? 0 : 2;
}

}  // namespace vx
