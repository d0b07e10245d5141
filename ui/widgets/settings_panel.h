// What every page and panel that changes acquisition settings shares: a refresh that copies
// the records into the controls, the way a committed change is applied, and the factories of
// the fields, buttons and lights that every window builds.
#pragma once

#include <QWidget>
#include <functional>

#include "acquisition/run_control.h"
#include "app/state.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vx::ui {

// Asks a running loop to stop and waits for it while the event loop keeps turning, so that a
// popup the loop raises meanwhile can still be answered.
void stop_keeping_events(RunState& st, Settings& settings);

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
  // within the same files and with the same numbering. The controls show the result.
  template <typename F>
  void change(F f) {
    {
      const bool was_running = RestartGuard::begin(st_);
      stop_keeping_events(st_, st_);
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

class Led;

// A line edit's own alignment, for read-outs that show text rather than numbers.
inline constexpr Qt::Alignment kTextAlignment = Qt::AlignLeft | Qt::AlignVCenter;

// Entry fields that act only on committed values (Enter or leaving the field). Every factory
// here names its widget `name`; a width of 0 leaves the least width to the style.
QSpinBox* make_spin(const QString& name, int lo, int hi, int width = 70);
// `decimals` digits after the point, the arrows step by `step`, the unit in `suffix`.
QDoubleSpinBox* make_decimal(const QString& name, double lo, double hi, int decimals, double step,
                             const QString& suffix, int width = 0);
QDoubleSpinBox* make_volts(const QString& name, double lo, double hi, int width = 90);

// A read-only field that shows a result and takes no focus (numbers right-aligned).
QLineEdit* make_readout(const QString& name, int width, Qt::Alignment align = Qt::AlignRight);
// A read-only text the user may select and copy (a directory, a run name): it takes a click.
QLineEdit* make_selectable_text(const QString& name);

QPushButton* make_button(const QString& text, const QString& name);
QCheckBox* make_check(const QString& text, const QString& name);
QComboBox* make_combo(const QString& name, int width = 0);
// A light that shows a state: clicks go through it.
Led* make_indicator(const QString& name);

}  // namespace vx::ui
