#pragma once

#include <QFont>

class QDialog;
class QWidget;

namespace tavrel::app {

// Routes the key presses of `dialog` and of every control it holds through the dialog's eventFilter
// first, so Enter and Esc mean the dialog's own "OK" and "Cancel" whichever control has the focus.
void PreviewKeys(QDialog* dialog);
// The form font in its condensed face: the fixed columns of the power and memory dialogs were drawn for
// Tahoma, which is narrower than its stand-in.
QFont CondensedUiFont(int pixelHeight);
// Places a top-level window in the middle of the primary screen's work area.
void CenterOnScreen(QWidget* window);

}  // namespace tavrel::app
