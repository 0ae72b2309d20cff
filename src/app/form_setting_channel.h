#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/listening_dialog.h"
#include "protocol/data_parser.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tavrel::link {
class TXComPortModule;
}

namespace tavrel::protocol {
class TTavrel;
}

namespace tavrel::app {

class TDialogListener;
class TRadioGroup;

// Ranges of the three channels and the shunt of channel 3, sent in one setChannelParameters command.
// Filled from the first measure answer its own listener receives; later answers leave the operator's
// choices alone. Only what the operator chose changes on the instrument: a range the dialog cannot show
// blocks sending until the operator picks one, and a shunt outside the list goes back as reported.
class TFormSettingChannel : public TListeningDialog {
    Q_OBJECT

  public:
    // `DebugTools` shows "Найти баг" (the product passes THalvo::isDebug()).
    explicit TFormSettingChannel(link::TXComPortModule& Module, bool DebugTools, QWidget* parent = nullptr);
    explicit TFormSettingChannel(link::TXComPortModule& Module, QWidget* parent = nullptr);
    ~TFormSettingChannel() override;

    // Item of a radio group for a range reported by the instrument (volts, 0 off); -1 for no item.
    // Channel counts from 1.
    static int RangeItemIndex(int Channel, double Value);
    // Range code of setChannelParameters for an item of a group ('0' for no item).
    static std::uint8_t RangeCode(int Channel, int ItemIndex);
    // Shunt table index whose entry lies within 0.001 of `Value`; -1 when none does.
    static int ShuntIndex(double Value);

    // 0 until the controls have been filled from a measure answer, then 1.
    int Tag() const { return FTag; }
    TDialogListener& Listener() const { return *FListener; }
    bool IsFindBug() const { return isFindBug; }
    int AllDots() const { return allDots; }
    // The shunt the instrument reported (amperes), sent while the list has no entry selected.
    double ReportedShunt() const { return FReportedShunt; }

    // Controls, under their designer names (also their object names).
    QLabel* LabelChannel1;
    TRadioGroup* RG1;
    QLabel* LabelChannel2;
    TRadioGroup* RG2;
    QLabel* LabelChannel3;
    TRadioGroup* RG3;
    QLabel* LabelShunt;
    QComboBox* ComboBoxAmper;
    QPushButton* ButtonFindBug;
    QPushButton* ButtonOK;
    QPushButton* ButtonCancel;
    QPushButton* ButtonApply;
    // Under each group: why it blocks sending (its range is none of the items); hidden otherwise.
    std::array<QLabel*, 3> LabelNoItem{};

    void done(int r) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void FormShow() override;
    void FormClose(int result) override;
    // Enter is "OK" and only while "OK" can be pressed.
    bool EnterAccepts() const override;

  private:
    void HandleAnswer(protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes);
    void FillFromModel(const protocol::TTavrel& model);
    void RG1Click();
    void ComboBoxAmperChange();
    void ButtonApplyClick();
    void ButtonFindBugClick();
    void ButtonFindBugMouseDown();
    void FindBugStep(const protocol::TTavrel& model);
    void ApplySettings();
    // True while every group has an item: a group without one has no range code that keeps it as it is.
    bool CanSend() const;
    // Notes under groups without an item, "OK" and "Применить" follow CanSend.
    void UpdateSendState();

    std::unique_ptr<TDialogListener> FListener;
    int FTag = 0;
    bool FApplyPending = false;
    double FReportedShunt = 0;
    bool isFindBug = false;
    int lastRange = 0;
    int skipMeasures = 0;
    int allDots = 0;
};

}  // namespace tavrel::app
