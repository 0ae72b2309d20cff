#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QString>
#include <QStringList>
#include <QWidget>

#include "bus/subscriber_class.h"
#include "link/data_helper.h"
#include "protocol/data_parser.h"
#include "protocol/tavrel.h"

class QLabel;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace tavrel::link {
class ISubscribeMessage;
class TXComPortModule;
}  // namespace tavrel::link

namespace tavrel::app {

class TGridPanel;
class TImage;
class TRadioGroup;
class TStatusBar;
class TVerificationTab;

// The main window: connect button, mode group, channel frames, status bar, and the session controller
// that drives the conversation with the instrument (session_controller.cpp).
class TMainForm : public QWidget, public bus::TSubscriberObject {
    Q_OBJECT

  public:
    // The window's four port-message handlers, all delivered on the main thread.
    static const bus::TSubscriberClass Registration;
    const bus::TSubscriberClass& SubscriberClass() const override { return Registration; }

    // `module` is the process-wide exchange module; it outlives the window.
    explicit TMainForm(link::TXComPortModule& module, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Marks a session against the instrument simulator: title and banner say so.
    void SetSimulatorBanner(bool simulator);

    // Controls, under their designer names (also their object names).
    QWidget* TopPanel;
    QTabWidget* PageControl1;
    TRadioGroup* RGModeWork;
    QLabel* LabelModeWork;
    TImage* ImageLogo;
    QPushButton* ButtonRun;
    QPushButton* ButtonAbout;
    QLabel* LabelReference;
    QLabel* LabelContacts;
    QLabel* LabelSimulator;
    TVerificationTab* TabVerification;  // page "Поверка"
    TGridPanel* GP;
    QWidget* PanelLog;
    QPlainTextEdit* Memo1;
    TStatusBar* StatusBar1;
    QTimer* Timer1;
    QTimer* TimerInfo;
    std::vector<QImage> ImageListSB;

    // Fields of the window.
    std::uint8_t WorkState = 255;
    int memoryFreePercent = 0;
    int percentAKB = 0;
    protocol::TAKBState AKBState = protocol::TAKBState::takbUnknown;
    protocol::TSourcePower SourcePower = protocol::TSourcePower::tspUnknown;
    QString AKBStateFullInfo;
    QString MemoryFullInfo;

    // Main window operations.
    // The line reaches `Memo1` when the event loop next runs its timers (FlushLog), together with every
    // line added meanwhile: one append per turn instead of one per line, which a flood of bad frames would
    // otherwise pay for on every line (each append lays its block out). A loop kept busy by a flood runs
    // its timers late, so at kLogBlockLines waiting lines they go in at once: no append grows long.
    void AddLogLine(const QString& text);
    static constexpr qsizetype kLogBlockLines = 512;
    // Appends the lines still waiting, in their order, as one block.
    void FlushLog();
    void ShowConnectionState(bool connected);
    void ToggleBusSubscription();
    void RegisterListener();
    void ConnectDevice();
    void DisconnectDevice();
    void ButtonRunClick();
    void ButtonAboutClick();
    void SetStatusText(int index, const QString& text);

    // Port message handlers, delivered on the main thread.
    void OnSubscribeComPortData(const std::shared_ptr<link::ISubscribeMessage>& message);
    void OnSubscribeComPortError(const std::shared_ptr<link::ISubscribeMessage>& message);
    void OnSubscribeComPortEventStatus(const std::shared_ptr<link::ISubscribeMessage>& message);
    void OnSubscribeComPortStatus(const std::shared_ptr<link::ISubscribeMessage>& message);

    // Session controller.
    void HandleDeviceAnswer(protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes);
    void RGModeWorkClick();
    void Timer1Timer();
    void TimerInfoTimer();

    // Channel frame grid.
    void UpdateChannelFrames(const protocol::TTavrel* model);
    void ClearGrid();
    void BuildGrid(int rows, int columns);
    void FillGrid(const protocol::TTavrel& model, int layout);
    // A reading older than this is shown as none: three measuring periods passed without a measurement.
    static constexpr int kReadingMaxAgeMs = 3500;

    // Status bar.
    void StatusBar1DrawPanel(QPainter* painter, int panel, const QRect& rect);
    void StatusBar1MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void StatusBar1Click();
    void StatusBarRepaint();
    void ShowPowerDialog();
    void ShowMemoryDialog();

    // The text colour of a battery or memory percentage in the status bar.
    static QColor PercentColor(unsigned percent);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildLayout();
    void FormCreate();
    void FormClose();
    void FormKeyUp(int key);
    void ClipModeGroup();
    // The page "Поверка" takes the whole window while it is shown; the other pages keep their 160 pixels.
    void PageControl1Change(int index);
    void SendCommand(const std::vector<std::uint8_t>& frame);
    void ShowReadingsOutdated();
    link::TWindowHandle WindowHandle() const { return reinterpret_cast<link::TWindowHandle>(this); }

    link::TXComPortModule& FModule;
    bool FClosed = false;
    QStringList FPendingLog;
    QTimer* FLogTimer;         // zero-delay, single shot: FlushLog once the turn ends
    QTimer* FReadingAgeTimer;  // single shot, restarted by every filled grid: the readings grew old
};

}  // namespace tavrel::app
