#include "calibration/inl_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/message_log.h"
#include "digitizer/board_configuration.h"
#include "platform/format_text.h"
#include "platform/numeric.h"

namespace vx {
namespace {

constexpr int kCellsPerPeriod = 16;
constexpr int kIntervalSamples = 960;  // crossings are searched in the first 960 samples
constexpr int kMaxCrossings = 61;
constexpr int kMaxUsedCrossings = 60;
// How far the measured sine frequency may lie from the one the analysis assumes.
constexpr double kFrequencyTolerance = 0.05;

int group_of(int cell, int groups) {
  return cell * groups / kInlCells;
}

bool channel_enabled(const GuiParams& gui, int block, int channel) {
  return gui.ChannelEnabled[kChannelsPerBlock * block + channel] == 1;
}

// Whether physical cell i lies outside the 66 cells from F - 64 to F + 1 around the first
// cell, whose steps mix the end and the start of the record.
bool takes_part(int i, int lo, int hi) {
  if (lo < hi) return i < lo || i > hi;
  return i < lo && i > hi;
}

// sqrt of a variance that rounding may have made slightly negative.
double spread(double square_sum, double sum, int n) {
  if (n <= 0) return 0.0;
  const double mean = sum / n;
  return std::sqrt(std::max(0.0, square_sum / n - mean * mean));
}

}  // namespace

bool Inl_GroupCountValid(int requested) {
  return requested >= 1 && requested <= kInlMaxGroups && kInlMaxGroups % requested == 0;
}

int Inl_GroupCount(int requested) {
  return Inl_GroupCountValid(requested) ? requested : kInlMaxGroups;
}

void Enable_INLCalibration(BoardPort port, bool on) {
  if (!on) {
    if (port.settings.acq.INLCalibrationRunning == 0) return;
    port.settings.acq.INLCalibrationRunning = 0;
    port.settings.acq.INLCorrectionEnabled = port.link.inl.correction_before;
    Set_SAMCorrectionLevel(port, port);
    port.links.ui.refresh_panel(Panel::AllValues);
    return;
  }
  if (port.settings.acq.INLCalibrationRunning == 0)
    port.link.inl.correction_before = port.settings.acq.INLCorrectionEnabled;
  port.settings.acq.INLCalibrationRunning = 1;
  port.settings.acq.INLCorrectionEnabled = 0;
  Set_SAMCorrectionLevel(port, port);
  port.settings.sys.TriggerSource = kTriggerSoftware;
  Set_SystemTriggerMode(port);
  port.links.ui.refresh_panel(Panel::AllValues);
}

void Clear_INLChannel(InlChannelCalibration& k) {
  // The interval references (and their flags) stay from the first calibration.
  const auto reference = k.ReferenceInterval;
  const auto in_mean = k.ZeroCrossingIntervalInMean;
  k = InlChannelCalibration{};
  k.ReferenceInterval = reference;
  k.ZeroCrossingIntervalInMean = in_mean;
}

void Clear_INLAccumulators(BoardLink& st, Settings& settings) {
  st.inl.usable = false;
  st.inl.events_accumulated = 0;
  st.inl.communication_errors_at_start = st.NbOfCommunicatonErrors.load();
  for (int b = 0; b < board_blocks(settings); ++b)
    for (int c = 0; c < kChannelsPerBlock; ++c)
      if (channel_enabled(settings.gui, b, c)) Clear_INLChannel(st.inl.at(b, c));
}

void Accumulate_INLChannel(InlChannelCalibration& k, std::span<const float> w, int first_cell,
                           const InlAccumulateOptions& o) {
  if (w.size() < static_cast<std::size_t>(kInlCells)) return;
  const int F = ((first_cell % kInlCells) + kInlCells) % kInlCells;
  const float thr = o.threshold;
  int lo = F - 64;
  if (lo < 0) lo += kInlCells;
  int hi = F + 1;
  if (hi >= kInlCells) hi -= kInlCells;

  auto& P = k.PhysicallyOrderedValues;
  const int base = F - F % kCellsPerPeriod;
  for (int s = 0; s < kInlCells; ++s) P[(s + base) % kInlCells] = w[s];

  for (int i = 0; i < kInlCells; ++i) {
    const float a = P[i];
    const float b = P[(i + 1) % kInlCells];
    k.Segments[i] = b - a;
    if (!takes_part(i, lo, hi) || !(a <= thr && thr <= b)) continue;
    const float step = b - a;
    k.ZeroCrossingSegmentSum[i] += step;
    if (k.ZeroCrossingFoundInCell[i] == 0) {
      k.ReferenceSegment[i] = step;
      k.ZeroCrossingFoundInCell[i] = 1;
    }
    k.ReducedSegment[i] = static_cast<double>(step) - k.ReferenceSegment[i];
    k.ZeroCrossingReducedSum[i] += k.ReducedSegment[i];
    k.ZeroCrossingSquareSum[i] += k.ReducedSegment[i] * k.ReducedSegment[i];
    k.NbOfZeroCrossings[i] += 1;
    if (i == o.inspected_cell) {
      const int bin = std::clamp(static_cast<int>(step / 5.0f), 0, kInlHistoBins - 1);
      k.ZeroCrossingHisto[bin] += 1;
    }
  }
  k.Segments[kInlCells - 1] = k.Segments[kInlCells - 2];

  // Rising crossings of the time-ordered record, at fractional cell positions.
  const int G = Inl_GroupCount(o.groups);
  const int m = kInlMaxGroups / G;
  std::array<double, kMaxCrossings> t{};
  int n = 0;
  int k0 = 0;
  for (int s = 0; s < kIntervalSamples && n < kMaxCrossings; ++s) {
    const float a = w[s];
    const float b = w[s + 1];
    if (!(a <= thr && thr <= b)) continue;
    const int cell = (s + F) % kInlCells;
    // A flat step exactly at the threshold crosses at the start of the cell.
    const double fraction =
        b > a ? (static_cast<double>(thr) - a) / (static_cast<double>(b) - a) : 0.0;
    if (n == 0) {
      if (cell % kCellsPerPeriod != 0 || fraction < 0.1 || fraction > 0.9) return;
      k0 = cell / (kCellsPerPeriod * m);
    }
    t[n++] = cell + fraction;
  }
  if (n > G || n > kMaxUsedCrossings) return;
  for (int j = 0; j + 1 < n; ++j) {
    double d = t[j + 1] - t[j];
    if (t[j + 1] < t[j]) d += kInlCells;
    const int q = (j + k0) % G;
    k.ZeroCrossingIntervalSum[q] += d;
    k.NbOfCrossingsInZeroCrossingIntervalSum[q] += 1;
    if (k.ZeroCrossingIntervalInMean[q] == 0) {
      k.ReferenceInterval[q] = d;
      k.ZeroCrossingIntervalInMean[q] = 1;
    }
    const double r = d - k.ReferenceInterval[q];
    k.ZeroCrossingIntervalReducedSum[q] += r;
    k.ZeroCrossingIntervalSquareSum[q] += r * r;
    k.NbOfCrossingsInZeroCrossingIntervalReducedSum[q] += 1;
  }
}

void Accumulate_INLCalibration(BoardLink& st, const RunConfig& cfg, const DecodedEvent& event) {
  InlAccumulateOptions o;
  o.threshold = cfg.acq.INLCalibPanelValue;
  o.groups = cfg.acq.INLNbOfSegments;
  o.inspected_cell = cfg.acq.INLCalibOption;
  ++st.inl.events_accumulated;
  for (int b = 0; b < cfg.blocks(); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!channel_enabled(cfg.gui, b, c)) continue;
      Accumulate_INLChannel(st.inl.at(b, c), event.FullyOrderedValues[b][c],
                            static_cast<int>(event.EventFCR[b] % kInlCells), o);
    }
  }
}

