#include "ui/web_monitor_panel.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vx::ui {

WebMonitorPanel::WebMonitorPanel(WebMonitor& monitor, QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor) {
  setObjectName("P_WEB");
  setWindowTitle("Web Monitor");
  auto* form = new QFormLayout;
  address_ = new QLineEdit("127.0.0.1:8080");
  address_->setToolTip(
      "PORT or ADDRESS:PORT. 127.0.0.1 serves this machine only; any other address needs a "
      "token file.");
  form->addRow("Address", address_);
  token_file_ = new QLineEdit;
  token_file_->setPlaceholderText("none (this machine only)");
  token_file_->setToolTip(
      "A file only you may read, holding the token every browser must give once "
      "(open the page as /?token=TOKEN).");
  form->addRow("Token file", token_file_);
  max_clients_ = new QSpinBox;
  max_clients_->setRange(1, 1024);
  max_clients_->setValue(32);
  max_clients_->setToolTip("Connections served at once; more are asked to come back later.");
  form->addRow("Viewers at most", max_clients_);
  start_ = new QPushButton;
  status_ = new QLabel;
  status_->setTextFormat(Qt::RichText);
  status_->setOpenExternalLinks(true);
  status_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  status_->setWordWrap(true);
  status_->setMinimumWidth(360);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(start_);
  layout->addWidget(status_);
  connect(start_, &QPushButton::clicked, this, [this] { toggle(); });
  refresh();
}

void WebMonitorPanel::refresh() {
  const bool on = monitor_.serving();
  start_->setText(on ? "Stop Serving" : "Start Serving");
  for (QWidget* w : {static_cast<QWidget*>(address_), static_cast<QWidget*>(token_file_),
                     static_cast<QWidget*>(max_clients_)})
    w->setEnabled(!on);
  if (on) {
    const QString url = QString::fromStdString(monitor_.url());
    status_->setText(QString("Serving a read-only view at <a href=\"%1\">%1</a>").arg(url));
  } else if (!error_.isEmpty()) {
    status_->setText(
        QString("<span style=\"color:#b00020\">%1</span>").arg(error_.toHtmlEscaped()));
  } else {
    status_->setText("Not serving.");
  }
}

bool WebMonitorPanel::toggle() {
  error_.clear();
  bool ok = true;
  if (monitor_.serving()) {
    monitor_.stop();
  } else {
    WebOptions options;
    std::string error;
    options.token_file = token_file_->text().trimmed().toStdString();
    options.max_clients = max_clients_->value();
    ok = Parse_WebAddress(address_->text().trimmed().toStdString(), options, error) &&
         monitor_.start(options, error);
    if (!ok)
      error_ = QString("The web monitor cannot start: %1.").arg(QString::fromStdString(error));
  }
  refresh();
  return ok;
}

}  // namespace vx::ui
