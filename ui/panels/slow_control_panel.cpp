#include "ui/panels/slow_control_panel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/sam_slow_control.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

QString hex_word(std::uint16_t v) {
  return QString("0x%1").arg(v, 4, 16, QChar('0')).toUpper().replace("0X", "0x");
}

}  // namespace

SlowControlPanel::SlowControlPanel(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("PANEL_SC");
  setWindowTitle("SAM Slow Control");
  setWindowFlag(Qt::Window);
  auto* page = new QVBoxLayout(this);
  page->addWidget(build_word(1, reg1_, reg1_value_));
  page->addWidget(build_word(2, reg2_, reg2_value_));
  auto* reg3 = new QGroupBox("SAM REGISTER 3");
  auto* r3 = new QHBoxLayout(reg3);
  r3->addWidget(new QLabel("Value"));
  reg3_ = make_spin("SAMREG3", 0, 0xFFFF, 100);
  reg3_->setDisplayIntegerBase(16);
  reg3_->setPrefix("0x");
  r3->addWidget(reg3_);
  r3->addStretch(1);
  page->addWidget(reg3);
  page->addWidget(
      new QLabel("Every change is applied to all SAM blocks; the words shown are "
                 "those of block 0."));
  connect(reg3_, &QSpinBox::valueChanged, this,
          [this](int v) { change([&] { Set_SamReg3(st_, static_cast<std::uint16_t>(v)); }); });
  refresh();
}

QWidget* SlowControlPanel::build_word(int word, std::array<QCheckBox*, 16>& boxes,
                                      QLineEdit*& value) {
  const auto& names = word == 1 ? kSamReg1BitNames : kSamReg2BitNames;
  auto* box = new QGroupBox(QString("SAM REGISTER %1").arg(word));
  auto* g = new QGridLayout(box);
  for (int bit = 0; bit < 16; ++bit) {
    if (names[bit][0] == '\0') continue;
    const QString name = names[bit];
    boxes[bit] = make_check(QString(name).replace("&", "&&"), name);
    boxes[bit]->setToolTip(QString("bit %1").arg(bit));
    g->addWidget(boxes[bit], bit / 4, bit % 4);
    connect(boxes[bit], &QCheckBox::clicked, this,
            [this, word, bit](bool on) { change([&] { Set_SamRegBit(st_, word, bit, on); }); });
  }
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Word"));
  value = new QLineEdit;
  value->setObjectName(QString("SAMREG%1").arg(word));
  value->setReadOnly(true);
  value->setFocusPolicy(Qt::NoFocus);
  value->setMaximumWidth(90);
  row->addWidget(value);
  row->addStretch(1);
  g->addLayout(row, 4, 0, 1, 4);
  return box;
}

void SlowControlPanel::refresh() {
  const QSignalBlocker block(reg3_);
  const SAMBlockParams& b0 = st_.sam[0];
  for (int bit = 0; bit < 16; ++bit) {
    for (auto [boxes, word] : {std::pair{&reg1_, std::uint16_t{b0.SamReg1}},
                               std::pair{&reg2_, std::uint16_t{b0.SamReg2}}}) {
      QCheckBox* box = (*boxes)[bit];
      if (box == nullptr) continue;
      const QSignalBlocker b(box);
      box->setChecked((word >> bit) & 1u);
    }
  }
  reg1_value_->setText(hex_word(b0.SamReg1));
  reg2_value_->setText(hex_word(b0.SamReg2));
  reg3_->setValue(b0.SamReg3);
}

}  // namespace vx::ui
