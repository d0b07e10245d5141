#include "ui/panels/eeprom_panel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "calibration/stored_calibrations.h"
#include "eeprom/calibration_tables.h"
#include "eeprom/eeprom_access.h"
#include "eeprom/eeprom_dump.h"
#include "eeprom/eeprom_info.h"
#include "eeprom/eeprom_low_level.h"
#include "files/inl_file.h"
#include "ui/led.h"
#include "ui/widgets/settings_panel.h"

namespace vx::ui {

namespace {

QLabel* status_label(const char* name) {
  auto* l = new QLabel;
  l->setObjectName(name);
  l->setMinimumWidth(32);
  return l;
}

// "N/A" stands for a value that was not read: the lowest value of the box shows it.
QSpinBox* field_spin(int max, const char* name) {
  auto* s = new QSpinBox;
  s->setObjectName(name);
  s->setRange(-1, max);
  s->setSpecialValueText("N/A");
  return s;
}

QDoubleSpinBox* gain_spin(const char* name) {
  auto* s = new QDoubleSpinBox;
  s->setObjectName(name);
  s->setDecimals(1);
  s->setSingleStep(0.1);
  s->setRange(-0.1, 25.5);
  s->setSpecialValueText("N/A");
  return s;
}

void show_status(QLabel* label, const std::string& text) {
  label->setText(QString::fromStdString(text));
  label->setStyleSheet(text == "OK"         ? "color: rgb(0,140,0); font-weight: bold;"
                       : text == kOtherUnit ? "color: rgb(200,0,0); font-weight: bold;"
                                            : "color: gray;");
}

void show_text(QLineEdit* edit, const std::string& text) {
  edit->setText(text == "N/A" ? QString() : QString::fromStdString(text));
}

int spin_value(const std::string& text) {
  try {
    return std::stoi(text);
  } catch (const std::exception&) {
    return -1;
  }
}

double gain_value(const std::string& text) {
  try {
    return std::stod(text);
  } catch (const std::exception&) {
    return -0.1;
  }
}

}  // namespace

EepromPanel::EepromPanel(State& st, QWidget* parent) : QWidget(parent, Qt::Window), st_(st) {
  setObjectName("P_EEPROM");
  setWindowTitle("Advanced FLASH Access");

  // Board information of the selected daughter board.
  auto* info = new QGroupBox("Board Information");
  auto* ig = new QGridLayout(info);
  serial_ = new QLineEdit;
  serial_->setObjectName("SERIALNUMBER");
  serial_->setPlaceholderText("N/A");
  serial_->setToolTip("major.minor, at most 7 characters");
  gain_ = gain_spin("BOARDGAIN");
  offset_gain_ = gain_spin("OFFSETGAIN");
  sca_type_ = field_spin(1, "SCATYPE");
  acdc_ = field_spin(1, "ACDCCOUPLING");
  sam_long_ = field_spin(3, "SAMLONGTYPE");
  serial_ok_ = status_label("SERIAL_OK");
  gain_ok_ = status_label("GAIN_OK");
  offset_gain_ok_ = status_label("OFFSETGAIN_OK");
  setup_ok_ = status_label("SETUPREG_OK");
  const std::pair<const char*, QWidget*> rows[] = {
      {"Serial Number", serial_}, {"Gain", gain_},           {"Offset Gain", offset_gain_},
      {"SCA Type", sca_type_},    {"AC/DC Coupling", acdc_}, {"SAM Long Type", sam_long_}};
  for (int r = 0; r < 6; ++r) {
    ig->addWidget(new QLabel(rows[r].first), r, 0);
    ig->addWidget(rows[r].second, r, 1);
    per_board_ << rows[r].second;
  }
  ig->addWidget(serial_ok_, 0, 2);
  ig->addWidget(gain_ok_, 1, 2);
  ig->addWidget(offset_gain_ok_, 2, 2);
  ig->addWidget(setup_ok_, 3, 2, 3, 1, Qt::AlignVCenter);
  auto* read_info = make_button("Read EEPROM Info", "READ_EEPROM_INFO");
  auto* save_info = make_button("Save Board Info to EEPROM", "SAVE_BOARD_INFO");
  per_board_ << read_info << save_info;
  auto* info_buttons = new QHBoxLayout;
  info_buttons->addWidget(read_info);
  info_buttons->addWidget(save_info);
  ig->addLayout(info_buttons, 6, 0, 1, 3);
  ig->setColumnStretch(1, 1);

  // INL calibration identity.
  auto* inl = new QGroupBox("INL Calibration");
  auto* inf = new QFormLayout(inl);
  date_ = new QLineEdit;
  date_->setObjectName("CALIBDATE");
  date_->setReadOnly(true);
  date_->setPlaceholderText("N/A");
  location_ = new QLineEdit;
  location_->setObjectName("CALIBLOCATION");
  location_->setPlaceholderText("N/A");
  location_->setToolTip("At most 15 characters");
  responsible_ = new QLineEdit;
  responsible_->setObjectName("CALIBRESPONSIBLE");
  responsible_->setPlaceholderText("N/A");
  responsible_->setToolTip("At most 15 characters");
  inf->addRow("Date", date_);
  inf->addRow("Location", location_);
  inf->addRow("Responsible", responsible_);
  auto* write_inl = make_button("Write INL Values to EEPROM", "WRITE_INL_VALUES");
  auto* inl_files_to = make_button("Write INL Files to EEPROM", "WRITE_INL_FILES");
  auto* inl_files_from = make_button("Save INL Files from EEPROM", "SAVE_INL_FILES");
  inl_files_to->setToolTip("Read the board's four INL files and store them on its EEPROM");
  inl_files_from->setToolTip("Write the board's four INL files from its EEPROM");
  inf->addRow(write_inl);
  auto* files_row = new QHBoxLayout;
  files_row->addWidget(inl_files_to);
  files_row->addWidget(inl_files_from);
  inf->addRow(files_row);

  // Which tables the board holds, and the commands on them.
  auto* tables = new QGroupBox("Calibration Tables");
  auto* tg = new QGridLayout(tables);
  inl_valid_ = make_indicator("INL_VALID");
  sam_dac_valid_ = make_indicator("SAMDAC_VALID");
  trigger_dac_valid_ = make_indicator("TRIGDAC_VALID");
  pedestal_valid_ = make_indicator("PEDESTAL_VALID");
  const std::pair<const char*, Led*> lights[] = {{"INL", inl_valid_},
                                                 {"SAM DAC Offsets", sam_dac_valid_},
                                                 {"Trigger DAC Offsets", trigger_dac_valid_},
                                                 {"Pedestals", pedestal_valid_}};
  for (int i = 0; i < 4; ++i) {
    tg->addWidget(lights[i].second, i / 2, 3 * (i % 2));
    tg->addWidget(new QLabel(lights[i].first), i / 2, 3 * (i % 2) + 1);
  }
  tg->setColumnMinimumWidth(2, 16);
  tg->setColumnStretch(5, 1);
  auto* load = make_button("Load Calibration Values", "LOAD_CALIB");
  auto* write_ped = make_button("Write Pedestals to EEPROM", "WRITE_PEDESTALS");
  auto* write_sam = make_button("Write SAM DACs Offsets", "WRITE_SAMDACS");
  auto* write_trig = make_button("Save Trigger DACs to EEPROM", "WRITE_TRIGDACS");
  for (auto* b : {write_ped, write_sam, write_trig}) b->setToolTip("Every daughter board");
  tg->addWidget(load, 2, 0, 1, 6);
  tg->addWidget(write_ped, 3, 0, 1, 6);
  tg->addWidget(write_sam, 4, 0, 1, 6);
  tg->addWidget(write_trig, 5, 0, 1, 6);

  auto* dumps = new QGroupBox("Dump Files");
  auto* dh = new QHBoxLayout(dumps);
  auto* dump_button = make_button("Dump EEPROM", "DUMP_EEPROM");
  auto* from_dump = make_button("Write EEPROM from Dump", "WRITE_FROM_DUMP");
  per_board_ << from_dump;
  dh->addWidget(dump_button);
  dh->addWidget(from_dump);

  // Low-level access with its own board index.
  auto* low = new QGroupBox("Low-Level Access");
  auto* lg = new QGridLayout(low);
  ll_board_ = new QSpinBox;
  ll_board_->setObjectName("LL_BOARD");
  ll_board_->setRange(0, kMaxSamBlocks / 2 - 1);
  ll_address_ = new QLineEdit("0x0000");
  ll_address_->setObjectName("LL_ADDRESS");
  ll_address_->setMaximumWidth(90);
  ll_count_ = new QSpinBox;
  ll_count_->setObjectName("LL_COUNT");
  ll_count_->setRange(1, 65536);
  ll_count_->setValue(16);
  ll_bytes_ = new QLineEdit;
  ll_bytes_->setObjectName("LL_BYTES");
  ll_bytes_->setPlaceholderText("0a 1b ff");
  ll_output_ = new QPlainTextEdit;
  ll_output_->setObjectName("LL_OUTPUT");
  ll_output_->setReadOnly(true);
  ll_output_->setFont(QFont("Monospace", 9));
  ll_output_->setMinimumHeight(90);
  auto* ll_read = make_button("Read", "LL_READ");
  auto* ll_write = make_button("Write", "LL_WRITE");
  auto* ll_test = make_button("Test EEPROM", "LL_TEST");
  auto* ll_erase = make_button("Erase EEPROM", "LL_ERASE");
  lg->addWidget(new QLabel("Daughter Board"), 0, 0);
  lg->addWidget(ll_board_, 0, 1);
  lg->addWidget(new QLabel("Address"), 0, 2);
  lg->addWidget(ll_address_, 0, 3);
  lg->addWidget(new QLabel("Bytes"), 1, 0);
  lg->addWidget(ll_count_, 1, 1);
  lg->addWidget(ll_read, 1, 2, 1, 2);
  lg->addWidget(new QLabel("Data (hex)"), 2, 0);
  lg->addWidget(ll_bytes_, 2, 1, 1, 2);
  lg->addWidget(ll_write, 2, 3);
  lg->addWidget(ll_output_, 3, 0, 1, 4);
  lg->addWidget(ll_test, 4, 0, 1, 2);
  lg->addWidget(ll_erase, 4, 2, 1, 2);

  build_selectors();
  auto* selector = new QHBoxLayout;
  selector->addWidget(new QLabel("Daughter Board"));
  selector->addWidget(board_);
  selector->addStretch(1);
  auto* left = new QVBoxLayout;
  left->addLayout(selector);
  left->addWidget(info);
  left->addWidget(inl);
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(tables);
  right->addWidget(dumps);
  right->addWidget(low, 1);
  auto* columns = new QHBoxLayout(this);
  columns->addLayout(left, 1);
  columns->addLayout(right, 1);

  connect(read_info, &QPushButton::clicked, this, [this] {
    Read_EEPROM_Info(st_, st_, st_, selected_board());
    refresh();
  });
  connect(save_info, &QPushButton::clicked, this, &EepromPanel::save_board_info);
  connect(write_inl, &QPushButton::clicked, this, &EepromPanel::write_inl_values);
  connect(inl_files_to, &QPushButton::clicked, this, [this] {
    const int d = selected_board();
    if (!Confirm_EEPROM_Change(st_, EepromChange::SaveCalibration, d)) return;
    Save_INL_Files_To_EEPROM(st_, d, location_->text().toStdString(),
                             responsible_->text().toStdString(), Veltrix_Read_INL_From_File);
    date_->setText(QString::fromStdString(st_.eeprom_panel.calibration_date));
  });
  connect(inl_files_from, &QPushButton::clicked, this,
          [this] { Save_INL_Files_From_EEPROM(st_, selected_board(), Save_INL_In_File); });
  connect(load, &QPushButton::clicked, this, &EepromPanel::load_calibration);
  connect(write_ped, &QPushButton::clicked, this, [this] { write_table(0); });
  connect(write_sam, &QPushButton::clicked, this, [this] { write_table(1); });
  connect(write_trig, &QPushButton::clicked, this, [this] { write_table(2); });
  connect(dump_button, &QPushButton::clicked, this, &EepromPanel::dump);
  connect(from_dump, &QPushButton::clicked, this, &EepromPanel::write_from_dump);
  connect(ll_read, &QPushButton::clicked, this, [this] { low_level(0); });
  connect(ll_write, &QPushButton::clicked, this, [this] { low_level(1); });
  connect(ll_test, &QPushButton::clicked, this, [this] { low_level(2); });
  connect(ll_erase, &QPushButton::clicked, this, [this] { low_level(3); });
  refresh();
}

void EepromPanel::build_selectors() {
  board_ = make_combo("EEPROM_BOARD");
  board_->setMinimumWidth(80);
  connect(board_, &QComboBox::activated, this, &EepromPanel::on_board_selected);
}

int EepromPanel::selected_board() const {
  return board_->currentData().toInt();
}

void EepromPanel::open() {
  const int boards = std::max(daughter_board_count(st_), 1);
  {
    const QSignalBlocker block(board_);
    const int keep = board_->count() > 0 ? selected_board() : 0;
    board_->clear();
    board_->addItem("All", -1);
    for (int d = 0; d < boards; ++d) board_->addItem(QString::number(d), d);
    board_->setCurrentIndex(std::max(board_->findData(keep < boards ? keep : 0), 0));
  }
  ll_board_->setMaximum(boards - 1);
  show();
  raise();
  on_board_selected();
}

void EepromPanel::on_board_selected() {
  const int d = selected_board();
  if (d >= 0) {
    Read_EEPROM_Info(st_, st_, st_, d);
    Undimm_EEPROM_DaughterBoardsIndividualInfo();
  } else {
    Dimm_EEPROM_DaughterBoardsIndividualInfo();
  }
  refresh();
}

void EepromPanel::Dimm_EEPROM_DaughterBoardsIndividualInfo() {
  for (QWidget* w : per_board_) w->setEnabled(false);
}

void EepromPanel::Undimm_EEPROM_DaughterBoardsIndividualInfo() {
  for (QWidget* w : per_board_) w->setEnabled(true);
}

void EepromPanel::refresh() {
  const EepromPanelValues& p = st_.eeprom_panel;
  if (selected_board() >= 0) {
    const QSignalBlocker block(board_);
    const int i = board_->findData(p.daughter_board);
    if (i >= 0) board_->setCurrentIndex(i);
  }
  show_text(serial_, p.serial);
  gain_->setValue(gain_value(p.gain));
  offset_gain_->setValue(gain_value(p.offset_gain));
  sca_type_->setValue(spin_value(p.sca_type));
  acdc_->setValue(spin_value(p.acdc_coupling));
  sam_long_->setValue(spin_value(p.sam_long_type));
  show_status(serial_ok_, p.serial_ok);
  show_status(gain_ok_, p.gain_ok);
  show_status(offset_gain_ok_, p.offset_gain_ok);
  show_status(setup_ok_, p.setup_ok);
  show_text(date_, p.calibration_date);
  show_text(location_, p.location);
  show_text(responsible_, p.responsible);
  inl_valid_->setChecked(p.inl_valid);
  sam_dac_valid_->setChecked(p.sam_dac_valid);
  trigger_dac_valid_->setChecked(p.trigger_dac_valid);
  pedestal_valid_->setChecked(p.pedestal_valid);
}

void EepromPanel::save_board_info() {
  const int d = selected_board();
  EepromInfoEntry e;
  e.serial = serial_->text().trimmed().toStdString();
  e.gain = static_cast<float>(gain_->value());
  e.offset_gain = static_cast<float>(offset_gain_->value());
  e.sca_type = sca_type_->value();
  e.acdc_coupling = acdc_->value();
  e.sam_long_type = sam_long_->value();
  if (!Confirm_EEPROM_Change(st_, EepromChange::WriteInfo, d)) return;
  // A refused write leaves the typed values for the user to correct.
  if (Write_EEPROM_Info(st_, st_, st_, d, e) == 0) refresh();
}

void EepromPanel::write_inl_values() {
  const int d = selected_board();
  if (!Confirm_EEPROM_Change(st_, EepromChange::SaveCalibration, d)) return;
  Save_INL_Values_To_EEPROM(st_, d, location_->text().toStdString(),
                            responsible_->text().toStdString());
  date_->setText(QString::fromStdString(st_.eeprom_panel.calibration_date));
}

void EepromPanel::load_calibration() {
  Load_Calibrations_And_Reload(st_, selected_board());
}

void EepromPanel::write_table(int table) {
  if (!Confirm_EEPROM_Change(st_, EepromChange::SaveCalibration, -1)) return;
  if (table == 0) Save_PedestalsToFlash(st_, st_, st_.log);
  if (table == 1) Save_SAMDACsOffsets_To_EEPROM(st_, st_, st_.log);
  if (table == 2) Save_TriggerThresholdDACs_To_EEPROM(st_, st_, st_.log);
  if (selected_board() >= 0) on_board_selected();
}

void EepromPanel::dump() {
  Dump_EEPROM_To_File(st_, st_, st_, selected_board());
}

void EepromPanel::write_from_dump() {
  const int d = selected_board();
  if (!Confirm_EEPROM_Change(st_, EepromChange::Restore, d)) return;
  Write_To_EEPROM_From_DumpFile(st_, st_, st_, d);
  refresh();
}

void EepromPanel::low_level(int action) {
  const int d = ll_board_->value();
  bool ok = false;
  const long address = ll_address_->text().trimmed().toLong(&ok, 0);
  if (action == 0 || action == 1) {
    if (!ok) {
      ll_output_->setPlainText("The address is a number: decimal, or hexadecimal with 0x.");
      return;
    }
  }
  if (action == 0) {
    std::string listing;
    if (Read_EEPROM_Bytes(st_, st_, st_.log, d, address, ll_count_->value(), &listing) == 0)
      ll_output_->setPlainText(QString::fromStdString(listing));
    return;
  }
  const EepromChange change = action == 1   ? EepromChange::WriteBytes
                              : action == 2 ? EepromChange::Test
                                            : EepromChange::Erase;
  if (!Confirm_EEPROM_Change(st_, change, d)) return;
  if (action == 1)
    Write_EEPROM_Bytes(st_, st_, st_.log, d, address, ll_bytes_->text().toStdString());
  if (action == 2) Test_EEPROM(st_, st_.log, d);
  if (action == 3) Erase_EEPROM(st_, st_.log, d);
  if (selected_board() == d) on_board_selected();
}

}  // namespace vx::ui
