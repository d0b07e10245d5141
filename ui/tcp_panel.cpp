#include "ui/tcp_panel.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextCursor>
#include <QTimer>
#include <cstring>

#include "remote/client_allow_list.h"
#include "remote/tcp_interface.h"
#include "ui/led.h"
#include "ui/widgets/follow_end.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

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
  server_name_ = make_readout("SERVERNAME", 160, kTextAlignment);
  server_ip_ = make_readout("SERVERIP", 160, kTextAlignment);
  port_ = make_spin("SERVERPORT", 0, 65535, 0);
  online_ = make_indicator("SERVERONLINE");
  // Where the server listens and whom it accepts: 127.0.0.1 answers this machine only.
  listen_ = new QLineEdit;
  listen_->setObjectName("LISTENADDRESS");
  listen_->setToolTip("127.0.0.1: this machine only; 0.0.0.0: every network");
  allow_ = new QLineEdit;
  allow_->setObjectName("ALLOWEDCLIENTS");
  allow_->setPlaceholderText("any client");
  allow_->setToolTip("Host names or addresses, comma-separated: the only clients accepted");
  sf->addRow("Name:", server_name_);
  sf->addRow("IP:", server_ip_);
  sf->addRow("Listen on:", listen_);
  sf->addRow("Allow:", allow_);
  sf->addRow("Port:", port_);
  sf->addRow("Online:", online_);

  auto* client = new QGroupBox("Client");
  auto* cf = new QFormLayout(client);
  client_ip_ = make_readout("CLIENTIP", 160, kTextAlignment);
  client_connected_ = make_indicator("CLIENTCONNECTED");
  disconnect_ = make_button("Disconnect", "DISCONNECTCLIENT");
  cf->addRow("IP:", client_ip_);
  cf->addRow("Connected:", client_connected_);
  cf->addRow("", disconnect_);

  received_ = new QPlainTextEdit;
  received_->setObjectName("RECEIVEDMESSAGES");
  received_->setReadOnly(true);
  received_->setFont(QFont("Monospace", 9));
  received_->setMinimumSize(420, 160);
  follow_end(received_);
  // However fast a client sends, the box is redrawn a few times a second at most.
  received_timer_ = new QTimer(this);
  received_timer_->setSingleShot(true);
  received_timer_->setInterval(50);
  connect(received_timer_, &QTimer::timeout, this, &TcpPanel::show_received);

  register_ = new QPushButton;
  register_->setObjectName("SERVERREGISTER");
  clear_ = make_button("Clear", "CLEARMESSAGES");

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
  connect(listen_, &QLineEdit::editingFinished, this, [this] {
    const std::string address = listen_->text().trimmed().toStdString();
    if (st_.tcp.ServerOnline != 1 && Is_ListenAddress(address)) st_.remote.ListenAddress = address;
    refresh();
  });
  connect(allow_, &QLineEdit::editingFinished, this, [this] {
    const std::string list = allow_->text().remove(' ').toStdString();
    std::string unknown;
    if (list.empty()) {
      st_.remote.AllowedClients.clear();
      allow_text_.clear();
    } else if (const auto resolved = Resolve_AllowedClients(list, unknown)) {
      st_.remote.AllowedClients = *resolved;
      allow_text_ = QString::fromStdString(list);
    }
    refresh();
  });
  connect(register_, &QPushButton::clicked, this, [this] {
    if (st_.tcp.ServerOnline == 1) {
      UnRegister_TCPIP_Server(st_, st_);
    } else {
      Register_TCPIP_Server(st_);
    }
    refresh();
  });
  connect(clear_, &QPushButton::clicked, this, [this] { Clear_TCPReceivedMessages(st_); });
  connect(disconnect_, &QPushButton::clicked, this, [this] {
    Disconnect_TCPClient(st_, st_);
    refresh();
  });
  refresh();
}

TcpPanel::~TcpPanel() {
  // Going away hides the panel, which takes the focus from a field and so finishes its
  // editing: the field's handler would then run on a panel already half destroyed.
  listen_->blockSignals(true);
  allow_->blockSignals(true);
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
  listen_->setText(QString::fromStdString(st_.remote.ListenAddress));
  listen_->setEnabled(t.ServerOnline != 1);
  allow_->setText(st_.remote.AllowedClients.empty() ? QString() : allow_text_);
  online_->setChecked(t.ServerOnline == 1);
  client_ip_->setText(field_text(t.ClientIp));
  client_connected_->setChecked(t.ClientConnected == 1);
  disconnect_->setEnabled(t.ClientConnected == 1);
  register_->setText(QString::fromStdString(st_.remote.ServerButtonLabel));

  // Shown at once, then at most once more per interval while text keeps coming.
  if (!received_timer_->isActive()) {
    show_received();
    received_timer_->start();
  }
}

void TcpPanel::show_received() {
  const std::string& box = st_.remote.ReceivedMessages;
  const std::uint64_t from = st_.remote.ReceivedMessagesDropped;
  const std::uint64_t to = from + box.size();
  // One character per byte: a carriage return would otherwise merge with its line feed.
  auto text = [&](std::uint64_t begin, std::uint64_t end) {
    QString t =
        QString::fromLatin1(box.data() + (begin - from), static_cast<qsizetype>(end - begin));
    t.replace('\r', ' ');
    return t;
  };
  if (from > shown_to_ || to < shown_to_) {
    // More than a whole box went by since the last look: start again.
    received_->setPlainText(text(from, to));
  } else {
    QTextCursor cursor(received_->document());
    if (to > shown_to_) {
      cursor.movePosition(QTextCursor::End);
      cursor.insertText(text(shown_to_, to));
    }
    if (from > shown_from_) {
      cursor.movePosition(QTextCursor::Start);
      cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor,
                          static_cast<int>(from - shown_from_));
      cursor.removeSelectedText();
    }
  }
  shown_from_ = from;
  shown_to_ = to;
}

void TcpPanel::closeEvent(QCloseEvent* event) {
  event->accept();
  hide();
}

}  // namespace vx::ui
