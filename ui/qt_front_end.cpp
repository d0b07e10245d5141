#include "ui/qt_front_end.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <condition_variable>

namespace vx::ui {

namespace {
QString q(const std::string& s) {
  return QString::fromStdString(s);
}
}  // namespace

QtFrontEnd::QtFrontEnd(QObject* parent) : QObject(parent) {}
QtFrontEnd::~QtFrontEnd() = default;

bool QtFrontEnd::on_ui_thread() const {
  return QThread::currentThread() == thread();
}

void QtFrontEnd::run_tick(const std::function<void()>& tick) {
  ++in_tick_;
  tick();
  --in_tick_;
}

bool QtFrontEnd::in_nested_loop() const {
  return waiting_ > 0 || in_posted_ > 0 || in_tick_ > 1 ||
         QThread::currentThread()->loopLevel() > top_loop_level_;
}

void QtFrontEnd::wait_until(const std::function<bool()>& done) {
  if (!on_ui_thread()) {
    FrontEnd::wait_until(done);
    return;
  }
  if (done()) return;
  ++waiting_;
  QEventLoop loop;
  QTimer poll;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  poll.start(2);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
  --waiting_;
}

// One Qt event per task, each taking the oldest task: a task that opens a modal popup
// leaves the later ones to the popup's own event loop, as they come.
void QtFrontEnd::post(std::function<void()> fn) {
  {
    std::lock_guard lock(posted_mutex_);
    posted_.push_back(std::move(fn));
  }
  QMetaObject::invokeMethod(this, "run_posted", Qt::QueuedConnection);
}

void QtFrontEnd::run_posted() {
  std::function<void()> fn;
  {
    std::lock_guard lock(posted_mutex_);
    if (posted_.empty()) return;
    fn = std::move(posted_.front());
    posted_.pop_front();
  }
  ++in_posted_;
  fn();
  --in_posted_;
}

void QtFrontEnd::later(std::function<void()> fn) {
  if (on_ui_thread()) {
    fn();
  } else {
    post(std::move(fn));
  }
}

void QtFrontEnd::blocking(const std::function<void()>& fn) {
  if (on_ui_thread()) {
    fn();
    return;
  }
  std::mutex mutex;
  std::condition_variable cv;
  bool done = false;
  post([&] {
    fn();
    std::lock_guard lock(mutex);
    done = true;
    cv.notify_one();
  });
  std::unique_lock lock(mutex);
  cv.wait(lock, [&] { return done; });
}

void QtFrontEnd::append_message(MessageTab tab, MessageKind kind, const std::string& text) {
  later([this, tab, kind, t = q(text)] {
    if (views_ != nullptr) views_->append_message(tab, kind, t);
  });
}

void QtFrontEnd::popup(PopupKind kind, const std::string& title, const std::string& text) {
  if (on_ui_thread() && (in_tick_ > 0 || popups_held_ > 0)) {
    post([this, kind, t = q(title), x = q(text)] { dialogs_->popup(kind, t, x); });
    return;
  }
  blocking([&] { dialogs_->popup(kind, q(title), q(text)); });
}

bool QtFrontEnd::confirm(const std::string& title, const std::string& text) {
  bool answer = false;
  blocking([&] { answer = dialogs_->confirm(q(title), q(text)); });
  return answer;
}

std::optional<std::string> QtFrontEnd::prompt(const std::string& title, const std::string& text,
                                              const std::string& initial) {
  std::optional<std::string> answer;
  blocking([&] {
    if (auto a = dialogs_->prompt(q(title), q(text), q(initial))) answer = a->toStdString();
  });
  return answer;
}

std::optional<std::filesystem::path> QtFrontEnd::select_file(const FileDialogRequest& request) {
  std::optional<std::filesystem::path> answer;
  blocking([&] {
    if (auto a = dialogs_->select_file(request)) answer = std::filesystem::path(a->toStdString());
  });
  return answer;
}

std::optional<std::filesystem::path> QtFrontEnd::select_directory(
    const std::string& title, const std::filesystem::path& initial) {
  std::optional<std::filesystem::path> answer;
  blocking([&] {
    if (auto a = dialogs_->select_directory(q(title), q(initial.string())))
      answer = std::filesystem::path(a->toStdString());
  });
  return answer;
}

void QtFrontEnd::progress_show(const std::string& title, const std::string& label) {
  progress_cancelled_ = false;
  later([this, t = q(title), l = q(label)] {
    QWidget* parent = views_ != nullptr ? views_->dialog_parent() : nullptr;
    drop_progress_dialog();
    progress_ = std::make_unique<QProgressDialog>(l, "Cancel", 0, 100, parent);
    progress_->setWindowTitle(t);
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumDuration(0);
    connect(progress_.get(), &QProgressDialog::canceled, this,
            [this] { progress_cancelled_ = true; });
    progress_->show();
  });
}

bool QtFrontEnd::progress_update(int percent) {
  later([this, percent] {
    if (progress_) progress_->setValue(percent);
  });
  return !progress_cancelled_.load();
}

// setValue on a modal dialog runs the event loop, which can bring the hide (or a new show)
// in while the dialog is still inside setValue: it is deleted once control is back in the
// event loop.
void QtFrontEnd::drop_progress_dialog() {
  if (progress_) progress_.release()->deleteLater();
}

void QtFrontEnd::progress_hide() {
  later([this] { drop_progress_dialog(); });
}

void QtFrontEnd::hold_popups(bool hold) {
  if (!on_ui_thread()) return;
  popups_held_ = std::max(popups_held_ + (hold ? 1 : -1), 0);
}

void QtFrontEnd::records_lent(bool lent) {
  later([this, lent] {
    if (views_ != nullptr) views_->records_lent(lent);
  });
}

void QtFrontEnd::set_wait_cursor(bool on) {
  later([this, on] {
    if (on) {
      ++wait_cursor_depth_;
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (wait_cursor_depth_ > 0) {
      --wait_cursor_depth_;
      QApplication::restoreOverrideCursor();
    }
  });
}

void QtFrontEnd::show_panel(Panel panel, bool visible) {
  later([this, panel, visible] {
    if (views_ != nullptr) views_->show_panel(panel, visible);
  });
}

void QtFrontEnd::refresh_panel(Panel panel) {
  if (views_ != nullptr && !views_->capture_panel(panel)) return;
  later([this, panel] {
    if (views_ != nullptr) views_->refresh_panel(panel);
  });
}

void QtFrontEnd::set_window_title(const std::string& title) {
  later([this, t = q(title)] {
    if (views_ != nullptr) views_->set_window_title(t);
  });
}

void QtFrontEnd::run_state_changed(bool running) {
  later([this, running] {
    if (views_ != nullptr) views_->run_state_changed(running);
  });
}

void QtFrontEnd::set_led(vx::Led led, bool on) {
  later([this, led, on] {
    if (views_ != nullptr) views_->set_led(led, on);
  });
}

void QtFrontEnd::show_help_message(const std::string& text) {
  later([this, t = q(text)] {
    if (views_ != nullptr) views_->show_help_message(t);
  });
}

void QtFrontEnd::set_text(Field field, int index, const std::string& text) {
  later([this, field, index, t = q(text)] {
    if (views_ != nullptr) views_->set_text(field, index, t);
  });
}

void QtFrontEnd::set_colour(Field field, Rgb colour) {
  later([this, field, colour] {
    if (views_ != nullptr) views_->set_colour(field, colour);
  });
}

void QtFrontEnd::plot_strip_chart(StripChart chart, double seconds,
                                  std::span<const double> points) {
  later([this, chart, seconds, p = QVector<double>(points.begin(), points.end())] {
    if (views_ != nullptr) views_->plot_strip_chart(chart, seconds, p);
  });
}

}  // namespace vx::ui
