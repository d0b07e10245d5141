#include "ui/panels/file_menu_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "app/field_ranges.h"
#include "app/message_log.h"
#include "files/file_menu.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

QString text_of(const char* field, std::size_t size) {
  std::size_t n = 0;
  while (n < size && field[n] != '\0') ++n;
  return QString::fromLocal8Bit(field, static_cast<qsizetype>(n));
}

template <std::size_t N>
QString text_of(const char (&field)[N]) {
  return text_of(field, N);
}

}  // namespace

FileMenuPanel::FileMenuPanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("PANEL_FILE");
  setWindowTitle("File Menu");

  auto* where = new QGroupBox("Where");
  auto* wf = new QFormLayout(where);
  directory_ = new QLineEdit;
  directory_->setObjectName("DATADIRECTORY");
  directory_->setMaxLength(static_cast<int>(sizeof st_.acq.DataDirectory) - 1);
  directory_->setMinimumWidth(380);
  browse_ = make_button("Browse...", "BROWSEDIRECTORY");
  auto* dir_row = new QHBoxLayout;
  dir_row->addWidget(directory_, 1);
  dir_row->addWidget(browse_);
  wf->addRow("Data directory", dir_row);
  popup_ = make_check("Ask for the directory at each run start", "POPUPFORFILENAME");
  wf->addRow(popup_);

  auto* naming = new QGroupBox("Run name");
  auto* nf = new QFormLayout(naming);
  base_name_ = new QLineEdit;
  base_name_->setObjectName("BASEFILENAME");
  base_name_->setMaxLength(static_cast<int>(sizeof st_.acq.BaseFileName) - 1);
  nf->addRow("Base file name", base_name_);
  auto* parts = new QHBoxLayout;
  add_date_ = make_check("Add date", "ADDSYSTEMDATE");
  add_time_ = make_check("Add time", "ADDSYSTEMTIME");
  add_run_id_ = make_check("Add run number", "ADDRUNID");
  parts->addWidget(add_date_);
  parts->addWidget(add_time_);
  parts->addWidget(add_run_id_);
  parts->addStretch(1);
  nf->addRow(parts);
  auto* ids = new QHBoxLayout;
  auto_run_id_ = make_check("Automatic", "AUTOINCRUNID");
  auto_run_id_shown_ = make_selectable_text("AUTORUNID");
  auto_run_id_shown_->setMaximumWidth(70);
  constexpr IntRange run_ids = int_range_of<&AcqParams::RunIdUser>();
  run_id_user_ = make_spin("RUNIDUSER", run_ids.lo, run_ids.hi, 0);
  ids->addWidget(auto_run_id_);
  ids->addWidget(auto_run_id_shown_);
  ids->addSpacing(12);
  ids->addWidget(new QLabel("or user number"));
  ids->addWidget(run_id_user_);
  ids->addStretch(1);
  nf->addRow("Run number", ids);
  tcp_run_id_ = make_selectable_text("TCPRUNID");
  tcp_run_id_->setMaximumWidth(90);
  nf->addRow("Remote run number", tcp_run_id_);

  auto* format = new QGroupBox("Data file");
  auto* ff = new QFormLayout(format);
  file_type_ = make_combo("DATAFILETYPE");
  file_type_->addItems({"ASCII (_Ascii.dat)", "Binary (_Binary.bin)"});
  ff->addRow("Format", file_type_);
  auto* split_row = new QHBoxLayout;
  split_ = make_check("Split every", "SPLITFILETOSAVEDATA");
  events_per_file_ = make_spin("NBOFEVENTSPERFILE", kFewestEventsPerFile, kEventsPerFile.hi, 100);
  split_row->addWidget(split_);
  split_row->addWidget(events_per_file_);
  split_row->addWidget(new QLabel("events"));
  split_row->addStretch(1);
  ff->addRow("Splitting", split_row);

  auto* result = new QGroupBox("Runs");
  auto* rf = new QFormLayout(result);
  next_run_ = make_selectable_text("NEXTRUNNAME");
  rf->addRow("Next run directory", next_run_);
  run_directory_ = make_selectable_text("RUNDIRECTORY");
  rf->addRow("Last run directory", run_directory_);

  auto* v = new QVBoxLayout(this);
  v->addWidget(where);
  v->addWidget(naming);
  v->addWidget(format);
  v->addWidget(result);
  v->addStretch(1);

  lock_note_ = new QLabel(
      "Dimmed during a run: the run keeps the names, format and splitting of its files "
      "until it ends.");
  lock_note_->setObjectName("RUNLOCKNOTE");
  lock_note_->setWordWrap(true);
  lock_note_->setVisible(false);
  v->insertWidget(0, lock_note_);

  // A split series keeps its names, its format and its splitting from its first file to its
  // last: none of them changes while a run is on.
  editable_ = {directory_,  browse_,      popup_,       base_name_, add_date_, add_time_,
               add_run_id_, auto_run_id_, run_id_user_, file_type_, split_,    events_per_file_};

  connect(directory_, &QLineEdit::editingFinished, this, [this] {
    if (directory_->text() != text_of(st_.acq.DataDirectory))
      Set_DataDirectory(st_, directory_->text().toStdString());
    refresh();
  });
  connect(browse_, &QPushButton::clicked, this, &FileMenuPanel::browse);
  connect(popup_, &QCheckBox::clicked, this, [this](bool on) {
    Set_PopupForFileName(st_, on);
    refresh();
  });
  connect(base_name_, &QLineEdit::editingFinished, this, [this] {
    if (base_name_->text() != text_of(st_.acq.BaseFileName))
      Set_BaseFileName(st_, base_name_->text().toStdString());
    refresh();
  });
  for (QCheckBox* box : {add_date_, add_time_, add_run_id_, auto_run_id_})
    connect(box, &QCheckBox::clicked, this, &FileMenuPanel::commit_name_parts);
  connect(run_id_user_, &QSpinBox::valueChanged, this, [this](int id) {
    Set_RunIdUser(st_, id);
    refresh();
  });
  connect(file_type_, &QComboBox::activated, this, [this](int type) {
    Set_DataFileType(st_, type);
    refresh();
  });
  connect(split_, &QCheckBox::clicked, this, [this](bool on) {
    Set_FileSplitting(st_, on, events_per_file_->value());
    refresh();
  });
  connect(events_per_file_, &QSpinBox::valueChanged, this, [this](int n) {
    Set_FileSplitting(st_, split_->isChecked(), n);
    refresh();
  });

  add_help(directory_, "The directory in which every run gets its own directory.");
  add_help(popup_,
           "When checked, a directory dialog opens at each run start, starting at the data "
           "directory.");
  add_help(base_name_,
           "The first part of the run's name; the date, the time and the run number are "
           "added to it as checked.");
  add_help(add_run_id_,
           "Automatic: one more than the largest run number found among the run directories "
           "of the data directory. Otherwise the user number is used.");
  add_help(auto_run_id_,
           "Automatic: one more than the largest run number found among the run directories "
           "of the data directory. Otherwise the user number is used.");
  add_help(file_type_,
           "ASCII files hold the samples in volts as text; binary files hold them in tenths "
           "of ADC counts.");
  add_help(split_,
           "A new data file is started every so many events: the first is named after the "
           "run, the next ones end in _0001, _0002 and so on.");
  refresh();
}

