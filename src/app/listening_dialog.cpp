#include "app/listening_dialog.h"

#include <utility>

#include <QKeyEvent>
#include <QShowEvent>

namespace tavrel::app {

TListeningDialog::TListeningDialog(QWidget* parent) : QDialog(parent) {}

void TListeningDialog::done(int r) {
    QDialog::done(r);
    FormClose(r);
}

void TListeningDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous() && !FShown) {
        FShown = true;
        FormShow();
    }
}

bool TListeningDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (EnterAccepts()) {
                done(QDialog::Accepted);
            }
            return true;
        }
        if (key == Qt::Key_Escape) {
            done(QDialog::Rejected);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TListeningDialog::EndShow() {
    return std::exchange(FShown, false);
}

}  // namespace tavrel::app
