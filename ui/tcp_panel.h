// "TCP/IP Server/Client": the remote-control server's state, the messages received from
// its client, and the button that registers or un-registers the server.
#pragma once

#include <QWidget>
#include <cstdint>

#include "app/state.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace vx::ui {

class Led;

class TcpPanel : public QWidget {
  Q_OBJECT
 public:
  explicit TcpPanel(State& st, QWidget* parent = nullptr);
  ~TcpPanel() override;

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
  // Brings the received-messages box up to date with what the server holds: new text is
  // appended and text the server let go is cut from the front, never the whole box again.
  void show_received();

  State& st_;
  QLineEdit* server_name_;
  QLineEdit* server_ip_;
  QSpinBox* port_;
  QLineEdit* listen_;
  QLineEdit* allow_;
  QString allow_text_;  // the allow-list as typed (the server holds the addresses)
  Led* online_;
  QLineEdit* client_ip_;
  Led* client_connected_;
  QPlainTextEdit* received_;
  QPushButton* register_;
  QPushButton* clear_;
  QTimer* received_timer_;
  // The part of the server's received stream that the box shows, as byte offsets.
  std::uint64_t shown_from_ = 0, shown_to_ = 0;
  QPushButton* disconnect_;
};

}  // namespace vx::ui
