#include "app/dialog_support.h"

#include <QDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "app/app_fonts.h"

namespace tavrel::app {

void PreviewKeys(QDialog* dialog) {
    dialog->installEventFilter(dialog);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        child->installEventFilter(dialog);
    }
}

QFont CondensedUiFont(int pixelHeight) {
    QFont font = TAppFonts::UiFont(pixelHeight);
    font.setStretch(QFont::SemiCondensed);
    return font;
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
