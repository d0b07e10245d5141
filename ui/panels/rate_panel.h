// "Rate Measurements": every channel's live hit rate with its unit, the strip chart of the
// raw rates and the hit-counting veto.
#pragma once

#include <QVector>
#include <QWidget>
#include <array>

#include "app/state.h"

class QCheckBox;
class QComboBox;
class QCustomPlot;
class QLabel;
class QSpinBox;

namespace vx::ui {

class RatePanel : public QWidget {
  Q_OBJECT
 public:
  explicit RatePanel(State& st, QWidget* parent = nullptr);

  // Copies the records into the controls; a new strip-chart channel clears the chart.
  void refresh();
  // One new point per trace (every channel, or the one selected).
  void add_points(double seconds, const QVector<double>& points);
  void set_rate_text(int channel, const QString& value);
  void set_unit_text(int channel, const QString& unit);

 private:
  void show_veto_of_selected();
  void scale_rate_axis();

  State& st_;
  QCheckBox* enable_ = nullptr;
  QComboBox* chart_channel_ = nullptr;
  QCustomPlot* chart_ = nullptr;
  QCheckBox* log_ = nullptr;
  std::array<QLabel*, kMaxChannels> value_{};
  std::array<QLabel*, kMaxChannels> unit_{};
  QSpinBox* veto_channel_ = nullptr;
  QCheckBox* veto_enable_ = nullptr;
  QSpinBox* veto_length_ = nullptr;
  int charted_channel_ = -2;
};

}  // namespace vx::ui
