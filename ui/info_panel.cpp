#include "ui/info_panel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace vx::ui {

InfoPanel::InfoPanel(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("PANEL_INF");
  setWindowTitle("Information");
  auto* note = new QLabel(
      "Measurements are computed for every event of the run and written with it.\n"
      "Saving runs slower with them: the display is switched off while saving.");
  note->setWordWrap(true);
  dont_show_ = new QCheckBox("Do not show this message again");
  close_ = new QPushButton("Close");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(dont_show_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* v = new QVBoxLayout(this);
  v->addWidget(note);
  v->addLayout(buttons);
  connect(close_, &QPushButton::clicked, this, &QWidget::hide);
}

void InfoPanel::offer() {
  if (suppressed()) return;
  show();
  raise();
}

bool InfoPanel::suppressed() const {
  return dont_show_->isChecked();
}

}  // namespace vx::ui
