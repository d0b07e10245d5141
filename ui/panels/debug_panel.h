// "Debug": monitor mode and gain, the ADC 20 MHz switch and the SAM block whose event
// header is watched.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace vx::ui {

class DebugPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit DebugPanel(State& st, QWidget* parent = nullptr);
  void refresh() override;

 private:
  QSpinBox* mode_ = nullptr;
  QComboBox* gain_ = nullptr;
  QCheckBox* adc_ = nullptr;
  QSpinBox* block_ = nullptr;
};

}  // namespace vx::ui