InlSummary Compute_INLChannel(InlChannelCalibration& k, const InlComputeOptions& o) {
  const int G = Inl_GroupCount(o.groups);
  const double T = o.period_ps;
  InlSummary out;

  double mean_interval = 0.0;
  for (int q = 0; q < G; ++q) {
    const int n = k.NbOfCrossingsInZeroCrossingIntervalSum[q];
    k.ZeroCrossingIntervals[q] = n > 0 ? k.ZeroCrossingIntervalSum[q] / n : 0.0;
    // A group without reduced intervals has no spread: 0.
    k.ZeroCrossingIntervalSigma[q] =
        spread(k.ZeroCrossingIntervalSquareSum[q], k.ZeroCrossingIntervalReducedSum[q],
               k.NbOfCrossingsInZeroCrossingIntervalReducedSum[q]) *
        T;
    mean_interval += k.ZeroCrossingIntervals[q];
  }
  mean_interval /= G;
  if (mean_interval > 0.0 && T > 0.0) out.frequency_mhz = 1000000.0 / (mean_interval * T);

  double residue = 0.0;
  for (int q = 0; q < G; ++q) {
    residue += k.ZeroCrossingIntervals[q] - mean_interval;
    k.ZeroCrossingIntervalResidues[q] = residue;
    k.ZeroCrossingIntervalRatio[q] =
        k.ZeroCrossingIntervals[q] == 0.0 ? 1.0 : mean_interval / k.ZeroCrossingIntervals[q];
  }

  k.ModuloZeroCrossingSegment.fill(0.0);
  k.ModuloResidualSegments.fill(0.0);
  k.ZeroCrossingMean.fill(0.0f);
  k.NbOfCrossingsInMean.fill(0);
  for (int i = 0; i < kInlCells; ++i) {
    const int n = k.NbOfZeroCrossings[i];
    if (n <= 0) {
      k.ZeroCrossingSegment[i] = 0.0;
      k.ZeroCrossingSigma[i] = 0.0;
      continue;
    }
    k.ZeroCrossingSegment[i] = static_cast<double>(k.ZeroCrossingSegmentSum[i]) / n;
    k.ModuloZeroCrossingSegment[i % kInlLines] += k.ZeroCrossingSegment[i] / 64.0;
    k.ZeroCrossingSigma[i] = spread(k.ZeroCrossingSquareSum[i], k.ZeroCrossingReducedSum[i], n);
    const int g = group_of(i, G);
    k.ZeroCrossingMean[g] += static_cast<float>(k.ZeroCrossingSegment[i]);
    k.NbOfCrossingsInMean[g] += 1;
  }
  for (int g = 0; g < G; ++g)
    if (k.NbOfCrossingsInMean[g] != 0) k.ZeroCrossingMean[g] /= k.NbOfCrossingsInMean[g];

  double running = 0.0;
  for (int i = 0; i < kInlCells; ++i) {
    const double mean = k.ZeroCrossingMean[group_of(i, G)];
    running += k.ZeroCrossingSegment[i] - mean;
    // A group without crossings has no scale: its residue is 0.
    k.ZeroCrossingSegmentResidue[i] = mean != 0.0 ? running / mean : 0.0;
  }

  if (!o.use_interval_ratio) k.ZeroCrossingIntervalRatio.fill(1.0);

  const int offset = ((o.cell_offset % kInlCells) + kInlCells) % kInlCells;
  double inl = 0.0;
  for (int i = 0; i < kInlCells; ++i) {
    const int g = group_of(i, G);
    const double mean = k.ZeroCrossingMean[g];
    const int shifted = (i - offset + kInlCells) % kInlCells;
    // A group whose cells saw no crossing is taken at its nominal width.
    const double dnl =
        mean != 0.0 ? k.ZeroCrossingIntervalRatio[g] * k.ZeroCrossingSegment[shifted] / mean : 1.0;
    k.GlobalTimeDNL[i] = dnl * T;
    inl += dnl - 1.0;
    k.ResidualSegments[i] = inl;
  }

  for (int i = 0; i < kInlCells; ++i) {
    const double mean = k.ZeroCrossingMean[group_of(i, G)];
    if (mean != 0.0) k.ZeroCrossingSigma[i] *= T / mean;
    k.ResidualSegments[i] *= T;
    k.ModuloResidualSegments[i % kInlLines] += k.ResidualSegments[i] / 64.0;
  }
  for (int q = 0; q < G; ++q) k.ZeroCrossingIntervalResidues[q] *= T;

  out.inl_rms_ps = StdDev(std::span<const double>(k.ResidualSegments)).sigma;
  out.mean_segment_mv =
      Mean(std::span<const double>(k.ModuloZeroCrossingSegment)) * 0.00061 * 1000.0;
  out.dnl_rms_ps = StdDev(std::span<const double>(k.GlobalTimeDNL)).sigma;
  return out;
}

