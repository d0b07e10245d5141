#include "ui/panels/inl_panel.h"

#include <qcustomplot.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>
#include <vector>

#include "analysis/main_graph.h"
#include "calibration/inl_calibration.h"
#include "files/inl_file.h"
#include "ui/panels/time_vs_matrix_histogram.h"
#include "ui/widgets/channel_legend.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

constexpr double kVoltsPerCountNumerator = 1.25;
constexpr double kCountsPerVolt = 2047.0;

bool enabled(const Settings& st, int ch) {
  return st.gui.ChannelEnabled[ch] == 1;
}

template <typename T>
QVector<double> values(const T* data, int n) {
  QVector<double> v(n);
  for (int i = 0; i < n; ++i) v[i] = static_cast<double>(data[i]);
  return v;
}

QVector<double> index_axis(int n) {
  QVector<double> v(n);
  for (int i = 0; i < n; ++i) v[i] = i;
  return v;
}

}  // namespace

InlHistosWindow::InlHistosWindow(State& st, QWidget* parent)
    : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("PANEL_INL_HISTOS");
  setWindowTitle("INL Calibration Histos");
  auto* top = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  all_channels_ = make_check("All channels", "INLHISTOSALLCHANNELS");
  all_channels_->setChecked(true);
  channel_ = make_combo("INLHISTOSCHANNEL");
  for (int ch = 0; ch < kMaxChannels; ++ch) channel_->addItem(QString("Channel %1").arg(ch));
  legend_ = new QLabel;
  legend_->setObjectName("INLHISTOSLEGEND");
  legend_->setWordWrap(true);
  row->addWidget(all_channels_);
  row->addWidget(channel_);
  row->addWidget(legend_, 1);
  top->addLayout(row);
  auto* grid = new QGridLayout;
  const char* titles[6] = {
      "Mean step at the crossing (counts)",   "Crossings per cell", "INL (ps)",
      "Mean step by cell modulo 16 (counts)", "Step spread (ps)",   "INL by cell modulo 16 (ps)"};
  for (int p = 0; p < 6; ++p) {
    auto* plot = new QCustomPlot;
    plot->setObjectName(QString("INLHISTO%1").arg(p + 1));
    plot->setMinimumSize(420, 220);
    plot->plotLayout()->insertRow(0);
    plot->plotLayout()->addElement(0, 0, new QCPTextElement(plot, titles[p]));
    plot->xAxis->setLabel(p == 3 || p == 5 ? "cell modulo 16" : "cell");
    plots_[p] = plot;
    grid->addWidget(plot, p / 2, p % 2);
  }
  top->addLayout(grid);
  connect(all_channels_, &QCheckBox::toggled, this, [this](bool on) {
    channel_->setEnabled(!on);
    refresh();
  });
  connect(channel_, &QComboBox::activated, this, [this] { refresh(); });
  channel_->setEnabled(false);
}

void InlHistosWindow::refresh() {
  for (auto* p : plots_) p->clearGraphs();
  const bool all = all_channels_->isChecked();
  const int channels = kChannelsPerBlock * board_blocks(st_);
  const int G = Inl_GroupCount(st_.acq.INLNbOfSegments);
  plots_[5]->xAxis->setLabel(all ? "cell modulo 16" : "cell group");
  if (auto* title = qobject_cast<QCPTextElement*>(plots_[5]->plotLayout()->element(0, 0)))
    title->setText(all ? "INL by cell modulo 16 (ps)" : "Interval residues by group (ps)");
  std::vector<int> drawn;
  if (st_.inl.computed) {
    for (int ch = 0; ch < channels; ++ch) {
      if (all ? !enabled(st_, ch) : ch != channel_->currentIndex()) continue;
      drawn.push_back(ch);
      const auto& k = st_.inl.at(ch / kChannelsPerBlock, ch % kChannelsPerBlock);
      const Rgb c = channel_colour(ch);
      const QPen pen(QColor(c.r, c.g, c.b));
      auto add = [&](int plot, const QVector<double>& y) {
        QCPGraph* g = plots_[plot]->addGraph();
        g->setPen(pen);
        g->setData(index_axis(y.size()), y, true);
      };
      add(0, values(k.ZeroCrossingSegment.data(), kInlCells));
      add(1, values(k.NbOfZeroCrossings.data(), kInlCells));
      add(2, values(k.ResidualSegments.data(), kInlCells));
      add(3, values(k.ModuloZeroCrossingSegment.data(), kInlLines));
      add(4, values(k.ZeroCrossingSigma.data(), kInlCells));
      add(5, all ? values(k.ModuloResidualSegments.data(), kInlLines)
                 : values(k.ZeroCrossingIntervalResidues.data(), G));
    }
  }
  legend_->setText(channel_legend_html(drawn));
  for (auto* p : plots_) {
    p->rescaleAxes();
    p->replot();
  }
}

