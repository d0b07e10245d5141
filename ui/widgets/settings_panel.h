// What every page and panel that changes acquisition settings shares: a refresh that copies
// the records into the controls, and the way a committed change is applied.
#pragma once

#include <QWidget>
#include <functional>

#include "acquisition/run_control.h"
#include "app/state.h"

class QDoubleSpinBox;
class QSpinBox;

namespace vx::ui {

// Asks a running loop to stop and waits for it while the event loop keeps turning, so that a
// popup the loop raises meanwhile can still be answered.
void stop_keeping_events(State& st);

class SettingsPanel : public QWidget {
  Q_OBJECT
 public:
  explicit SettingsPanel(State& st, QWidget* parent = nullptr) : QWidget(parent), st_(st) {}
  // Copies the parameter records into the controls, without acting on them.
  virtual void refresh() = 0;
  // How a display-only change is made while the acquisition thread may draw: the main
  // window runs it under its display lock and redraws. By default it is just run.
  void set_display_guard(std::function<void(const std::function<void()>&)> guard) {
    display_guard_ = std::move(guard);
  }

 protected:
  // A change made during a run: the run stops, the change is applied, the run goes on
  // within the same files with the event counter one lower. The controls show the result.
  template <typename F>
  void change(F f) {
    {
      const bool was_running = RestartGuard::begin(st_);
      stop_keeping_events(st_);
      RestartGuard restart(st_, was_running);
      f();
    }
    refresh();
  }

  void change_display(const std::function<void()>& f) {
    if (display_guard_) {
      display_guard_(f);
    } else {
      f();
    }
    refresh();
  }

  State& st_;
  std::function<void(const std::function<void()>&)> display_guard_;
};

// Entry fields that act only on committed values (Enter or leaving the field).
QSpinBox* make_spin(const QString& name, int lo, int hi, int width = 70);
QDoubleSpinBox* make_volts(const QString& name, double lo, double hi, int width = 90);

}  // namespace vx::ui
