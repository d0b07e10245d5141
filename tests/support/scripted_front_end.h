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

// The next scripted answer, or `otherwise` when the script has run out.
template <typename T, typename U>
T take_front(std::deque<T>& answers, U otherwise) {
  if (answers.empty()) return otherwise;
  T answer = std::move(answers.front());
  answers.pop_front();
  return answer;
}

// A mutex, and a way to run a function under it: the doubles are called from any thread.
class Guarded {
 protected:
  template <typename F>
  auto locked(F&& f) const {
    std::lock_guard lock(mutex_);
    return f();
  }

 private:
  mutable std::mutex mutex_;
};

class ScriptedFrontEnd : public FrontEnd, private Guarded {
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
  bool unattended = true;  // false: a front end whose questions wait for a person
  bool default_confirm = true;
  std::deque<std::optional<std::string>> prompt_answers;
  std::deque<std::optional<std::filesystem::path>> file_answers;
  std::deque<std::optional<std::filesystem::path>> directory_answers;
  int cancel_progress_at = -1;  // progress_update returns false from this percent on
  std::vector<FileDialogRequest> file_requests;  // every file dialog asked for
  // Set, the front end's dialogs and waits turn an event loop of their own, as a desktop's
  // modal dialogs do: it is called while a dialog is open (done empty) and for a wait (until
  // done holds), from whichever thread asked.
  std::function<void(const std::function<bool()>& done)> nested_loop;
  int nested_depth = 0;  // the user-interface thread's loops inside its own, counted by the test

  void post(std::function<void()> fn) override { loop.post(std::move(fn)); }
  void append_message(MessageTab tab, MessageKind kind, const std::string& text) override {
    locked([&] { messages_.push_back({tab, kind, text}); });
  }
  void popup(PopupKind kind, const std::string& title, const std::string& text) override {
    locked([&] { popups_.push_back({kind, title, text}); });
  }
  bool confirm(const std::string& title, const std::string& text) override;
  bool answers_unattended() const override { return unattended; }
  void wait_until(const std::function<bool()>& done) override;
  bool in_nested_loop() const override { return nested_depth > 0; }
  std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                    const std::string& initial) override;
  std::optional<std::filesystem::path> select_file(const FileDialogRequest& request) override;
  std::optional<std::filesystem::path> select_directory(
      const std::string& title, const std::filesystem::path& initial) override;
  void progress_show(const std::string&, const std::string&) override {}
  bool progress_update(int percent) override;
  void progress_hide() override {}
  void set_wait_cursor(bool) override {}
  void show_panel(Panel panel, bool visible) override {
    locked([&] { panel_visibility_.emplace_back(panel, visible); });
  }
  void refresh_panel(Panel panel) override {
    locked([&] { ++refreshes_[panel]; });
  }
  void set_window_title(const std::string& title) override {
    locked([&] { titles_.push_back(title); });
  }
  void run_state_changed(bool) override {}
  void set_led(Led led, bool on) override {
    locked([&] { leds_[led] = on; });
  }
  void set_text(Field field, int index, const std::string& text) override {
    locked([&] { texts_[{field, index}] = text; });
  }
  void set_colour(Field field, Rgb colour) override {
    locked([&] { colours_[field] = colour; });
  }
  void plot_strip_chart(StripChart chart, double seconds, std::span<const double> points) override {
    locked([&] {
      strip_charts_[chart].emplace_back(points.begin(), points.end());
      strip_chart_times_[chart].push_back(seconds);
    });
  }

  // Recorded calls (thread-safe accessors copy under the lock).
  std::vector<Message> messages() const {
    return locked([&] { return messages_; });
  }
  std::vector<Popup> popups() const {
    return locked([&] { return popups_; });
  }
  std::vector<std::string> tab_texts(MessageTab tab) const;
  // True if some message on the tab contains needle.
  bool has_message(MessageTab tab, const std::string& needle) const {
    return message_count(tab, needle) > 0;
  }
  // How many messages on the tab contain needle.
  int message_count(MessageTab tab, const std::string& needle) const;
  std::optional<bool> led(Led l) const {
    return locked([&] { return find_in(leds_, l); });
  }
  std::optional<std::string> text(Field field, int index = -1) const {
    return locked([&] { return find_in(texts_, std::make_pair(field, index)); });
  }
  std::optional<Rgb> colour(Field field) const {
    return locked([&] { return find_in(colours_, field); });
  }
  std::vector<std::vector<double>> strip_chart(StripChart chart) const {
    return locked([&] {
      return find_in(strip_charts_, chart).value_or(decltype(strip_charts_)::mapped_type{});
    });
  }
  std::vector<double> strip_chart_times(StripChart chart) const {
    return locked(
        [&] { return find_in(strip_chart_times_, chart).value_or(std::vector<double>{}); });
  }
  std::vector<std::string> titles() const {
    return locked([&] { return titles_; });
  }
  std::vector<std::pair<Panel, bool>> panel_visibility() const {
    return locked([&] { return panel_visibility_; });
  }
  int refresh_count(Panel panel) const {
    return locked([&] { return find_in(refreshes_, panel).value_or(0); });
  }
  std::vector<int> progress_values() const {
    return locked([&] { return progress_; });
  }
  void clear();

  EventLoop loop;

 private:
  template <typename Map, typename Key>
  static std::optional<typename Map::mapped_type> find_in(const Map& map, const Key& key) {
    const auto it = map.find(key);
    if (it == map.end()) return std::nullopt;
    return it->second;
  }

  std::vector<Message> messages_;
  std::vector<Popup> popups_;
  std::map<Led, bool> leds_;
  std::map<std::pair<Field, int>, std::string> texts_;
  std::map<Field, Rgb> colours_;
  std::map<StripChart, std::vector<std::vector<double>>> strip_charts_;
  std::map<StripChart, std::vector<double>> strip_chart_times_;
  std::vector<std::string> titles_;
  std::vector<std::pair<Panel, bool>> panel_visibility_;
  std::map<Panel, int> refreshes_;
  std::vector<int> progress_;
};

// Monotonic time moves only through advance() or delay(); wall time is fixed unless set.
class FakeClock : public Clock, private Guarded {
 public:
  double now() override {
    return locked([&] { return now_; });
  }
  WallTime wall() override {
    return locked([&] { return wall_; });
  }
  void delay(double seconds) override {
    if (on_delay) on_delay();
    advance(seconds);
  }
  void advance(double seconds) {
    locked([&] { now_ += seconds; });
  }
  void set(double seconds) {
    locked([&] { now_ = seconds; });
  }
  void set_wall(const WallTime& w) {
    locked([&] { wall_ = w; });
  }
  std::function<void()> on_delay;  // called at every delay(), before time moves

 private:
  double now_ = 1000.0;
  WallTime wall_{2026, 12, 6, 14, 5, 7, 0.0, 0, 1796565907.0};
};

}  // namespace vx::test
