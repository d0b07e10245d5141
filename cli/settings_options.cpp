#include "cli/settings_options.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "acquisition/acquisition_controls.h"
#include "digitizer/board_configuration.h"
#include "platform/format_text.h"

namespace vx::cli {

namespace {

using Action = std::function<void(State&)>;

// base 0 reads 0x... as hexadecimal (and a leading 0 as octal): for patterns only.
std::optional<long> parse_int(const std::string& text, int base = 10) {
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])) != 0) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0') return std::nullopt;
  return v;
}

std::optional<float> parse_volts(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return std::nullopt;
  return static_cast<float>(v);
}

// One "SEL=VALUE" argument of a per-channel option.
struct Assignment {
  std::vector<int> targets;
  std::string value;
};

class Planner {
 public:
  explicit Planner(const State& st)
      : channels_(std::clamp(int{st.sys.NbOfChannels}, 0, kMaxChannels)),
        blocks_(board_blocks(st)) {
    for (int ch = 0; ch < kMaxChannels; ++ch) offsets_[ch] = st.sam[ch / 2].DCOffset[ch % 2];
  }

  std::optional<Assignment> split(const std::string& option, const std::string& arg, int count,
                                  const char* what) {
    const auto eq = arg.find('=');
    if (eq == std::string::npos) {
      fail(option + " " + arg + ": expected " + what + "=VALUE");
      return std::nullopt;
    }
    std::string error;
    auto targets = parse_selector(arg.substr(0, eq), count, error);
    if (!targets) {
      fail(option + " " + arg + ": " + error);
      return std::nullopt;
    }
    return Assignment{std::move(*targets), arg.substr(eq + 1)};
  }

  void offsets(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
      auto a = split("--offset", arg, channels_, "SEL");
      if (!a) continue;
      const auto v = parse_volts(a->value);
      if (!v || std::fabs(*v) > kOffsetRangeVolts) {
        fail("--offset " + arg + ": the offset must lie between -1.25 and 1.25 V");
        continue;
      }
      for (int ch : a->targets) {
        offsets_[ch] = *v;
        add([ch, v = *v](State& st) { Set_Offset(st, ch, v); });
      }
    }
  }

  void thresholds(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
      auto a = split("--threshold", arg, channels_, "SEL");
      if (!a) continue;
      const auto v = parse_volts(a->value);
      if (!v) {
        fail("--threshold " + arg + ": VOLTS is not a number");
        continue;
      }
      for (int ch : a->targets) {
        const double lo = offsets_[ch] - 1.25, hi = offsets_[ch] + 1.25;
        if (*v < lo - 1e-6 || *v > hi + 1e-6) {
          fail("--threshold " + arg + ": channel " + std::to_string(ch) +
               format_text(" accepts %.3f to %.3f V with its offset", lo, hi));
          break;
        }
      }
      for (int ch : a->targets) add([ch, v = *v](State& st) { Set_Threshold(st, ch, v); });
    }
  }

  void edges(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
      auto a = split("--edge", arg, channels_, "SEL");
      if (!a) continue;
      if (a->value != "rising" && a->value != "falling") {
        fail("--edge " + arg + ": the edge is rising or falling");
        continue;
      }
      const int polarity = a->value == "falling" ? kPolarityFallingEdge : kPolarityRisingEdge;
      for (int ch : a->targets)
        add([ch, polarity](State& st) { Set_TriggerEdge(st, ch, polarity); });
    }
  }

  void pair_logic(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
      auto a = split("--pair-logic", arg, blocks_, "BLOCK");
      if (!a) continue;
      if (a->value != "and" && a->value != "or") {
        fail("--pair-logic " + arg + ": the logic is and or or");
        continue;
      }
      const bool is_and = a->value == "and";
      for (int b : a->targets) add([b, is_and](State& st) { Set_PairLogic(st, b, is_and); });
    }
  }

  void pulser(const std::vector<std::string>& args) {
    for (const auto& arg : args) {
      auto a = split("--pulser", arg, channels_, "SEL");
      if (!a) continue;
      if (a->value == "off") {
        for (int ch : a->targets) add([ch](State& st) { Set_PulseEnable(st, ch, false); });
        continue;
      }
      const bool hex = a->value.rfind("0x", 0) == 0 || a->value.rfind("0X", 0) == 0;
      const auto v = parse_int(a->value, hex ? 16 : 10);
      if (!v || *v < 0 || *v > 0xFFFF) {
        fail("--pulser " + arg + ": the pattern is 0 to 65535 (0xFFFF), or off");
        continue;
      }
      for (int ch : a->targets) {
        add([ch, p = static_cast<int>(*v)](State& st) {
          Set_PulsePattern(st, ch, p);
          Set_PulseEnable(st, ch, true);
        });
      }
    }
  }

  // A list of channels that are on; every other channel of the board goes off.
  void channel_set(const std::string& option, const std::optional<std::string>& list,
                   std::function<void(State&, int, bool)> set) {
    if (!list) return;
    std::vector<int> on;
    if (*list != "none") {
      std::string error;
      auto parsed = parse_selector(*list, channels_, error);
      if (!parsed) {
        fail(option + " " + *list + ": " + error);
        return;
      }
      on = std::move(*parsed);
    }
    add([this, on, set](State& st) {
      for (int ch = 0; ch < channels_; ++ch)
        set(st, ch, std::find(on.begin(), on.end(), ch) != on.end());
    });
  }

  void number(const char* option, const std::optional<int>& value, int lo, int hi,
              std::function<void(State&, int)> set) {
    if (!value) return;
    if (*value < lo || *value > hi) {
      fail(std::string(option) + " " + std::to_string(*value) + ": allowed " + std::to_string(lo) +
           " to " + std::to_string(hi));
      return;
    }
    add([set, v = *value](State& st) { set(st, v); });
  }

  void add(Action a) { actions_.push_back(std::move(a)); }
  void fail(std::string e) { errors_.push_back(std::move(e)); }

  int channels() const { return channels_; }
  int blocks() const { return blocks_; }
  std::vector<std::string>& errors() { return errors_; }
  std::vector<Action>& actions() { return actions_; }

 private:
  int channels_;
  int blocks_;
  std::array<float, kMaxChannels> offsets_{};
  std::vector<std::string> errors_;
  std::vector<Action> actions_;
};

}  // namespace

