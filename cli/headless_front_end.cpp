#include "cli/headless_front_end.h"

#include <unistd.h>

namespace vx::cli {

void HeadlessFrontEnd::append_message(MessageTab tab, MessageKind kind, const std::string& text) {
  // Every message reaches the Infos tab once; that copy is the one printed.
  if (tab != MessageTab::Infos) return;
  if (kind == MessageKind::Error) errors_seen.fetch_add(1);
  const char* label = kind == MessageKind::Error     ? "ERROR  "
                      : kind == MessageKind::Warning ? "WARNING"
                                                     : "INFO   ";
  std::lock_guard lock(mutex_);
  std::string line = text;
  if (line.empty() || line.back() != '\n') line += '\n';
  std::fprintf(stdout, "%s %s", label, line.c_str());
  std::fflush(stdout);
}

std::string HeadlessFrontEnd::hint(Hint h) const {
  switch (h) {
    case Hint::SavePedestals:
      return saves_calibration ? "" : " (--save-to-flash stores it)";
    case Hint::RetryRunDirectory:  // the question's answer has said what to pass
      return "";
  }
  return {};
}

bool HeadlessFrontEnd::confirm(const std::string& title, const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fprintf(stdout, "QUESTION %s: %s -> %s\n", title.c_str(), text.c_str(),
               assume_yes ? "yes (--yes)" : "no (pass --yes to agree)");
  std::fflush(stdout);
  return assume_yes;
}

bool HeadlessFrontEnd::confirm_replace(const std::string& title, const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fprintf(stdout, "QUESTION %s: %s -> %s\n", title.c_str(), text.c_str(),
               overwrite ? "yes (--overwrite)"
                         : "no: existing run data is kept (pass --overwrite to replace it, or "
                           "choose another --run-id or --base-name)");
  std::fflush(stdout);
  return overwrite;
}

void HeadlessFrontEnd::progress_show(const std::string& title, const std::string& label) {
  std::lock_guard lock(mutex_);
  last_percent_ = -1;
  if (!quiet_progress) std::fprintf(stderr, "%s: %s\n", title.c_str(), label.c_str());
}

bool HeadlessFrontEnd::progress_update(int percent) {
  std::lock_guard lock(mutex_);
  if (quiet_progress || percent == last_percent_) return true;
  last_percent_ = percent;
  if (isatty(STDERR_FILENO)) {
    std::fprintf(stderr, "\r  %3d %%", percent);
  } else if (percent % 10 == 0) {
    std::fprintf(stderr, "  %3d %%\n", percent);
  }
  return true;
}

void HeadlessFrontEnd::progress_hide() {
  std::lock_guard lock(mutex_);
  if (!quiet_progress && isatty(STDERR_FILENO)) std::fprintf(stderr, "\n");
}

}  // namespace vx::cli
