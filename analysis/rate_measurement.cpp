#include "analysis/rate_measurement.h"

#include <cstdio>

#include "app/message_log.h"
#include "digitizer/board_configuration.h"

namespace vx {

namespace {

int channels_of(const State& st) {
  const int n = 2 * st.sys.NbOfSAMBlocks;
  return n < 0 ? 0 : (n > kMaxChannels ? kMaxChannels : n);
}

// The displayed texts belong to the user-interface thread: the acquisition thread queues one
// copy at a time.
void post_texts(State& st) {
  if (st.rates.TextUpdatePosted.exchange(true)) return;
  st.ui.post([&st] {
    st.rates.TextUpdatePosted = false;
    for (int ch = 0; ch < kMaxChannels; ++ch) {
      const int unit = st.rates.TriggerRateUnit[ch].load();
      if (unit == 0) continue;
      char text[32];
      std::snprintf(text, sizeof text, "%.1f", static_cast<double>(st.rates.TrigRate[ch].load()));
      st.TriggerRateText[ch] = text;
      st.TriggerRateUnit[ch] = Rate_UnitText(unit);
    }
  });
}

}  // namespace

ShownRate Scale_Rate(float r) {
  if (r >= 1.0f) return {r, 3};
  if (r >= 0.001f) return {r * 1000.0f, 2};
  return {r * 1000000.0f, 1};
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

void Init_RateMeasurement(State& st) {
  RateData& r = st.rates;
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    r.TimeSum[ch] = 0.0f;
    r.CountSum[ch] = 0;
    r.TrigRate[ch] = 0.0f;
    r.TriggerRateUnit[ch] = 0;
    r.RawTriggerRate[ch] = 0.0f;
    r.TotalCount[ch] = 0;
    r.TotalTime[ch] = 0.0;
  }
  st.RawTriggerRateOK = 0;
}

void Update_RateMeasurement(State& st, int block) {
  if (block < 0 || block >= kMaxSamBlocks) return;
  RateData& r = st.rates;
  bool updated = false;
  for (int c = 0; c < kChannelsPerBlock; ++c) {
    const int ch = 2 * block + c;
    if (st.gui.ChannelEnabled[ch] == 0) continue;
    r.TimeSum[ch] += st.event.TimeCount[block][c];
    r.CountSum[ch] += st.event.TrigCount[block][c];
    r.TotalTime[ch] += st.event.TimeCount[block][c];
    r.TotalCount[ch] += st.event.TrigCount[block][c];
    if (r.CountSum[ch] <= 99 && r.TimeSum[ch] < 65535.0f) continue;
    // Hits counted before any time has passed give no rate yet: keep summing.
    if (!(r.TimeSum[ch] > 0.0f)) continue;
    const float per_us = static_cast<float>(r.CountSum[ch]) / r.TimeSum[ch];
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
  post_texts(st);
  st.RawTriggerRateOK = 1;
}

void Enable_RateMeasurement(State& st, bool on) {
  st.RateMeasurementOn().store(on ? 1 : 0);
  if (!on) return;
  const char* text =
      "Trigger Rates are measured on the input channels with respect to the specified thresholds "
      "in the TRIGGER TAB menu!\n";
  Write_InfoMessage(st, text, kInfo);
  if (!st.rates.RateInfoShown) st.ui.popup(PopupKind::Information, "INFO", text);
  st.rates.RateInfoShown = true;
}

void Select_RateStripChartChannel(State& st, int channel) {
  if (channel < -1 || channel >= kMaxChannels) return;
  st.gui.RateStripChartChannel = channel;
  st.ui.refresh_panel(Panel::Rates);  // the panel clears its strip chart
}

void Set_TrigCountVeto(State& st, int channel, int enable, int window_ns) {
  if (channel < -1 || channel >= channels_of(st)) return;
  if (window_ns < 0) window_ns = 0;
  const int stored = window_ns / 5 > 0xFFFF ? 0xFFFF : window_ns / 5;
  const int first = channel < 0 ? 0 : channel;
  const int last = channel < 0 ? channels_of(st) : channel + 1;
  for (int ch = first; ch < last; ++ch) {
    st.sam[ch / 2].TrigCountVetoEnable[ch % 2] = enable != 0 ? 1 : 0;
    st.sam[ch / 2].TrigCountVetoWindow[ch % 2] = static_cast<std::uint16_t>(stored);
  }
  Set_TrigCountParameters(st, channel);
}

}  // namespace vx
