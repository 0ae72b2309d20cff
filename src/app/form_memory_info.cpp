#include "app/form_memory_info.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "app/dialog_listener.h"
#include "app/dialog_support.h"
#include "link/xcom_port_module.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"

namespace tavrel::app {

using protocol::TTavrel;
using protocol::TTavrelCMD;
using protocol::TTavrelCommand;

namespace {

// The forms were drawn for Tahoma 8 pt, 11 pixels high.
constexpr int kFontPixels = 11;
constexpr int kClientWidth = 308;
constexpr int kClientHeight = 180;
constexpr int kRowHeight = 29;
constexpr int kCaptionLeft = 8;
constexpr int kValueLeft = 132;
constexpr int kButtonRowHeight = 41;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 27;
constexpr int kMargin = 8;
constexpr int kBarHeight = 17;

QString SizeText(const std::string& readable, const std::string& bytes) {
    return QStringLiteral("%1 (%2 байт)").arg(QString::fromStdString(readable), QString::fromStdString(bytes));
}

}  // namespace

TFormMemoryInfo::TFormMemoryInfo(link::TXComPortModule& Module, QWidget* parent)
    : TListeningDialog(parent),
      FListener(std::make_unique<TDialogListener>(
          Module, reinterpret_cast<link::TWindowHandle>(this),
          [this](TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) { HandleAnswer(kind, bytes); })) {
    setObjectName(QStringLiteral("FormMemoryInfo"));
    setFont(CondensedUiFont(kFontPixels));
    setFixedSize(kClientWidth, kClientHeight);

    const char* captions[] = {"Полный объем:", "Свободно:", "Занято:", "Использовано:"};
    for (int row = 0; row < 4; ++row) {
        auto* caption = new QLabel(QString::fromUtf8(captions[row]), this);
        caption->setGeometry(kCaptionLeft, row * kRowHeight, kValueLeft - kCaptionLeft, kRowHeight);
    }
    QLabel** values[] = {&LabelFull, &LabelFree, &LabelUsed};
    const char* names[] = {"LabelFull", "LabelFree", "LabelUsed"};
    for (int row = 0; row < 3; ++row) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromUtf8(names[row]));
        label->setGeometry(kValueLeft, row * kRowHeight, kClientWidth - kValueLeft - kMargin, kRowHeight);
        *values[row] = label;
    }
    ProgressBarUsed = new QProgressBar(this);
    ProgressBarUsed->setObjectName(QStringLiteral("ProgressBarUsed"));
    ProgressBarUsed->setRange(0, 100);
    ProgressBarUsed->setValue(0);
    ProgressBarUsed->setTextVisible(false);
    ProgressBarUsed->setGeometry(kValueLeft, 3 * kRowHeight + (kRowHeight - kBarHeight) / 2,
                                 kClientWidth - kValueLeft - kMargin, kBarHeight);

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonOK->setObjectName(QStringLiteral("ButtonOK"));
    ButtonOK->setGeometry(kClientWidth - kMargin - kButtonWidth,
                          kClientHeight - kButtonRowHeight + (kButtonRowHeight - kButtonHeight) / 2, kButtonWidth,
                          kButtonHeight);
    ButtonOK->setAutoDefault(false);
    ButtonOK->setDefault(false);
    // The only button just closes: the dialog shows, it sets nothing.
    connect(ButtonOK, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });

    // FormCreate
    setWindowTitle(QStringLiteral("Информация о памяти"));
    PreviewKeys(this);
    CenterOnScreen(this);
}

TFormMemoryInfo::~TFormMemoryInfo() = default;

void TFormMemoryInfo::FormShow() {
    FListener->SetListener(true);
    FListener->Module()._SendData(TTavrelCommand::getMemoryState());
}

void TFormMemoryInfo::FormClose(int /*result*/) {
    if (!EndShow()) {
        return;
    }
    FListener->SetListener(false);
}

void TFormMemoryInfo::HandleAnswer(TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) {
    if (kind != TTavrelCMD::cmdMemoryInfo) {
        return;
    }
    // A model that cannot be rebuilt throws to the parser, which drops the answer; the labels stay.
    const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
    LabelFull->setText(SizeText(model->GetMemoryFull(true), model->GetMemoryFull(false)));
    LabelFree->setText(SizeText(model->GetMemoryFree(true), model->GetMemoryFree(false)));
    LabelUsed->setText(SizeText(model->GetMemoryAlloc(true), model->GetMemoryAlloc(false)));
    ProgressBarUsed->setValue(model->GetMemoryAlloc());
}

}  // namespace tavrel::app
