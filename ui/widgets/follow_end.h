// Keeps a text box scrolled to its newest line while new text arrives, unless the user
// has scrolled up to read something earlier; scrolling back to the end follows again.
#pragma once

class QAbstractScrollArea;

namespace vx::ui {

void follow_end(QAbstractScrollArea* box);

}  // namespace vx::ui
