// "Time vs Matrix Index Histogram": for one channel of the last INL calibration run, the time
// each cell of the matrix spans (ps) against its index, and the histogram of the steps seen at
// the rising crossings of the inspected cell.
#pragma once

#include <QWidget>

#include "app/state.h"

class QComboBox;
class QCustomPlot;
class QLabel;

namespace vx::ui {

class TimeVsMatrixHistogram : public QWidget {
  Q_OBJECT
 public:
  explicit TimeVsMatrixHistogram(State& st, QWidget* parent = nullptr);
  void refresh();  // redraws both plots from the calibration results

 private:
  State& st_;
  QComboBox* channel_;
  QLabel* summary_;
  QCustomPlot* widths_;
  QCustomPlot* steps_;
};

}  // namespace vx::ui
