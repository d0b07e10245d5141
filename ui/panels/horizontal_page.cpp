#include "ui/panels/horizontal_page.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include "acquisition/acquisition_controls.h"
#include "digitizer/board_configuration.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

constexpr int kFrequencies[] = {3200, 1600, 800, 400};

}  // namespace

HorizontalPage::HorizontalPage(State& st, QWidget* parent) : SettingsPanel(st, parent) {
  setObjectName("HORIZONTAL");
  auto* page = new QVBoxLayout(this);

  auto* acq = new QGroupBox("ACQUISITION");
  auto* g = new QGridLayout(acq);
  g->addWidget(new QLabel("Sampling frequency"), 0, 0);
  frequency_ = make_combo("FREQUENCY");
  for (int f : kFrequencies) frequency_->addItem(QString("%1 MS/s").arg(f), f);
  g->addWidget(frequency_, 0, 1, 1, 2);
  g->addWidget(new QLabel("Sampling period"), 1, 0);
  period_ = make_readout("SCALEIND", 110, kTextAlignment);
  g->addWidget(period_, 1, 1, 1, 2);
  g->addWidget(new QLabel("Recording depth"), 2, 0);
  columns_ = make_spin("NBOFCOLSTOREAD", kMinRecordColumns, kMaxRecordColumns, 60);
  g->addWidget(columns_, 2, 1);
  auto* depth_row = new QHBoxLayout;
  depth_row->addWidget(new QLabel("x 16 samples = "));
  depth_ = make_readout("RECORDINGDEPTH", 110, kTextAlignment);
  depth_->setMinimumWidth(60);
  depth_row->addWidget(depth_);
  g->addLayout(depth_row, 2, 2);
  full_depth_ = make_check("Full recording depth (1024 samples)", "FULLRECORDINGDEPTH");
  g->addWidget(full_depth_, 3, 0, 1, 3);
  lock_note_ = new QLabel(
      "Locked while the run saves or sends its data: its files give the record length and "
      "the sampling period once, in their header, for all their records. Stop the run to "
      "change them.");
  lock_note_->setObjectName("RUNLOCKNOTE");
  lock_note_->setWordWrap(true);
  lock_note_->setVisible(false);
  g->addWidget(lock_note_, 4, 0, 1, 3);
  page->addWidget(acq);

  auto* time = new QGroupBox("TIME BASE");
  auto* t = new QGridLayout(time);
  t->addWidget(new QLabel("Scale"), 0, 0);
  scale_ = make_readout("SCALE", 110, kTextAlignment);
  t->addWidget(scale_, 0, 1);
  t->addWidget(new QLabel("Post-trigger delay"), 1, 0);
  delay_ = make_spin("DELAY", 0, kMaxPostTrigger, 60);
  t->addWidget(delay_, 1, 1);
  t->addWidget(new QLabel("x 1/4 Div"), 1, 2);
  page->addWidget(time);
  page->addStretch(1);

  connect(columns_, &QSpinBox::valueChanged, this, [this](int v) {
    change([&] { Set_RecordColumns(st_, v); });
    emit display_changed();
  });
  connect(full_depth_, &QCheckBox::clicked, this, [this](bool on) {
    if (on) {
      change([&] { Set_FullRecordingDepth(st_, true); });
    } else {
      Set_FullRecordingDepth(st_, false);
      refresh();
    }
    emit display_changed();
  });
  connect(frequency_, &QComboBox::activated, this, [this](int i) {
    change([&] { Set_SamplingFrequency(st_, kFrequencies[i]); });
    emit display_changed();
  });
  connect(delay_, &QSpinBox::valueChanged, this,
          [this](int v) { change([&] { Set_PostTriggerDelay(st_, v); }); });
  refresh();
}

void HorizontalPage::set_saving_run(bool saving) {
  const QString why = saving ? lock_note_->text() : QString();
  for (QWidget* w : std::initializer_list<QWidget*>{columns_, full_depth_, frequency_}) {
    w->setEnabled(!saving);
    w->setToolTip(why);
  }
  lock_note_->setVisible(saving);
}

void HorizontalPage::refresh() {
  const QSignalBlocker b1(columns_), b2(full_depth_), b3(frequency_), b4(delay_);
  const int columns = st_.sam[0].RecordLength16;
  columns_->setValue(columns);
  depth_->setText(QString("%1 samples").arg(st_.sys.RecordLength));
  full_depth_->setChecked(st_.sys.RecordLength == kMaxSamples);
  frequency_->setCurrentIndex(frequency_->findData(Get_Frequency(st_)));
  delay_->setValue(std::max(post_trigger_delay(st_), 0));
  const double period_ps = Get_SamplingPeriod(st_);
  period_->setText(QString("%1 ps").arg(period_ps));
  // Sixteen divisions over the record.
  scale_->setText(
      QString("%1 ns/Div").arg(st_.sys.RecordLength * period_ps / 1000.0 / 16.0, 0, 'f', 2));
}

}  // namespace vx::ui
