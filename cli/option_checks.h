// Checks of command-line values whose refusals say what to type, and the parse that gives
// every refusal the same exit code.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace vx::cli {

// The exit code of a command line that was not understood or holds a value out of range.
inline constexpr int kUsageExitCode = 2;

// A whole number from lo to hi: "'0' is not allowed: give a whole number from 1 to 10000,
// for example --steps 99".
CLI::Validator whole_number(long long lo, long long hi, const std::string& example);
// A decimal number from lo to hi, both included.
CLI::Validator number_between(double lo, double hi, const std::string& example);

// Parses the command line. nullopt when the program goes on; otherwise the exit code, the
// message already printed: 0 after --help or --version, kUsageExitCode for anything else.
std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv);

}  // namespace vx::cli
