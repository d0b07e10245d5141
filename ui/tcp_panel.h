// "TCP/IP Server/Client": the remote-control server's state, the messages received from
// its client, and the button that registers or un-registers the server.
#pragma once

#include <QWidget>

#include "app/state.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class Led;

class TcpPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TcpPanel(State& st, QWidget* parent = nullptr);

  // Copies the server's values into the controls.
  void refresh();

  QLineEdit* server_name() const { return server_name_; }
  QLineEdit* server_ip() const { return server_ip_; }
  QSpinBox* port() const { return port_; }
  Led* online() const { return online_; }
  QLineEdit* client_ip() const { return client_ip_; }
  Led* client_connected() const { return client_connected_; }
  QPlainTextEdit* received() const { return received_; }
  QPushButton* register_button() const { return register_; }
  QPushButton* clear_button() const { return clear_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  State& st_;
  QLineEdit* server_name_;
  QLineEdit* server_ip_;
  QSpinBox* port_;
  Led* online_;
  QLineEdit* client_ip_;
  Led* client_connected_;
  QPlainTextEdit* received_;
  QPushButton* register_;
  QPushButton* clear_;
  QPushButton* disconnect_;
};

}  // namespace vx::ui
