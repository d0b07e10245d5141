#include "app/timer_tick.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/message_log.h"
#include "app/record_loan.h"

namespace vx {

namespace {

void update_connection_indicator(BoardLink& st, Indicators& indicators, FrontEndLinks& links) {
  if (st.Connecting.load() == 1) {
    st.SavedConnecting = 1;
    links.ui.set_text(Field::ConnectionLabel, -1, "Connecting...");
    indicators.ConnectionLedOn = !indicators.ConnectionLedOn;
    links.ui.set_led(Led::Connection, indicators.ConnectionLedOn);
    return;
  }
  links.ui.set_text(Field::ConnectionLabel, -1, "Connected");
  if (st.SavedConnecting.load() == 1) {
    st.SavedConnecting = 0;
    indicators.ConnectionLedOn = st.Board_Connected.load() == 1;
    links.ui.set_led(Led::Connection, indicators.ConnectionLedOn);
  }
}

void update_scan_indicator(Indicators& st, RunState& run_state, FrontEndLinks& links) {
  st.ScanLedOn = run_state.RateScanRunning.load() == 1 ? !st.ScanLedOn : false;
  links.ui.set_led(Led::RateScanRunning, st.ScanLedOn);
}

// One point per trace: every channel of the board, or the one selected channel.
template <typename T>
void plot_channels(Settings& st, FrontEndLinks& links, StripChart chart, int selected,
                   const T& values) {
  std::vector<double> points;
  if (selected == -1) {
    for (int ch = 0; ch < st.sys.NbOfChannels && ch < kMaxChannels; ++ch)
      points.push_back(values[ch].load());
  } else if (selected >= 0 && selected < kMaxChannels) {
    points.push_back(values[selected].load());
  }
  links.ui.plot_strip_chart(chart, Run_Seconds(st, links), points);
}

std::string format_rate(float rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", rate);
  return text;
}

void every_second_tick(State& st) {
  // The first rate of a run counts from its start, not from the timer's origin or from the
  // last tick of the run before.
  if (st.FormerTimer <= st.acq.RunStartTime) {
    st.FormerTimer = st.acq.RunStartTime;
    st.FormerEventNumber = st.FirstEventNumber.load();
  }
  st.CurrentTimer = st.clock.now();
  const std::int32_t events = st.EventNumber.load();
  const double dt = st.CurrentTimer - st.FormerTimer;
  st.EventRate =
      dt > 0.0 ? static_cast<float>(events - st.FormerEventNumber) / static_cast<float>(dt) : 0.0f;
  st.FormerEventNumber = events;
  st.FormerTimer = st.CurrentTimer;
  if (events != 0) st.ui.set_text(Field::EventRate, -1, format_rate(st.EventRate));

  if (st.gui.NoiseMeasurementOn != 0)
    plot_channels(st, st, StripChart::Noise, st.gui.NoiseStripChartChannel,
                  st.MeanSigmaForStripChart);
  if (st.gui.RateMeasurementOn != 0 && st.RawTriggerRateOK.load() == 1) {
    plot_channels(st, st, StripChart::Rate, st.gui.RateStripChartChannel,
                  st.TriggerRateForStripChart);
    for (int ch = 0; ch < st.sys.NbOfChannels && ch < kMaxChannels; ++ch) {
      if (st.gui.ChannelEnabled[ch] == 0) continue;
      // A channel without a rate of this run yet shows none, as before the run.
      const std::string& rate = st.TriggerRateText[ch];
      st.ui.set_text(Field::ChannelRate, ch, rate.empty() ? std::string("-") : rate);
      st.ui.set_text(Field::ChannelRateUnit, ch, st.TriggerRateUnit[ch]);
    }
    st.RawTriggerRateOK = 0;
  }
  st.ui.set_colour(Field::EventNumber, kCounterLight);
  st.ui.set_led(Led::Run, true);
  st.EventNumberColor = 0;
}

}  // namespace

double Run_Seconds(Settings& st, FrontEndLinks& links) {
  return std::max(links.clock.now() - st.acq.RunStartTime, 0.0);
}

AxisWindow Strip_ChartWindow(double latest_seconds, double span) {
  if (!(latest_seconds > span)) return {0.0, span};
  return {latest_seconds - span, latest_seconds};
}

void Update_RunElapsedTime(Settings& st, FrontEndLinks& links) {
  const int s = st.acq.RunElapsedTime;
  const int days = s / 86400;
  const int hours = (s % 86400) / 3600;
  const int minutes = (s % 86400 - 3600 * hours) / 60;
  const int seconds = s - 86400 * days - 3600 * hours - 60 * minutes;
  links.ui.set_text(Field::RunElapsedTime, 0, std::to_string(days));
  links.ui.set_text(Field::RunElapsedTime, 1, std::to_string(hours));
  links.ui.set_text(Field::RunElapsedTime, 2, std::to_string(minutes));
  links.ui.set_text(Field::RunElapsedTime, 3, std::to_string(seconds));
}

void Update_RunTotals(State& st) {
  const double seconds = std::max(st.clock.now() - st.acq.RunStartTime, 0.0);
  st.acq.RunElapsedTime = static_cast<std::int32_t>(seconds);
  Update_RunElapsedTime(st, st);
  const std::int32_t events = st.EventNumber.load() - st.FirstEventNumber.load();
  st.EventRate = seconds > 0.0 ? static_cast<float>(events / seconds) : 0.0f;
  st.ui.set_text(Field::EventRate, -1, format_rate(st.EventRate));
}

void TimerCB(State& st) {
  update_connection_indicator(st, st, st);
  update_scan_indicator(st, st, st);
  if (st.hooks.serve_remote_requests) st.hooks.serve_remote_requests();

  // A run's loop only reads the records, so the tick may too; no run is on while a worker
  // holds them.
  if (st.AcquisitionRunning.load() == 1 && !Records_Lent(st)) {
    st.acq.RunElapsedTime = static_cast<std::int32_t>(st.clock.now() - st.acq.RunStartTime);
    Update_RunElapsedTime(st, st);
    if (st.acq.RunType == kRunFiniteTime && st.acq.RunElapsedTime >= st.acq.RunDuration)
      st.request_run_end();
    if (st.EventNumberColor == 1) {
      every_second_tick(st);
    } else {
      st.ui.set_colour(Field::EventNumber, kCounterDark);
      st.ui.set_led(Led::Run, false);
      st.EventNumberColor = 1;
    }
  } else {
    st.FormerTimer = st.CurrentTimer = 0.0;
    st.FormerEventNumber = 0;
    st.ui.set_colour(Field::EventNumber, kCounterLight);
    st.ui.set_led(Led::Run, false);
  }
}

}  // namespace vx
