#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDialog>

#include "protocol/data_parser.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tavrel::link {
class TXComPortModule;
}

namespace tavrel::app {

class TDialogListener;

// The instrument's recording memory: total, free and used space, and the used share as a bar.
class TFormMemoryInfo : public QDialog {
    Q_OBJECT

  public:
    explicit TFormMemoryInfo(link::TXComPortModule& Module, QWidget* parent = nullptr);
    ~TFormMemoryInfo() override;

    TDialogListener& Listener() const { return *FListener; }

    // Controls, under their designer names (also their object names).
    QLabel* LabelFull;
    QLabel* LabelFree;
    QLabel* LabelUsed;
    QProgressBar* ProgressBarUsed;
    QPushButton* ButtonOK;

    void done(int r) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormShow();
    void FormClose();
    void HandleAnswer(protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes);

    std::unique_ptr<TDialogListener> FListener;
    bool FShown = false;
};

}  // namespace tavrel::app
