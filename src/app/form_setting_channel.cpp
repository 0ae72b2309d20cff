#include "app/form_setting_channel.h"

#include <array>
#include <cmath>
#include <exception>
#include <stdexcept>

#include <QComboBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "app/app_fonts.h"
#include "app/dialog_listener.h"
#include "app/dialog_support.h"
#include "app/halvo.h"
#include "app/radio_group.h"
#include "link/xcom_port_module.h"
#include "protocol/delphi_format.h"
#include "protocol/halvo.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"

namespace tavrel::app {

using protocol::TChannelProperties;
using protocol::TTavrel;
using protocol::TTavrelCMD;
using protocol::TTavrelCommand;

namespace {

// The forms were drawn for Tahoma 8 pt, 11 pixels high.
constexpr int kFontPixels = 11;
constexpr int kClientWidth = 479;
constexpr int kClientHeight = 611;
constexpr int kTitleHeight = 21;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 29;

const QString kOff = QStringLiteral("Отключить измерения на канале");
const QString kNoItem = QStringLiteral("Диапазон прибора не из списка: выберите");

QLabel* TitleStrip(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedHeight(kTitleHeight);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::WindowText, Qt::white);
    label->setPalette(palette);
    QFont font = TAppFonts::UiFont(19);
    font.setBold(true);
    label->setFont(font);
    return label;
}

TRadioGroup* RadioGroup(const QString& name, const QStringList& items, int height, QWidget* parent) {
    auto* group = new TRadioGroup(parent);
    group->setObjectName(name);
    group->SetItems(items);
    group->setFixedHeight(height);
    group->setEnabled(false);
    for (int i = 0; i < group->ItemCount(); ++i) {
        group->Item(i)->setObjectName(name + QStringLiteral("Item%1").arg(i));
    }
    return group;
}

// Shown under a group whose reported range is none of its items.
QLabel* NoItemNote(TRadioGroup* group) {
    auto* label = new QLabel(kNoItem, group);
    label->setObjectName(group->objectName() + QStringLiteral("NoItem"));
    QPalette red = label->palette();
    red.setColor(QPalette::WindowText, QColor(0xC6, 0x28, 0x28));
    label->setPalette(red);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    label->hide();
    group->layout()->addWidget(label);
    return label;
}

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    // Enter is handled by the dialog itself, never by a focused or default button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

TFormSettingChannel::TFormSettingChannel(link::TXComPortModule& Module, QWidget* parent)
    : TFormSettingChannel(Module, THalvo::isDebug(), parent) {}

TFormSettingChannel::TFormSettingChannel(link::TXComPortModule& Module, bool DebugTools, QWidget* parent)
    : TListeningDialog(parent),
      FListener(std::make_unique<TDialogListener>(
          Module, reinterpret_cast<link::TWindowHandle>(this),
          [this](TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) { HandleAnswer(kind, bytes); })) {
    setObjectName(QStringLiteral("FormSettingChannel"));
    setFont(TAppFonts::UiFont(kFontPixels));
    setFixedSize(kClientWidth, kClientHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->setSpacing(0);

    LabelChannel1 = TitleStrip(QStringLiteral("Канал 1"), QStringLiteral("LabelChannel1"), this);
    RG1 = RadioGroup(QStringLiteral("RG1"),
                     {QStringLiteral("1 В"), QStringLiteral("10 В"), QStringLiteral("100 В"), kOff}, 171, this);
    LabelChannel2 = TitleStrip(QStringLiteral("Канал 2"), QStringLiteral("LabelChannel2"), this);
    RG2 = RadioGroup(QStringLiteral("RG2"), {QStringLiteral("1 В"), QStringLiteral("10 В"), kOff}, 126, this);
    LabelChannel3 = TitleStrip(QStringLiteral("Канал 3"), QStringLiteral("LabelChannel3"), this);
    RG3 = RadioGroup(QStringLiteral("RG3"), {QStringLiteral("0.1 В"), QStringLiteral("1 В"), kOff}, 126, this);
    LabelNoItem = {NoItemNote(RG1), NoItemNote(RG2), NoItemNote(RG3)};

    LabelShunt = new QLabel(QStringLiteral("Напряжение шунта 75 мВ"), this);
    LabelShunt->setObjectName(QStringLiteral("LabelShunt"));
    LabelShunt->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette grey = LabelShunt->palette();
    grey.setColor(QPalette::WindowText, Qt::gray);
    LabelShunt->setPalette(grey);

    ComboBoxAmper = new QComboBox(this);
    ComboBoxAmper->setObjectName(QStringLiteral("ComboBoxAmper"));
    ComboBoxAmper->setEditable(false);
    ComboBoxAmper->setEnabled(false);

    layout->addWidget(LabelChannel1);
    layout->addWidget(RG1);
    layout->addSpacing(8);
    layout->addWidget(LabelChannel2);
    layout->addWidget(RG2);
    layout->addSpacing(8);
    layout->addWidget(LabelChannel3);
    layout->addWidget(RG3);
    layout->addSpacing(6);
    layout->addWidget(LabelShunt);
    layout->addSpacing(6);
    layout->addWidget(ComboBoxAmper);

    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(8, 20, 0, 4);
    buttons->setSpacing(0);
    ButtonFindBug = Button(QStringLiteral("Найти баг"), QStringLiteral("ButtonFindBug"), this);
    ButtonOK = Button(QStringLiteral("OK"), QStringLiteral("ButtonOK"), this);
    ButtonCancel = Button(QStringLiteral("Отмена"), QStringLiteral("ButtonCancel"), this);
    ButtonApply = Button(QStringLiteral("Применить"), QStringLiteral("ButtonApply"), this);
    buttons->addWidget(ButtonFindBug);
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addSpacing(12);
    buttons->addWidget(ButtonCancel);
    buttons->addSpacing(12);
    buttons->addWidget(ButtonApply);
    layout->addLayout(buttons);
    layout->addStretch(1);

    connect(RG1, &TRadioGroup::Click, this, &TFormSettingChannel::RG1Click);
    connect(RG2, &TRadioGroup::Click, this, &TFormSettingChannel::RG1Click);
    connect(RG3, &TRadioGroup::Click, this, &TFormSettingChannel::RG1Click);
    // `activated` comes from the operator only, never from setCurrentIndex.
    connect(ComboBoxAmper, &QComboBox::activated, this, [this](int) { ComboBoxAmperChange(); });
    connect(ButtonOK, &QPushButton::clicked, this, [this] { done(QDialog::Accepted); });
    connect(ButtonCancel, &QPushButton::clicked, this, [this] { done(QDialog::Rejected); });
    connect(ButtonApply, &QPushButton::clicked, this, &TFormSettingChannel::ButtonApplyClick);
    connect(ButtonFindBug, &QPushButton::clicked, this, &TFormSettingChannel::ButtonFindBugClick);

    // FormCreate
    setWindowTitle(QStringLiteral("Настройка диапазонов"));
    ButtonFindBug->setVisible(DebugTools);
    isFindBug = false;

    PreviewKeys(this);
    ButtonFindBug->installEventFilter(this);
    CenterOnScreen(this);
}

TFormSettingChannel::~TFormSettingChannel() = default;

int TFormSettingChannel::RangeItemIndex(int Channel, double Value) {
    static constexpr std::array<double, 5> kValues{0.1, 1, 10, 100, 0};
    int p = -1;
    for (std::size_t i = 0; i < kValues.size(); ++i) {
        // The instrument reports these values exactly; anything else selects no item.
        if (Value == kValues[i]) {  // NOLINT(clang-diagnostic-float-equal)
            p = static_cast<int>(i);
            break;
        }
    }
    if (p < 0) {
        return -1;
    }
    int item = 0;
    int last = 2;
    if (Channel == 3) {
        item = p == 4 ? 2 : p;
    } else {
        item = p - 1;
        last = Channel == 1 ? 3 : 2;
    }
    if (item < -1) {
        return -1;
    }
    return item > last ? last : item;
}

std::uint8_t TFormSettingChannel::RangeCode(int Channel, int ItemIndex) {
    static constexpr std::array<std::uint8_t, 4> kCh1{'1', '2', '3', '0'};
    static constexpr std::array<std::uint8_t, 3> kCh2{'1', '2', '0'};
    static constexpr std::array<std::uint8_t, 3> kCh3{'4', '1', '0'};
    if (ItemIndex < 0) {
        return '0';
    }
    const auto i = static_cast<std::size_t>(ItemIndex);
    switch (Channel) {
        case 1:
            return i < kCh1.size() ? kCh1[i] : '0';
        case 2:
            return i < kCh2.size() ? kCh2[i] : '0';
        case 3:
            return i < kCh3.size() ? kCh3[i] : '0';
        default:
            return '0';
    }
}

int TFormSettingChannel::ShuntIndex(double Value) {
    const std::vector<double>& table = TTavrel::ShuntTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (std::abs(table[i] - Value) <= 0.001) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TFormSettingChannel::FormShow() {
    ButtonFindBug->setEnabled(false);
    ButtonOK->setEnabled(false);
    ButtonCancel->setEnabled(false);
    ButtonApply->setEnabled(false);
    FListener->SetListener(true);
}

void TFormSettingChannel::done(int r) {
    // FormCloseQuery; ApplySettings itself sends nothing while a group has no item.
    if (r == QDialog::Accepted) {
        ApplySettings();
    }
    TListeningDialog::done(r);
}

void TFormSettingChannel::FormClose(int /*result*/) {
    EndShow();
    if (FListener->IsOn()) {
        FListener->SetListener(false);
    }
}

bool TFormSettingChannel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ButtonFindBug && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        ButtonFindBugMouseDown();
    }
    // Enter and Esc, seen before any control handles them.
    return TListeningDialog::eventFilter(watched, event);
}

bool TFormSettingChannel::EnterAccepts() const {
    return ButtonOK->isEnabled();
}

void TFormSettingChannel::HandleAnswer(TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) {
    if (kind != TTavrelCMD::cmdMeasure) {
        return;
    }
    // A model that cannot be rebuilt throws to the parser, which drops the answer.
    if (isFindBug) {
        const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
        FindBugStep(*model);
    }
    if (FTag == 0) {
        const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
        FillFromModel(*model);
    }
}

void TFormSettingChannel::FillFromModel(const TTavrel& model) {
    try {
        FTag = 1;
        RG1->setEnabled(true);
        RG2->setEnabled(true);
        RG3->setEnabled(true);
        ButtonOK->setEnabled(true);
        ButtonCancel->setEnabled(true);
        ButtonFindBug->setEnabled(true);
        ComboBoxAmper->setEnabled(true);

        ComboBoxAmper->clear();
        for (const std::string& text : TTavrel::GetListShunts()) {
            ComboBoxAmper->addItem(QString::fromStdString(text));
        }

        const std::vector<double> ranges = model.GetRangeOfChannels();
        if (ranges.size() >= 4) {
            RG1->SetItemIndex(RangeItemIndex(1, ranges[0]));
            RG2->SetItemIndex(RangeItemIndex(2, ranges[1]));
            RG3->SetItemIndex(RangeItemIndex(3, ranges[2]));
            FReportedShunt = ranges[3];
            const int shunt = ShuntIndex(ranges[3]);
            // Filling the list selected its first entry; a shunt outside the table keeps none and is
            // sent back as reported.
            ComboBoxAmper->setCurrentIndex(shunt < ComboBoxAmper->count() ? shunt : -1);
            ComboBoxAmper->setPlaceholderText(QStringLiteral("%1 А: с прибора, нет в списке")
                                                  .arg(QString::fromStdString(protocol::delphi::FormatGeneral(
                                                      ranges[3], protocol::THalvo::DecimalSeparator()))));
        }
        FApplyPending = false;
        UpdateSendState();
    } catch (...) {  // NOLINT(bugprone-empty-catch): the controls keep what was filled so far
    }
}

void TFormSettingChannel::RG1Click() {
    ComboBoxAmper->setEnabled(RG3->ItemIndex() == 0);
    FApplyPending = true;
    UpdateSendState();
}

void TFormSettingChannel::ComboBoxAmperChange() {
    FApplyPending = true;
    UpdateSendState();
}

void TFormSettingChannel::ButtonApplyClick() {
    FApplyPending = false;
    UpdateSendState();
    ApplySettings();
}

bool TFormSettingChannel::CanSend() const {
    return RG1->ItemIndex() >= 0 && RG2->ItemIndex() >= 0 && RG3->ItemIndex() >= 0;
}

void TFormSettingChannel::UpdateSendState() {
    if (FTag == 0) {
        // Nothing reported yet: everything stays disabled.
        return;
    }
    const std::array<const TRadioGroup*, 3> groups{RG1, RG2, RG3};
    for (std::size_t i = 0; i < groups.size(); ++i) {
        LabelNoItem[i]->setVisible(groups[i]->ItemIndex() < 0);
    }
    ButtonOK->setEnabled(CanSend());
    ButtonApply->setEnabled(FApplyPending && CanSend());
}

void TFormSettingChannel::ApplySettings() {
    if (!CanSend()) {
        return;
    }
    try {
        const std::vector<double>& table = TTavrel::ShuntTable();
        const int index = ComboBoxAmper->currentIndex();
        const double shunt = index >= 0 && static_cast<std::size_t>(index) < table.size()
                                 ? table[static_cast<std::size_t>(index)]
                                 : FReportedShunt;
        using TName = TTavrelCommand::TChannelName;
        const std::vector<TTavrelCommand::TChannelOption> options{
            {TName::cnCh1, RangeCode(1, RG1->ItemIndex()), shunt},
            {TName::cnCh2, RangeCode(2, RG2->ItemIndex()), shunt},
            {TName::cnCh3, RangeCode(3, RG3->ItemIndex()), shunt},
        };
        const std::vector<std::uint8_t> frame = TTavrelCommand::setChannelParameters(options);
        if (frame.empty()) {
            throw std::runtime_error("Шунт прибора не помещается в команду: выберите шунт из списка");
        }
        FListener->Module()._SendData(frame);
    } catch (const std::exception& e) {
        THalvo::MessageDialog(this, QString::fromUtf8(e.what()), THalvo::ICONERROR, THalvo::OK, THalvo::RUS);
    }
}

void TFormSettingChannel::ButtonFindBugClick() {
    isFindBug = true;
    lastRange = 0;
    skipMeasures = 0;
    allDots = 0;
    RG1->SetItemIndex(1);
    ApplySettings();
}

void TFormSettingChannel::ButtonFindBugMouseDown() {
    const QString proposed = QString::number(allDots);
    QString answer;
    do {
        bool ok = false;
        answer = QInputDialog::getText(this, QStringLiteral("Количество измерений"),
                                       QStringLiteral("Введите количество пропущенных измерений"), QLineEdit::Normal,
                                       proposed, &ok);
        if (!ok) {
            answer = proposed;
        }
    } while (answer.isEmpty());
    bool ok = false;
    const int value = answer.toInt(&ok, 10);
    allDots = ok ? value : 0;
}

void TFormSettingChannel::FindBugStep(const TTavrel& model) {
    static const QRegularExpression kNumber(QStringLiteral("([\\d\\.]+)"));
    const QRegularExpressionMatch rangeMatch =
        kNumber.match(QString::fromStdString(model.GetChannelProperties(TChannelProperties::chpCh1Range)));
    bool ok = false;
    int r = rangeMatch.hasMatch() ? rangeMatch.captured(1).toInt(&ok, 10) : 0;
    if (!ok) {
        r = 0;
    }
    const QRegularExpressionMatch valueMatch =
        kNumber.match(QString::fromStdString(model.GetChannelProperties(TChannelProperties::chpCh1Value)));
    const double x = protocol::THalvo::StrToFloatSafeDef(
        valueMatch.hasMatch() ? valueMatch.captured(1).toStdString() : std::string(), 0);

    setWindowTitle(QString::fromStdString(protocol::delphi::FormatGeneral(x, protocol::THalvo::DecimalSeparator())) +
                   QStringLiteral(" [%1] (%2)").arg(r).arg(skipMeasures));

    if (skipMeasures <= 0) {
        if (r != lastRange) {
            if (r == 0) {
                RG1->SetItemIndex(1);
                ApplySettings();
                FListener->Module()._SendData(TTavrelCommand::setModeWork(1));
            } else if (r == 10) {
                RG1->SetItemIndex(2);
                ApplySettings();
            } else if (r == 100) {
                if (x > 95) {
                    FListener->Module()._SendData(TTavrelCommand::setModeWorkIPP_Ampere(1));
                }
            }
        }
        lastRange = r;
        skipMeasures = allDots;
    }
    if (skipMeasures > 0) {
        --skipMeasures;
    }
}

}  // namespace tavrel::app
