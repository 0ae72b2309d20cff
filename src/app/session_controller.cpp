// The session controller of the main window: which commands are queued when, how each decoded answer
// is handled, and the measuring layout (WorkState) the instrument has confirmed.
#include <memory>

#include <QTimer>

#include "app/main_form.h"
#include "app/radio_group.h"
#include "app/status_bar.h"
#include "app/ui_support.h"
#include "app/verification_tab.h"
#include "link/subscribe_message.h"
#include "link/xcom_port.h"
#include "link/xcom_port_module.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"
#include "protocol/tavrel_data_parser.h"

namespace tavrel::app {

using protocol::TTavrel;
using protocol::TTavrelCMD;
using protocol::TTavrelCommand;

namespace {

QString Text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

}  // namespace

void TMainForm::SendCommand(const std::vector<std::uint8_t>& frame) {
    FModule._SendData(frame);
}

void TMainForm::RegisterListener() {
    FModule.SetPIDVID("VID_0483&PID_5740");
    FModule.SetComPortBaud(115200);
    auto parser = std::make_shared<protocol::TTavrelDataParser>();
    auto helper = std::make_unique<link::TDataHelper>(
        WindowHandle(), parser,
        [this](TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) { HandleDeviceAnswer(kind, bytes); });
    FModule._ListenerDataHelperSet(std::move(helper));
}

void TMainForm::ConnectDevice() {
    RegisterListener();
    FModule._TaskWorkStart();
    SendCommand(TTavrelCommand::getMeasuring(TTavrelCommand::TRESTRANS::RES_USB_TRANS));
    SendCommand(TTavrelCommand::setModeWork(1));
}

void TMainForm::DisconnectDevice() {
    FModule._ListenerDataHelperRemove(WindowHandle(), false);
    FModule._TaskWorkStop();
}

void TMainForm::HandleDeviceAnswer(TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) {
    switch (kind) {
        case TTavrelCMD::cmdAnswerCommandResult: {
            const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
            AddLogLine(
                QString::asprintf("cmdAnswerCommandResult: LastCommand = 0x%x :: LastCode = 0x%x :: "
                                  "LastResult = 0x%x",
                                  static_cast<unsigned>(model->LastCommand()), static_cast<unsigned>(model->LastCode()),
                                  static_cast<unsigned>(model->LastResult())));
            const auto r = static_cast<std::uint8_t>(
                TTavrelCommand::checkCommandResult(model->LastCommand(), model->LastCode(), model->LastResult()));
            switch (r) {
                case 254:
                    RGModeWork->SetItemIndex(-1);
                    // No layout is confirmed, so no frame may keep showing its last reading as if live;
                    // this also sets WorkState to 255.
                    UpdateChannelFrames(nullptr);
                    break;
                case 0:
                case 1:
                case 2:
                    WorkState = r;
                    break;
                default:
                    break;
            }
            break;
        }
        case TTavrelCMD::cmdCRCError:
            AddLogLine(QStringLiteral("_XXX_TavrelData: cmdCRCError"));
            break;
        case TTavrelCMD::cmdDeviceInfo: {
            const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
            SetStatusText(3, Text(model->GetNumberDevice("Серийный номер: ")));
            SetStatusText(4, Text(model->GetMonthAndYearDevice("Дата производства: ")));
            SetStatusText(5, Text(model->GetFirmwareDevice("Версия прошивки: ")));
            TabVerification->DeviceIdentity(*model);
            if (model->IsOldFirmware()) {
                DisconnectDevice();
                ShowMessage(nullptr, QStringLiteral("Версия прибора без ИПП не поддерживается!"), false);
            }
            break;
        }
        case TTavrelCMD::cmdAKBInfo: {
            const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
            AKBState = model->AKBState();
            AKBStateFullInfo = Text(model->AKBStateFullInfo());
            SourcePower = model->SourcePower();
            bool ok = false;
            percentAKB = Text(model->PercentAKB()).toInt(&ok, 10);
            if (!ok) {
                percentAKB = 0;
            }
            SetStatusText(0, QStringLiteral("%1%").arg(percentAKB));
            StatusBarRepaint();
            break;
        }
        case TTavrelCMD::cmdMemoryInfo: {
            const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
            memoryFreePercent = model->GetMemoryFree();
            MemoryFullInfo = Text(model->MemoryFullInfo());
            SetStatusText(1, QStringLiteral("%1%").arg(memoryFreePercent));
            break;
        }
        case TTavrelCMD::cmdMeasure: {
            const std::unique_ptr<TTavrel> model = TTavrel::FromJSON(bytes);
            SetStatusText(2, Text(model->DateTimeOnDevice()));
            if (model->FirmwareDevice().empty()) {
                SendCommand(TTavrelCommand::getVersion());
                break;
            }
            if (model->ModeWork() == protocol::TModeWork::UNKNOWN_MODE) {
                break;
            }
            if (!Timer1->isActive()) {
                SendCommand(TTavrelCommand::getMeasuring(TTavrelCommand::TRESTRANS::RES_NO_USB_TRANS));
                Timer1->start();
                if (Timer1->isActive()) {
                    TimerInfo->start();
                } else {
                    TimerInfo->stop();
                }
            }
            RGModeWork->setEnabled(!model->IsOldFirmware() && model->TypeState() == protocol::TTypeState::tsNoRec);
            if (RGModeWork->ItemIndex() < 0) {
                RGModeWork->SetItemIndex(0);
            }
            if (model->ModeWork() == protocol::TModeWork::IPP_MODE && RGModeWork->ItemIndex() == 3 && WorkState != 2) {
                SendCommand(TTavrelCommand::setModeWorkIPP_Ampere(2));
                UpdateChannelFrames(nullptr);
                break;
            }
            UpdateChannelFrames(model.get());
            TabVerification->DeviceMeasure(*model, WorkState);
            break;
        }
        case TTavrelCMD::cmdModeWork:
            break;
        default:
            AddLogLine(
                QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
            break;
    }
}

void TMainForm::RGModeWorkClick() {
    try {
        switch (RGModeWork->ItemIndex()) {
            case 0:
                SendCommand(TTavrelCommand::setModeWork(1));
                break;
            case 1:
            case 2:
                SendCommand(TTavrelCommand::setModeWork(1));
                SendCommand(TTavrelCommand::setModeWorkIPP_Volt('1'));
                break;
            case 3:
                SendCommand(TTavrelCommand::setModeWorkIPP_Ampere(1));
                UpdateChannelFrames(nullptr);
                break;
            default:
                break;
        }
    } catch (...) {
        // A mode command that could not be queued is simply not sent; the operator can pick again.
    }
}

void TMainForm::Timer1Timer() {
    SendCommand(TTavrelCommand::getMeasuringVolt());
}

void TMainForm::TimerInfoTimer() {
    TimerInfo->setInterval(5000);
    SendCommand(TTavrelCommand::getAKBState());
    SendCommand(TTavrelCommand::getMemoryState());
}

// ---- Port messages ----

void TMainForm::OnSubscribeComPortData(const std::shared_ptr<link::ISubscribeMessage>& message) {
    const std::vector<std::uint8_t> bytes = message->Data();
    if (!bytes.empty()) {
        FModule._ParseData(bytes);
    }
}

void TMainForm::OnSubscribeComPortError(const std::shared_ptr<link::ISubscribeMessage>& message) {
    const QString text = Text(message->MessageEvent().Text);
    AddLogLine(text);
    try {
        ShowMessage(nullptr, text, true);
    } catch (...) {
        // The error is in the log and the connection ends below either way.
    }
    ShowConnectionState(false);
    DisconnectDevice();
}

void TMainForm::OnSubscribeComPortEventStatus(const std::shared_ptr<link::ISubscribeMessage>& message) {
    const auto status = static_cast<std::uint8_t>(message->MessageEvent().ErrorCode & 0xFF);
    switch (static_cast<link::TEventStatusComPort>(status)) {
        case link::TEventStatusComPort::XComPort_Connect:
            AddLogLine(QStringLiteral("**XComPort_Connect**"));
            ShowConnectionState(true);
            break;
        case link::TEventStatusComPort::XComPort_Close:
            AddLogLine(QStringLiteral("**XComPort_Close**"));
            Timer1->stop();
            TimerInfo->stop();
            ShowConnectionState(false);
            RGModeWork->setEnabled(false);
            RGModeWork->SetItemIndex(-1);
            UpdateChannelFrames(nullptr);
            TabVerification->LineClosed();
            break;
        case link::TEventStatusComPort::XComPort_Wait:
            AddLogLine(QStringLiteral("**XComPort_Wait**"));
            break;
        default:
            break;
    }
}

void TMainForm::OnSubscribeComPortStatus(const std::shared_ptr<link::ISubscribeMessage>& /*message*/) {}

}  // namespace tavrel::app
