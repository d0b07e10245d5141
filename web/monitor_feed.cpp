#include "web/monitor_feed.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "app/message_sink.h"

namespace vx {

namespace {

using nlohmann::json;

json number_or_null(const std::optional<double>& v) {
  if (!v || !std::isfinite(*v)) return nullptr;
  return *v;
}

// To `per_unit`ths (volts to a tenth of a millivolt: 1e4), the double nearest that decimal,
// which prints short.
double rounded(double v, double per_unit) {
  return std::round(v * per_unit) / per_unit;
}

json header(std::uint64_t snapshot, double time) {
  return json{{"version", kMonitorApiVersion}, {"snapshot", snapshot}, {"time", time}};
}

const char* state_name(MonitorRunState s) {
  switch (s) {
    case MonitorRunState::Running:
      return "running";
    case MonitorRunState::Stopping:
      return "stopping";
    case MonitorRunState::Idle:
      break;
  }
  return "idle";
}

const char* run_type_name(int run_type) {
  switch (run_type) {
    case kRunSingleEvent:
      return "single event";
    case kRunFiniteEvents:
      return "finite events";
    case kRunFiniteTime:
      return "finite time";
    default:
      return "continuous";
  }
}

const char* level_name(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return "warning";
    case MessageKind::Error:
      return "error";
    case MessageKind::Information:
      break;
  }
  return "info";
}

std::string colour_text(Rgb c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
  return text;
}

json histogram_json(const HistogramCopy& h) {
  json counts = json::array();
  for (std::int64_t n : h.counts) counts.push_back(n);
  json centres = json::array();
  for (double x : h.centres) centres.push_back(rounded(x, 1e6));
  const json width = h.centres.size() >= 2 ? json(h.centres[1] - h.centres[0]) : json(nullptr);
  return json{{"centres", std::move(centres)},
              {"bin_width", width},
              {"counts", std::move(counts)},
              {"entries", h.entries},
              {"mean", number_or_null(h.mean)}};
}

}  // namespace

void MonitorFeed::publish_status(const StatusCopy& status, const BoardCopy* board,
                                 const ChannelValues& values, double now) {
  auto s = std::make_shared<StatusCopy>(status);
  auto v = std::make_shared<ChannelValues>(values);
  auto b = board != nullptr ? std::make_shared<BoardCopy>(*board) : nullptr;
  std::lock_guard lock(mutex_);
  // Idle, the status shows the last run's time.
  if (s->state != MonitorRunState::Idle)
    last_elapsed_ = s->elapsed_s;
  else
    s->elapsed_s = last_elapsed_;
  // A second since the last point: the history takes this one.
  if (history_->times.empty() || now - history_->times.back() >= 1.0) {
    auto h = std::make_shared<History>(*history_);
    h->times.push_back(now);
    for (int ch = 0; ch < kMaxChannels; ++ch) h->rates[ch].push_back(v->rate_hz[ch]);
    if (h->times.size() > kRateHistoryPoints) {
      h->times.pop_front();
      for (auto& r : h->rates) r.pop_front();
    }
    history_ = std::move(h);
  }
  status_ = std::move(s);
  values_ = std::move(v);
  if (b) board_ = std::move(b);
  status_at_ = {++snapshots_, now};
}

void MonitorFeed::publish_event(EventCopy event, double now) {
  std::lock_guard lock(mutex_);
  // Histograms alone: the event shown stays the one before.
  if (!event.has_event && event_) {
    event.has_event = event_->has_event;
    event.event_number = event_->event_number;
    event.event_time_s = event_->event_time_s;
    event.waveforms = event_->waveforms;
  }
  auto e = std::make_shared<const EventCopy>(std::move(event));
  event_ = std::move(e);
  event_at_ = {++snapshots_, now};
}

bool MonitorFeed::event_due(double now, double interval) {
  std::lock_guard lock(mutex_);
  if (now < next_event_due_) return false;
  next_event_due_ = now + interval;
  return true;
}

