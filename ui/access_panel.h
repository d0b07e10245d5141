// "Password?": the access-code gate in front of the expert panels. A menu choice marks
// which panel was asked for; a correct code opens the first marked one in a fixed order.
#pragma once

#include <QWidget>
#include <array>

#include "platform/front_end.h"

class QLineEdit;
class QPushButton;

namespace vx::ui {

class Dialogs;

class AccessPanel : public QWidget {
  Q_OBJECT
 public:
  // The order in which requests are served.
  static constexpr std::array<Panel, 4> kOrder{Panel::Eeprom, Panel::SlowControl, Panel::Debug,
                                               Panel::InlCalibration};

  AccessPanel(Dialogs& dialogs, QWidget* parent = nullptr);

  // A menu asks for an expert panel: remember it and show the gate.
  void request(Panel panel);
  bool requested(Panel panel) const;

  QLineEdit* code_field() const { return code_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* cancel_button() const { return cancel_; }

 signals:
  void granted(vx::Panel panel);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void accept_code();
  void cancel();

  Dialogs& dialogs_;
  std::array<bool, 4> flags_{};
  QLineEdit* code_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace vx::ui
