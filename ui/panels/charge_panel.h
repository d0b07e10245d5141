// "Charge Measurement Panel": the charge mode, each channel's integration window (typed in
// or marked with the main graph's cursors, which then snap to the channel's curve), the
// baseline option and the firmware threshold.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class MainGraphView;

class ChargePanel : public SettingsPanel {
  Q_OBJECT
 public:
  ChargePanel(State& st, MainGraphView* graph, QWidget* parent = nullptr);

  void refresh() override;
  // The channel whose window is edited (CHARGESELCH).
  int channel() const;
  bool cursors_on() const { return cursors_on_; }

 signals:
  // The main graph's cursors are wanted (charge cursors on) or no longer.
  void cursors_wanted(bool on);
  void histogram_requested();

 private:
  void on_mode(int mode);
  void on_start();
  void on_length();
  void on_threshold();
  void set_cursors_on(bool on);
  void place_cursors();
  void snap_cursors();
  void validate_cursors();
  double display_shift() const;

  MainGraphView* graph_;
  QComboBox* mode_ = nullptr;
  QComboBox* channel_ = nullptr;
  QSpinBox* start_ = nullptr;
  QSpinBox* length_ = nullptr;
  QLineEdit* length_ns_ = nullptr;
  QCheckBox* baseline_ = nullptr;
  QCheckBox* threshold_on_ = nullptr;
  QDoubleSpinBox* threshold_ = nullptr;
  QPushButton* apply_all_ = nullptr;
  QCheckBox* cursors_ = nullptr;
  QPushButton* validate_ = nullptr;
  QPushButton* show_histo_ = nullptr;
  bool cursors_on_ = false;
  bool snapping_ = false;
};

}  // namespace vx::ui
