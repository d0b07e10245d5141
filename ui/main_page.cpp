// The MAIN page: the DISPLAY and RUN groups, their refresh and the changes they make.
#include "app/field_ranges.h"
#include "ui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "acquisition/run_control.h"
#include "digitizer/board_configuration.h"
#include "ui/led.h"
#include "ui/main_graph_view.h"
#include "ui/main_window_changes.h"
#include "ui/panels/file_menu_panel.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

QWidget* MainWindow::build_main_page() {
  auto* page = new QWidget;
  auto* v = new QVBoxLayout(page);
  v->addWidget(build_display_group());
  v->addWidget(build_run_group());
  v->addStretch(1);
  return page;
}

QWidget* MainWindow::build_display_group() {
  auto* box = new QGroupBox("DISPLAY");
  auto* g = new QGridLayout(box);
  g->setVerticalSpacing(3);  // the MAIN page fits the height of a small screen
  display_on_ = make_check("Display ON", "DISPLAYONOFF");
  g->addWidget(display_on_, 0, 0, 1, 3);
  auto* leds = new QGridLayout;
  leds->setHorizontalSpacing(4);
  leds->setVerticalSpacing(1);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    ch_leds_[ch] = new Led(to_qcolor(channel_colour(ch)));
    ch_leds_[ch]->setObjectName(QString("CH%1LED").arg(ch));
    ch_leds_[ch]->setToolTip(QString("Channel %1 on/off").arg(ch));
    ch_labels_[ch] = new QLabel(QString::number(ch));
    ch_labels_[ch]->setAlignment(Qt::AlignCenter);
    leds->addWidget(ch_leds_[ch], (ch / 8) * 2, ch % 8, Qt::AlignCenter);
    leds->addWidget(ch_labels_[ch], (ch / 8) * 2 + 1, ch % 8, Qt::AlignCenter);
  }
  g->addLayout(leds, 1, 0, 1, 3);
  all_channels_ = make_check("All Channels", "ALLCHANNELS");
  all_channels_->setTristate(true);
  g->addWidget(all_channels_, 2, 0);
  persist_ = make_check("Persistence", "PERSIST");
  g->addWidget(persist_, 2, 1);
  averaging_ = make_check("Averaging", "AVERAGINGDATA");
  g->addWidget(averaging_, 3, 0);
  fft_ = make_check("FFT", "FFTONOFF");
  g->addWidget(fft_, 3, 1);
  g->addWidget(new QLabel("Graph Data"), 4, 0);
  data_mode_ = make_combo("DATAMODE");
  data_mode_->addItems({"Retain", "Discard"});
  g->addWidget(data_mode_, 4, 1);
  g->addWidget(new QLabel("Display 1 event (modulo"), 5, 0);
  constexpr IntRange modulo = int_range_of<&GuiParams::DisplayModulo>();
  modulo_ = make_spin("MODULOEVENTS", modulo.lo, modulo.hi, 56);
  modulo_->setSuffix(")");
  g->addWidget(modulo_, 5, 1);
  g->addWidget(new QLabel("Events per readout (1 to1024)"), 6, 0);
  constexpr IntRange per_readout = int_range_of<&AcqParams::MaxNumEventsBLT>();
  max_events_blt_ = make_spin("MAX_NUM_EVT_PER_BLOCK", per_readout.lo, per_readout.hi, 56);
  g->addWidget(max_events_blt_, 6, 1);
  g->addWidget(new QLabel("Event Time"), 7, 0);
  event_time_ = make_readout("EVENTTIME", 170, Qt::AlignLeft);
  g->addWidget(event_time_, 7, 1, 1, 2);
  return box;
}

QWidget* MainWindow::build_run_group() {
  auto* box = new QGroupBox("RUN");
  auto* g = new QGridLayout(box);
  g->setVerticalSpacing(3);
  run_type_ = make_combo("RUNTYPE");
  run_type_->addItems({"Single Event", "Finite Event Number", "Finite Time", "Continuous"});
  g->addWidget(new QLabel("Run Type"), 0, 0);
  g->addWidget(run_type_, 0, 1, 1, 4);
  g->addWidget(new QLabel("Events Required"), 1, 0);
  events_required_ = make_spin("EVENTSREQUIRED", 0, kUnlimitedEvents, 90);
  g->addWidget(events_required_, 1, 1, 1, 2);

  const char* units[4] = {"Days", "Hours", "Min", "Sec"};
  const char* req[4] = {"DAYSREQUIRED", "HOURSREQUIRED", "MINUTESREQUIRED", "SECONDSREQUIRED"};
  const char* ela[4] = {"DAYSELAPSED", "HOURSELAPSED", "MINUTESELAPSED", "SECONDSELAPSED"};
  const int max[4] = {365, 23, 59, 59};
  for (int i = 0; i < 4; ++i) {
    auto* u = new QLabel(units[i]);
    u->setAlignment(Qt::AlignCenter);
    g->addWidget(u, 2, 1 + i);
  }
  g->addWidget(new QLabel("Required Duration:"), 3, 0);
  g->addWidget(new QLabel("Elapsed Time:"), 4, 0);
  for (int i = 0; i < 4; ++i) {
    duration_[i] = make_spin(req[i], 0, max[i], 44);
    g->addWidget(duration_[i], 3, 1 + i);
    elapsed_[i] = make_readout(ela[i], 44);
    elapsed_[i]->setText("0");
    g->addWidget(elapsed_[i], 4, 1 + i);
  }
  g->addWidget(new QLabel("Event Number"), 5, 0);
  event_number_ = make_readout("EVENTNUMBER", 90);
  event_number_->setText("0");
  g->addWidget(event_number_, 5, 1, 1, 2);
  g->addWidget(new QLabel("Events/s"), 6, 0);
  rate_ = make_readout("EVENTSPERSECOND", 90);
  g->addWidget(rate_, 6, 1, 1, 2);
  auto* run_light = new QHBoxLayout;
  running_led_ = new Led(QColor(0, 230, 0));
  running_led_->setObjectName("RUNNINGLED");
  running_led_->setAttribute(Qt::WA_TransparentForMouseEvents);
  run_light->addWidget(running_led_);
  run_light->addWidget(new QLabel("Running"));
  run_light->addStretch(1);
  g->addLayout(run_light, 5, 3, 1, 2);
  auto* tx_light = new QHBoxLayout;
  tx_led_ = new Led(QColor(255, 170, 0));
  tx_led_->setObjectName("TX_DATA_TO_CLIENT_LED");
  tx_led_->setAttribute(Qt::WA_TransparentForMouseEvents);
  tx_led_->setToolTip("Lit while run data go out to the TCP client");
  tx_light->addWidget(tx_led_);
  tx_light->addWidget(new QLabel("TX to client"));
  tx_light->addStretch(1);
  g->addLayout(tx_light, 6, 3, 1, 2);
  return box;
}

