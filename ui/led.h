// A round light: an indicator, or a clickable on/off control (the channel lights).
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace vx::ui {

class Led : public QAbstractButton {
  Q_OBJECT
 public:
  explicit Led(QColor colour = QColor(0, 220, 0), QWidget* parent = nullptr);
  void set_colour(const QColor& colour);
  QColor colour() const { return colour_; }
  QSize sizeHint() const override { return {18, 18}; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor colour_;
};

}  // namespace vx::ui
