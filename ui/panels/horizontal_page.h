// The HORIZONTAL/ACQ page: recording depth, sampling frequency and post-trigger delay.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace vx::ui {

class HorizontalPage : public SettingsPanel {
  Q_OBJECT
 public:
  explicit HorizontalPage(State& st, QWidget* parent = nullptr);
  void refresh() override;
  // While a run saves or sends its data, the record length and the sampling frequency stay
  // as its files' header gives them: their controls are dimmed and say why.
  void set_saving_run(bool saving);

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
  QLabel* lock_note_ = nullptr;
};

}  // namespace vx::ui