std::string Inl_ChannelRefusal(const InlChannelCalibration& k, const InlSummary& s,
                               const InlComputeOptions& o) {
  const int G = Inl_GroupCount(o.groups);
  const int cells_per_group = kInlCells / G;
  for (int g = 0; g < G; ++g)
    if (k.NbOfCrossingsInMean[g] == 0)
      return format_text(
          "no rising crossing of the threshold in cells %d to %d: no sine at the input, "
          "or a threshold outside its swing",
          g * cells_per_group, (g + 1) * cells_per_group - 1);
  const double period_cells = kCellsPerPeriod * (kInlMaxGroups / G);
  const double expected_mhz = 1000000.0 / (period_cells * o.period_ps);
  if (s.frequency_mhz <= 0.0)
    return "no interval between successive rising crossings was measured: no sine at the input";
  if (std::fabs(s.frequency_mhz - expected_mhz) > kFrequencyTolerance * expected_mhz)
    return format_text(
        "the input's frequency is %.3f MHz where the analysis needs a sine of %.3f MHz "
        "(%.0f cells per period)",
        s.frequency_mhz, expected_mhz, period_cells);
  if (!(s.inl_rms_ps < o.period_ps))
    return format_text("an INL of %.1f ps rms, more than a whole cell (%.1f ps)", s.inl_rms_ps,
                       o.period_ps);
  return {};
}

