#include "app/main_form.h"

#include <array>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/frame_channel.h"
#include "app/grid_panel.h"
#include "app/image.h"
#include "app/maker_contacts.h"
#include "app/radio_group.h"
#include "app/status_bar.h"
#include "app/ui_support.h"
#include "app/verification_tab.h"
#include "bus/messaging.h"
#include "link/subscribe_message.h"
#include "protocol/halvo.h"

namespace tavrel::app {

namespace {

const std::array<const char*, 2> kButtonRunCaptions = {"Подключиться", "Отключиться"};

QWidget* MakeSeparator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setObjectName(QStringLiteral("Separator"));
    line->setFixedWidth(1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, QColor(0xC8, 0xC8, 0xC8));
    line->setPalette(p);
    return line;
}

QLabel* MakeGreyCaption(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignCenter);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    label->setPalette(p);
    return label;
}

void SetTag(QObject* control, int tag) {
    control->setProperty("Tag", tag);
}
int Tag(const QObject* control) {
    return control->property("Tag").toInt();
}

}  // namespace

const bus::TSubscriberClass TMainForm::Registration =
    bus::TSubscriberClass("MainUnit", "TMainForm")
        .Method<&TMainForm::OnSubscribeComPortData>("OnSubscribeComPortData",
                                                    {link::subscribeComPortData, bus::TMessagingThread::Main})
        .Method<&TMainForm::OnSubscribeComPortError>("OnSubscribeComPortError",
                                                     {link::subscribeComPortError, bus::TMessagingThread::Main})
        .Method<&TMainForm::OnSubscribeComPortEventStatus>(
            "OnSubscribeComPortEventStatus", {link::subscribeComPortEventStatus, bus::TMessagingThread::Main})
        .Method<&TMainForm::OnSubscribeComPortStatus>("OnSubscribeComPortStatus",
                                                      {link::subscribeComPortStatus, bus::TMessagingThread::Main});

TMainForm::TMainForm(link::TXComPortModule& module, QWidget* parent) : QWidget(parent), FModule(module) {
    setObjectName(QStringLiteral("MainForm"));
    BuildLayout();
    FormCreate();
}

TMainForm::~TMainForm() {
    FormClose();
}

