#include "app/message_log.h"

#include <cstdio>

namespace vx {

namespace {

// Reports an unopenable log file on the tabs and in a popup, without touching the file.
// It is reported once per failing stretch: a popup for every message of a program run
// whose user directory is read-only would bury the user and stall every worker.
void report_log_failure(State& st, const std::string& prefix) {
  if (st.log_failure_reported.exchange(true)) return;
  const std::string text = prefix + "Error while opening file for saving log file!\n";
  st.ui.append_message(MessageTab::Infos, MessageKind::Error, text);
  st.ui.append_message(MessageTab::Errors, MessageKind::Error, text);
  st.ui.popup(PopupKind::Error, "Error", "Error while opening file for saving log file!\n");
}

}  // namespace

std::string message_prefix(int hour, int minute, int second) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%dh:%dmin:%ds: ", hour, minute, second);
  return buf;
}

bool Open_FileForSavingLogFile(State& st, int mode) {
  std::lock_guard lock(st.log_mutex);
  if (st.FileForSavingLogFilePntr != nullptr) std::fclose(st.FileForSavingLogFilePntr);
  st.FileForSavingLogFilePntr = std::fopen(st.FileForSavingLogFile.c_str(), mode == 1 ? "w+" : "a");
  return st.FileForSavingLogFilePntr != nullptr;
}

void Close_FileForSavingLogFile(State& st) {
  std::lock_guard lock(st.log_mutex);
  if (st.FileForSavingLogFilePntr != nullptr) std::fclose(st.FileForSavingLogFilePntr);
  st.FileForSavingLogFilePntr = nullptr;
}

void Write_InfoMessage(State& st, const std::string& text, int kind) {
  const WallTime now = st.clock.wall();
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

  st.ui.append_message(MessageTab::Infos, message_kind, prefix + text);
  if (second_tab != MessageTab::Infos)
    st.ui.append_message(second_tab, message_kind, prefix + text);

  // The whole line is written in one call under the lock so that lines from several
  // threads never interleave.
  bool log_failed = false;
  {
    std::lock_guard lock(st.log_mutex);
    if (std::FILE* f = std::fopen(st.FileForSavingLogFile.c_str(), "a")) {
      const std::string line = file_word + prefix + text;
      std::fwrite(line.data(), 1, line.size(), f);
      std::fclose(f);
      st.log_failure_reported.store(false);
    } else {
      log_failed = true;
    }
  }
  if (log_failed) report_log_failure(st, prefix);

  if (popup_title != nullptr) st.ui.popup(popup_kind, popup_title, text);
}

void Write_HelpMessage(State& st, const std::string& text) {
  st.ui.post([&st, text] { st.ui.show_help_message(text); });
}

}  // namespace vx
