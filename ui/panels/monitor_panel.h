// "Buffer Output Monitor (MON) Configuration": the gain of the analogue monitor output.
#pragma once

#include "ui/widgets/settings_panel.h"

class QComboBox;
class QLabel;

namespace vx::ui {

class MonitorPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit MonitorPanel(State& st, QWidget* parent = nullptr);
  void refresh() override;

 private:
  QComboBox* gain_ = nullptr;
  QLabel* mode_ = nullptr;
};

// The gain choices, 2 to the power 0 to 10 (the index is the stored exponent).
QComboBox* make_monitor_gain();

}  // namespace vx::ui
