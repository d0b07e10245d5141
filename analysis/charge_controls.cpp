#include "analysis/charge_controls.h"

#include <algorithm>
#include <cmath>

#include "analysis/charge.h"
#include "analysis/histo_ranges.h"
#include "analysis/measurement_context.h"
#include "app/register_images.h"
#include "digitizer/board_configuration.h"

namespace vx {

namespace {

constexpr std::uint32_t kThresholdMask = 0x7FFFFF;  // 23 bits
constexpr double kPointsPerSample = 10.0;           // the main graph's spline display

bool valid_channel(int channel) {
  return channel >= 0 && channel < kMaxChannels;
}

SAMBlockParams& block_of(SamBlocks& sam, int channel) {
  return sam[channel / kChannelsPerBlock];
}

int record_length(const SystemParams& sys) {
  return std::clamp(static_cast<int>(sys.RecordLength), 0, kMaxSamples);
}

int sample_at(double x, double shift) {
  return static_cast<int>(std::lround((x - shift) / kPointsPerSample));
}

bool software_mode(const AcqParams& acq) {
  return acq.EnSoftwareChargeHisto == 1;
}

}  // namespace

double Charge_WindowNs(const Settings& st, int length) {
  return length * static_cast<double>(Measurement_SamplingPeriodPs(st.sam)) / 1000.0;
}

bool Set_ChargeStart(Settings& st, int channel, int start) {
  const int n = record_length(st.sys);
  // A window of one sample must still fit after the start.
  if (!valid_channel(channel) || start < 1 || start + 1 >= n - 1) return false;
  SAMBlockParams& blk = block_of(st.sam, channel);
  const int c = channel % kChannelsPerBlock;
  blk.ChargeStartIndex[c] = start;
  if (start + blk.ChargeLength[c] >= n - 1)
    blk.ChargeLength[c] = static_cast<std::uint16_t>(n - 2 - start);
  return true;
}

bool Set_ChargeLength(Settings& st, int channel, int length) {
  if (!valid_channel(channel) || length < 1) return false;
  SAMBlockParams& blk = block_of(st.sam, channel);
  const int c = channel % kChannelsPerBlock;
  if (static_cast<long long>(length) + blk.ChargeStartIndex[c] >= record_length(st.sys) - 1)
    return false;
  blk.ChargeLength[c] = static_cast<std::uint16_t>(length);
  return true;
}

std::int32_t Charge_ThresholdValue(double pc, double period_ps) {
  const double raw = pc * 50.0 / (period_ps * kVoltsPerAdcCount / 1000.0);
  // Anything beyond 32 bits is already past the register's 23: keep the conversion defined.
  const double bounded = std::isfinite(raw) ? std::clamp(raw, -2147483648.0, 2147483647.0) : 0.0;
  const auto whole = static_cast<std::int64_t>(std::trunc(bounded));
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(whole) & kThresholdMask);
}

double Charge_ThresholdShown(std::int32_t value, double period_ps) {
  return value * (kVoltsPerAdcCount * period_ps / 1000.0) / 50.0;
}

void Set_ChargeThreshold(Settings& st, int channel, bool enabled, double pc) {
  if (!valid_channel(channel)) return;
  SAMBlockParams& blk = block_of(st.sam, channel);
  const int c = channel % kChannelsPerBlock;
  blk.ChargeThresholdFlag[c] = enabled ? 1 : 0;
  blk.ChargeThresholdVolts[c] = static_cast<float>(pc);
  blk.ChargeThreshold[c] = Charge_ThresholdValue(pc, Measurement_SamplingPeriodPs(st.sam));
  Build_ChargeThresholdRegs(blk);
}

void Set_ChargeSuppressBaseline(Settings& st, bool on) {
  for (auto& blk : st.sam) blk.ChargeNoBaseline = on ? 0 : 1;
}

void Apply_ChargeParamsToAll(Settings& st, int channel) {
  if (!valid_channel(channel)) return;
  const SAMBlockParams from = block_of(st.sam, channel);
  const int c = channel % kChannelsPerBlock;
  for (auto& blk : st.sam) {
    for (int k = 0; k < kChannelsPerBlock; ++k) {
      blk.ChargeStartIndex[k] = from.ChargeStartIndex[c];
      blk.ChargeLength[k] = from.ChargeLength[c];
      blk.ChargeThresholdFlag[k] = from.ChargeThresholdFlag[c];
      blk.ChargeThresholdVolts[k] = from.ChargeThresholdVolts[c];
      blk.ChargeThreshold[k] = from.ChargeThreshold[c];
    }
    Build_ChargeThresholdRegs(blk);
  }
}

void Send_ChargeParamsToBoard(BoardPort port) {
  const int blocks = board_blocks(port);
  for (int b = 0; b < blocks; ++b) Build_RegisterImages(port.settings.sam[b], port.settings.sys);
  if (port.link.Board_Connected.load() != 1) return;
  Set_ChargeModeParameters(port);
  // The control word carries the baseline bit.
  Load_HardwareSetup(port, 12, -1);
}