std::uint64_t MonitorFeed::source_snapshot(MonitorAnswer which) const {
  switch (which) {
    case MonitorAnswer::Status:  // with the event's saving counts and replayed file
      return std::max(status_at_.snapshot, event_at_.snapshot);
    case MonitorAnswer::Event:
    case MonitorAnswer::Histograms:
      return event_at_.snapshot;
    case MonitorAnswer::Board:
    case MonitorAnswer::Rates:
      break;
  }
  return status_at_.snapshot;
}

std::shared_ptr<const std::string> MonitorFeed::answer(MonitorAnswer which) {
  const auto k = static_cast<std::size_t>(which);
  const auto cached = [&]() -> std::shared_ptr<const std::string> {
    std::lock_guard lock(mutex_);
    if (cache_[k].text && cache_[k].snapshot == source_snapshot(which)) return cache_[k].text;
    return nullptr;
  };
  if (auto text = cached()) return text;
  // One thread makes it; the others wait for it and take what it made.
  std::lock_guard making(making_[k]);
  if (auto text = cached()) return text;

  Sources src;
  {
    std::lock_guard lock(mutex_);
    src = {
        source_snapshot(which), status_, board_, values_, event_, history_, status_at_, event_at_};
  }
  auto text = std::make_shared<const std::string>(make(which, src));
  std::lock_guard lock(mutex_);
  cache_[k] = {src.snapshot, text};
  return text;
}

