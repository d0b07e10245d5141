#include "ui/panels/help_panel.h"

#include <QCursor>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>

namespace vx::ui {

HelpPanel::HelpPanel(QWidget* parent) : QFrame(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName("PANEL_HELP");
  setWindowTitle("Help");
  setFrameShape(QFrame::Box);
  setStyleSheet(
      "QFrame#PANEL_HELP { background: rgb(255,255,225); border: 1px solid gray; }"
      "QPlainTextEdit { background: rgb(255,255,225); border: none; }");
  box_ = new QPlainTextEdit;
  box_->setObjectName("HELPTEXTBOX");
  box_->setReadOnly(true);
  box_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* v = new QVBoxLayout(this);
  v->setContentsMargins(4, 4, 4, 4);
  v->addWidget(box_);
  resize(360, 110);
}

void HelpPanel::show_message(const QString& text) {
  box_->clear();
  box_->setPlainText(text);
  // Tall enough for the text at this width, within reason.
  const QFontMetrics fm(box_->font());
  const QRect r = fm.boundingRect(QRect(0, 0, 340, 2000), Qt::TextWordWrap, text);
  resize(360, std::clamp(r.height() + 24, 48, 300));
  move(QCursor::pos());
  show();
  raise();
}

QString HelpPanel::text() const {
  return box_->toPlainText();
}

}  // namespace vx::ui
