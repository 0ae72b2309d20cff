#pragma once

#include <QRect>

class QMouseEvent;

namespace tavrel::app {

// A left-button press followed by its release inside the widget is a click, as for the platform's
// own controls; other buttons are left to the widget's base handlers.
class TClickTracker {
  public:
    enum class TRelease { NotHandled, Handled, Clicked };

    // True when the press was taken (and accepted); otherwise the caller passes it on.
    bool Press(QMouseEvent* event);
    // Clicked when the release ends a tracked press inside `area`; NotHandled means pass it on.
    TRelease Release(QMouseEvent* event, const QRect& area);

  private:
    bool FPressed = false;
};

}  // namespace tavrel::app
