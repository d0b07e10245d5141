// "Information": a note shown when a saving option that adds measurements is switched on,
// until the user asks not to see it again.
#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace vx::ui {

class InfoPanel : public QWidget {
  Q_OBJECT
 public:
  explicit InfoPanel(QWidget* parent = nullptr);

  // Shows the note unless the user turned it off.
  void offer();
  bool suppressed() const;
  QCheckBox* dont_show_again() const { return dont_show_; }
  QPushButton* close_button() const { return close_; }

 private:
  QCheckBox* dont_show_;
  QPushButton* close_;
};

}  // namespace vx::ui
