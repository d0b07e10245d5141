#include "ui/connection_panel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTimer>

#include "digitizer/board_connection.h"
#include "digitizer/connection_rules.h"
#include "ui/dialogs.h"
#include "ui/led.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

struct LinkChoice {
  const char* name;
  int type;
};
constexpr LinkChoice kLinks[] = {
    {"USB", 0}, {"OPTICAL", 1}, {"USB_A4818", 5}, {"ETH_V4718", 6}, {"USB_V4718", 7}};

QWidget* row(QFormLayout* form, const QString& label, QWidget* field) {
  auto* holder = new QWidget;
  auto* h = new QHBoxLayout(holder);
  h->setContentsMargins(0, 0, 0, 0);
  auto* l = new QLabel(label);
  l->setMinimumWidth(120);
  h->addWidget(l);
  h->addWidget(field, 1);
  form->addRow(holder);
  return holder;
}

}  // namespace

ConnectionPanel::ConnectionPanel(State& st, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), st_(st), dialogs_(dialogs) {
  setWindowTitle("Board Connection");
  auto* form = new QFormLayout;
  form->setVerticalSpacing(6);

  model_ = new QComboBox;
  model_->addItem("", kModelNone);
  model_->addItem(kModelNames[kModelDesktop], kModelDesktop);
  model_->addItem(kModelNames[kModelVme], kModelVme);
  row(form, "Board Model", model_);

  link_ = new QComboBox;
  for (const auto& l : kLinks) link_->addItem(l.name, l.type);
  row(form, "Link Type", link_);

  link_number_ = new QSpinBox;
  link_number_->setRange(0, 255);
  conet_node_ = new QSpinBox;
  conet_node_->setRange(0, 255);
  pid_ = new QSpinBox;
  pid_->setRange(0, 999999);
  ip_ = new QLineEdit;
  ip_->setValidator(new QRegularExpressionValidator(
      QRegularExpression(R"(^((25[0-5]|2[0-4]\d|1?\d?\d)\.){3}(25[0-5]|2[0-4]\d|1?\d?\d)$)"), ip_));
  base_ = new QLineEdit;
  base_->setValidator(
      new QRegularExpressionValidator(QRegularExpression("^(0x)?321[0-9A-Fa-f]{5}$"), base_));
  base_->setToolTip("0x32100000 to 0x321FFFFF");
  rows_[0] = row(form, "Link Number", link_number_);
  rows_[1] = row(form, "CONET Node", conet_node_);
  rows_[2] = row(form, "PID", pid_);
  rows_[3] = row(form, "IP Address", ip_);
  rows_[4] = row(form, "VME Base Address", base_);

  input_ = make_combo("SIMINPUT");
  input_->addItem("As configured", QString());
  input_->addItem("Pulses", QStringLiteral("pulse"));
  input_->addItem("Sine (INL calibration)", QStringLiteral("sine"));
  input_->addItem("None (pedestal and DAC calibrations)", QStringLiteral("none"));
  input_->setToolTip(
      "What the simulated board's inputs carry, from the next Connect on: pulses for runs, no "
      "signal for the pedestal, SAM DAC and trigger DAC calibrations, a sine for the INL "
      "calibration. \"As configured\" keeps the simulation configuration's inputs.");
  row(form, "Simulated Input", input_);

  connect_ = new QPushButton("Connect");
  connect_->setDefault(true);
  led_ = new Led(QColor(0, 230, 0));
  led_->setCheckable(true);
  led_->setAttribute(Qt::WA_TransparentForMouseEvents);
  label_ = new QLabel("Connected");
  label_->setMinimumWidth(90);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(led_);
  bottom->addWidget(label_);
  bottom->addStretch(1);
  bottom->addWidget(connect_);

  auto* outer = new QVBoxLayout(this);
  outer->addLayout(form);
  outer->addSpacing(8);
  outer->addLayout(bottom);
  outer->setSizeConstraint(QLayout::SetFixedSize);

  connect(model_, &QComboBox::currentIndexChanged, this, [this] {
    Select_BoardModel(st_, st_, st_, model());
    update_visible_fields();
  });
  connect(link_, &QComboBox::currentIndexChanged, this, [this] { update_visible_fields(); });
  connect(connect_, &QPushButton::clicked, this, [this] {
    store_fields();
    connect_->setEnabled(false);
    Connect_Board(st_, model());
    watch_connection();
  });
  update_visible_fields();
}

std::string ConnectionPanel::simulated_input() const {
  return input_->currentData().toString().toStdString();
}

int ConnectionPanel::model() const {
  return model_->currentData().toInt();
}
int ConnectionPanel::link_type() const {
  return link_->currentData().toInt();
}

void ConnectionPanel::watch_connection() {
  if (st_.Connecting.load() == 0 && st_.ConnectingThreadReleased.load() == 1) {
    connect_->setEnabled(true);
    return;
  }
  QTimer::singleShot(50, this, [this] { watch_connection(); });
}

void ConnectionPanel::update_visible_fields() {
  const ConnectionFields f = visible_connection_fields(model(), link_type());
  const bool shown[5] = {f.link_number, f.conet_node, f.pid, f.ip_address, f.base_address};
  for (int i = 0; i < 5; ++i) rows_[i]->setVisible(shown[i]);
}

void ConnectionPanel::store_fields() {
  st_.board.LinkType = link_type();
  st_.board.LinkNumber = link_number_->value();
  st_.board.ConetNode = conet_node_->value();
  st_.board.PIDNumber = static_cast<std::uint32_t>(pid_->value());
  if (ip_->hasAcceptableInput()) set_text(st_.board.IPAddress, ip_->text().toLatin1().constData());
  bool ok = false;
  const auto base = base_->text().toUInt(&ok, 16);
  if (ok && base >= kVmeBaseMin && base <= kVmeBaseMax) st_.board.VMEBaseAddress = base;
}

void ConnectionPanel::refresh() {
  const QSignalBlocker block_model(model_), block_link(link_);
  model_->setCurrentIndex(std::max(0, model_->findData(st_.SelectedModel)));
  link_->setCurrentIndex(std::max(0, link_->findData(st_.board.LinkType)));
  link_number_->setValue(st_.board.LinkNumber);
  conet_node_->setValue(st_.board.ConetNode);
  pid_->setValue(static_cast<int>(st_.board.PIDNumber));
  ip_->setText(
      QString::fromLatin1(st_.board.IPAddress, static_cast<int>(text_length(st_.board.IPAddress))));
  base_->setText(QString("0x%1")
                     .arg(st_.board.VMEBaseAddress, 8, 16, QChar('0'))
                     .toUpper()
                     .replace("0X", "0x"));
  update_visible_fields();
}

void ConnectionPanel::set_inputs_enabled(bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{model_, link_, rows_[0], rows_[1], rows_[2],
                                                    rows_[3], rows_[4], connect_})
    w->setEnabled(on);
}

void ConnectionPanel::set_indicator(bool on) {
  led_->setChecked(on);
}
void ConnectionPanel::set_label(const QString& text) {
  label_->setText(text);
}

void ConnectionPanel::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (st_.Board_Connected.load() == 1) {
    hide();
    return;
  }
  if (dialogs_.confirm(
          "WARINING!",
          "No device is connected!\n Software will exit. Are you sure you want to continue?"))
    emit quit_requested();
}

}  // namespace vx::ui
