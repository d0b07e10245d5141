// The VERTICAL page: per-channel offset, display scale and position.
#pragma once

#include "ui/widgets/settings_panel.h"

class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class VerticalPage : public SettingsPanel {
  Q_OBJECT
 public:
  explicit VerticalPage(State& st, QWidget* parent = nullptr);
  void refresh() override;

 signals:
  // The graph's scaling changed: the main window redraws.
  void display_changed();

 private:
  int channel() const;
  float position_in_divisions(double shown) const;

  QSpinBox* channel_ = nullptr;
  QSpinBox* scale_ = nullptr;
  QDoubleSpinBox* offset_ = nullptr;
  QDoubleSpinBox* position_ = nullptr;
  QComboBox* position_type_ = nullptr;
  QComboBox* display_type_ = nullptr;
  QPushButton* scale_all_ = nullptr;
  QPushButton* offset_all_ = nullptr;
  QPushButton* position_all_ = nullptr;
  int display_type_shown_ = 2;
};

}  // namespace vx::ui