InlPanel::InlPanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("PANEL_INL");
  setWindowTitle("INL Calibration");
  auto* form = new QFormLayout(this);
  enable_ = make_check("Calibration on (the next run is accumulated)", "ENABLEINLCALIBRATION");
  threshold_ = make_decimal("CALIBRATIONTHRESHOLD", -1.25, 1.25, 4, 0.01, " V");
  groups_ = make_combo("JITTERNBOFMEANS");
  for (int g = 1; g <= kInlMaxGroups; g *= 2) groups_->addItem(QString::number(g), g);
  cell_ = new QSpinBox;
  cell_->setObjectName("JITTERCELLTOPLOT");
  cell_->setRange(0, kInlCells - 1);
  show_histos_ = make_check("Show the INL histograms", "INLHISTOSENABLE");
  status_ = new QLabel;
  status_->setObjectName("INLSTATUS");
  status_->setWordWrap(true);
  form->addRow(enable_);
  form->addRow("Threshold (sine zero)", threshold_);
  form->addRow("Cell groups", groups_);
  form->addRow("Inspected cell", cell_);
  save_values_ = make_button("Save INL Values", "SAVEINLVALUES");
  auto* save_files = make_button("Save INL Files", "SAVEINLFILES");
  auto* load = make_button("Load INL Files", "LOADINL");
  save_values_->setToolTip(
      "Copy the last calibration into the INL table of every block; offered once a "
      "calibration run has measured the sine on every enabled channel");
  save_files->setToolTip("Write the INL table of every enabled channel to its INL file");
  load->setToolTip("Read the INL file of every enabled channel into the INL table");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save_values_);
  buttons->addWidget(save_files);
  buttons->addWidget(load);
  form->addRow(buttons);
  auto* show_matrix = make_button("Time vs Matrix Index Histogram", "DEBTIMEHISTO");
  show_matrix->setToolTip("Cell widths and the inspected cell's crossing steps, per channel");
  form->addRow(show_histos_);
  form->addRow(show_matrix);
  form->addRow(status_);
  histos_ = new InlHistosWindow(st, this);
  matrix_ = new TimeVsMatrixHistogram(st, this);

  connect(enable_, &QCheckBox::toggled, this, [this](bool on) { Enable_INLCalibration(st_, on); });
  connect(threshold_, &QDoubleSpinBox::editingFinished, this, [this] {
    st_.acq.INLCalibPanelValue = static_cast<float>(
        std::trunc(threshold_->value() * kCountsPerVolt / kVoltsPerCountNumerator));
    refresh();
  });
  connect(groups_, &QComboBox::activated, this,
          [this] { st_.acq.INLNbOfSegments = groups_->currentData().toInt(); });
  connect(cell_, &QSpinBox::editingFinished, this,
          [this] { st_.acq.INLCalibOption = cell_->value(); });
  connect(save_values_, &QPushButton::clicked, this, [this] {
    for (int b = 0; b < board_blocks(st_); ++b)
      if (!Save_INL_In_Array(st_, st_, st_.log, b)) break;
  });
  connect(save_files, &QPushButton::clicked, this, [this] {
    for (int ch = 0; ch < kChannelsPerBlock * board_blocks(st_); ++ch)
      if (enabled(st_, ch)) Save_INL_In_File(st_, ch / kChannelsPerBlock, ch % kChannelsPerBlock);
  });
  connect(load, &QPushButton::clicked, this, [this] {
    for (int ch = 0; ch < kChannelsPerBlock * board_blocks(st_); ++ch)
      if (enabled(st_, ch))
        Veltrix_Read_INL_From_File(st_, ch / kChannelsPerBlock, ch % kChannelsPerBlock);
  });
  connect(show_histos_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) histos_->refresh();
    histos_->setVisible(on);
  });
  connect(show_matrix, &QPushButton::clicked, this, [this] {
    matrix_->refresh();
    matrix_->show();
    matrix_->raise();
  });
  refresh();
}

void InlPanel::refresh() {
  const QSignalBlocker b1(enable_), b2(threshold_), b3(groups_), b4(cell_);
  enable_->setChecked(st_.acq.INLCalibrationRunning == 1);
  threshold_->setValue(st_.acq.INLCalibPanelValue * kVoltsPerCountNumerator / kCountsPerVolt);
  groups_->setCurrentIndex(groups_->findData(Inl_GroupCount(st_.acq.INLNbOfSegments)));
  cell_->setValue(std::clamp(static_cast<int>(st_.acq.INLCalibOption), 0, kInlCells - 1));
  save_values_->setEnabled(st_.inl.usable);
  status_->setText(!st_.inl.computed ? "No calibration run since the board was connected."
                   : st_.inl.usable
                       ? "Results of the last calibration run are shown."
                       : "The last calibration run was refused (see the Errors tab): its results "
                         "cannot be saved.");
}

void InlPanel::refresh_histograms() {
  refresh();
  if (histos_->isVisible()) histos_->refresh();
  if (matrix_->isVisible()) matrix_->refresh();
}

}  // namespace vx::ui
