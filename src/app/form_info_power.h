#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/listening_dialog.h"
#include "protocol/data_parser.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tavrel::link {
class TXComPortModule;
}

namespace tavrel::app {

class TDialogListener;

// The instrument's power state in detail, and the choice whether it may charge from USB.
class TFormInfoPower : public TListeningDialog {
    Q_OBJECT

  public:
    explicit TFormInfoPower(link::TXComPortModule& Module, QWidget* parent = nullptr);
    ~TFormInfoPower() override;

    // The check box's tag: 0 until a battery answer has set the box, then 1.
    int ChargeTag() const { return FChargeTag; }
    TDialogListener& Listener() const { return *FListener; }

    // Controls, under their designer names (also their object names).
    QLabel* SourcePowerLabel;
    QLabel* AKBStateLabel;
    QLabel* VoltAKBLabel;
    QLabel* PercentAKBLabel;
    QLabel* VoltPowerAKBLabel;
    QLabel* TempAKBLabel;
    QCheckBox* CBChargeUSB;
    QPushButton* ButtonSave;
    QPushButton* ButtonCancel;

  protected:
    void FormShow() override;
    void FormClose(int result) override;

  private:
    void HandleAnswer(protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes);

    std::unique_ptr<TDialogListener> FListener;
    int FChargeTag = 0;
};

}  // namespace tavrel::app
