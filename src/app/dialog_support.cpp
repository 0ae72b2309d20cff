#include "app/dialog_support.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace tavrel::app {

void PreviewKeys(QDialog* dialog) {
    dialog->installEventFilter(dialog);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        child->installEventFilter(dialog);
    }
}

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

}  // namespace tavrel::app
