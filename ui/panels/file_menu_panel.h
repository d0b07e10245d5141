// "File Menu": where runs are saved, how their directories and files are named, the data
// file's format and splitting. The saving options themselves are in the Run menu.
#pragma once

#include <QWidget>

#include "app/state.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vx::ui {

class FileMenuPanel : public QWidget {
  Q_OBJECT
 public:
  FileMenuPanel(State& st, QWidget* parent = nullptr);
  // Copies the records into the controls and recomputes the next run's name.
  void refresh();
  // Nothing of the run's files (names, format, splitting) changes while a run is on.
  void set_running(bool running);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void browse();
  void commit_name_parts();
  // Right-click on a control: its help in the help message panel.
  void add_help(QWidget* w, const QString& text);

  State& st_;
  QLineEdit* directory_;
  QPushButton* browse_;
  QCheckBox* popup_;
  QLineEdit* base_name_;
  QCheckBox* add_date_;
  QCheckBox* add_time_;
  QCheckBox* add_run_id_;
  QCheckBox* auto_run_id_;
  QSpinBox* run_id_user_;
  QLineEdit* auto_run_id_shown_;
  QLineEdit* tcp_run_id_;
  QComboBox* file_type_;
  QCheckBox* split_;
  QSpinBox* events_per_file_;
  QLineEdit* next_run_;
  QLineEdit* run_directory_;
  QLabel* lock_note_;
  QList<QWidget*> editable_;
  bool running_ = false;
};

}  // namespace vx::ui
