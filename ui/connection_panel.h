// "Board Connection": the board model, the link and its parameters, Connect, and the
// light that blinks while connecting.
#pragma once

#include <QLineEdit>
#include <QWidget>
#include <string>

#include "app/state.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class Led;
class Dialogs;

class ConnectionPanel : public QWidget {
  Q_OBJECT
 public:
  ConnectionPanel(State& st, Dialogs& dialogs, QWidget* parent = nullptr);

  // Shows BoardParams and the chosen model.
  void refresh();
  void set_indicator(bool on);
  void set_label(const QString& text);
  // The model and link fields and Connect, dimmed while a worker holds the records (a
  // connection, a calibration): the light and the label go on showing.
  void set_inputs_enabled(bool on);

  // What the simulated board's inputs carry from the next connection on: empty as its
  // configuration says, else the signal of every channel (pulse, sine or none).
  std::string simulated_input() const;

  QComboBox* model_box() const { return model_; }
  QComboBox* link_box() const { return link_; }
  QPushButton* connect_button() const { return connect_; }
  Led* indicator() const { return led_; }
  QLabel* indicator_label() const { return label_; }

 signals:
  void quit_requested();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void update_visible_fields();
  void store_fields();
  // Connect stays dimmed until the connection thread has finished.
  void watch_connection();
  int model() const;
  int link_type() const;

  State& st_;
  Dialogs& dialogs_;
  QComboBox* model_;
  QComboBox* link_;
  QComboBox* input_;
  QSpinBox* link_number_;
  QSpinBox* conet_node_;
  QSpinBox* pid_;
  QLineEdit* ip_;
  QLineEdit* base_;
  QWidget* rows_[5];
  QPushButton* connect_;
  Led* led_;
  QLabel* label_;
};

}  // namespace vx::ui
