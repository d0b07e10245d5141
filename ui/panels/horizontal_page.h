// The HORIZONTAL/ACQ page: recording depth, sampling frequency and post-trigger delay.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace vx::ui {

class HorizontalPage : public SettingsPanel {
  Q_OBJECT
 public:
  explicit HorizontalPage(State& st, QWidget* parent = nullptr);
  void refresh() override;

 signals:
  void display_changed();

 private:
  QSpinBox* columns_ = nullptr;
  QLineEdit* depth_ = nullptr;
  QCheckBox* full_depth_ = nullptr;
  QComboBox* frequency_ = nullptr;
  QSpinBox* delay_ = nullptr;
  QLineEdit* scale_ = nullptr;
  QLineEdit* period_ = nullptr;
};

}  // namespace vx::ui
