#include "ui/led.h"

#include <QPainter>

namespace vx::ui {

Led::Led(QColor colour, QWidget* parent) : QAbstractButton(parent), colour_(colour) {
  setCheckable(true);
  setFixedSize(sizeHint());
}

void Led::set_colour(const QColor& colour) {
  colour_ = colour;
  update();
}

void Led::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
  QColor fill = isChecked() ? colour_ : colour_.darker(400);
  if (!isEnabled()) {
    // Dimmed: washed out towards the panel's grey, so that it reads as not clickable.
    fill =
        QColor::fromHsvF(fill.hsvHueF(), fill.hsvSaturationF() * 0.3, 0.45 + fill.valueF() * 0.25);
  }
  p.setPen(QPen(QColor(40, 40, 40), 1.2));
  p.setBrush(fill);
  p.drawEllipse(r);
  if (isChecked() && isEnabled()) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(r.left() + r.width() * 0.25, r.top() + r.height() * 0.18, r.width() * 0.3,
                         r.height() * 0.25));
  }
}

}  // namespace vx::ui
