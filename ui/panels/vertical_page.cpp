#include "ui/panels/vertical_page.h"

#include <algorithm>

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/acquisition_controls.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

VerticalPage::VerticalPage(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("VERTICAL");
  auto* page = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Channel"));
  channel_ = make_spin("SELCHANNEL", 0, kMaxChannels - 1, 60);
  top->addWidget(channel_);
  top->addStretch(1);
  page->addLayout(top);

  auto* input = new QGroupBox("INPUT");
  auto* ig = new QGridLayout(input);
  ig->addWidget(new QLabel("Offset"), 0, 0);
  offset_ = make_volts("OFFSET", -kOffsetRangeVolts, kOffsetRangeVolts);
  offset_->setSingleStep(0.01);
  ig->addWidget(offset_, 0, 1);
  offset_all_ = make_button("Apply to all", "APPLYOFFSETTOALL");
  ig->addWidget(offset_all_, 0, 2);
  page->addWidget(input);

  auto* display = new QGroupBox("DISPLAY");
  auto* g = new QGridLayout(display);
  g->addWidget(new QLabel("Amplitude display"), 0, 0);
  display_type_ = make_combo("AMPLITUDEDISPLAYTYPE");
  display_type_->addItems({"Equidistant", "Merged", "User defined"});
  g->addWidget(display_type_, 0, 1, 1, 2);
  g->addWidget(new QLabel("Scale"), 1, 0);
  scale_ = make_spin("SCALE", 1, 5000);
  scale_->setSuffix(" mV/Div");
  scale_->setSingleStep(10);
  g->addWidget(scale_, 1, 1);
  scale_all_ = make_button("Apply to all", "APPLYSCALETOALL");
  g->addWidget(scale_all_, 1, 2);
  g->addWidget(new QLabel("Position"), 2, 0);
  position_ = make_decimal("POSITION", -100.0, 100.0, 2, 0.1, "");
  g->addWidget(position_, 2, 1);
  position_all_ = make_button("Apply to all", "APPLYPOSITIONTOALL");
  g->addWidget(position_all_, 2, 2);
  position_type_ = make_combo("POSITIONTYPE");
  position_type_->addItems({"In Divisions", "In Volts"});
  g->addWidget(new QLabel("Position unit"), 3, 0);
  g->addWidget(position_type_, 3, 1, 1, 2);
  page->addWidget(display);
  page->addStretch(1);

  connect(channel_, &QSpinBox::valueChanged, this, [this](int ch) {
    Select_Channel(st_, st_, ch);
    refresh();
  });
  connect(offset_, &QDoubleSpinBox::valueChanged, this, [this](double v) {
    change([&] { Set_Offset(st_, channel(), static_cast<float>(v)); });
    emit display_changed();
  });
  connect(offset_all_, &QPushButton::clicked, this, [this] {
    change([&] { Set_Offset(st_, -1, static_cast<float>(offset_->value())); });
    emit display_changed();
  });
  auto display_change = [this](const std::function<void()>& f) { change_display(f); };
  connect(scale_, &QSpinBox::valueChanged, this,
          [=, this](int v) { display_change([&] { Set_VerticalScale(st_, st_, channel(), v); }); });
  connect(scale_all_, &QPushButton::clicked, this,
          [=, this] { display_change([&] { Set_VerticalScale(st_, st_, -1, scale_->value()); }); });
  connect(position_, &QDoubleSpinBox::valueChanged, this, [=, this](double v) {
    display_change([&] { Set_VerticalPosition(st_, st_, channel(), position_in_divisions(v)); });
  });
  connect(position_all_, &QPushButton::clicked, this, [=, this] {
    display_change(
        [&] { Set_VerticalPosition(st_, st_, -1, position_in_divisions(position_->value())); });
  });
  connect(position_type_, &QComboBox::activated, this, [this] { refresh(); });
  connect(display_type_, &QComboBox::activated, this, [=, this](int type) {
    display_type_shown_ = type;
    display_change([&] { Set_AmplitudeDisplayType(st_, st_, type); });
  });
  refresh();
}

int VerticalPage::channel() const {
  return std::clamp(int{st_.gui.SelectedChannel}, 0, kMaxChannels - 1);
}

float VerticalPage::position_in_divisions(double shown) const {
  if (position_type_->currentIndex() == 0) return static_cast<float>(shown);
  const int scale = std::max(int{st_.gui.VerticalScale[channel()]}, 1);
  return static_cast<float>(shown * 1000.0 / scale);
}

void VerticalPage::refresh() {
  const QSignalBlocker b1(channel_), b2(scale_), b3(offset_), b4(position_), b5(display_type_);
  const int ch = channel();
  channel_->setValue(ch);
  offset_->setValue(st_.sam[ch / 2].DCOffset[ch % 2]);
  scale_->setValue(st_.gui.VerticalScale[ch]);
  const double divisions = st_.gui.VerticalPosition[ch];
  if (position_type_->currentIndex() == 0) {
    position_->setSuffix(" Div");
    position_->setValue(divisions);
  } else {
    position_->setSuffix(" V");
    position_->setValue(divisions * st_.gui.VerticalScale[ch] / 1000.0);
  }
  // Merged shows amplitudes in volts: no scale or position; Equidistant places the channels.
  const int type =
      st_.gui.AmplitudeInVolts == 1 ? 1 : (display_type_shown_ == 1 ? 2 : display_type_shown_);
  display_type_->setCurrentIndex(type);
  const bool user = type == 2;
  scale_->setEnabled(type != 1);
  scale_all_->setEnabled(type != 1);
  for (QWidget* w : {static_cast<QWidget*>(position_), static_cast<QWidget*>(position_all_),
                     static_cast<QWidget*>(position_type_)})
    w->setEnabled(user);
}

}  // namespace vx::ui
