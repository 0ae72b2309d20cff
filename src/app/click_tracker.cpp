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

bool TClickTracker::Release(QMouseEvent* event, const QRect& area, const std::function<void()>& onClick) {
    if (event->button() != Qt::LeftButton || !FPressed) {
        return false;
    }
    FPressed = false;
    event->accept();
    if (area.contains(event->position().toPoint())) {
        onClick();
    }
    return true;
}

}  // namespace tavrel::app
