// "Noise Measurements": every channel's noise (standard deviation inside a sample window
// given in ns) with its running mean, and the strip chart of the means.
#pragma once

#include <QElapsedTimer>
#include <QVector>
#include <QWidget>
#include <array>
#include <atomic>
#include <mutex>

#include "analysis/noise_controls.h"
#include "app/state.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace vx::ui {

class NoisePanel : public QWidget {
  Q_OBJECT
 public:
  explicit NoisePanel(State& st, QWidget* parent = nullptr);

  // Controls from the records; the running means start again (as after any refresh).
  void refresh();
  // Copies the channels' noise on the thread that measured it; whether a redraw is due.
  bool capture();
  // Shows the last copy (user-interface thread), at most ten times a second.
  void redraw();
  // One new strip-chart point per trace (every channel, or the one selected).
  void add_points(double seconds, const QVector<double>& points);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void show_window();
  void restart_chart();

  State& st_;
  QCheckBox* enable_ = nullptr;
  QDoubleSpinBox* start_ = nullptr;
  QDoubleSpinBox* end_ = nullptr;
  QLabel* samples_ = nullptr;
  QComboBox* chart_channel_ = nullptr;
  QCustomPlot* chart_ = nullptr;
  std::array<QLineEdit*, kMaxChannels> sigma_{};
  std::array<QLineEdit*, kMaxChannels> mean_{};
  std::array<QLabel*, kMaxChannels> names_{};
  std::array<QLabel*, 4> headers_{};
  int charted_channel_ = -2;

  std::atomic<bool> visible_{false};
  std::atomic<bool> pending_{false};
  std::mutex copy_mutex_;
  NoiseView copy_;
  QTimer* throttle_ = nullptr;
  QElapsedTimer since_draw_;
};

}  // namespace vx::ui
