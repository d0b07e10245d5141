#include "ui/widgets/strip_chart.h"

#include <qcustomplot.h>

#include "app/timer_tick.h"

namespace vx::ui {

void setup_strip_chart_axis(QCustomPlot* chart) {
  chart->xAxis->setLabel("Time since the run started [s]");
  const AxisWindow w = Strip_ChartWindow(0.0);
  chart->xAxis->setRange(w.lower, w.upper);
}

void add_strip_chart_points(QCustomPlot* chart, double seconds, const QVector<double>& points) {
  const AxisWindow w = Strip_ChartWindow(seconds);
  for (int i = 0; i < points.size() && i < chart->graphCount(); ++i) {
    QCPGraph* g = chart->graph(i);
    if (!g->data()->isEmpty() && (g->data()->constEnd() - 1)->key > seconds) g->data()->clear();
    g->addData(seconds, points[i]);
    g->data()->removeBefore(w.lower);
  }
  chart->xAxis->setRange(w.lower, w.upper);
}

}  // namespace vx::ui