std::string MonitorFeed::make(MonitorAnswer which, const Sources& src) {
  const double time = std::max(src.status_at.time, src.event_at.time);
  json j = header(src.snapshot, time);
  const EventCopy none;
  const EventCopy& ev = src.event ? *src.event : none;
  switch (which) {
    case MonitorAnswer::Status: {
      const StatusCopy& s = *src.status;
      j["state"] = state_name(s.state);
      j["run_type"] = run_type_name(s.run_type);
      j["replay"] = s.replay;
      j["events_required"] = s.events_required;
      j["duration_s"] = s.duration_s;
      j["run_directory"] = s.run_directory;
      j["data_file"] = s.replay ? ev.replay_file : s.data_file;
      j["elapsed_s"] = s.elapsed_s;
      j["events"] = s.events;
      j["event_number"] = s.event_number;
      j["mean_rate_hz"] =
          s.elapsed_s > 0.0 ? json(static_cast<double>(s.events) / s.elapsed_s) : json(nullptr);
      j["rate_hz"] = s.rate_hz;
      j["bytes_saved"] = s.bytes_saved;
      j["saving_queue_waits"] = ev.saving_queue_waits;
      j["saving_queue_wait_s"] = ev.saving_queue_wait_s;
      j["connected"] = s.connected;
      break;
    }
    case MonitorAnswer::Board: {
      const BoardCopy& b = *src.board;
      j["connected"] = b.connected;
      j["model"] = b.model;
      j["form_factor"] = b.link;
      j["serial"] = b.board_serial;
      j["channels"] = b.channels;
      j["sampling_mhz"] = b.sampling_mhz;
      j["samples"] = b.samples;
      j["inl_correction"] = b.inl_correction;
      j["trigger_dac_offsets_measured"] = b.trigger_dac_offsets_measured;
      j["firmware"] = {{"motherboard", b.motherboard_firmware},
                       {"daughterboard", b.daughterboard_firmware}};
      json blocks = json::array();
      for (std::size_t k = 0; k < b.blocks.size(); ++k) {
        const BlockCopy& x = b.blocks[k];
        blocks.push_back({{"block", k},
                          {"serial", x.serial},
                          {"pedestals_held", x.pedestals_held},
                          {"pedestals_in_use", x.pedestals_in_use},
                          {"inl_held", x.inl_held},
                          {"sam_dac_held", x.sam_dac_held}});
      }
      j["blocks"] = std::move(blocks);
      json colours = json::array(), enabled = json::array();
      for (int ch = 0; ch < kMaxChannels; ++ch) {
        colours.push_back(colour_text(b.colours[ch]));
        enabled.push_back(b.enabled[ch]);
      }
      j["channel_colours"] = std::move(colours);
      j["channel_enabled"] = std::move(enabled);
      break;
    }
    case MonitorAnswer::Event: {
      j["event_number"] = ev.event_number ? json(*ev.event_number) : json(nullptr);
      j["event_time_s"] = number_or_null(ev.event_time_s);
      j["unit"] = "V";
      j["time_unit"] = "ns";
      json channels = json::array();
      for (const WaveformCopy& w : ev.waveforms) {
        json min = json::array();
        for (float v : w.min) min.push_back(rounded(v, 1e4));
        json channel = {{"channel", w.channel}, {"t0_ns", w.t0_ns}, {"dt_ns", w.dt_ns}};
        // A record cut into bins sends each bin's highest sample too.
        if (w.min != w.max) {
          json max = json::array();
          for (float v : w.max) max.push_back(rounded(v, 1e4));
          channel["max"] = std::move(max);
        }
        channel["min"] = std::move(min);
        channels.push_back(std::move(channel));
      }
      j["channels"] = std::move(channels);
      break;
    }
    case MonitorAnswer::Rates: {
      const ChannelValues& v = *src.values;
      j["tracked"] = v.rates_tracked;
      json rates = json::array(), noise = json::array();
      for (int ch = 0; ch < v.channels; ++ch) {
        rates.push_back({{"channel", ch},
                         {"rate_hz", number_or_null(v.rate_hz[ch])},
                         {"error_hz", number_or_null(v.rate_error_hz[ch])}});
        noise.push_back({{"channel", ch}, {"mean_sigma_mv", number_or_null(v.mean_sigma_mv[ch])}});
      }
      j["channels"] = std::move(rates);
      const History& h = *src.history;
      json times = json::array(), history = json::array();
      for (double t : h.times) times.push_back(rounded(t, 1e3));
      for (int ch = 0; ch < v.channels; ++ch) {
        json points = json::array();
        for (const auto& r : h.rates[ch]) points.push_back(number_or_null(r));
        history.push_back(std::move(points));
      }
      j["history"] = {{"times", std::move(times)}, {"rates_hz", std::move(history)}};
      j["noise"] = {{"tracked", v.noise_tracked}, {"channels", std::move(noise)}};
      break;
    }
    case MonitorAnswer::Histograms: {
      json time = histogram_json(ev.time);
      time["shown"] = ev.time_histogram_shown;
      time["channels"] = {ev.time_channels[0], ev.time_channels[1]};
      time["unit"] = "ns";
      time["rms"] = number_or_null(ev.time.spread);
      time["fit"] = ev.time.fit_mean ? json{{"mean", *ev.time.fit_mean},
                                            {"sigma", number_or_null(ev.time.fit_sigma)}}
                                     : json(nullptr);
      j["time_difference"] = std::move(time);
      json charges = json::array();
      for (const HistogramCopy& h : ev.charges) {
        json c = histogram_json(h);
        c["channel"] = h.channel;
        c["unit"] = "pC";
        c["sigma"] = number_or_null(h.spread);
        charges.push_back(std::move(c));
      }
      j["charge"] = std::move(charges);
      j["charge_shown"] = ev.charge_histograms_shown;
      break;
    }
  }
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string MonitorFeed::messages(const MessageLog& log, std::uint64_t since) {
  json list = json::array();
  for (const LoggedMessage& m : log.recent(since))
    list.push_back(
        {{"seq", m.seq}, {"time", m.time}, {"level", level_name(m.kind)}, {"text", m.text}});
  std::uint64_t snapshot = 0;
  double time = 0.0;
  {
    std::lock_guard lock(mutex_);
    snapshot = snapshots_;
    time = std::max(status_at_.time, event_at_.time);
  }
  json j = header(snapshot, time);
  j["messages"] = std::move(list);
  // Text from anywhere (file names, the system's errors) may hold bytes that are not UTF-8.
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace vx
