#include "analysis/rate_measurement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/message_log.h"
#include "digitizer/board_configuration.h"

namespace vx {

namespace {

int channels_of(const SystemParams& sys) {
  const int n = 2 * sys.NbOfSAMBlocks;
  return n < 0 ? 0 : (n > kMaxChannels ? kMaxChannels : n);
}

// The displayed texts belong to the user-interface thread: the acquisition thread queues one
// copy at a time.
void post_texts(RunState& st, Indicators& indicators, FrontEndLinks& links) {
  if (st.rates.TextUpdatePosted.exchange(true)) return;
  links.ui.post([&st, &indicators] {
    st.rates.TextUpdatePosted = false;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
      const int unit = st.rates.TriggerRateUnit[ch].load();
      if (unit == 0) continue;
      RateEstimate rate;
      rate.hz = st.rates.RawTriggerRate[ch].load();
      rate.error_hz = st.rates.RawTriggerRateError[ch].load();
      rate.valid = true;
      const RateText text = Format_Rate(rate);
      indicators.TriggerRateText[ch] = text.value;
      indicators.TriggerRateUnit[ch] = text.unit;
    }
  });
}

}  // namespace

ShownRate Scale_Rate(float r) {
  if (r >= 1.0f) return {r, 3};
  if (r >= 0.001f) return {r * 1000.0f, 2};
  return {r * 1000000.0f, 1};
}

RateEstimate Rate_FromCounts(std::int64_t hits, double microseconds) {
  RateEstimate r;
  if (!(microseconds > 0.0) || hits < 0) return r;
  r.hz = static_cast<double>(hits) * 1e6 / microseconds;
  r.error_hz = std::sqrt(static_cast<double>(std::max<std::int64_t>(hits, 1))) * 1e6 / microseconds;
  r.valid = std::isfinite(r.hz) && std::isfinite(r.error_hz);
  return r;
}

namespace {

// Power of ten of the last of `digits` significant digits of v > 0.
int last_digit_place(double v, int digits) {
  return static_cast<int>(std::floor(std::log10(v))) - (digits - 1);
}

double rounded_at(double v, int place) {
  return std::round(v / std::pow(10.0, place)) * std::pow(10.0, place);
}

}  // namespace

RateText Format_Rate(const RateEstimate& rate) {
  if (!rate.valid || !(rate.hz >= 0.0) || !(rate.error_hz >= 0.0)) return {"-", ""};
  const bool has_error = rate.error_hz > 0.0;
  int place = has_error ? last_digit_place(rate.error_hz, 2) : 0;
  if (rate.hz > 0.0) {
    // Rounding may carry into one more digit (999.6 to 1000): place from the rounded value.
    int p3 = last_digit_place(rate.hz, 3);
    p3 = last_digit_place(rounded_at(rate.hz, p3), 3);
    place = has_error ? std::max(place, p3) : p3;
  }
  const double value = rounded_at(rate.hz, place);
  const int unit = value >= 1e6 ? 3 : value >= 1e3 ? 2 : 1;
  const int exponent = 3 * (unit - 1);
  const int decimals = std::max(exponent - place, 0);
  const double factor = std::pow(10.0, exponent);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f \u00B1 %.*f", decimals, value / factor, decimals,
                rounded_at(rate.error_hz, place) / factor);
  return {text, Rate_UnitText(unit)};
}

const char* Rate_UnitText(int unit) {
  switch (unit) {
    case 1:
      return " Hz";
    case 2:
      return "kHz";
    case 3:
      return "MHz";
    default:
      return "";
  }
}

void Init_RateMeasurement(RunState& st, Indicators& indicators) {
  RateData& r = st.rates;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    r.TimeSum[ch] = 0.0f;
    r.CountSum[ch] = 0;
    r.TrigRate[ch] = 0.0f;
    r.TriggerRateUnit[ch] = 0;
    r.RawTriggerRate[ch] = 0.0f;
    r.RawTriggerRateError[ch] = 0.0f;
    r.TotalCount[ch] = 0;
    r.TotalTime[ch] = 0.0;
  }
  indicators.RawTriggerRateOK = 0;
}

void Update_RateMeasurement(Indicators& st, RunState& run_state, FrontEndLinks& links,
                            const RunConfig& cfg, const DecodedEvent& event, int block) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  RateData& r = run_state.rates;
  bool updated = false;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    const int ch = 2 * block + c;
    if (cfg.gui.ChannelEnabled[ch] == 0) continue;
    r.TimeSum[ch] += event.TimeCount[block][c];
    r.CountSum[ch] += event.TrigCount[block][c];
    r.TotalTime[ch] += event.TimeCount[block][c];
    r.TotalCount[ch] += event.TrigCount[block][c];
    if (r.CountSum[ch] <= 99 && r.TimeSum[ch] < 65535.0f) continue;
    // Hits counted before any time has passed give no rate yet: keep summing.
    if (!(r.TimeSum[ch] > 0.0f)) continue;
    const float per_us = static_cast<float>(r.CountSum[ch]) / r.TimeSum[ch];
    r.RawTriggerRateError[ch] =
        static_cast<float>(Rate_FromCounts(r.CountSum[ch], r.TimeSum[ch]).error_hz);
    r.TimeSum[ch] = 0.0f;
    r.CountSum[ch] = 0;
    const ShownRate shown = Scale_Rate(per_us);
    r.TrigRate[ch] = shown.value;
    r.TriggerRateUnit[ch] = shown.unit;
    r.RawTriggerRate[ch] = per_us * 1000000.0f;
    st.TriggerRateForStripChart[ch] = static_cast<double>(per_us) * 1000000.0;
    updated = true;
  }
  if (!updated) return;
  post_texts(run_state, st, links);
  st.RawTriggerRateOK = 1;
}

void Enable_RateMeasurement(RunState& st, Settings& settings, FrontEndLinks& links, bool on) {
  settings.RateMeasurementOn().store(on ? 1 : 0);
  if (!on) return;
  const char* text =
      "Trigger Rates are measured on the input channels with respect to the specified thresholds "
      "in the TRIGGER TAB menu!\n";
  Write_InfoMessage(links.log, text, kInfo);
  if (!st.rates.RateInfoShown) links.ui.popup(PopupKind::Information, "INFO", text);
  st.rates.RateInfoShown = true;
}

void Select_RateStripChartChannel(Settings& st, FrontEndLinks& links, int channel) {
  if (channel < -1 || channel >= kMaxChannels) return;
  st.gui.RateStripChartChannel = channel;
  links.ui.refresh_panel(Panel::Rates);  // the panel clears its strip chart
}

void Set_TrigCountVeto(Settings& st, BoardLink& link, int channel, int enable, int window_ns) {
  if (channel < -1 || channel >= channels_of(st.sys)) return;
  if (window_ns < 0) window_ns = 0;
  const int stored = window_ns / 5 > 0xFFFF ? 0xFFFF : window_ns / 5;
  const int first = channel < 0 ? 0 : channel;
  const int last = channel < 0 ? channels_of(st.sys) : channel + 1;
  for (int ch = first; ch < last; ++ch) {
    st.sam[ch / 2].TrigCountVetoEnable[ch % 2] = enable != 0 ? 1 : 0;
    st.sam[ch / 2].TrigCountVetoWindow[ch % 2] = static_cast<std::uint16_t>(stored);
  }
  Set_TrigCountParameters(st, link, channel);
}

}  // namespace vx
