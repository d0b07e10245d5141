// "SAM Slow Control": every bit of the SAM chips' two control words and the value of the
// third, applied to every SAM block; the words shown are block 0's.
#pragma once

#include <array>

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace vx::ui {

class SlowControlPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit SlowControlPanel(State& st, QWidget* parent = nullptr);
  void refresh() override;

 private:
  QWidget* build_word(int word, std::array<QCheckBox*, 16>& boxes, QLineEdit*& value);

  std::array<QCheckBox*, 16> reg1_{};
  std::array<QCheckBox*, 16> reg2_{};
  QLineEdit* reg1_value_ = nullptr;
  QLineEdit* reg2_value_ = nullptr;
  QSpinBox* reg3_ = nullptr;
};

}  // namespace vx::ui
