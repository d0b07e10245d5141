// The core's front end on Qt: everything is carried out on the user-interface thread.
// Calls from workers are queued there; a warning, error or question raised on a worker
// blocks that worker until the user has answered. A popup raised on the user-interface
// thread during the tick, or while a settings change holds a run stopped, is shown once
// that is over.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/front_end.h"
#include "ui/dialogs.h"

class QProgressDialog;

namespace vx::ui {

// What the windows provide to the front end; called on the user-interface thread only.
class FrontEndViews {
 public:
  virtual ~FrontEndViews() = default;
  virtual void append_message(MessageTab tab, MessageKind kind, const QString& text) = 0;
  virtual void show_panel(Panel panel, bool visible) = 0;
  virtual void refresh_panel(Panel panel) = 0;
  // Called on the thread that asks for a refresh, before it is queued: a panel showing live
  // results copies them there, from the thread that owns them. False: no refresh needed.
  virtual bool capture_panel(Panel) { return true; }
  virtual void set_window_title(const QString& title) = 0;
  virtual void run_state_changed(bool running) = 0;
  virtual void set_led(vx::Led led, bool on) = 0;
  virtual void set_text(Field field, int index, const QString& text) = 0;
  virtual void set_colour(Field field, Rgb colour) = 0;
  virtual void plot_strip_chart(StripChart chart, double seconds,
                                const QVector<double>& points) = 0;
  virtual void show_help_message(const QString& text) { (void)text; }
  virtual void records_lent(bool lent) { (void)lent; }
  virtual QWidget* dialog_parent() = 0;
};

class QtFrontEnd final : public QObject, public FrontEnd {
  Q_OBJECT
 public:
  explicit QtFrontEnd(QObject* parent = nullptr);
  ~QtFrontEnd() override;

  void attach(FrontEndViews* views) { views_ = views; }
  // Tests answer the dialogs themselves.
  void set_dialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
  // The dialogs the windows use: always the ones currently set.
  Dialogs& dialogs() { return router_; }

  // Runs the timer tick. A popup it raises is shown once it has returned: a modal popup
  // inside the tick would hold the tick, and remote control with it, until answered.
  void run_tick(const std::function<void()>& tick);
  // On the user-interface thread: waits with the event loop running (user input aside).
  void wait_until(const std::function<bool()>& done) override;
  // True while such a wait is under way.
  bool waiting() const { return waiting_ > 0; }
  // Inside a nested event loop (a dialog's, a wait's, a settings restart's), or handling
  // events from inside a posted task or the tick (a modal progress dialog processes them).
  bool in_nested_loop() const override;
  // The level the application's own event loop runs at: 1 under QApplication::exec; 0, the
  // default, where events are pumped from outside any loop (the tests).
  void set_top_loop_level(int level) { top_loop_level_ = level; }

  void post(std::function<void()> fn) override;
  void append_message(MessageTab tab, MessageKind kind, const std::string& text) override;
  void popup(PopupKind kind, const std::string& title, const std::string& text) override;
  bool confirm(const std::string& title, const std::string& text) override;
  std::optional<std::string> prompt(const std::string& title, const std::string& text,
                                    const std::string& initial) override;
  std::optional<std::filesystem::path> select_file(const FileDialogRequest& request) override;
  std::optional<std::filesystem::path> select_directory(
      const std::string& title, const std::filesystem::path& initial) override;
  void progress_show(const std::string& title, const std::string& label) override;
  bool progress_update(int percent) override;
  void progress_hide() override;
  void set_wait_cursor(bool on) override;
  void show_panel(Panel panel, bool visible) override;
  void refresh_panel(Panel panel) override;
  void set_window_title(const std::string& title) override;
  void run_state_changed(bool running) override;
  void set_led(vx::Led led, bool on) override;
  void show_help_message(const std::string& text) override;
  void set_text(Field field, int index, const std::string& text) override;
  void set_colour(Field field, Rgb colour) override;
  void plot_strip_chart(StripChart chart, double seconds, std::span<const double> points) override;
  void hold_popups(bool hold) override;
  void records_lent(bool lent) override;

 private:
  // Runs the oldest posted task. Tasks cross threads in posted_ under posted_mutex_ rather
  // than inside Qt's events: the hand-over is then one that ThreadSanitizer sees (Qt is not
  // built with it), and the event Qt carries holds nothing of ours.
  Q_INVOKABLE void run_posted();
  bool on_ui_thread() const;
  // Runs fn on the user-interface thread: now when already there, else queued.
  void later(std::function<void()> fn);
  // Runs fn on the user-interface thread and waits for it.
  void blocking(const std::function<void()>& fn);

  class Router final : public Dialogs {
   public:
    explicit Router(Dialogs*& target) : target_(target) {}
    void popup(PopupKind kind, const QString& title, const QString& text) override {
      target_->popup(kind, title, text);
    }
    bool confirm(const QString& title, const QString& text) override {
      return target_->confirm(title, text);
    }
    std::optional<QString> prompt(const QString& title, const QString& text,
                                  const QString& initial) override {
      return target_->prompt(title, text, initial);
    }
    std::optional<QString> select_file(const FileDialogRequest& request) override {
      return target_->select_file(request);
    }
    std::optional<QString> select_directory(const QString& title, const QString& initial) override {
      return target_->select_directory(title, initial);
    }

   private:
    Dialogs*& target_;
  };

  FrontEndViews* views_ = nullptr;
  QtDialogs qt_dialogs_;
  Dialogs* dialogs_ = &qt_dialogs_;
  Router router_{dialogs_};
  void drop_progress_dialog();
  std::unique_ptr<QProgressDialog> progress_;
  std::atomic<bool> progress_cancelled_{false};
  int wait_cursor_depth_ = 0;
  // User-interface thread only.
  int in_tick_ = 0;
  int popups_held_ = 0;
  int waiting_ = 0;
  int in_posted_ = 0;
  int top_loop_level_ = 0;
  std::mutex posted_mutex_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace vx::ui
