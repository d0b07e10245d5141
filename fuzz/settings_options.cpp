// The command line's acquisition settings on arbitrary words (one per line of the input),
// applied to a connected simulated board: a refused list changes nothing, an accepted one
// is applied without fault.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/settings_options.h"
#include "fuzz/connected_core.h"

namespace {

// The command's options are the same for every input: they are added once, and each parse
// starts from fresh values (the parser clears its own results before parsing again).
struct Command {
  Command() { vx::cli::add_settings_options(app, options); }
  CLI::App app;
  vx::cli::SettingsOptions options;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vx::fuzzing::ConnectedCore core("settings");
  static Command command;
  vx::State& st = core.st;
  core.initial.restore(st);

  std::vector<std::string> words{"veltrix-cli"};
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty() && words.size() < 64) {
    const auto end = std::min(text.find('\n'), text.size());
    words.emplace_back(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());

  vx::cli::SettingsOptions& options = command.options;
  options = {};
  try {
    command.app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError&) {
    return 0;
  }
  if (!vx::cli::apply_settings_options(st, options).empty() &&
      !(vx::fuzzing::Records::of(st) == core.initial))
    std::abort();
  return 0;
}
