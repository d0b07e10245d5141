#include "ui/panels/time_strip_chart_panel.h"

#include <qcustomplot.h>
#include <QVBoxLayout>
#include <algorithm>

namespace vx::ui {

namespace {

constexpr double kWindowSeconds = 300.0;  // five minutes of history on the chart

}  // namespace

TimeStripChartPanel::TimeStripChartPanel(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("PANEL_TSC");
  setWindowTitle("Mean Distance vs Time");
  chart_ = new QCustomPlot;
  chart_->setObjectName("MEANDISTANCESTRIPCHART");
  chart_->setMinimumSize(560, 280);
  chart_->xAxis->setLabel("Time [s]");
  chart_->yAxis->setLabel("Mean Distance [ns]");
  chart_->yAxis->setNumberFormat("f");
  chart_->yAxis->setNumberPrecision(4);
  QCPGraph* g = chart_->addGraph();
  g->setPen(QPen(QColor(0, 128, 255), 1.5));
  g->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 4));  // the first point shows
  chart_->xAxis->setRange(0, 60);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(chart_);
  resize(640, 340);
}

void TimeStripChartPanel::add_point(double seconds, double mean_ns) {
  QCPGraph* g = chart_->graph(0);
  g->addData(seconds, mean_ns);
  g->data()->removeBefore(seconds - kWindowSeconds);
  stale_ = true;
}

void TimeStripChartPanel::replot() {
  if (!isVisible() || !stale_) return;
  stale_ = false;
  QCPGraph* g = chart_->graph(0);
  if (g->data()->isEmpty()) return chart_->replot();
  const double first = g->data()->constBegin()->key;
  const double last = (g->data()->constEnd() - 1)->key;
  chart_->xAxis->setRange(first, std::max(last, first + 60.0));
  bool found = false;
  QCPRange y = g->data()->valueRange(found);
  // A flat line still gets a readable scale of a few picoseconds around it.
  const double margin = std::max(0.1 * y.size(), 0.002);
  chart_->yAxis->setRange(y.lower - margin, y.upper + margin);
  chart_->replot();
}

void TimeStripChartPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  stale_ = true;
  replot();
}

}  // namespace vx::ui
