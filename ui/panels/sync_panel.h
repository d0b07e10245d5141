// "Advanced Multi-Boards Synchronisation Options": one master board and its slaves.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace vx::ui {

class SyncPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit SyncPanel(State& st, QWidget* parent = nullptr);
  void refresh() override;

 private:
  QCheckBox* sync_ = nullptr;
  QComboBox* master_ = nullptr;
  QSpinBox* slave_ = nullptr;
  QSpinBox* slaves_ = nullptr;
  QCheckBox* lvds_ = nullptr;
  QSpinBox* veto_ = nullptr;
};

}  // namespace vx::ui
