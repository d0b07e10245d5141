#include "ui/panels/time_vs_matrix_histogram.h"

#include <qcustomplot.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/main_graph.h"
#include "calibration/inl_calibration.h"
#include "digitizer/board_configuration.h"
#include "platform/numeric.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

constexpr double kCountsPerStepBin = 5.0;

QCustomPlot* titled_plot(const char* name, const QString& title, const QString& x,
                         const QString& y) {
  auto* plot = new QCustomPlot;
  plot->setObjectName(name);
  plot->setMinimumSize(640, 230);
  plot->plotLayout()->insertRow(0);
  plot->plotLayout()->addElement(0, 0, new QCPTextElement(plot, title));
  plot->xAxis->setLabel(x);
  plot->yAxis->setLabel(y);
  return plot;
}

}  // namespace

TimeVsMatrixHistogram::TimeVsMatrixHistogram(State& st, QWidget* parent)
    : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("P_DEB_TH");
  setWindowTitle("Time vs Matrix Index Histogram");
  auto* top = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  channel_ = make_combo("DEBTHCHANNEL");
  for (int ch = 0; ch < kMaxChannels; ++ch) channel_->addItem(QString("Channel %1").arg(ch));
  summary_ = new QLabel;
  summary_->setObjectName("DEBTHSUMMARY");
  row->addWidget(channel_);
  row->addWidget(summary_, 1);
  top->addLayout(row);
  widths_ = titled_plot("DEBTHWIDTHS", "Time spanned by each cell", "matrix index (cell)",
                        "cell width (ps)");
  steps_ = titled_plot("DEBTHSTEPS", "Steps at the rising crossings of the inspected cell",
                       "step (counts, 5 per bin; the last bin holds 45 and above)", "crossings");
  top->addWidget(widths_, 3);
  top->addWidget(steps_, 2);
  connect(channel_, &QComboBox::activated, this, [this] { refresh(); });
  refresh();
}

void TimeVsMatrixHistogram::refresh() {
  widths_->clearGraphs();
  widths_->clearItems();
  steps_->clearPlottables();
  const int ch = channel_->currentIndex();
  const int blocks = board_blocks(st_);
  const bool shown = st_.inl.computed && ch < kChannelsPerBlock * blocks;
  if (!shown) {
    summary_->setText(st_.inl.computed ? "This channel is not on the board."
                                       : "No calibration run since the board was connected.");
  } else {
    const auto& k = st_.inl.at(ch / kChannelsPerBlock, ch % kChannelsPerBlock);
    const Rgb c = channel_colour(ch);
    const QColor colour(c.r, c.g, c.b);

    QVector<double> cell(kInlCells), width(kInlCells);
    for (int i = 0; i < kInlCells; ++i) {
      cell[i] = i;
      width[i] = k.GlobalTimeDNL[i];
    }
    QCPGraph* g = widths_->addGraph();
    g->setPen(QPen(colour));
    g->setLineStyle(QCPGraph::lsStepCenter);
    g->setData(cell, width, true);
    // The nominal width, for scale.
    const double period = Get_SamplingPeriod(st_);
    auto* nominal = new QCPItemStraightLine(widths_);
    nominal->point1->setCoords(0, period);
    nominal->point2->setCoords(1, period);
    nominal->setPen(QPen(Qt::gray, 1, Qt::DashLine));

    QVector<double> bin(kInlHistoBins), count(kInlHistoBins);
    int crossings = 0;
    for (int b = 0; b < kInlHistoBins; ++b) {
      bin[b] = (b + 0.5) * kCountsPerStepBin;
      count[b] = k.ZeroCrossingHisto[b];
      crossings += k.ZeroCrossingHisto[b];
    }
    auto* bars = new QCPBars(steps_->xAxis, steps_->yAxis);
    bars->setWidth(kCountsPerStepBin * 0.9);
    bars->setPen(QPen(colour));
    bars->setBrush(colour.lighter(150));
    bars->setData(bin, count, true);

    const MeanAndSigma w = StdDev(std::span<const double>(k.GlobalTimeDNL));
    summary_->setText(QString("cell width %1 ± %2 ps rms;  inspected cell %3: %4 crossings")
                          .arg(w.mean, 0, 'f', 2)
                          .arg(w.sigma, 0, 'f', 2)
                          .arg(st_.acq.INLCalibOption)
                          .arg(crossings));
  }
  widths_->rescaleAxes();
  steps_->rescaleAxes();
  steps_->xAxis->setRange(0, kInlHistoBins * kCountsPerStepBin);
  if (shown) {
    widths_->yAxis->scaleRange(1.15, widths_->yAxis->range().center());
    const double top = steps_->yAxis->range().upper;
    steps_->yAxis->setRange(0, std::max(1.0, top * 1.1));
  }
  widths_->replot();
  steps_->replot();
}

}  // namespace vx::ui
