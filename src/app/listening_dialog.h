#pragma once

#include <QDialog>

namespace tavrel::app {

// A dialog that starts its work on its first show and ends it when closed: Enter means "OK" and Esc
// "Cancel" whichever control has the focus (the dialog filters their keys, see PreviewKeys).
class TListeningDialog : public QDialog {
    Q_OBJECT

  public:
    explicit TListeningDialog(QWidget* parent = nullptr);

    // Closes the dialog, then runs FormClose.
    void done(int r) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // Once per show, on the first non-spontaneous show event.
    virtual void FormShow() {}
    // After every done(), whether or not the dialog was shown; see EndShow.
    virtual void FormClose(int /*result*/) {}
    // Whether Enter accepts now; Enter is consumed either way.
    virtual bool EnterAccepts() const { return true; }

    // Clears the mark the first show set; true when it was set, so closing work runs once per show.
    bool EndShow();

  private:
    bool FShown = false;
};

}  // namespace tavrel::app
