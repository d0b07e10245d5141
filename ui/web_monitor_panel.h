// "Web Monitor": serves a read-only view of the program to browsers (the same monitor as the
// command line's --web), and shows the address it serves at.
#pragma once

#include <QWidget>

#include "web/web_monitor.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class WebMonitorPanel : public QWidget {
  Q_OBJECT
 public:
  WebMonitorPanel(WebMonitor& monitor, QWidget* parent = nullptr);

  // Shows whether the monitor serves, and where.
  void refresh();
  // Starts (or stops) the monitor with the panel's settings; false with the reason shown.
  bool toggle();

  QLineEdit* address() const { return address_; }
  QLineEdit* token_file() const { return token_file_; }
  QSpinBox* max_clients() const { return max_clients_; }
  QPushButton* start_button() const { return start_; }
  QLabel* status() const { return status_; }

 private:
  WebMonitor& monitor_;
  QLineEdit* address_;
  QLineEdit* token_file_;
  QSpinBox* max_clients_;
  QPushButton* start_;
  QLabel* status_;
  QString error_;
};

}  // namespace vx::ui
