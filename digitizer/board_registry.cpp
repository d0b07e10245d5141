#include "digitizer/board_registry.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

#include "digitizer/connection_rules.h"
#include "sim/sim_config.h"
#include "sim/simulated_board.h"

namespace vx {
namespace {

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The simulated board. Arguments: config=FILE (a simulation configuration) and any key of
// that configuration, which then overrides the file's; per connection, inputs=pulse|sine|none
// makes every input carry the one signal.
class SimulatedSource final : public BoardSource {
 public:
  explicit SimulatedSource(sim::SimConfig config) : config_(std::move(config)) {}
  std::optional<int> described_model() const override {
    return config_.model == "DT5743" ? kModelDesktop : kModelVme;
  }
  std::unique_ptr<Digitizer> make(int model, const std::filesystem::path& user_path,
                                  const DriverArgs& connect_args) const override {
    sim::SimConfig c = config_;
    c.model = model == kModelDesktop ? "DT5743" : "V1743";
    if (const auto it = connect_args.find("inputs"); it != connect_args.end()) {
      const auto kind = input_kind(it->second);
      if (kind)
        for (auto& channel : c.channel) channel.input = *kind;
    }
    return std::make_unique<sim::SimulatedBoard>(std::move(c), user_path);
  }
  static std::optional<sim::InputKind> input_kind(std::string_view v) {
    if (v == "pulse") return sim::InputKind::kPulse;
    if (v == "sine") return sim::InputKind::kSine;
    if (v == "none") return sim::InputKind::kNone;
    return std::nullopt;
  }

 private:
  sim::SimConfig config_;
};

BoardSourceOpening open_simulated(const DriverArgs& args) {
  BoardSourceOpening out;
  std::string text;
  if (const auto it = args.find("config"); it != args.end()) {
    const auto file = sim::load_sim_config(it->second);
    if (!file.ok()) {
      out.errors.push_back("Simulation configuration '" + it->second + "' is not valid:");
      for (const auto& e : file.errors) out.errors.push_back("  " + e);
      return out;
    }
    // Read again below with the arguments after it: a key given both ways takes the argument.
    std::ifstream in(it->second, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    text += '\n';
  }
  for (const auto& [key, value] : args) {
    if (key == "config") continue;
    const std::string line = key + " = " + value;
    // Each argument alone first, so that a problem is named by the argument, not by a line.
    const auto alone = sim::parse_sim_config(line);
    for (const auto& e : alone.errors) {
      const auto colon = e.find(": ");
      out.errors.push_back("argument '" + key + "=" + value +
                           "': " + (colon == std::string::npos ? e : e.substr(colon + 2)));
    }
    text += line + '\n';
  }
  if (!out.errors.empty()) return out;
  auto parsed = sim::parse_sim_config(text);
  if (!parsed.ok()) {
    out.errors = std::move(parsed.errors);
    return out;
  }
  out.source = std::make_unique<SimulatedSource>(std::move(parsed.config));
  return out;
}

constexpr std::array kDrivers{
    BoardDriver{kDefaultBoardDriver,
                "the simulated x743 board; config=FILE (a simulation configuration) and any of "
                "its keys, which override the file's",
                &open_simulated},
};

}  // namespace

std::span<const BoardDriver> Board_Drivers() {
  return kDrivers;
}

BoardSourceOpening Open_BoardDriver(std::string_view name, const DriverArgs& args) {
  for (const auto& d : kDrivers)
    if (d.name == name) return d.open(args);
  BoardSourceOpening out;
  std::string known;
  for (const auto& d : kDrivers) known += (known.empty() ? "" : ", ") + std::string(d.name);
  out.errors.push_back("no board driver '" + std::string(name) + "' (there is " + known + ")");
  return out;
}

BoardSourceOpening Open_BoardDriver(std::string_view spec) {
  const auto colon = spec.find(':');
  const std::string_view name = trimmed(spec.substr(0, colon));
  DriverArgs args;
  BoardSourceOpening bad;
  if (colon != std::string_view::npos) {
    std::string_view rest = spec.substr(colon + 1);
    while (!rest.empty()) {
      const auto comma = rest.find(',');
      const std::string_view item = trimmed(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
      const auto eq = item.find('=');
      if (eq == std::string_view::npos || trimmed(item.substr(0, eq)).empty()) {
        bad.errors.push_back("argument '" + std::string(item) + "' is not KEY=VALUE");
        continue;
      }
      args[std::string(trimmed(item.substr(0, eq)))] = std::string(trimmed(item.substr(eq + 1)));
    }
  }
  if (!bad.errors.empty()) return bad;
  return Open_BoardDriver(name, args);
}

std::string Board_DriverSpec(const std::optional<std::string>& driver,
                             const std::optional<std::string>& sim_config) {
  std::string spec = driver.value_or(std::string(kDefaultBoardDriver));
  std::optional<std::string> config = sim_config;
  if (!config && !driver) {
    if (const char* env = std::getenv("VELTRIX_SIM_CONFIG"); env != nullptr && *env != '\0')
      config = env;
  }
  if (config) spec += (spec.find(':') == std::string::npos ? ":config=" : ",config=") + *config;
  return spec;
}

std::string Board_DriversHelp() {
  std::string text = "Board driver and its arguments (default " + std::string(kDefaultBoardDriver) +
                     "; --sim-config FILE adds config=FILE). Drivers:";
  for (const auto& d : kDrivers)
    text += " " + std::string(d.name) + ": " + std::string(d.summary) + ".";
  return text;
}

}  // namespace vx
