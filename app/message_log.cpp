#include "app/message_log.h"

#include <cstdio>
#include <system_error>

namespace vx {

std::string message_prefix(int hour, int minute, int second) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%dh:%dmin:%ds: ", hour, minute, second);
  return buf;
}

void MessageLog::report_failure(const std::string& prefix) {
  // Once per failing stretch: a popup for every message of a program run whose user
  // directory is read-only would bury the user and stall every worker.
  if (failure_reported_.exchange(true)) return;
  const std::string text = prefix + "Error while opening file for saving log file!\n";
  ui_.append_message(MessageTab::Infos, MessageKind::Error, text);
  ui_.append_message(MessageTab::Errors, MessageKind::Error, text);
  ui_.popup(PopupKind::Error, "Error", "Error while opening file for saving log file!\n");
}

bool MessageLog::open_file(int mode) {
  std::lock_guard lock(mutex_);
  if (open_ != nullptr) std::fclose(open_);
  open_ = std::fopen(file.c_str(), mode == 1 ? "w+" : "a");
  return open_ != nullptr;
}

void MessageLog::close_file() {
  std::lock_guard lock(mutex_);
  if (open_ != nullptr) std::fclose(open_);
  open_ = nullptr;
}

bool MessageLog::copy_into(const std::filesystem::path& dir) {
  if (file.empty()) return false;
  std::error_code ec;
  std::lock_guard lock(mutex_);
  std::filesystem::copy_file(file, dir / file.filename(),
                             std::filesystem::copy_options::overwrite_existing, ec);
  return !ec;
}

void MessageLog::write(const std::string& text, int kind) {
  const WallTime now = clock_.wall();
  const std::string prefix = message_prefix(now.hour, now.minute, now.second);

  struct KindRoute {
    const char* file_word;
    MessageKind message_kind;
    MessageTab second_tab;  // Infos: none besides the Infos tab
    PopupKind popup_kind;
    const char* popup_title;  // null: no popup
  };
  static constexpr KindRoute kRoutes[] = {
      {"INFO:", MessageKind::Information, MessageTab::Infos, PopupKind::Information, nullptr},
      {"WARNING:", MessageKind::Warning, MessageTab::Warnings, PopupKind::Warning, "Warning"},
      {"ERROR:", MessageKind::Error, MessageTab::Errors, PopupKind::Error, "Error"},
      {"WARNING:", MessageKind::Warning, MessageTab::Warnings, PopupKind::Warning, nullptr},
  };
  if (kind < kInfo || kind > kWarningNoPopup) return;
  const auto& [file_word, message_kind, second_tab, popup_kind, popup_title] = kRoutes[kind];

  ui_.append_message(MessageTab::Infos, message_kind, prefix + text);
  if (second_tab != MessageTab::Infos) ui_.append_message(second_tab, message_kind, prefix + text);

  // The whole line is written in one call under the lock so that lines from several
  // threads never interleave.
  bool failed = false;
  {
    std::lock_guard lock(mutex_);
    remember(prefix, message_kind, text);
    if (std::FILE* f = std::fopen(file.c_str(), "a")) {
      const std::string line = file_word + prefix + text;
      std::fwrite(line.data(), 1, line.size(), f);
      std::fclose(f);
      failure_reported_.store(false);
    } else {
      failed = true;
    }
  }
  if (failed) report_failure(prefix);

  if (popup_title != nullptr) ui_.popup(popup_kind, popup_title, text);
}

void MessageLog::remember(const std::string& prefix, MessageKind kind, const std::string& text) {
  LoggedMessage m{++written_, prefix.substr(0, prefix.size() - 2), kind, text};
  while (!m.text.empty() && (m.text.back() == '\n' || m.text.back() == '\r')) m.text.pop_back();
  if (recent_.size() == kRecentKept) recent_.pop_front();
  recent_.push_back(std::move(m));
}

std::vector<LoggedMessage> MessageLog::recent(std::uint64_t since) const {
  std::lock_guard lock(mutex_);
  std::vector<LoggedMessage> out;
  for (const LoggedMessage& m : recent_)
    if (m.seq > since) out.push_back(m);
  return out;
}

void Write_HelpMessage(FrontEndLinks& st, const std::string& text) {
  st.ui.post([&st, text] { st.ui.show_help_message(text); });
}

}  // namespace vx