std::optional<std::vector<int>> parse_selector(const std::string& text, int count,
                                               std::string& error) {
  std::vector<int> out;
  auto add_range = [&](long first, long last) {
    for (long i = first; i <= last; ++i)
      if (std::find(out.begin(), out.end(), i) == out.end()) out.push_back(static_cast<int>(i));
  };
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::string part =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    start = comma == std::string::npos ? text.size() + 1 : comma + 1;
    if (part == "all") {
      add_range(0, count - 1);
      continue;
    }
    const std::size_t dash = part.find('-', 1);
    const auto first = parse_int(part.substr(0, dash));
    const auto last = dash == std::string::npos ? first : parse_int(part.substr(dash + 1));
    if (!first || !last || *first < 0 || *last < *first) {
      error = "'" + part + "' is not N, N-M or all";
      return std::nullopt;
    }
    if (*last >= count) {
      error = std::to_string(*last) + " is beyond this board's 0-" + std::to_string(count - 1);
      return std::nullopt;
    }
    add_range(*first, *last);
  }
  return out;
}

void add_settings_options(CLI::App& c, SettingsOptions& o) {
  const char* group = "Acquisition settings (SEL: N, N-M, all, or a comma list)";
  auto many = [&](const char* name, std::vector<std::string>& into, const char* help) {
    c.add_option(name, into, help)->group(group)->allow_extra_args(false);
  };
  many("--threshold", o.threshold, "Trigger threshold SEL=VOLTS, within the offset -1.25..+1.25 V");
  many("--edge", o.edge, "Trigger edge SEL=rising|falling");
  many("--offset", o.offset, "DC offset SEL=VOLTS, -1.25..1.25");
  c.add_option("--channels", o.channels, "Channels acquired and shown: LIST or none")->group(group);
  c.add_option("--trigger-channels", o.trigger_channels,
               "Channels that are trigger sources: LIST or none")
      ->group(group);
  many("--pair-logic", o.pair_logic, "Channel-pair logic of SAM blocks BLOCK|all=and|or");
  c.add_option("--majority", o.majority, "Majority level in blocks, 1..the block count")
      ->group(group);
  c.add_option("--overall-trigger-option", o.overall_trigger_option,
               "Overall trigger logic: 0 OR, 1 AND, 2 majority")
      ->group(group);
  c.add_option("--gate-length", o.gate_length,
               "Coincidence window in ns, 0..1275 (rounded down to 5 ns)")
      ->group(group);
  c.add_option("--frequency", o.frequency, "Sampling frequency in MS/s: 400, 800, 1600, 3200")
      ->group(group);
  auto* depth = c.add_option("--depth", o.depth, "Recording depth in columns of 16 samples, 1..64")
                    ->group(group);
  auto* full =
      c.add_flag("--full-depth", o.full_depth, "Full recording depth (1024 samples)")->group(group);
  depth->excludes(full);
  c.add_option("--post-trigger", o.post_trigger, "Post-trigger delay, 0..254")->group(group);
  c.add_option("--external", o.external, "External trigger input level")
      ->check(CLI::IsMember({"nim", "ttl"}))
      ->group(group);
  c.add_flag("--external-as-gate", o.external_as_gate, "Use the external trigger input as a gate")
      ->group(group);
  many("--pulser", o.pulser, "Test pulser on channels SEL=PATTERN (16 bits, 0..0xFFFF) or SEL=off");
  c.add_flag("--pulse-mode", o.pulse_mode, "Send a test pulse before every readout")->group(group);
  c.add_option("--inl-correction", o.inl_correction,
               "Time INL correction of the samples, with the tables of the EEPROMs")
      ->check(CLI::IsMember({"on", "off"}))
      ->group(group);
}

