// "Advanced FLASH Access": the daughter boards' EEPROMs. The board information of the
// selected daughter board, the validity of its calibration tables, the commands that store,
// load and dump them, and the low-level byte access (with test and erase).
#pragma once

#include <QWidget>

#include "app/state.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class Led;

class EepromPanel : public QWidget {
  Q_OBJECT
 public:
  explicit EepromPanel(State& st, QWidget* parent = nullptr);

  // Shows the panel and reads the information of the board in the selector.
  void open();
  // Copies the values read from the EEPROM into the controls.
  void refresh();
  // The selected daughter board, -1 for all of them.
  int selected_board() const;

 private:
  void build_selectors();
  void on_board_selected();
  // The per-board fields are usable only when one board is selected.
  void Dimm_EEPROM_DaughterBoardsIndividualInfo();
  void Undimm_EEPROM_DaughterBoardsIndividualInfo();
  void save_board_info();
  void write_inl_values();
  void load_calibration();
  void write_table(int table);
  void dump();
  void write_from_dump();
  void low_level(int action);

  State& st_;
  QComboBox* board_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QDoubleSpinBox* gain_ = nullptr;
  QDoubleSpinBox* offset_gain_ = nullptr;
  QSpinBox* sca_type_ = nullptr;
  QSpinBox* acdc_ = nullptr;
  QSpinBox* sam_long_ = nullptr;
  QLabel* serial_ok_ = nullptr;
  QLabel* gain_ok_ = nullptr;
  QLabel* offset_gain_ok_ = nullptr;
  QLabel* setup_ok_ = nullptr;
  QLineEdit* date_ = nullptr;
  QLineEdit* location_ = nullptr;
  QLineEdit* responsible_ = nullptr;
  Led* inl_valid_ = nullptr;
  Led* sam_dac_valid_ = nullptr;
  Led* trigger_dac_valid_ = nullptr;
  Led* pedestal_valid_ = nullptr;
  QList<QWidget*> per_board_;
  QSpinBox* ll_board_ = nullptr;
  QLineEdit* ll_address_ = nullptr;
  QSpinBox* ll_count_ = nullptr;
  QLineEdit* ll_bytes_ = nullptr;
  QPlainTextEdit* ll_output_ = nullptr;
};

}  // namespace vx::ui
