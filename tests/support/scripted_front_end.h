// Test doubles: a front end that records every call and answers dialogs from a script,
// and a clock whose time only moves when the test says so.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/front_end.h"

namespace vx::test {

class ScriptedFrontEnd : public FrontEnd {
 public:
  struct Message {
    MessageTab tab;
    MessageKind kind;
    std::string text;
  };
  struct Popup {
    PopupKind kind;
    std::string title;
    std::string text;
  };

  // Scripted answers, consumed in order; when a queue is empty the default applies.
  std::deque<bool> confirm_answers;
  bool default_confirm = true;
  std::deque<std::optional<std::string>> prompt_answers;
  std::deque<std::optional<std::filesystem::path>> file_answers;
  std::deque<std::optional<std::filesystem::path>> directory_answers;
  int cancel_progress_at = -1;  // progress_update returns false from this percent on
  std::vector<FileDialogRequest> file_requests;  // every file dialog asked for

  void post(std::function<void()> fn) override { loop.post(std::move(fn)); }
  void append_message(MessageTab tab, MessageKind kind, const std::string& text) override;
  void popup(PopupKind kind, const std::string& title, const std::string& text) override;
  bool confirm(const std::string& title, const std::string& text) override;
  bool answers_unattended() const override { return true; }
  std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                    const std::string& initial) override;
  std::optional<std::filesystem::path> select_file(const FileDialogRequest& request) override;
  std::optional<std::filesystem::path> select_directory(
      const std::string& title, const std::filesystem::path& initial) override;
  void progress_show(const std::string&, const std::string&) override {}
  bool progress_update(int percent) override;
  void progress_hide() override {}
  void set_wait_cursor(bool) override {}
  void show_panel(Panel panel, bool visible) override;
  void refresh_panel(Panel panel) override;
  void set_window_title(const std::string& title) override;
  void run_state_changed(bool) override {}
  void set_led(Led led, bool on) override;
  void set_text(Field field, int index, const std::string& text) override;
  void set_colour(Field field, Rgb colour) override;
  void plot_strip_chart(StripChart chart, std::span<const double> points) override;

  // Recorded calls (thread-safe accessors copy under the lock).
  std::vector<Message> messages() const;
  std::vector<Popup> popups() const;
  std::vector<std::string> tab_texts(MessageTab tab) const;
  // True if some message on the tab contains needle.
  bool has_message(MessageTab tab, const std::string& needle) const;
  std::optional<bool> led(Led led) const;
  std::optional<std::string> text(Field field, int index = -1) const;
  std::optional<Rgb> colour(Field field) const;
  std::vector<std::vector<double>> strip_chart(StripChart chart) const;
  std::vector<std::string> titles() const;
  std::vector<std::pair<Panel, bool>> panel_visibility() const;
  int refresh_count(Panel panel) const;
  std::vector<int> progress_values() const;
  void clear();

  EventLoop loop;

 private:
  mutable std::mutex mutex_;
  std::vector<Message> messages_;
  std::vector<Popup> popups_;
  std::map<Led, bool> leds_;
  std::map<std::pair<Field, int>, std::string> texts_;
  std::map<Field, Rgb> colours_;
  std::map<StripChart, std::vector<std::vector<double>>> strip_charts_;
  std::vector<std::string> titles_;
  std::vector<std::pair<Panel, bool>> panel_visibility_;
  std::map<Panel, int> refreshes_;
  std::vector<int> progress_;
};

// Monotonic time moves only through advance() or delay(); wall time is fixed unless set.
class FakeClock : public Clock {
 public:
  double now() override;
  WallTime wall() override;
  void delay(double seconds) override {
    if (on_delay) on_delay();
    advance(seconds);
  }
  void advance(double seconds);
  void set(double seconds);
  void set_wall(const WallTime& w);
  std::function<void()> on_delay;  // called at every delay(), before time moves

 private:
  mutable std::mutex mutex_;
  double now_ = 1000.0;
  WallTime wall_{2026, 12, 6, 14, 5, 7, 0.0, 0, 1796565907.0};
};

}  // namespace vx::test
