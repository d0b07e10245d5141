#include "ui/widgets/settings_panel.h"

#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QSpinBox>
#include <QTimer>

namespace vx::ui {

void stop_keeping_events(State& st) {
  st.StopRequest().store(1);
  if (st.AcquisitionRunning.load() == 0) return;
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (st.AcquisitionRunning.load() == 0) loop.quit();
  });
  poll.start(2);
  loop.exec(QEventLoop::ExcludeUserInputEvents);
}

QSpinBox* make_spin(const QString& name, int lo, int hi, int width) {
  auto* s = new QSpinBox;
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setMinimumWidth(width);
  s->setKeyboardTracking(false);
  return s;
}

QDoubleSpinBox* make_volts(const QString& name, double lo, double hi, int width) {
  auto* s = new QDoubleSpinBox;
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setDecimals(3);
  s->setSingleStep(0.005);
  s->setSuffix(" V");
  s->setMinimumWidth(width);
  s->setKeyboardTracking(false);
  return s;
}

}  // namespace vx::ui
