// "Time Measurements": how the leading and trailing edges are timed (constant fraction or
// fixed threshold per channel, spline and peak interpolation, baseline, the peak-threshold
// distance limit), the time-jitter measurement with its filters, and the times shown on the
// waveforms.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class TimeHistogramPanel;

class TimeMeasurementsPanel : public SettingsPanel {
  Q_OBJECT
 public:
  TimeMeasurementsPanel(State& st, TimeHistogramPanel& histogram, QWidget* parent = nullptr);
  void refresh() override;

 private:
  QWidget* build_general();
  QWidget* build_method();
  QWidget* build_distance();
  QWidget* build_filters();
  int selected_channel() const;
  void rebuild_channel_list();
  void apply_filters();

  TimeHistogramPanel& histogram_;
  QCheckBox* display_time_ = nullptr;
  QCheckBox* jitter_ = nullptr;
  QPushButton* show_histogram_ = nullptr;
  QComboBox* peak_interp_ = nullptr;
  QCheckBox* spline_ = nullptr;
  QSpinBox* spline_bins_ = nullptr;
  QComboBox* method_ = nullptr;
  QComboBox* edge_timing_ = nullptr;
  QDoubleSpinBox* ratio_ = nullptr;
  QSpinBox* baseline_bins_ = nullptr;
  QComboBox* threshold_channel_ = nullptr;
  QComboBox* edge_ = nullptr;
  QPushButton* all_edges_ = nullptr;
  QDoubleSpinBox* threshold_ = nullptr;
  QPushButton* all_thresholds_ = nullptr;
  QLabel* threshold_counts_ = nullptr;
  QCheckBox* no_max_ = nullptr;
  QDoubleSpinBox* max_distance_ = nullptr;
  QCheckBox* exclude_distance_ = nullptr;
  QDoubleSpinBox* min_pulses_distance_ = nullptr;
  QDoubleSpinBox* max_pulses_distance_ = nullptr;
  QCheckBox* exclude_below_ = nullptr;
  QDoubleSpinBox* min_amplitude_ = nullptr;
  QCheckBox* exclude_above_ = nullptr;
  QDoubleSpinBox* max_amplitude_ = nullptr;
};

}  // namespace vx::ui
