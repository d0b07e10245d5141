// "Charge Histogram": the charge histogram of one channel with its statistics, its binning,
// the exclusion window (the firmware mode's range), the range option, reset and save.
#pragma once

#include <QElapsedTimer>
#include <atomic>
#include <mutex>

#include "analysis/charge_controls.h"
#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QCPBars;
class QCustomPlot;
class QCPTextElement;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace vx::ui {

class ChargeHistoPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit ChargeHistoPanel(State& st, QWidget* parent = nullptr);

  // Controls from the records, and the histogram as it is now (between runs).
  void refresh() override;
  // Copies the shown channel's histogram, on the thread that has just rebuilt it. Returns
  // whether a redraw should follow (not while hidden or while one is already due).
  bool capture();
  // Draws the last copy (user-interface thread), no more often than the display needs.
  void redraw();
  // Shows the panel; explains the firmware mode's forced exclusion in the log.
  void open();

 private:
  void draw(const ChargeHistoView& view);
  void apply_y_range();

  QComboBox* channel_ = nullptr;
  QSpinBox* bins_ = nullptr;
  QCheckBox* exclude_ = nullptr;
  QDoubleSpinBox* min_ = nullptr;
  QDoubleSpinBox* max_ = nullptr;
  QCheckBox* range_auto_ = nullptr;
  QPushButton* reset_ = nullptr;
  QPushButton* save_ = nullptr;
  QCheckBox* fixed_ = nullptr;
  QDoubleSpinBox* y_max_ = nullptr;
  QCustomPlot* graph_ = nullptr;
  QCPTextElement* title_ = nullptr;
  QCPBars* bars_ = nullptr;
  QLineEdit* mean_ = nullptr;
  QLineEdit* sigma_ = nullptr;
  QLineEdit* entries_ = nullptr;
  QLineEdit* min_value_ = nullptr;
  QLineEdit* max_value_ = nullptr;

  std::atomic<bool> visible_{false};
  std::atomic<bool> pending_{false};
  std::mutex copy_mutex_;
  ChargeHistoView copy_;
  QTimer* throttle_ = nullptr;
  QElapsedTimer since_draw_;
  bool firmware_note_shown_ = false;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
};

}  // namespace vx::ui