ChargeCursorX Charge_CursorsForWindow(int start, int length, double shift) {
  const double p = kPointsPerSample;
  return {start * p + shift, (start + length) * p - p + shift};
}

ChargeCursorX Snap_ChargeCursors(ChargeCursorX at, double shift, int samples) {
  const int last = std::max(samples - 1, 2);
  const int s1 = std::clamp(sample_at(at.x1, shift), 1, last - 1);
  const int s2 = std::clamp(sample_at(at.x2, shift), s1 + 1, last);
  return Charge_CursorsForWindow(s1, s2 - s1 + 1, shift);
}

bool Validate_ChargeCursors(Settings& st, int channel, ChargeCursorX at, double shift) {
  if (!valid_channel(channel)) return false;
  const int s1 = sample_at(at.x1, shift), s2 = sample_at(at.x2, shift);
  const int start = std::min(s1, s2);
  const int length = std::abs(s2 - s1) + 1;
  SAMBlockParams& blk = block_of(st.sam, channel);
  const int c = channel % kChannelsPerBlock;
  if (start < 1 || static_cast<long long>(start) + length >= record_length(st.sys) - 1)
    return false;
  blk.ChargeStartIndex[c] = start;
  blk.ChargeLength[c] = static_cast<std::uint16_t>(length);
  return true;
}

void Rebuild_SoftwareChargeHisto(Settings& st, RunState& run_state, FrontEndLinks& links) {
  if (!software_mode(st.acq) || run_state.AcquisitionRunning.load() == 1) return;
  Compute_SoftwareChargeHisto(run_state, links.log, Freeze_RunConfig(st));
  Plot_ChargeHisto(links);
}

void Set_ChargeHistoBins(Settings& st, RunState& run_state, FrontEndLinks& links, int bins) {
  st.gui.ChargeHistoNbOfBins = std::clamp(bins, 1, kMaxChargeHistoBins);
  Rebuild_SoftwareChargeHisto(st, run_state, links);
}

void Set_ChargeCut(Settings& st, RunState& run_state, FrontEndLinks& links, int channel, bool on) {
  if (!valid_channel(channel)) return;
  st.acq.ChargeCutEnabled[channel / kChannelsPerBlock][channel % kChannelsPerBlock] = on ? 1 : 0;
  Rebuild_SoftwareChargeHisto(st, run_state, links);
}

bool Set_ChargeHistoRange(Settings& st, RunState& run_state, FrontEndLinks& links, int channel,
                          double min, double max) {
  if (!valid_channel(channel) || !(min < max)) return false;
  const int b = channel / kChannelsPerBlock, c = channel % kChannelsPerBlock;
  st.acq.ChargeHistoMin[b][c] = static_cast<float>(min);
  st.acq.ChargeHistoMax[b][c] = static_cast<float>(max);
  // The histograms are the run's: a running loop keeps its range, and the records' new one is
  // the next run's. Stopped (between runs, or held by a settings restart), the run takes it.
  if (run_state.AcquisitionRunning.load() == 0)
    run_state.meas.ChargeRange[b][c] = Charge_RangeOf(st.acq, b, c);
  Rebuild_SoftwareChargeHisto(st, run_state, links);
  return true;
}

void Set_ChargeRangeAuto(Settings& st, bool on) {
  st.acq.ChargeRangeAuto = on ? 1 : 0;
}

void Request_ChargeHistoReset(RunState& st) {
  st.meas.ResetChargeHisto.store(1);
}

ChargeHistoView Charge_HistoView(const Settings& st, const RunState& run_state, int channel) {
  ChargeHistoView v;
  if (!valid_channel(channel)) return v;
  const int b = channel / kChannelsPerBlock, c = channel % kChannelsPerBlock;
  const int bins = std::clamp(static_cast<int>(st.gui.ChargeHistoNbOfBins), 1, kMaxChargeHistoBins);
  const MeasurementData& m = run_state.meas;
  v.channel = channel;
  v.axis.assign(m.ChargeDataAxis[b][c].begin(), m.ChargeDataAxis[b][c].begin() + bins);
  v.counts.assign(m.ChargeDataDistri[b][c].begin(), m.ChargeDataDistri[b][c].begin() + bins);
  for (double n : v.counts) v.entries += static_cast<std::int64_t>(n);
  v.mean = m.ChargeMean[b][c];
  v.sigma = m.ChargeSigma[b][c];
  v.min = m.MinChargeValue[b][c];
  v.max = m.MaxChargeValue[b][c];
  v.range_min = m.ChargeRange[b][c].min;
  v.range_max = m.ChargeRange[b][c].max;
  v.cut = st.acq.ChargeCutEnabled[b][c] == 1;
  return v;
}

}  // namespace vx