void TMainForm::BuildLayout() {
    setFont(SansFont(11));
    resize(1008, 729);
    // Qt sizes the client area: 1008 x 729 is what a 1024 x 768 window with the platform's frame leaves.
    setMinimumSize(1008, 729);

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    TopPanel = new QWidget(this);
    TopPanel->setObjectName(QStringLiteral("PanelTop"));
    TopPanel->setFixedHeight(160);
    auto* topLayout = new QVBoxLayout(TopPanel);
    topLayout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(TopPanel);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setFocusPolicy(Qt::NoFocus);
    topLayout->addWidget(PageControl1);

    // Page "Главная".
    auto* tabMain = new QWidget(PageControl1);
    tabMain->setObjectName(QStringLiteral("TabSheetMain"));
    auto* mainRow = new QHBoxLayout(tabMain);
    mainRow->setContentsMargins(0, 0, 0, 0);
    mainRow->setSpacing(0);
    auto* panelMode = new QWidget(tabMain);
    panelMode->setObjectName(QStringLiteral("PanelModeWork"));
    panelMode->setFixedWidth(145);
    auto* modeColumn = new QVBoxLayout(panelMode);
    modeColumn->setContentsMargins(4, 2, 4, 2);
    modeColumn->setSpacing(0);
    RGModeWork = new TRadioGroup(panelMode);
    RGModeWork->setObjectName(QStringLiteral("RGModeWork"));
    RGModeWork->setFont(SansFont(12));
    RGModeWork->SetItems({QStringLiteral("Регистратор"), QStringLiteral("Uпп потенциал"),
                          QStringLiteral("Uтз потенциал"), QStringLiteral("Iп ток")});
    modeColumn->addWidget(RGModeWork, 1);
    modeColumn->addSpacing(8);
    LabelModeWork = MakeGreyCaption(QStringLiteral("Режим работы"), "LabelModeWork", panelMode);
    modeColumn->addWidget(LabelModeWork);
    mainRow->addWidget(panelMode);
    mainRow->addWidget(MakeSeparator(tabMain));
    auto* logoHolder = new QWidget(tabMain);
    auto* logoLayout = new QVBoxLayout(logoHolder);
    logoLayout->setContentsMargins(24, 24, 24, 24);
    ImageLogo = new TImage(logoHolder);
    ImageLogo->setObjectName(QStringLiteral("ImageLogo"));
    ImageLogo->SetPicture(LoadLogo());
    logoLayout->addWidget(ImageLogo);
    mainRow->addWidget(logoHolder, 1);
    ButtonRun = new QPushButton(tabMain);
    ButtonRun->setObjectName(QStringLiteral("ButtonRun"));
    ButtonRun->setFixedWidth(128);
    ButtonRun->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    ButtonRun->setFont(SansFont(16));
    ButtonRun->setFocusPolicy(Qt::NoFocus);
    SetTag(ButtonRun, 0);
    mainRow->addWidget(ButtonRun);
    PageControl1->addTab(tabMain, QStringLiteral("Главная"));

    // Page "Разработчик".
    auto* tabDev = new QWidget(PageControl1);
    tabDev->setObjectName(QStringLiteral("TabSheetDeveloper"));
    auto* devRow = new QHBoxLayout(tabDev);
    devRow->setContentsMargins(0, 0, 0, 0);
    devRow->setSpacing(0);
    auto* panelAbout = new QWidget(tabDev);
    panelAbout->setObjectName(QStringLiteral("PanelAbout"));
    panelAbout->setFixedWidth(145);
    auto* aboutColumn = new QVBoxLayout(panelAbout);
    aboutColumn->setContentsMargins(4, 2, 4, 2);
    aboutColumn->setSpacing(0);
    ButtonAbout = new QPushButton(QStringLiteral("О программе"), panelAbout);
    ButtonAbout->setObjectName(QStringLiteral("ButtonAbout"));
    ButtonAbout->setFixedHeight(31);
    ButtonAbout->setFocusPolicy(Qt::NoFocus);
    aboutColumn->addWidget(ButtonAbout);
    aboutColumn->addStretch(1);
    LabelReference = MakeGreyCaption(QStringLiteral("Справочная информация"), "LabelReference", panelAbout);
    // Two lines: in one the caption is wider than the 145-pixel panel in the default fonts.
    LabelReference->setWordWrap(true);
    aboutColumn->addWidget(LabelReference);
    devRow->addWidget(panelAbout);
    devRow->addWidget(MakeSeparator(tabDev));
    LabelContacts = new QLabel(tabDev);
    LabelContacts->setObjectName(QStringLiteral("LabelContacts"));
    LabelContacts->setFont(SansFont(16));
    LabelContacts->setAlignment(Qt::AlignCenter);
    LabelContacts->setWordWrap(true);
    LabelContacts->setText(SupportContactsText());
    devRow->addWidget(LabelContacts, 1);
    PageControl1->addTab(tabDev, QStringLiteral("Разработчик"));

    // Page "Поверка": the guided verification session; its journal and limits live in the per-user data folder.
    TabVerification =
        new TVerificationTab(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), PageControl1);
    TabVerification->SetHooks({[this](const std::vector<std::uint8_t>& frame) { SendCommand(frame); },
                               [this](verify::Layout layout) {
                                   // The same commands as picking the layout in the mode group.
                                   static constexpr int kModeItem[] = {0, 1, 3};
                                   RGModeWork->SetItemIndex(kModeItem[static_cast<int>(layout)]);
                                   RGModeWorkClick();
                               }});
    PageControl1->addTab(TabVerification, QStringLiteral("Поверка"));
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
    root->addWidget(TopPanel);

    root->addSpacing(4);

    LabelSimulator = new QLabel(this);
    LabelSimulator->setObjectName(QStringLiteral("LabelSimulator"));
    LabelSimulator->setText(QStringLiteral("Симулятор: показания не с прибора, а от программы-симулятора"));
    LabelSimulator->setAlignment(Qt::AlignCenter);
    LabelSimulator->setFont(SansFont(14));
    LabelSimulator->setStyleSheet(
        QStringLiteral("background: #f57f17; color: white; font-weight: bold; padding: 2px;"));
    LabelSimulator->hide();
    root->addWidget(LabelSimulator);

    GP = new TGridPanel(this);
    GP->setObjectName(QStringLiteral("GP"));
    GP->AddRow(100);
    GP->AddColumn(50);
    GP->AddColumn(50);
    root->addWidget(GP, 1);

    PanelLog = new QWidget(this);
    PanelLog->setObjectName(QStringLiteral("PanelLog"));
    PanelLog->setFixedHeight(214);
    auto* logLayout = new QVBoxLayout(PanelLog);
    logLayout->setContentsMargins(0, 0, 0, 0);
    Memo1 = new QPlainTextEdit(PanelLog);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setMaximumBlockCount(0);
    logLayout->addWidget(Memo1);
    root->addWidget(PanelLog);

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    // The panel widths are made for Tahoma; Liberation Sans keeps its widths, DejaVu Sans would cut the clock.
    QFont barFont(QStringLiteral("Liberation Sans"));
    barFont.setPixelSize(11);
    StatusBar1->setFont(barFont);
    StatusBar1->AddPanel(130, Qt::AlignLeft, true);
    StatusBar1->AddPanel(130, Qt::AlignLeft, true);
    StatusBar1->AddPanel(220, Qt::AlignLeft, false);
    StatusBar1->AddPanel(150, Qt::AlignRight, false);
    StatusBar1->AddPanel(180, Qt::AlignRight, false);
    StatusBar1->AddPanel(180, Qt::AlignRight, false);
    StatusBar1->SetTag(0);
    root->addWidget(StatusBar1);

    for (int i = 0; i < 7; ++i) {
        ImageListSB.push_back(LoadStatusIcon(i));
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    TimerInfo = new QTimer(this);
    TimerInfo->setObjectName(QStringLiteral("TimerInfo"));
    TimerInfo->setInterval(1000);
    FLogTimer = new QTimer(this);
    FLogTimer->setObjectName(QStringLiteral("LogTimer"));
    FLogTimer->setSingleShot(true);
    FLogTimer->setInterval(0);
    FReadingAgeTimer = new QTimer(this);
    FReadingAgeTimer->setObjectName(QStringLiteral("ReadingAgeTimer"));
    FReadingAgeTimer->setSingleShot(true);
    FReadingAgeTimer->setInterval(kReadingMaxAgeMs);

    connect(ButtonRun, &QPushButton::clicked, this, &TMainForm::ButtonRunClick);
    connect(ButtonAbout, &QPushButton::clicked, this, &TMainForm::ButtonAboutClick);
    connect(RGModeWork, &TRadioGroup::Click, this, &TMainForm::RGModeWorkClick);
    connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
    connect(TimerInfo, &QTimer::timeout, this, &TMainForm::TimerInfoTimer);
    connect(FLogTimer, &QTimer::timeout, this, &TMainForm::FlushLog);
    connect(FReadingAgeTimer, &QTimer::timeout, this, &TMainForm::ShowReadingsOutdated);
    connect(StatusBar1, &TStatusBar::DrawPanel, this, &TMainForm::StatusBar1DrawPanel);
    connect(StatusBar1, &TStatusBar::MouseMove, this, &TMainForm::StatusBar1MouseMove);
    connect(StatusBar1, &TStatusBar::Click, this, &TMainForm::StatusBar1Click);

    // Keys are seen by the window first, whichever of its controls has the focus (F1 for the about box).
    qApp->installEventFilter(this);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TMainForm::PageControl1Change(int index) {
    const bool verification = PageControl1->widget(index) == TabVerification;
    if (verification) {
        TopPanel->setMinimumHeight(0);
        TopPanel->setMaximumHeight(QWIDGETSIZE_MAX);
    } else {
        TopPanel->setFixedHeight(160);
    }
    GP->setVisible(!verification);
}

void TMainForm::FormCreate() {
    setWindowTitle(AppTitle());
    ClipModeGroup();
    ShowConnectionState(false);
    ToggleBusSubscription();
    WorkState = 255;
    PanelLog->hide();
}

void TMainForm::SetSimulatorBanner(bool simulator) {
    LabelSimulator->setVisible(simulator);
    setWindowTitle(simulator ? AppTitle() + QStringLiteral(" — Симулятор") : AppTitle());
}

void TMainForm::ToggleBusSubscription() {
    bus::TMessaging& messaging = bus::SharedMessaging();
    if (messaging.IsSubscribed(this)) {
        messaging.Unsubscribe(this);
    } else {
        messaging.Subscribe(this);
    }
}

void TMainForm::ClipModeGroup() {
    RGModeWork->SetClipInset(3);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    QWidget::closeEvent(event);
}

void TMainForm::FormClose() {
    if (FClosed) {
        return;
    }
    FClosed = true;
    qApp->removeEventFilter(this);
    DisconnectDevice();
    ToggleBusSubscription();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyRelease) {
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (widget != nullptr && widget->window() == this && !key->isAutoRepeat() && key->key() == Qt::Key_F1) {
            FormKeyUp(key->key());
            // Taken here, the release does not travel on to the parents and reach this filter again.
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TMainForm::FormKeyUp(int key) {
    if (key == Qt::Key_F1) {
        ButtonAboutClick();
    }
}

void TMainForm::ButtonRunClick() {
    switch (Tag(ButtonRun)) {
        case 0:
            ConnectDevice();
            break;
        case 1:
            DisconnectDevice();
            break;
        default:
            break;
    }
}

void TMainForm::ButtonAboutClick() {
    ShowAboutBox(this);
}

void TMainForm::AddLogLine(const QString& text) {
    try {
        FPendingLog.append(text);
        if (FPendingLog.size() >= kLogBlockLines) {
            FlushLog();
        } else if (!FLogTimer->isActive()) {
            FLogTimer->start();
        }
    } catch (...) {
        // The log is a developer aid; losing a line must never disturb the session.
    }
}

void TMainForm::FlushLog() {
    if (FPendingLog.isEmpty()) {
        return;
    }
    const QStringList lines = std::exchange(FPendingLog, {});
    try {
        Memo1->appendPlainText(lines.join(QLatin1Char('\n')));
    } catch (...) {
        // As for a single line: the session goes on without them.
    }
}

void TMainForm::ShowConnectionState(bool connected) {
    memoryFreePercent = 0;
    AKBState = protocol::TAKBState::takbUnknown;
    SourcePower = protocol::TSourcePower::tspUnknown;
    AKBStateFullInfo.clear();
    MemoryFullInfo.clear();
    const int tag = connected ? 1 : 0;
    SetTag(ButtonRun, tag);
    ButtonRun->setText(QString::fromUtf8(kButtonRunCaptions[static_cast<std::size_t>(tag)]));
    RGModeWork->setEnabled(false);
    GP->SetTag(-1);
}

void TMainForm::SetStatusText(int index, const QString& text) {
    StatusBar1->SetPanelText(index, text);
}

// ---- Channel frame grid ----

void TMainForm::UpdateChannelFrames(const protocol::TTavrel* model) {
    if (model == nullptr) {
        ClearGrid();
        GP->SetTag(-1);
        WorkState = 255;
        return;
    }
    if (WorkState == 255) {
        return;
    }
    if (GP->Tag() != WorkState) {
        ClearGrid();
        BuildGrid(1, WorkState == 0 ? 3 : 1);
    }
    GP->SetTag(WorkState);
    FillGrid(*model, WorkState);
}

void TMainForm::ClearGrid() {
    FReadingAgeTimer->stop();
    GP->setUpdatesEnabled(false);
    try {
        for (int i = GP->ControlCount() - 1; i >= 0; --i) {
            GP->DeleteControl(i);
        }
        GP->ClearRowsAndColumns();
    } catch (...) {
        GP->setUpdatesEnabled(true);
        throw;
    }
    GP->setUpdatesEnabled(true);
}

void TMainForm::BuildGrid(int rows, int columns) {
    GP->setUpdatesEnabled(false);
    for (int r = 0; r < rows; ++r) {
        GP->AddRow(100.0 / rows);
    }
    for (int c = 0; c < columns; ++c) {
        GP->AddColumn(100.0 / columns);
    }
    GP->setUpdatesEnabled(true);
}

void TMainForm::FillGrid(const protocol::TTavrel& model, int layout) {
    FReadingAgeTimer->start();
    const int n = GP->RowCount() * GP->ColumnCount();
    const bool allowClick = GP->ColumnCount() == 3;
    const auto channel = [layout](int k) { return layout == 1 ? 1 : layout == 2 ? 2 : k; };
    if (GP->ControlCount() == 0) {
        for (int k = 0; k < n; ++k) {
            new TFrameChannel(allowClick, model, channel(k), GP);
        }
        return;
    }
    for (int k = 0; k < GP->ControlCount(); ++k) {
        if (auto* frame = qobject_cast<TFrameChannel*>(GP->Control(k))) {
            frame->UpdateData(channel(k), &model, allowClick);
        }
    }
}

void TMainForm::ShowReadingsOutdated() {
    // An instrument that stopped answering must not leave its last values looking live.
    for (int k = 0; k < GP->ControlCount(); ++k) {
        if (auto* frame = qobject_cast<TFrameChannel*>(GP->Control(k))) {
            frame->ShowNoReading();
        }
    }
    TabVerification->DeviceReadingsOutdated();
}

// ---- Status bar ----

QColor TMainForm::PercentColor(unsigned percent) {
    std::uint32_t color = 0x0000FF;
    if (percent >= 11 && percent <= 18) {
        color = protocol::THalvoGraphics::HexToColor("f57f17");
    } else if (percent >= 19) {
        color = protocol::THalvoGraphics::HexToColor("0d47a1");
    }
    return {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
            static_cast<int>((color >> 16) & 0xFF)};
}

void TMainForm::StatusBar1DrawPanel(QPainter* painter, int panel, const QRect& rect) {
    if (panel != 0 && panel != 1) {
        return;
    }
    const int W = 16;
    const int H = 16;
    const int y = StatusBar1->height() / 2 - H / 2 + 2;
    const auto icon = [&](int index, int x) {
        if (index >= 0 && index < static_cast<int>(ImageListSB.size())) {
            painter->drawImage(QPoint(x, y), ImageListSB[static_cast<std::size_t>(index)]);
        }
    };
    icon(panel == 0 ? 6 : 5, rect.left());
    const unsigned percent = static_cast<unsigned>(panel == 0 ? percentAKB : memoryFreePercent);
    QRect textRect = rect;
    textRect.setLeft(rect.left() + W + 4);
    QFont font = painter->font();
    font.setBold(true);
    painter->setFont(font);
    painter->setPen(PercentColor(percent));
    painter->setBrush(Qt::NoBrush);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, StatusBar1->Panel(panel).Text);
    if (panel != 0) {
        return;
    }
    const int x1 = rect.right() + 1 - W - 4;
    if (AKBState != protocol::TAKBState::takbUnknown) {
        icon(AKBState == protocol::TAKBState::C ? 3 : 4, x1);
    }
    const int x2 = x1 - W - 4;
    if (SourcePower != protocol::TSourcePower::tspUnknown) {
        icon(SourcePower == protocol::TSourcePower::B ? 0 : SourcePower == protocol::TSourcePower::U ? 1 : 2, x2);
    }
}

void TMainForm::StatusBar1MouseMove(Qt::KeyboardModifiers /*shift*/, int x, int /*y*/) {
    const int panel = StatusBar1->HitTest(x);
    if (panel < 0) {
        return;
    }
    if (panel == 0) {
        StatusBar1->SetHint(AKBStateFullInfo);
        StatusBar1->setCursor(Qt::PointingHandCursor);
    } else if (panel == 1) {
        StatusBar1->SetHint(MemoryFullInfo);
        StatusBar1->setCursor(Qt::PointingHandCursor);
    } else {
        StatusBar1->setCursor(Qt::ArrowCursor);
        StatusBar1->SetHint(StatusBar1->Panel(panel).Text);
    }
}

void TMainForm::StatusBar1Click() {
    const int panel = StatusBar1->HitTest(StatusBar1->mapFromGlobal(QCursor::pos()).x());
    if (panel < 0 || Tag(ButtonRun) == 0) {
        return;
    }
    if (panel == 0) {
        ShowPowerDialog();
    } else if (panel == 1) {
        ShowMemoryDialog();
    }
}

void TMainForm::StatusBarRepaint() {
    try {
        const int tag = std::abs(StatusBar1->Tag() - 1);
        StatusBar1->SetTag(tag);
        StatusBar1->SetPanelWidth(5, StatusBar1->Panel(5).Width + (tag == 0 ? 1 : -1));
    } catch (...) {
        // Only the icons would be stale until the next paint.
    }
}

void TMainForm::ShowPowerDialog() {
    OpenPowerDialog(FModule);
}

void TMainForm::ShowMemoryDialog() {
    OpenMemoryDialog(FModule);
}

}  // namespace tavrel::app
