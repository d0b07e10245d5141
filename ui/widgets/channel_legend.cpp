#include "ui/widgets/channel_legend.h"

#include <qcustomplot.h>

#include "analysis/main_graph.h"
#include "ui/main_graph_view.h"

namespace vx::ui {

void show_channel_legend(QCustomPlot* plot, int columns) {
  QCPLegend* legend = plot->legend;
  QCPLayoutGrid* layout = plot->plotLayout();
  if (legend->layout() != layout) {
    // Out of the axes, where it would hide the data, into a row of its own below them.
    if (auto* inset = plot->axisRect()->insetLayout(); inset->take(legend)) inset->simplify();
    layout->addElement(layout->rowCount(), 0, legend);
    layout->setRowStretchFactor(layout->rowCount() - 1, 0.001);
    legend->setFillOrder(QCPLayoutGrid::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);
    legend->setBrush(Qt::NoBrush);
    legend->setRowSpacing(0);
    legend->setColumnSpacing(8);
    // Small samples of the lines, so that eight names fit across a panel's plot.
    legend->setIconSize(16, 8);
    legend->setIconTextPadding(3);
    QFont small = legend->font();
    small.setPointSize(8);
    legend->setFont(small);
  }
  legend->setWrap(columns);
  legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
  const bool several = plot->graphCount() > 1;
  legend->setVisible(several);
  // A hidden legend keeps no room under the axes.
  legend->setMaximumSize(several ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : QSize(0, 0));
}

QString channel_legend_html(const std::vector<int>& channels) {
  QString html;
  for (const int ch : channels) {
    html += QString("<span style=\"color:%1; font-weight:bold\">Ch&nbsp;%2</span>&nbsp;&nbsp; ")
                .arg(to_qcolor(channel_colour(ch)).name())
                .arg(ch);
  }
  return html;
}

void set_log_scale(QCPAxis* axis, bool log) {
  axis->setScaleType(log ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
  axis->setTicker(log ? QSharedPointer<QCPAxisTicker>(new QCPAxisTickerLog)
                      : QSharedPointer<QCPAxisTicker>(new QCPAxisTicker));
}

}  // namespace vx::ui
