// "INL Calibration": switches the time non-linearity calibration on, sets its threshold, the
// number of cell groups and the inspected cell, saves the result into the INL table or the
// INL files, loads the files, and shows the "INL Calibration Histos" window: the mean step,
// the crossings, the INL, the per-line means, the step spread and the residues of each
// channel from the last calibration run.
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

class TimeVsMatrixHistogram;

class InlHistosWindow : public QWidget {
  Q_OBJECT
 public:
  explicit InlHistosWindow(State& st, QWidget* parent = nullptr);
  // Compute_LinearityHistos: redraws the six graphs from the results.
  void refresh();

 private:
  State& st_;
  QCheckBox* all_channels_;
  QComboBox* channel_;
  QLabel* legend_;  // the channels drawn, in their colours: the six plots share it
  std::array<QCustomPlot*, 6> plots_{};
};

class InlPanel : public QWidget {
  Q_OBJECT
 public:
  explicit InlPanel(State& st, QWidget* parent = nullptr);
  void refresh();             // controls from the records
  void refresh_histograms();  // after a calibration run
  InlHistosWindow* histograms() { return histos_; }
  TimeVsMatrixHistogram* matrix_histogram() { return matrix_; }

 private:
  State& st_;
  QCheckBox* enable_;
  QDoubleSpinBox* threshold_;
  QComboBox* groups_;
  QSpinBox* cell_;
  QCheckBox* show_histos_;
  QPushButton* save_values_;
  QLabel* status_;
  InlHistosWindow* histos_;
  TimeVsMatrixHistogram* matrix_;
};

}  // namespace vx::ui
