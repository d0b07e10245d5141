// The help message panel: a small frameless box showing one help text at the mouse
// position, hidden again by a click on the main window.
#pragma once

#include <QFrame>

class QPlainTextEdit;

namespace vx::ui {

class HelpPanel : public QFrame {
  Q_OBJECT
 public:
  explicit HelpPanel(QWidget* parent = nullptr);
  // Replaces the text, moves the panel's top-left corner to the mouse and shows it.
  void show_message(const QString& text);
  QString text() const;

 private:
  QPlainTextEdit* box_;
};

}  // namespace vx::ui
