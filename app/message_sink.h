// The message log as a part of its own: the three message tabs, the warning and error popups
// and the log file, which is opened and closed for every message so that it is whole on disk
// at all times. Callable from any thread; a worker handed this part alone can tell the user
// what befell it without reaching for the rest of the state.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/front_end.h"

namespace vx {

inline constexpr int kInfo = 0;
inline constexpr int kWarning = 1;
inline constexpr int kError = 2;
// A warning that raises no popup: the notes a connection or a run start gives along its way
// (a table not valid, a calibration's conditions), which would stop the user at every
// connection if each were a popup. It goes to the Warnings tab and the log as a warning.
inline constexpr int kWarningNoPopup = 3;

// A message as the log keeps the latest ones, for a viewer that comes later (the web monitor).
struct LoggedMessage {
  std::uint64_t seq = 0;  // counts the messages from 1
  std::string time;       // "14h:5min:9s", as the message tabs show it
  MessageKind kind = MessageKind::Information;
  std::string text;
};

class MessageLog {
 public:
  static constexpr std::size_t kRecentKept = 200;

  MessageLog(FrontEnd& ui, Clock& clock) : ui_(ui), clock_(clock) {}
  ~MessageLog() { close_file(); }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  // The log file; set once, before any thread writes a message.
  std::filesystem::path file;

  // A time-stamped message of the kind (kInfo, kWarning, kError or kWarningNoPopup).
  void write(const std::string& text, int kind);
  // Mode 1 creates or empties the log file; any other mode appends. False when the file
  // cannot be opened.
  bool open_file(int mode);
  void close_file();
  // Copies the whole log (no line cut in the middle) into the directory.
  bool copy_into(const std::filesystem::path& dir);
  // The latest kRecentKept messages after seq `since`, oldest first.
  std::vector<LoggedMessage> recent(std::uint64_t since = 0) const;

 private:
  void report_failure(const std::string& prefix);
  // Keeps the message among the latest; mutex_ held.
  void remember(const std::string& prefix, MessageKind kind, const std::string& text);

  FrontEnd& ui_;
  Clock& clock_;
  std::FILE* open_ = nullptr;
  mutable std::mutex mutex_;  // keeps concurrent lines whole, and guards recent_
  std::deque<LoggedMessage> recent_;
  std::uint64_t written_ = 0;
  std::atomic<bool> failure_reported_{false};
};

}  // namespace vx