std::vector<std::string> apply_settings_options(State& st, const SettingsOptions& o) {
  Planner p(st);
  p.offsets(o.offset);
  p.thresholds(o.threshold);
  p.edges(o.edge);
  p.channel_set("--channels", o.channels, [](State& s, int ch, bool on) {
    if ((s.gui.ChannelEnabled[ch] != 0) != on) Set_ChannelEnabled(s, ch, on);
  });
  p.channel_set("--trigger-channels", o.trigger_channels, [](State& s, int ch, bool on) {
    if ((s.sam[ch / 2].TriggerEnable[ch % 2] != 0) != on) Set_TriggerEnable(s, ch, on);
  });
  p.pair_logic(o.pair_logic);
  p.number("--majority", o.majority, 1, std::max(p.blocks(), 1), Set_Majority);
  p.number("--overall-trigger-option", o.overall_trigger_option, 0, kMaxOverallTriggerOption,
           Set_OverallTriggerOption);
  p.number("--gate-length", o.gate_length, 0, kMaxGateLengthNs,
           [](State& s, int ns) { Set_GateLength(s, ns); });
  if (o.frequency) {
    const int f = *o.frequency;
    if (f != 400 && f != 800 && f != 1600 && f != 3200) {
      p.fail("--frequency " + std::to_string(f) + ": allowed 400, 800, 1600 or 3200 MS/s");
    } else {
      p.add([f](State& s) { Set_SamplingFrequency(s, f); });
    }
  }
  p.number("--depth", o.depth, kMinRecordColumns, kMaxRecordColumns, Set_RecordColumns);
  if (o.full_depth) p.add([](State& s) { Set_FullRecordingDepth(s, true); });
  p.number("--post-trigger", o.post_trigger, 0, kMaxPostTrigger, Set_PostTriggerDelay);
  if (o.external) {
    if (*o.external != "nim" && *o.external != "ttl") {
      p.fail("--external " + *o.external + ": allowed nim or ttl");
    } else {
      p.add([nim = *o.external == "nim"](State& s) { Set_ExternalTriggerNim(s, nim); });
    }
  }
  if (o.external_as_gate) p.add([](State& s) { Set_ExternalTriggerAsGate(s, true); });
  p.pulser(o.pulser);
  if (o.pulse_mode) p.add([](State& s) { Set_PulseMode(s, true); });
  if (o.inl_correction) {
    if (*o.inl_correction != "on" && *o.inl_correction != "off") {
      p.fail("--inl-correction " + *o.inl_correction + ": allowed on or off");
    } else {
      p.add([on = *o.inl_correction == "on"](State& s) { Set_InlCorrection(s, on); });
    }
  }

  if (!p.errors().empty()) return p.errors();
  for (auto& action : p.actions()) action(st);
  return {};
}

bool apply_cli_settings(State& st, const SettingsOptions& options) {
  const auto errors = apply_settings_options(st, options);
  for (const auto& e : errors) std::fprintf(stderr, "%s\n", e.c_str());
  if (!errors.empty()) std::fprintf(stderr, "Nothing was applied.\n");
  return errors.empty();
}

}  // namespace vx::cli
