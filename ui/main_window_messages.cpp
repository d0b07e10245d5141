// Front-end messages shown by the main window: message tabs, lights, run read-outs, run state.
#include "ui/main_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

#include "app/timer_tick.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/panels/file_menu_panel.h"
#include "ui/widgets/follow_end.h"

namespace vx::ui {

QWidget* MainWindow::build_messages() {
  auto* tabs = new QTabWidget;
  tabs->setObjectName("MESSAGESTAB");
  const char* names[3] = {"Infos", "Warnings", "Errors"};
  const char* boxes[3] = {"MESSAGESTEXTBOX", "WARNINGSTEXTBOX", "ERRORSTEXTBOX"};
  for (int i = 0; i < 3; ++i) {
    messages_[i] = new QPlainTextEdit;
    messages_[i]->setObjectName(boxes[i]);
    messages_[i]->setReadOnly(true);
    messages_[i]->setMaximumBlockCount(5000);
    messages_[i]->setMinimumHeight(48);  // three lines: room for the graph on a small screen
    messages_[i]->setFont(QFont("Monospace", 9));
    follow_end(messages_[i]);
    tabs->addTab(messages_[i], names[i]);
  }
  return tabs;
}

void MainWindow::append_message(MessageTab tab, MessageKind kind, const QString& text) {
  QPlainTextEdit* box = messages_[static_cast<int>(tab)];
  QTextCharFormat format;
  format.setForeground(kind == MessageKind::Error     ? QColor(200, 0, 0)
                       : kind == MessageKind::Warning ? QColor(190, 110, 0)
                                                      : box->palette().text().color());
  QTextCursor cursor(box->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(text, format);
}

void MainWindow::set_led(vx::Led led, bool on) {
  if (led == vx::Led::Run) running_led_->setChecked(on);
  if (led == vx::Led::TxData) tx_led_->setChecked(on);
}

void MainWindow::set_text(Field field, int index, const QString& text) {
  switch (field) {
    case Field::RunElapsedTime:
      if (index >= 0 && index < 4) elapsed_[index]->setText(text);
      break;
    case Field::EventRate:
      rate_->setText(text);
      break;
    case Field::EventNumber:
      event_number_->setText(text);
      break;
    case Field::EventTimeChain:
      event_time_->setText(text);
      break;
    default:
      break;
  }
}

void MainWindow::set_colour(Field field, Rgb c) {
  if (field != Field::EventNumber) return;
  event_number_->setStyleSheet(
      QString("background: rgb(%1,%2,%3); color: black;").arg(c.r).arg(c.g).arg(c.b));
}

void MainWindow::show_event() {
  {
    std::lock_guard lock(frame_mutex_);
    shown_event_number_ = st_.EventNumber.load();
    const auto& chain = st_.event.EventTimeChain;
    shown_event_time_ =
        QString::fromLatin1(chain.data(), static_cast<int>(strnlen(chain.data(), chain.size())));
  }
  if (!event_posted_.exchange(true)) {
    st_.ui.post([this] {
      event_posted_ = false;
      std::lock_guard lock(frame_mutex_);
      event_number_->setText(QString::number(shown_event_number_));
      event_time_->setText(shown_event_time_);
    });
  }
}

void MainWindow::run_state_changed(bool running) {
  running_ = running;
  if (file_menu_ != nullptr) file_menu_->set_running(running);
  update_run_dependent_dimming();
  // Switching a channel restarts the acquisition: not while a run is on.
  for (Led* led : ch_leds_) led->setEnabled(!running);
  all_channels_->setEnabled(!running);
  if (running && st_.acq.RunElapsedTime == 0) {
    // A new run: nothing of the previous one stays on show until the first tick.
    Update_RunElapsedTime(st_, st_);
    rate_->clear();
  }
  if (running) {
    graph_->clear_curves();
    shown_mode_ = -1;
    refresh_graph_scaling();
    refresh_annotations();
  }
}

}  // namespace vx::ui
