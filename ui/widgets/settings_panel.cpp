#include "ui/widgets/settings_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "ui/led.h"

namespace vx::ui {

void stop_keeping_events(RunState& st, Settings& settings) {
  settings.StopRequest().store(1);
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
  if (width > 0) s->setMinimumWidth(width);
  s->setKeyboardTracking(false);
  return s;
}

QDoubleSpinBox* make_decimal(const QString& name, double lo, double hi, int decimals, double step,
                             const QString& suffix, int width) {
  auto* s = new QDoubleSpinBox;
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setDecimals(decimals);
  s->setSingleStep(step);
  s->setSuffix(suffix);
  if (width > 0) s->setMinimumWidth(width);
  s->setKeyboardTracking(false);
  return s;
}

QDoubleSpinBox* make_volts(const QString& name, double lo, double hi, int width) {
  return make_decimal(name, lo, hi, 3, 0.005, " V", width);
}

QLineEdit* make_readout(const QString& name, int width, Qt::Alignment align) {
  auto* e = new QLineEdit;
  e->setObjectName(name);
  e->setReadOnly(true);
  e->setFocusPolicy(Qt::NoFocus);
  e->setAlignment(align);
  if (width > 0) e->setMinimumWidth(width);
  return e;
}

QLineEdit* make_selectable_text(const QString& name) {
  QLineEdit* e = make_readout(name, 0, kTextAlignment);
  e->setFocusPolicy(Qt::ClickFocus);
  e->setStyleSheet("QLineEdit { background: palette(window); }");
  return e;
}

QPushButton* make_button(const QString& text, const QString& name) {
  auto* b = new QPushButton(text);
  b->setObjectName(name);
  return b;
}

QCheckBox* make_check(const QString& text, const QString& name) {
  auto* c = new QCheckBox(text);
  c->setObjectName(name);
  return c;
}

QComboBox* make_combo(const QString& name, int width) {
  auto* box = new QComboBox;
  box->setObjectName(name);
  if (width > 0) box->setMinimumWidth(width);
  return box;
}

Led* make_indicator(const QString& name) {
  auto* led = new Led;
  led->setObjectName(name);
  led->setAttribute(Qt::WA_TransparentForMouseEvents);
  led->setFocusPolicy(Qt::NoFocus);
  return led;
}

}  // namespace vx::ui
