#pragma once

class QDialog;
class QWidget;

namespace tavrel::app {

// Routes the key presses of `dialog` and of every control it holds through the dialog's eventFilter
// first, so Enter and Esc mean the dialog's own "OK" and "Cancel" whichever control has the focus.
void PreviewKeys(QDialog* dialog);
// Places a top-level window in the middle of the primary screen's work area.
void CenterOnScreen(QWidget* window);

}  // namespace tavrel::app
