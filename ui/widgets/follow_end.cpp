#include "ui/widgets/follow_end.h"

#include <QAbstractScrollArea>
#include <QScrollBar>

namespace vx::ui {

namespace {
constexpr const char* kFollowing = "followingEnd";
}

void follow_end(QAbstractScrollArea* box) {
  QScrollBar* bar = box->verticalScrollBar();
  // Whether the view sits at the end is decided when the view moves, not when text
  // arrives: a text box lays new lines out lazily, so at insertion time its range may
  // not have grown yet.
  bar->setProperty(kFollowing, true);
  QObject::connect(bar, &QScrollBar::valueChanged, bar,
                   [bar](int value) { bar->setProperty(kFollowing, value >= bar->maximum()); });
  QObject::connect(bar, &QScrollBar::rangeChanged, bar, [bar](int, int maximum) {
    if (bar->property(kFollowing).toBool()) bar->setValue(maximum);
  });
}

}  // namespace vx::ui
