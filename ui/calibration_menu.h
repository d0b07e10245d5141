// The calibration entries of the Configuration menu: the pedestal prompt, then each
// calibration on a worker so that the window (and its "Completion Status" dialog) keeps
// answering while the board is read.
#pragma once

#include <QObject>

#include <functional>

#include "app/state.h"

class QAction;

namespace vx::ui {

class CalibrationMenu : public QObject {
  Q_OBJECT
 public:
  CalibrationMenu(State& st, QAction* pedestals, QAction* sam_dacs, QAction* trigger_dacs,
                  QObject* parent);
  ~CalibrationMenu() override;
  bool busy() const { return busy_; }

 signals:
  void finished(bool ok);

 private:
  void start(const std::function<bool(State&)>& calibration);

  State& st_;
  QList<QAction*> actions_;
  bool busy_ = false;
};

}  // namespace vx::ui