void FileMenuPanel::add_help(QWidget* w, const QString& text) {
  w->setWhatsThis(text);
  w->setToolTip(text + "\n(Right-click for this help.)");
  w->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(w, &QWidget::customContextMenuRequested, this,
          [this, text] { Write_HelpMessage(st_, text.toStdString()); });
}

void FileMenuPanel::showEvent(QShowEvent* event) {
  refresh();
  QWidget::showEvent(event);
}

void FileMenuPanel::browse() {
  const QString chosen = QFileDialog::getExistingDirectory(this, "Select Directory for Saving Data",
                                                           text_of(st_.acq.DataDirectory));
  if (!chosen.isEmpty()) Set_DataDirectory(st_, chosen.toStdString());
  refresh();
}

void FileMenuPanel::commit_name_parts() {
  Set_RunNameParts(st_, add_date_->isChecked(), add_time_->isChecked(), add_run_id_->isChecked(),
                   auto_run_id_->isChecked());
  refresh();
}

void FileMenuPanel::set_running(bool running) {
  running_ = running;
  for (QWidget* w : editable_) w->setEnabled(!running);
  lock_note_->setVisible(running);
  if (!running) refresh();
}

void FileMenuPanel::refresh() {
  const AcqParams& a = st_.acq;
  const QSignalBlocker b1(directory_), b2(popup_), b3(base_name_), b4(add_date_), b5(add_time_),
      b6(add_run_id_), b7(auto_run_id_), b8(run_id_user_), b9(file_type_), b10(split_),
      b11(events_per_file_);
  directory_->setText(text_of(a.DataDirectory));
  popup_->setChecked(a.PopupForFileName == 1);
  base_name_->setText(text_of(a.BaseFileName));
  add_date_->setChecked(a.AddSystemDate == 1);
  add_time_->setChecked(a.AddSystemTime == 1);
  add_run_id_->setChecked(a.AddRunId == 1);
  auto_run_id_->setChecked(a.AutoIncRunId == 1);
  auto_run_id_->setEnabled(a.AddRunId == 1 && !running_);
  run_id_user_->setValue(a.RunIdUser);
  run_id_user_->setEnabled(a.AddRunId == 1 && a.AutoIncRunId != 1 && !running_);
  file_type_->setCurrentIndex(a.DataFileType == 1 ? 1 : 0);
  split_->setChecked(a.SplitFileToSaveData == 1);
  events_per_file_->setValue(a.NbOfEventsPerFile);  // a stored 0 is shown as the fewest
  events_per_file_->setEnabled(a.SplitFileToSaveData == 1 && !running_);
  tcp_run_id_->setText(a.TCPCommandsEnabled == 1 ? QString::number(st_.tcp.TCPRunId) : "-");
  run_directory_->setText(text_of(a.RunDirectory));
  run_directory_->setCursorPosition(0);
  // The automatic number and the name as the next run start would make them.
  if (isVisible()) {
    const QString next = QString::fromStdString(Preview_RunName(st_, st_));
    next_run_->setText(next);
    auto_run_id_shown_->setText(QString::number(Next_AutoRunId(st_)));
  }
}

}  // namespace vx::ui
