#include "ui/calibration_menu.h"

#include <QAction>
#include <QPointer>
#include <memory>

#include "app/record_loan.h"
#include "calibration/pedestal_calibration.h"
#include "calibration/sam_dac_calibration.h"
#include "calibration/trigger_dac_calibration.h"

namespace vx::ui {

CalibrationMenu::CalibrationMenu(State& st, QAction* pedestals, QAction* sam_dacs,
                                 QAction* trigger_dacs, QObject* parent)
    : QObject(parent), st_(st), actions_{pedestals, sam_dacs, trigger_dacs} {
  connect(pedestals, &QAction::triggered, this, [this] {
    const auto events = Ask_PedestalEventCount(st_);
    if (events) start([n = *events](State& st) { return Run_PedestalCalibration(st, n); });
  });
  connect(sam_dacs, &QAction::triggered, this, [this] {
    start([](State& st) {
      st.ui.set_wait_cursor(true);
      const bool ok = Calibrate_SAMDACsOffset(st);
      st.ui.set_wait_cursor(false);
      return ok;
    });
  });
  connect(trigger_dacs, &QAction::triggered, this, [this] {
    start([](State& st) {
      st.ui.set_wait_cursor(true);
      const bool ok = Calibrate_TriggerThresholdDACsOffset(st);
      st.ui.set_wait_cursor(false);
      return ok;
    });
  });
}

CalibrationMenu::~CalibrationMenu() {
  // A calibration still running when the window goes is ended before the state goes.
  if (busy_) {
    st_.calib.CalibrationCancel = true;
    st_.pool.wait_idle();
  }
}

void CalibrationMenu::start(const std::function<bool(State&)>& calibration) {
  if (busy_) return;
  busy_ = true;
  for (QAction* a : actions_) a->setEnabled(false);
  QPointer<CalibrationMenu> self(this);
  auto ok = std::make_shared<bool>(false);
  // A calibration drives the board with the records it sets, and restores them at its end.
  Lend_Records(
      st_, [this, ok, calibration] { *ok = calibration(st_); },
      [this, self, ok] {
        if (!self) return;
        busy_ = false;
        for (QAction* a : actions_) a->setEnabled(true);
        emit finished(*ok);
      });
}

}  // namespace vx::ui
