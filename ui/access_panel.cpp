#include "ui/access_panel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialogs.h"

namespace vx::ui {

namespace {
constexpr const char* kAccessCode = "vrmt2468";

int slot(Panel p) {
  for (std::size_t i = 0; i < AccessPanel::kOrder.size(); ++i)
    if (AccessPanel::kOrder[i] == p) return static_cast<int>(i);
  return -1;
}
}  // namespace

AccessPanel::AccessPanel(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), dialogs_(dialogs) {
  setObjectName("PANEL_PWD");
  setWindowTitle("Password?");
  code_ = new QLineEdit;
  code_->setEchoMode(QLineEdit::Password);
  code_->setMaxLength(254);
  code_->setMinimumWidth(200);
  ok_ = new QPushButton("OK");
  ok_->setDefault(true);
  cancel_ = new QPushButton("Cancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* v = new QVBoxLayout(this);
  v->addWidget(new QLabel("Access code:"));
  v->addWidget(code_);
  v->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &AccessPanel::accept_code);
  connect(code_, &QLineEdit::returnPressed, this, &AccessPanel::accept_code);
  connect(cancel_, &QPushButton::clicked, this, &AccessPanel::cancel);
}

void AccessPanel::request(Panel panel) {
  const int i = slot(panel);
  if (i < 0) return;
  flags_[i] = true;
  show();
  raise();
  code_->setFocus();
}

bool AccessPanel::requested(Panel panel) const {
  const int i = slot(panel);
  return i >= 0 && flags_[i];
}

void AccessPanel::accept_code() {
  if (code_->text() == kAccessCode) {
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
      if (!flags_[i]) continue;
      flags_[i] = false;
      code_->clear();
      hide();
      emit granted(kOrder[i]);
      return;
    }
  }
  dialogs_.popup(PopupKind::Error, "ERROR", "Wrong Password,try again!");
}

void AccessPanel::cancel() {
  flags_.fill(false);
  code_->clear();
  hide();
}

void AccessPanel::closeEvent(QCloseEvent* event) {
  // Closing only hides the gate; the requests stay until OK or Cancel.
  event->accept();
}

}  // namespace vx::ui
