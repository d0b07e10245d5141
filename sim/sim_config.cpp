#include "sim/sim_config.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace vx::sim {
namespace {

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Text from the file as an error message shows it: control and other non-printable
// bytes escaped, and cut after a readable length.
std::string shown(std::string_view text) {
  constexpr std::size_t kShownMax = 60;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i == kShownMax) {
      out += "...";
      break;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789abcdef";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::optional<double> to_double(std::string_view v) {
  double out = 0.0;
  const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
  if (ec != std::errc() || ptr != v.data() + v.size() || !std::isfinite(out)) return std::nullopt;
  return out;
}

std::optional<std::uint64_t> to_uint(std::string_view v) {
  int base = 10;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    v.remove_prefix(2);
    base = 16;
  }
  std::uint64_t out = 0;
  const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), out, base);
  if (v.empty() || ec != std::errc() || ptr != v.data() + v.size()) return std::nullopt;
  return out;
}

std::optional<bool> to_bool(std::string_view v) {
  if (v == "true" || v == "yes" || v == "on" || v == "1") return true;
  if (v == "false" || v == "no" || v == "off" || v == "0") return false;
  return std::nullopt;
}

// A setter returns an empty string on success, else what the value should have been.
using Setter = std::function<std::string(std::string_view)>;

Setter number(double& field, double min, bool min_exclusive = false) {
  return [&field, min, min_exclusive](std::string_view v) -> std::string {
    const auto d = to_double(v);
    if (!d || *d < min || (min_exclusive && *d == min)) {
      std::ostringstream s;
      s << "a number " << (min_exclusive ? "above " : "of at least ") << min;
      return s.str();
    }
    field = *d;
    return {};
  };
}

template <typename T>
Setter integer(T& field, std::uint64_t min, std::uint64_t max) {
  return [&field, min, max](std::string_view v) -> std::string {
    const auto u = to_uint(v);
    if (!u || *u < min || *u > max) {
      return "an integer from " + std::to_string(min) + " to " + std::to_string(max);
    }
    field = static_cast<T>(*u);
    return {};
  };
}

Setter optional_count(std::optional<std::uint64_t>& field, std::uint64_t min) {
  return [&field, min](std::string_view v) -> std::string {
    const auto u = to_uint(v);
    if (!u || *u < min) return "an integer of at least " + std::to_string(min);
    field = *u;
    return {};
  };
}

Setter optional_address(std::optional<std::uint32_t>& field) {
  return [&field](std::string_view v) -> std::string {
    const auto u = to_uint(v);
    if (!u || *u > 0xFFFF) return "an EEPROM address from 0 to 0xFFFF";
    field = static_cast<std::uint32_t>(*u);
    return {};
  };
}

Setter boolean(bool& field) {
  return [&field](std::string_view v) -> std::string {
    const auto b = to_bool(v);
    if (!b) return "true or false";
    field = *b;
    return {};
  };
}

void add_signal_keys(std::map<std::string, Setter>& keys, ChannelSignal& s) {
  keys["input"] = [&s](std::string_view v) -> std::string {
    if (v == "pulse")
      s.input = InputKind::kPulse;
    else if (v == "sine")
      s.input = InputKind::kSine;
    else if (v == "none")
      s.input = InputKind::kNone;
    else
      return "pulse, sine or none";
    return {};
  };
  keys["noise_mv"] = number(s.noise_mv, 0.0);
  keys["pulse.amplitude_mv"] = number(s.pulse_amplitude_mv, 0.0);
  keys["pulse.polarity"] = [&s](std::string_view v) -> std::string {
    if (v == "negative")
      s.pulse_polarity = PulsePolarity::kNegative;
    else if (v == "positive")
      s.pulse_polarity = PulsePolarity::kPositive;
    else
      return "negative or positive";
    return {};
  };
  keys["pulse.delay_ns"] = number(s.pulse_delay_ns, 0.0);
  keys["pulse.rise_ns"] = number(s.pulse_rise_ns, 0.0, true);
  keys["pulse.fall_ns"] = number(s.pulse_fall_ns, 0.0, true);
  keys["pulse.jitter_ps"] = number(s.pulse_jitter_ps, 0.0);
  keys["sine.frequency_mhz"] = number(s.sine_frequency_mhz, 0.0, true);
  keys["sine.amplitude_mv"] = number(s.sine_amplitude_mv, 0.0);
}

struct PendingOverride {
  int line;
  int channel;
  std::string key;
  std::string value;
};

// "ch12.pulse.delay_ns" -> (12, "pulse.delay_ns"); nullopt when the key has no channel prefix.
std::optional<std::pair<int, std::string>> split_channel(std::string_view key, bool* malformed) {
  *malformed = false;
  if (key.size() < 4 || key.substr(0, 2) != "ch") return std::nullopt;
  const auto dot = key.find('.');
  if (dot == std::string_view::npos) return std::nullopt;
  const auto digits = key.substr(2, dot - 2);
  const auto n = to_uint(digits);
  if (digits.empty() || !n || (digits[0] == '0' && digits.size() > 1)) {
    *malformed = true;
    return std::nullopt;
  }
  if (*n >= 16) {
    *malformed = true;
    return std::nullopt;
  }
  return std::make_pair(static_cast<int>(*n), std::string(key.substr(dot + 1)));
}

}  // namespace

