// "Pulser Mode": the test pulser of every channel, its pattern and its source.
#pragma once

#include <array>

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class PulserPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit PulserPanel(State& st, QWidget* parent = nullptr);
  void refresh() override;

 private:
  int channel() const;

  QSpinBox* channel_ = nullptr;
  QSpinBox* pattern_ = nullptr;
  QPushButton* pattern_all_ = nullptr;
  std::array<QCheckBox*, kMaxChannels> enable_{};
  QCheckBox* all_ = nullptr;
  QComboBox* type_ = nullptr;
  QCheckBox* mode_ = nullptr;
};

}  // namespace vx::ui
