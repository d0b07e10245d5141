// "Time Measurement Histogram": the histogram of the leading-edge time differences between
// two channels with its mean, RMS, FWHM and Gaussian fit, its binning and range, and the
// door to the "Mean Distance vs Time" strip chart.
#pragma once

#include <QElapsedTimer>
#include <QPointF>
#include <QVector>
#include <cstdint>
#include <mutex>

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QCPTextElement;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace vx::ui {

class TimeStripChartPanel;

// The histogram as it stood after its last rebuild, copied on the thread that rebuilt it.
struct TimeHistoPicture {
  int bins = 0;
  double min_ns = 0.0, max_ns = 0.0;
  bool plotted = false;
  QVector<double> centres, counts, fitted_curve;
  TimeHistoResults results;
  // Strip-chart points not drawn yet: (seconds, mean distance in ns).
  QVector<QPointF> new_means;
  std::int64_t means_seen = 0;
};

class TimeHistogramPanel : public SettingsPanel {
  Q_OBJECT
 public:
  TimeHistogramPanel(State& st, TimeStripChartPanel& strip_chart, QWidget* parent = nullptr);

  // Copies the histogram and its results; safe on any thread (the acquisition thread calls
  // it right after each rebuild).
  void capture();
  // Controls from the records and the last picture, and the plots redrawn.
  void refresh() override;
  // Redraws at most at the display rate: several rebuilds in between give one redraw.
  void redraw_soon();
  void run_state_changed(bool running);
  QCustomPlot* graph() const { return graph_; }

 signals:
  void visibility_changed(bool visible);

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QWidget* build_settings();
  QWidget* build_results();
  void rebuild_channel_lists();
  void show_picture(const TimeHistoPicture& p);
  void plot(const TimeHistoPicture& p);

  TimeStripChartPanel& strip_chart_;
  QComboBox* channel_a_ = nullptr;
  QComboBox* channel_b_ = nullptr;
  QCheckBox* auto_bins_ = nullptr;
  QSpinBox* bins_ = nullptr;
  QCheckBox* auto_range_ = nullptr;
  QDoubleSpinBox* min_ = nullptr;
  QDoubleSpinBox* max_ = nullptr;
  QPushButton* save_ = nullptr;
  QCustomPlot* graph_ = nullptr;
  QCPTextElement* title_ = nullptr;
  QLineEdit* mean_ = nullptr;
  QLineEdit* rms_ = nullptr;
  QLineEdit* entries_ = nullptr;
  QLineEdit* fwhm_ = nullptr;
  QLineEdit* centre_ = nullptr;
  QLineEdit* fitted_sigma_ = nullptr;
  QLineEdit* fitted_fwhm_ = nullptr;
  QLineEdit* chi2_ = nullptr;
  QLineEdit* fit_range_ = nullptr;
  QTimer* redraw_timer_ = nullptr;
  QElapsedTimer since_redraw_;
  QElapsedTimer clock_;  // strip-chart time

  std::mutex mutex_;  // guards picture_
  TimeHistoPicture picture_;
};

}  // namespace vx::ui
