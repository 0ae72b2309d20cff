#include "app/form_info_power.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "app/dialog_listener.h"
#include "app/dialog_support.h"
#include "link/xcom_port_module.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"

namespace tavrel::app {

using protocol::TAKBState;
using protocol::TSourcePower;
using protocol::TTavrel;
using protocol::TTavrelCMD;
using protocol::TTavrelCommand;

namespace {

// The forms were drawn for Tahoma 8 pt, 11 pixels high.
constexpr int kFontPixels = 11;
constexpr int kClientWidth = 294;
constexpr int kClientHeight = 288;
constexpr int kRowHeight = 29;
constexpr int kCaptionLeft = 8;
constexpr int kValueLeft = 147;
constexpr int kButtonRowHeight = 41;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 27;
constexpr int kMargin = 8;

QString SourcePowerText(TSourcePower value) {
    switch (value) {
        case TSourcePower::B:
            return QStringLiteral("Блок питания");
        case TSourcePower::U:
            return QStringLiteral("USB");
        case TSourcePower::A:
            return QStringLiteral("Аккумулятор");
        case TSourcePower::tspUnknown:
            break;
    }
    return {};
}

QString AKBStateText(TAKBState value) {
    switch (value) {
        case TAKBState::C:
            return QStringLiteral("Зарядка АКБ");
        case TAKBState::D:
            return QStringLiteral("Разрядка АКБ");
        case TAKBState::takbUnknown:
            break;
    }
    return {};
}

}  // namespace

TFormInfoPower::TFormInfoPower(link::TXComPortModule& Module, QWidget* parent)
    : TListeningDialog(parent),
      FListener(std::make_unique<TDialogListener>(
          Module, reinterpret_cast<link::TWindowHandle>(this),
          [this](TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) { HandleAnswer(kind, bytes); })) {
    setObjectName(QStringLiteral("FormInfoPower"));
    setFont(CondensedUiFont(kFontPixels));
    setFixedSize(kClientWidth, kClientHeight);

    struct TRow {
        const char* Caption;
        const char* Name;
        const char* Sample;
        QLabel** Label;
    };
    const TRow rows[] = {
        {"Источник питания:", "SourcePowerLabel", "Блок питания", &SourcePowerLabel},
        {"Состояние аккумулятора:", "AKBStateLabel", "Разрядка АКБ", &AKBStateLabel},
        {"Напряжение АКБ:", "VoltAKBLabel", "3.76 В", &VoltAKBLabel},
        {"Уровень заряда:", "PercentAKBLabel", "10%", &PercentAKBLabel},
        {"Напряжение питания:", "VoltPowerAKBLabel", "1.81 В", &VoltPowerAKBLabel},
        {"Температура:", "TempAKBLabel", "26.5 C", &TempAKBLabel},
    };
    int top = 0;
    for (const TRow& row : rows) {
        auto* caption = new QLabel(QString::fromUtf8(row.Caption), this);
        caption->setGeometry(kCaptionLeft, top, kValueLeft - kCaptionLeft, kRowHeight);
        auto* value = new QLabel(QString::fromUtf8(row.Sample), this);
        value->setObjectName(QString::fromUtf8(row.Name));
        value->setGeometry(kValueLeft, top, kClientWidth - kValueLeft - kMargin, kRowHeight);
        *row.Label = value;
        top += kRowHeight;
    }
    CBChargeUSB = new QCheckBox(QStringLiteral("Разрешить зарядку прибора от USB"), this);
    CBChargeUSB->setObjectName(QStringLiteral("CBChargeUSB"));
    CBChargeUSB->setGeometry(kCaptionLeft, top, kClientWidth - 2 * kMargin, kRowHeight);

    const int buttonTop = kClientHeight - kButtonRowHeight + (kButtonRowHeight - kButtonHeight) / 2;
    ButtonCancel = new QPushButton(QStringLiteral("Отмена"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonCancel->setGeometry(kClientWidth - kMargin - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
    ButtonSave = new QPushButton(QStringLiteral("Сохранить"), this);
    ButtonSave->setObjectName(QStringLiteral("ButtonSave"));
    ButtonSave->setGeometry(ButtonCancel->x() - 10 - kButtonWidth, buttonTop, kButtonWidth, kButtonHeight);
    for (QPushButton* button : {ButtonSave, ButtonCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(ButtonSave, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });

    // FormCreate
    setWindowTitle(QStringLiteral("Питание прибора"));
    PreviewKeys(this);
    CenterOnScreen(this);
}

TFormInfoPower::~TFormInfoPower() = default;

void TFormInfoPower::FormShow() {
    FListener->SetListener(true);
    FListener->Module()._SendData(TTavrelCommand::getAKBState());
}

void TFormInfoPower::FormClose(int result) {
    if (!EndShow()) {
        return;
    }
    FListener->SetListener(false);
    // With the listener gone, the commands and the answer go through the main window's listener, so the
    // battery answer refreshes its status bar. Before the box has been set from the instrument its state
    // means nothing: sending it would forbid charging behind the operator's back.
    if (result == QDialog::Accepted && FChargeTag == 1) {
        link::TXComPortModule& module = FListener->Module();
        module._SendData(TTavrelCommand::setChargeAKBFromUSB(CBChargeUSB->isChecked()));
        module._SendData(TTavrelCommand::getAKBState());
    }
}

void TFormInfoPower::HandleAnswer(TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) {
    if (kind != TTavrelCMD::cmdAKBInfo) {
        return;
    }
    // A model that cannot be rebuilt throws to the parser, which drops the answer; the labels stay.
    const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
    SourcePowerLabel->setText(SourcePowerText(model->SourcePower()));
    AKBStateLabel->setText(AKBStateText(model->AKBState()));
    if (FChargeTag != 1) {
        CBChargeUSB->setChecked(model->USBPower() == protocol::TUSBPower::USB_E);
        FChargeTag = 1;
    }
    VoltAKBLabel->setText(QString::fromStdString(model->GetVoltAKB()));
    PercentAKBLabel->setText(QString::fromStdString(model->GetPercentAKB()));
    VoltPowerAKBLabel->setText(QString::fromStdString(model->GetVoltPowerAKB()));
    TempAKBLabel->setText(QString::fromStdString(model->GetTempAKB()));
}

}  // namespace tavrel::app
