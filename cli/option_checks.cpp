#include "cli/option_checks.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace vx::cli {

namespace {

std::optional<double> read_number(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::string shown(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

CLI::Validator refusing_unless(std::function<bool(const std::string&)> ok, std::string wanted,
                               const std::string& example, std::string description) {
  return CLI::Validator(
      [ok = std::move(ok), wanted = std::move(wanted), example](std::string& text) -> std::string {
        if (ok(text)) return {};
        return "'" + text + "' is not allowed: give " + wanted + ", for example " + example;
      },
      std::move(description));
}

}  // namespace

CLI::Validator whole_number(long long lo, long long hi, const std::string& example) {
  const auto ok = [lo, hi](const std::string& text) {
    if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && v >= lo && v <= hi;
  };
  return refusing_unless(ok,
                         "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi),
                         example, std::to_string(lo) + ".." + std::to_string(hi));
}

CLI::Validator number_between(double lo, double hi, const std::string& example) {
  const auto ok = [lo, hi](const std::string& text) {
    const auto v = read_number(text);
    return v && *v >= lo && *v <= hi;
  };
  return refusing_unless(ok, "a number from " + shown(lo) + " to " + shown(hi), example,
                         shown(lo) + ".." + shown(hi));
}

std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // CLI11 has a code per kind of refusal; the scripts that call this program need one.
    const int code = app.exit(e);
    return code == 0 ? 0 : kUsageExitCode;
  }
  return std::nullopt;
}

}  // namespace vx::cli
