// The TRIGGER page: trigger type, the channels that trigger and how they combine, and the
// selected channel's threshold and edge.
#pragma once

#include <array>

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class TriggerPage : public SettingsPanel {
  Q_OBJECT
 public:
  explicit TriggerPage(State& st, QWidget* parent = nullptr);
  void refresh() override;

 signals:
  void display_changed();

 private:
  QWidget* build_sources();
  int channel() const;

  QComboBox* type_ = nullptr;
  std::array<QCheckBox*, kMaxChannels> sources_{};
  std::array<QComboBox*, kMaxSamBlocks> pairs_{};
  QCheckBox* all_ = nullptr;
  QSpinBox* majority_ = nullptr;
  QComboBox* overall_ = nullptr;
  QSpinBox* gate_ = nullptr;
  QSpinBox* channel_ = nullptr;
  QDoubleSpinBox* threshold_ = nullptr;
  QPushButton* threshold_all_ = nullptr;
  QComboBox* edge_ = nullptr;
  QPushButton* edge_all_ = nullptr;
  QComboBox* external_ = nullptr;
  QCheckBox* gate_input_ = nullptr;
};

}  // namespace vx::ui
