#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QDialog>

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
class TFormInfoPower : public QDialog {
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

    void done(int r) override;

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormShow();
    void FormClose(int result);
    void HandleAnswer(protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes);

    std::unique_ptr<TDialogListener> FListener;
    int FChargeTag = 0;
    bool FShown = false;
};

}  // namespace tavrel::app
