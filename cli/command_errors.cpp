#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace vx::cli {

std::string failure_text(const CLI::App* app, const CLI::Error& e, int argc, char** argv) {
  if (dynamic_cast<const CLI::ExtrasError*>(&e) == nullptr)
    return CLI::FailureMessage::simple(app, e);
  // The parser lists the leftovers last first: put them back in the order typed.
  std::vector<std::string> extras;
  const std::string what = e.what();
  std::istringstream words(what.substr(what.find(':') + 1));
  for (std::string w; words >> w;) extras.push_back(w);
  const auto position = [&](const std::string& word) {
    for (int i = 1; i < argc; ++i)
      if (word == argv[i]) return i;
    return argc;
  };
  std::stable_sort(extras.begin(), extras.end(), [&](const std::string& a, const std::string& b) {
    return position(a) < position(b);
  });
  std::string text = "Not understood:";
  for (const auto& w : extras) text += " " + w;
  std::string command;
  for (const CLI::App* sub = app; sub != nullptr;) {
    const auto used = sub->get_subcommands();
    sub = used.empty() ? nullptr : used.front();
    if (sub != nullptr) command += sub->get_name() + " ";
  }
  text += "\nSee 'veltrix-cli " + command + "--help' for what can be typed.\n";
  return text;
}

}  // namespace vx::cli
