#include "ui/tcp_panel.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <cstring>

#include "remote/tcp_interface.h"
#include "ui/led.h"

namespace vx::ui {

namespace {

QLineEdit* readout() {
  auto* e = new QLineEdit;
  e->setReadOnly(true);
  e->setFocusPolicy(Qt::NoFocus);
  e->setMinimumWidth(160);
  return e;
}

Led* indicator() {
  auto* led = new Led;
  led->setAttribute(Qt::WA_TransparentForMouseEvents);
  led->setFocusPolicy(Qt::NoFocus);
  return led;
}

template <std::size_t N>
QString field_text(const char (&text)[N]) {
  return QString::fromLatin1(text, static_cast<int>(strnlen(text, N)));
}

}  // namespace

TcpPanel::TcpPanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("P_TCP");
  setWindowTitle("TCP/IP Server/Client");

  auto* server = new QGroupBox("Server");
  auto* sf = new QFormLayout(server);
  server_name_ = readout();
  server_name_->setObjectName("SERVERNAME");
  server_ip_ = readout();
  server_ip_->setObjectName("SERVERIP");
  port_ = new QSpinBox;
  port_->setObjectName("SERVERPORT");
  port_->setRange(0, 65535);
  port_->setKeyboardTracking(false);
  online_ = indicator();
  online_->setObjectName("SERVERONLINE");
  sf->addRow("Name:", server_name_);
  sf->addRow("IP:", server_ip_);
  sf->addRow("Port:", port_);
  sf->addRow("Online:", online_);

  auto* client = new QGroupBox("Client");
  auto* cf = new QFormLayout(client);
  client_ip_ = readout();
  client_ip_->setObjectName("CLIENTIP");
  client_connected_ = indicator();
  client_connected_->setObjectName("CLIENTCONNECTED");
  disconnect_ = new QPushButton("Disconnect");
  disconnect_->setObjectName("DISCONNECTCLIENT");
  cf->addRow("IP:", client_ip_);
  cf->addRow("Connected:", client_connected_);
  cf->addRow("", disconnect_);

  received_ = new QPlainTextEdit;
  received_->setObjectName("RECEIVEDMESSAGES");
  received_->setReadOnly(true);
  received_->setFont(QFont("Monospace", 9));
  received_->setMinimumSize(420, 160);

  register_ = new QPushButton;
  register_->setObjectName("SERVERREGISTER");
  clear_ = new QPushButton("Clear");
  clear_->setObjectName("CLEARMESSAGES");

  auto* groups = new QHBoxLayout;
  groups->addWidget(server);
  groups->addWidget(client);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(register_);
  buttons->addStretch(1);
  buttons->addWidget(clear_);
  auto* v = new QVBoxLayout(this);
  v->addLayout(groups);
  v->addWidget(received_, 1);
  v->addLayout(buttons);

  connect(port_, &QSpinBox::valueChanged, this, [this](int port) {
    if (st_.tcp.ServerOnline != 1) st_.tcp.ServerPort = port;
  });
  connect(register_, &QPushButton::clicked, this, [this] {
    if (st_.tcp.ServerOnline == 1) {
      UnRegister_TCPIP_Server(st_);
    } else {
      Register_TCPIP_Server(st_);
    }
    refresh();
  });
  connect(clear_, &QPushButton::clicked, this, [this] { Clear_TCPReceivedMessages(st_); });
  connect(disconnect_, &QPushButton::clicked, this, [this] {
    Disconnect_TCPClient(st_);
    refresh();
  });
  refresh();
}

void TcpPanel::refresh() {
  const TCPParams& t = st_.tcp;
  server_name_->setText(field_text(t.ServerName));
  server_ip_->setText(field_text(t.ServerIp));
  {
    const QSignalBlocker block(port_);
    port_->setValue(t.ServerPort);
  }
  port_->setEnabled(!st_.remote.PortFieldDimmed);
  online_->setChecked(t.ServerOnline == 1);
  client_ip_->setText(field_text(t.ClientIp));
  client_connected_->setChecked(t.ClientConnected == 1);
  disconnect_->setEnabled(t.ClientConnected == 1);
  register_->setText(QString::fromStdString(st_.remote.ServerButtonLabel));

  const QString text =
      QString::fromLatin1(st_.remote.ReceivedMessages.data(),
                          static_cast<qsizetype>(st_.remote.ReceivedMessages.size()));
  if (received_->toPlainText() != text) {
    received_->setPlainText(text);
    received_->verticalScrollBar()->setValue(received_->verticalScrollBar()->maximum());
  }
}

void TcpPanel::closeEvent(QCloseEvent* event) {
  event->accept();
  hide();
}

}  // namespace vx::ui
