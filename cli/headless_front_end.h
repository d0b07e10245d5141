// The command line's front end: messages go to stdout as they are written, dialogs are
// answered from the command-line flags, nothing ever blocks.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>

#include "platform/event_loop.h"
#include "platform/null_front_end.h"

namespace vx::cli {

class HeadlessFrontEnd final : public NullFrontEnd {
 public:
  bool assume_yes = false;                                // --yes
  bool overwrite = false;                                 // --overwrite: replace run data
  std::optional<std::filesystem::path> file_answer;       // file dialogs
  std::optional<std::filesystem::path> directory_answer;  // directory dialogs
  bool quiet_progress = false;
  bool saves_calibration = false;  // --save-to-flash: what is measured is stored right after

  std::string hint(Hint h) const override;
  bool shows_events() const override { return false; }

  void post(std::function<void()> fn) override { loop.post(std::move(fn)); }
  void append_message(MessageTab tab, MessageKind kind, const std::string& text) override;
  bool confirm(const std::string& title, const std::string& text) override;
  // --yes does not replace saved run data; only --overwrite does.
  bool confirm_replace(const std::string& title, const std::string& text) override;
  std::optional<std::filesystem::path> select_file(const FileDialogRequest&) override {
    return file_answer;
  }
  std::optional<std::filesystem::path> select_directory(const std::string&,
                                                        const std::filesystem::path&) override {
    return directory_answer;
  }
  void progress_show(const std::string& title, const std::string& label) override;
  bool progress_update(int percent) override;
  void progress_hide() override;

  EventLoop loop;
  std::atomic<int> errors_seen{0};  // error messages so far

 private:
  std::mutex mutex_;
  int last_percent_ = -1;
};

}  // namespace vx::cli
