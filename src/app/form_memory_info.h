#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/listening_dialog.h"
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
class TFormMemoryInfo : public TListeningDialog {
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

  protected:
    void FormShow() override;
    void FormClose(int result) override;

  private:
    void HandleAnswer(protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes);

    std::unique_ptr<TDialogListener> FListener;
};

}  // namespace tavrel::app