void MainWindow::refresh_main_tab() {
  const AcqParams& a = st_.acq;
  const QSignalBlocker b1(display_on_), b2(persist_), b3(averaging_), b4(fft_), b5(modulo_),
      b6(max_events_blt_), b7(run_type_), b8(events_required_), b9(data_mode_);
  display_on_->setChecked(a.DisplayOn == 1);
  persist_->setChecked(st_.gui.DisplayOption == 1);
  data_mode_->setEnabled(st_.gui.DisplayOption != 1);
  averaging_->setChecked(a.AveragingDataOn == 1);
  fft_->setChecked(a.FFTMode == 1);
  modulo_->setValue(st_.gui.DisplayModulo);
  max_events_blt_->setValue(a.MaxNumEventsBLT);
  run_type_->setCurrentIndex(std::clamp(int{a.RunType}, 0, 3));
  events_required_->setEnabled(!running_ && a.RunType == kRunFiniteEvents);
  if (a.RunType == kRunFiniteEvents || a.RunType == kRunSingleEvent) {
    const QSignalBlocker b(events_required_);
    events_required_->setValue(a.NbOfEventsRequired);
  }
  if (file_menu_ != nullptr) file_menu_->refresh();
  const int d = a.RunDuration;
  const int parts[4] = {d / 86400, (d % 86400) / 3600, (d % 3600) / 60, d % 60};
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker b(duration_[i]);
    duration_[i]->setValue(parts[i]);
    duration_[i]->setEnabled(a.RunType == kRunFiniteTime);
  }
}

void MainWindow::refresh_channel_leds() {
  const int shown = shown_channels(st_);
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const bool visible = ch < shown;
    ch_leds_[ch]->setVisible(visible);
    ch_labels_[ch]->setVisible(visible);
    legends_[ch]->setVisible(visible);
    const QSignalBlocker block(ch_leds_[ch]);
    ch_leds_[ch]->set_colour(to_qcolor(channel_colour(ch)));
    ch_leds_[ch]->setChecked(st_.gui.ChannelEnabled[ch] != 0);
  }
  const QSignalBlocker block(all_channels_);
  const int all = all_channels_state(st_);
  all_channels_->setCheckState(all == 1   ? Qt::Checked
                               : all == 0 ? Qt::Unchecked
                                          : Qt::PartiallyChecked);
  recompute_graph_parameters();
  refresh_graph_scaling();
  refresh_annotations();
}

void MainWindow::on_channel_led(int ch, bool on) {
  with_restart([&] {
    {
      std::lock_guard lock(params_mutex_);
      st_.gui.ChannelEnabled[ch] = on ? 1 : 0;
    }
    Set_EnabledSAMBlocks(st_);
  });
  refresh_channel_leds();
  redraw_now();
}

void MainWindow::on_all_channels(int state) {
  with_restart([&] {
    {
      std::lock_guard lock(params_mutex_);
      for (int ch = 0; ch < shown_channels(st_); ++ch) st_.gui.ChannelEnabled[ch] = state & 1;
    }
    Set_EnabledSAMBlocks(st_);
  });
  refresh_channel_leds();
  redraw_now();
}

void MainWindow::on_run_type(int type) {
  const bool was_running = RestartGuard::begin(st_);
  stop_and_wait();
  RestartGuard restart(st_, was_running);
  Set_RunType(st_, st_, type, events_required_->value());
  refresh_main_tab();
}

void MainWindow::on_duration() {
  const bool was_running = RestartGuard::begin(st_);
  stop_and_wait();
  RestartGuard restart(st_, was_running);
  Set_RunDuration(st_, duration_[0]->value(), duration_[1]->value(), duration_[2]->value(),
                  duration_[3]->value());
}

}  // namespace vx::ui
