// The command-line subcommands.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/session.h"

namespace vx::cli {

struct RunOptions {
  std::optional<int> events;
  std::optional<int> seconds;
  bool continuous = false;
  bool single = false;
  std::string trigger;  // software, normal, auto, external; empty = as configured
};

void add_run_options(CLI::App& command, RunOptions& options);

int command_info(Session& session);
int command_run(Session& session, const RunOptions& options);
int command_demo(Session& session);

}  // namespace vx::cli
