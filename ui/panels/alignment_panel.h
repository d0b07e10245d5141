// "Plot Alignement": the main graph's waveforms drawn aligned on the threshold crossing of
// a reference channel.
#pragma once

#include "ui/widgets/settings_panel.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;

namespace vx::ui {

class AlignmentPanel : public SettingsPanel {
  Q_OBJECT
 public:
  explicit AlignmentPanel(State& st, QWidget* parent = nullptr);
  void refresh() override;

 signals:
  // The averaging option of the main page is forced off (and dimmed) while aligned.
  void averaging_locked(bool locked);

 private:
  void apply_options();

  QCheckBox* on_ = nullptr;
  QComboBox* channel_ = nullptr;
  QComboBox* edge_ = nullptr;
  QDoubleSpinBox* threshold_ = nullptr;
};

}  // namespace vx::ui