SimConfigParse parse_sim_config(std::string_view text) {
  SimConfigParse out;
  SimConfig& c = out.config;
  ChannelSignal global;

  std::map<std::string, Setter> keys;
  keys["model"] = [&c](std::string_view v) -> std::string {
    if (v != "DT5743" && v != "V1743") return "DT5743 or V1743";
    c.model = std::string(v);
    return {};
  };
  keys["seed"] = integer(c.seed, 0, UINT64_MAX);
  keys["board_id"] = integer(c.board_id, 0, 9999);
  keys["trigger_rate_hz"] = number(c.trigger_rate_hz, 0.0);
  keys["external_rate_hz"] = [&c](std::string_view v) -> std::string {
    const auto d = to_double(v);
    if (!d || *d < 0.0) return "a number of at least 0";
    c.external_rate_hz = *d;
    return {};
  };
  keys["memory_events"] = integer(c.memory_events, 1, 100000);
  keys["dead_time_us"] = number(c.dead_time_us, 0.0);
  keys["register_access_us"] = number(c.register_access_us, 0.0);
  keys["noise_bandwidth_mhz"] = number(c.noise_bandwidth_mhz, 0.0, true);
  keys["factory_inl_error_ps"] = number(c.factory_inl_error_ps, 0.0);
  keys["discriminator.after_offset"] = boolean(c.discriminator_after_offset);
  keys["pcb_revision"] = integer(c.pcb_revision, 0, 255);
  keys["vme_base_address"] = integer(c.vme_base_address, 0, 0xFFFFFFFF);
  keys["fault.fail_open"] = boolean(c.fault.fail_open);
  keys["fault.fail_register_access"] = optional_count(c.fault.fail_register_access, 1);
  keys["fault.fail_readout"] = optional_count(c.fault.fail_readout, 1);
  keys["fault.undecodable_event"] = optional_count(c.fault.undecodable_event, 1);
  keys["fault.stop_after_events"] = optional_count(c.fault.stop_after_events, 0);
  keys["fault.fail_eeprom_write"] = optional_count(c.fault.fail_eeprom_write, 1);
  keys["fault.fail_eeprom_read_from"] = optional_address(c.fault.fail_eeprom_read_from);
  add_signal_keys(keys, global);

  std::map<std::string, Setter> channel_keys;
  ChannelSignal scratch;
  add_signal_keys(channel_keys, scratch);

  std::vector<PendingOverride> overrides;
  int line_no = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const auto end = std::min(text.find('\n', pos), text.size());
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_no;
    if (const auto hash = line.find('#'); hash != std::string_view::npos) {
      line = line.substr(0, hash);
    }
    line = trim(line);
    if (line.empty()) continue;
    const auto eq = line.find('=');
    const std::string where = "line " + std::to_string(line_no) + ": ";
    if (eq == std::string_view::npos) {
      out.errors.push_back(where + "expected 'key = value', got '" + shown(line) + "'");
      continue;
    }
    const std::string key(trim(line.substr(0, eq)));
    const std::string value(trim(line.substr(eq + 1)));
    if (key.empty()) {
      out.errors.push_back(where + "missing key before '='");
      continue;
    }
    if (value.empty()) {
      out.errors.push_back(where + "missing value for key '" + shown(key) + "'");
      continue;
    }
    bool malformed = false;
    if (const auto ch = split_channel(key, &malformed)) {
      if (!channel_keys.count(ch->second)) {
        out.errors.push_back(where + "unknown per-channel key '" + shown(key) + "'");
        continue;
      }
      const std::string problem = channel_keys[ch->second](value);
      if (!problem.empty()) {
        out.errors.push_back(where + "invalid value '" + shown(value) + "' for key '" + shown(key) +
                             "' (expected " + problem + ")");
        continue;
      }
      overrides.push_back({line_no, ch->first, ch->second, value});
      continue;
    }
    if (malformed) {
      out.errors.push_back(where + "bad channel number in key '" + shown(key) +
                           "' (expected ch0 to ch15)");
      continue;
    }
    const auto it = keys.find(key);
    if (it == keys.end()) {
      out.errors.push_back(where + "unknown key '" + shown(key) + "'");
      continue;
    }
    const std::string problem = it->second(value);
    if (!problem.empty()) {
      out.errors.push_back(where + "invalid value '" + shown(value) + "' for key '" + shown(key) +
                           "' (expected " + problem + ")");
    }
  }

  // Global signal keys are the defaults of every channel wherever they appear in the file;
  // the chN overrides then apply on top, in file order.
  c.channel.fill(global);
  for (const auto& o : overrides) {
    std::map<std::string, Setter> target;
    add_signal_keys(target, c.channel[static_cast<std::size_t>(o.channel)]);
    target[o.key](o.value);
  }
  return out;
}

SimConfigParse load_sim_config(const std::filesystem::path& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    SimConfigParse out;
    out.errors.push_back("'" + path.string() + "' is a folder, not a simulator configuration");
    return out;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    SimConfigParse out;
    out.errors.push_back("cannot open simulator configuration '" + path.string() + "'");
    return out;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return parse_sim_config(text.str());
}

}  // namespace vx::sim
