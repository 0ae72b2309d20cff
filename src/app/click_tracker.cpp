#include "app/click_tracker.h"

#include <QMouseEvent>

namespace tavrel::app {

bool TClickTracker::Press(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return false;
    }
    FPressed = true;
    event->accept();
    return true;
}

TClickTracker::TRelease TClickTracker::Release(QMouseEvent* event, const QRect& area) {
    if (event->button() != Qt::LeftButton || !FPressed) {
        return TRelease::NotHandled;
    }
    FPressed = false;
    event->accept();
    return area.contains(event->position().toPoint()) ? TRelease::Clicked : TRelease::Handled;
}

}  // namespace tavrel::app
