#pragma once

#include <functional>

#include <QRect>

class QMouseEvent;

namespace tavrel::app {

// A left-button press followed by its release inside the widget is a click, as for the platform's
// own controls; other buttons are left to the widget's base handlers.
class TClickTracker {
  public:
    // True when the press was taken (and accepted); otherwise the caller passes it on.
    bool Press(QMouseEvent* event);
    // Runs `onClick` when the release ends a tracked press inside `area`. False means the release was not
    // taken and the caller passes it on.
    bool Release(QMouseEvent* event, const QRect& area, const std::function<void()>& onClick);

  private:
    bool FPressed = false;
};

}  // namespace tavrel::app
