// "Hit Rate VsThreshold Plot": the settings of the rate-versus-threshold scan, its start and
// break, its progress and the plot of the kept result, which can be saved.
#pragma once

#include <QWidget>

#include "app/state.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class Led;

class RateScanPanel : public QWidget {
  Q_OBJECT
 public:
  explicit RateScanPanel(State& st, QWidget* parent = nullptr);

  // Copies the settings into the controls, dims them during a scan, shows the progress and
  // draws the kept result.
  void refresh();

 private:
  void plot();
  void apply_range();

  State& st_;
  QDoubleSpinBox* min_ = nullptr;
  QDoubleSpinBox* max_ = nullptr;
  QSpinBox* steps_ = nullptr;
  QDoubleSpinBox* time_ = nullptr;
  QComboBox* channel_ = nullptr;
  QCheckBox* log_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* break_ = nullptr;
  QPushButton* save_ = nullptr;
  QLabel* progress_ = nullptr;
  Led* running_ = nullptr;
  QCustomPlot* graph_ = nullptr;
};

}  // namespace vx::ui
