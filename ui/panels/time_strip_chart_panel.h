// "Mean Distance vs Time": the mean of the latest accepted time differences, one point each
// time the time histogram is rebuilt.
#pragma once

#include <QWidget>

class QCustomPlot;

namespace vx::ui {

class TimeStripChartPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TimeStripChartPanel(QWidget* parent = nullptr);

  // One point: seconds since the program started, mean distance in ns.
  void add_point(double seconds, double mean_ns);
  // Redraws when shown; points added while hidden are drawn on showing.
  void replot();
  QCustomPlot* chart() const { return chart_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QCustomPlot* chart_ = nullptr;
  bool stale_ = false;
};

}  // namespace vx::ui
