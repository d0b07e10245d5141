// Every acquisition setting on the command line: thresholds, edges, offsets, channels,
// trigger logic, sampling, depth, external trigger and pulser. The values go through the
// same operations as the desktop controls.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "app/state.h"

namespace vx::cli {

struct SettingsOptions {
  std::vector<std::string> threshold;   // SEL=VOLTS
  std::vector<std::string> edge;        // SEL=rising|falling
  std::vector<std::string> offset;      // SEL=VOLTS
  std::vector<std::string> pair_logic;  // BLOCK|all=and|or
  std::vector<std::string> pulser;      // SEL=PATTERN|off
  std::optional<std::string> channels;
  std::optional<std::string> trigger_channels;
  std::optional<int> majority;
  std::optional<int> overall_trigger_option;
  std::optional<int> gate_length;
  std::optional<int> frequency;
  std::optional<int> depth;
  bool full_depth = false;
  std::optional<int> post_trigger;
  std::optional<std::string> external;
  bool external_as_gate = false;
  bool pulse_mode = false;
  std::optional<std::string> inl_correction;  // on|off

  bool any() const {
    return !threshold.empty() || !edge.empty() || !offset.empty() || !pair_logic.empty() ||
           !pulser.empty() || channels || trigger_channels || majority || overall_trigger_option ||
           gate_length || frequency || depth || full_depth || post_trigger || external ||
           external_as_gate || pulse_mode || inl_correction;
  }
};

void add_settings_options(CLI::App& command, SettingsOptions& options);

// Channels named by a selector list: "N", "N-M", "all", or several joined by commas.
// nullopt (with the reason in error) when a name is malformed or beyond `count` channels.
std::optional<std::vector<int>> parse_selector(const std::string& text, int count,
                                               std::string& error);

// Checks every value against its range first: on any error the errors are returned and
// nothing is applied. Otherwise every given setting is applied, in a fixed order (offsets
// before thresholds, whose range follows the offset).
std::vector<std::string> apply_settings_options(State& st, const SettingsOptions& options);
// The same, with the errors printed on stderr; false when there were any.
bool apply_cli_settings(State& st, const SettingsOptions& options);

}  // namespace vx::cli