void Compute_INLCalibration(BoardLink& st, Settings& settings, FrontEndLinks& links) {
  InlComputeOptions o;
  o.groups = settings.acq.INLNbOfSegments;
  o.period_ps = Get_SamplingPeriod(settings);
  o.use_interval_ratio = settings.acq.INLUseIntervalRatio != 0;
  o.cell_offset = settings.acq.INLCellOffset;
  bool usable = true;
  int channels = 0;
  st.inl.measured.fill(false);
  for (int b = 0; b < board_blocks(settings); ++b) {
    for (int c = 0; c < kChannelsPerBlock; ++c) {
      if (!channel_enabled(settings.gui, b, c)) continue;
      ++channels;
      st.inl.measured[kChannelsPerBlock * b + c] = true;
      const InlSummary s = Compute_INLChannel(st.inl.at(b, c), o);
      const int ch = kChannelsPerBlock * b + c;
      Write_InfoMessage(links.log,
                        format_text("Frequency measured for the calibration SineWave: %9.6f MHz.\n",
                                    s.frequency_mhz),
                        kInfo);
      Write_InfoMessage(links.log,
                        format_text("Global INL of ch%d: rms = %f ps rms.\n", ch, s.inl_rms_ps),
                        kInfo);
      Write_InfoMessage(
          links.log, format_text("Mean of Segments for channel[%d] = %f.\n", ch, s.mean_segment_mv),
          kInfo);
      Write_InfoMessage(links.log,
                        format_text("Global DNL of ch%d: rms = %f ps rms.\n", ch, s.dnl_rms_ps),
                        kInfo);
      const std::string refusal = Inl_ChannelRefusal(st.inl.at(b, c), s, o);
      if (refusal.empty()) continue;
      usable = false;
      Write_InfoMessage(
          links.log,
          format_text("ERROR: INL calibration of ch%d refused: %s.\n", ch, refusal.c_str()),
          kError);
    }
  }
  if (st.NbOfCommunicatonErrors.load() != st.inl.communication_errors_at_start) {
    usable = false;
    Write_InfoMessage(
        links.log,
        "ERROR: INL calibration refused: a communication error with the board during the run.\n",
        kError);
  }
  st.inl.usable = usable && channels > 0;
  if (!st.inl.usable) st.inl.measured.fill(false);
  if (!st.inl.usable)
    Write_InfoMessage(links.log,
                      "Nothing of this INL calibration can be saved; the INL tables in use are "
                      "unchanged.\n",
                      kInfo);
  st.inl.computed = true;
  Compute_LinearityHistos(links);
}

void Compute_LinearityHistos(FrontEndLinks& st) {
  st.ui.post([&st] { st.ui.refresh_panel(Panel::InlCalibration); });
}

bool Save_INL_In_Array(BoardLink& st, Settings& settings, MessageLog& log, int block) {
  if (block < 0 || block >= kMaxSamBlocks) return false;
  if (!st.inl.usable) {
    Write_InfoMessage(log,
                      "ERROR: INL values not saved: the last INL calibration run was refused or "
                      "none was made (see its messages). The INL tables are unchanged.\n",
                      kError);
    return false;
  }
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    if (!channel_enabled(settings.gui, block, c)) continue;
    const int ch = kChannelsPerBlock * block + c;
    if (!st.inl.measured[ch]) {
      Write_InfoMessage(
          log,
          format_text("ERROR: INL values of ch%d not saved: the last INL calibration run "
                      "did not measure it (it was switched off). Its INL table is "
                      "unchanged.\n",
                      ch),
          kError);
      continue;
    }
    st.calib.TimePedestals[block][c] = st.inl.at(block, c).ResidualSegments;
    st.calib.TimePedestalsHeld[block][c] = true;
  }
  return true;
}

}  // namespace vx
