#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/frame_channel.h"
#include "app/grid_panel.h"
#include "app/main_form.h"
#include "app/radio_group.h"
#include "app/status_bar.h"
#include "app_test_support.h"
#include "main_form_fixture.h"
#include "protocol/tavrel_command.h"

namespace {

using tavrel::protocol::TTavrelCommand;
using tavrel::test::AnswerFrame;
using tavrel::test::CommandResultBody;
using tavrel::test::MeasureBody;
using TBytes = std::vector<std::uint8_t>;
using Restrans = TTavrelCommand::TRESTRANS;

const std::string kMeasure = MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1");
const std::string kDeviceInfo = "0;1234;7;21;1.05";

class SessionController : public tavrel::test::MainFormFixture {
  protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        Form->RegisterListener();
        AttachSpy();
    }

    void Feed(const std::string& body) { Module->_ParseData(AnswerFrame(body)); }

    // Connection up to the point where the instrument has confirmed the registrator layout.
    void StartSession() {
        Feed(kDeviceInfo);
        Feed("K;1");
        Feed(kMeasure);
        ASSERT_EQ(Spy.Take(), (std::vector<TBytes>{TTavrelCommand::getMeasuring(Restrans::RES_NO_USB_TRANS),
                                                   TTavrelCommand::setModeWork(1)}));
        Feed(CommandResultBody('4', 'K', 4));
        ASSERT_EQ(Form->WorkState, 0);
        Feed(kMeasure);
        ASSERT_EQ(Form->GP->ControlCount(), 3);
        ASSERT_TRUE(Spy.Take().empty());
    }

    QString LastLogLine() const {
        const QStringList lines = LogText().split(QLatin1Char('\n'));
        return lines.isEmpty() ? QString() : lines.last();
    }
};

TEST_F(SessionController, Connect_QueuesMeasuringWithUsbThenRegistratorModeAndReportsAMissingPort) {
    Module->SetAutoDetect(false);
    Module->SetComPortName("/nonexistent/ttyTAVREL");
    tavrel::test::TModalCloser closer;
    Form->ButtonRunClick();
    EXPECT_EQ(Spy.Take(), (std::vector<TBytes>{TTavrelCommand::getMeasuring(Restrans::RES_USB_TRANS),
                                               TTavrelCommand::setModeWork(1)}));
    // The work task looks the port up and posts the error: shown once, the listener removed.
    ASSERT_TRUE(tavrel::test::WaitFor([&] { return !closer.Texts.empty(); }, 2000));
    tavrel::test::WaitFor([] { return false; }, 100);
    ASSERT_EQ(closer.Texts.size(), 1U);
    EXPECT_EQ(closer.Titles[0], QStringLiteral("Ошибка"));
    EXPECT_TRUE(closer.Texts[0].startsWith(QStringLiteral("Error: "))) << closer.Texts[0].toStdString();
    EXPECT_TRUE(LogText().contains(closer.Texts[0]));
    EXPECT_EQ(Module->ListenerCount(), 1U);
    EXPECT_FALSE(Module->IsRunning());
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Подключиться"));
}

TEST_F(SessionController, Measure_WithoutFirmwareAsksForVersionAndOnlySetsClock) {
    Feed(kMeasure);
    EXPECT_EQ(Spy.Take(), std::vector<TBytes>{TTavrelCommand::getVersion()});
    EXPECT_EQ(Form->StatusBar1->Panel(2).Text, QStringLiteral("Время на приборе: 09.12.2026 10:11:12"));
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_FALSE(Form->TimerInfo->isActive());
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), -1);
    EXPECT_FALSE(Form->RGModeWork->isEnabled());
    EXPECT_EQ(Form->GP->ControlCount(), 0);
}

TEST_F(SessionController, DeviceInfo_FillsIdentityPanels) {
    Feed(kDeviceInfo);
    EXPECT_EQ(Form->StatusBar1->Panel(3).Text, QStringLiteral("Серийный номер: 1234"));
    EXPECT_EQ(Form->StatusBar1->Panel(4).Text, QStringLiteral("Дата производства: 07.2021"));
    EXPECT_EQ(Form->StatusBar1->Panel(5).Text, QStringLiteral("Версия прошивки: 1.05        "));
    EXPECT_TRUE(Spy.Take().empty());
}

TEST_F(SessionController, Measure_WithUnknownModeChangesNothingButTheClock) {
    Feed(kDeviceInfo);
    Feed(kMeasure);
    EXPECT_TRUE(Spy.Take().empty());
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), -1);
    EXPECT_EQ(Form->GP->ControlCount(), 0);
    EXPECT_EQ(Form->StatusBar1->Panel(2).Text, QStringLiteral("Время на приборе: 09.12.2026 10:11:12"));
}

TEST_F(SessionController, FirstCompleteMeasure_StartsTimersOnceAndSelectsRegistrator) {
    Feed(kDeviceInfo);
    Feed("K;1");
    Feed(kMeasure);
    EXPECT_EQ(Spy.Take(), (std::vector<TBytes>{TTavrelCommand::getMeasuring(Restrans::RES_NO_USB_TRANS),
                                               TTavrelCommand::setModeWork(1)}));
    EXPECT_TRUE(Form->Timer1->isActive());
    EXPECT_TRUE(Form->TimerInfo->isActive());
    EXPECT_EQ(Form->Timer1->interval(), 1000);
    EXPECT_EQ(Form->TimerInfo->interval(), 1000);
    EXPECT_TRUE(Form->RGModeWork->isEnabled());
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), 0);
    // Nothing confirmed yet: no frames.
    EXPECT_EQ(Form->WorkState, 255);
    EXPECT_EQ(Form->GP->ControlCount(), 0);

    Feed(kMeasure);
    EXPECT_TRUE(Spy.Take().empty()) << "getMeasuring without USB is queued once per connection";
}

TEST_F(SessionController, Registrator_AcknowledgedModeShowsThreeFramesAndRefreshesThemInPlace) {
    StartSession();
    std::vector<QWidget*> frames;
    for (int k = 0; k < 3; ++k) {
        frames.push_back(Form->GP->Control(k));
        EXPECT_EQ(frames.back()->objectName(), QStringLiteral("FrameChannel%1").arg(k));
    }
    Feed(MeasureBody(0.5, "1", 2, "10", 0.01, "0.1"));
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(Form->GP->Control(k), frames[static_cast<std::size_t>(k)]) << "frame " << k << " was re-created";
    }
    auto* first = static_cast<tavrel::app::TFrameChannel*>(Form->GP->Control(0));
    EXPECT_EQ(first->LabelChannelValue->text(), QStringLiteral("+500.0 мВ"));
    EXPECT_EQ(Form->GP->Tag(), 0);
}

TEST_F(SessionController, Timers_QueuePollingCommandsAndInfoTimerSlowsDown) {
    StartSession();
    Form->Timer1Timer();
    EXPECT_EQ(Spy.Take(), std::vector<TBytes>{TTavrelCommand::getMeasuringVolt()});
    Form->TimerInfoTimer();
    EXPECT_EQ(Spy.Take(), (std::vector<TBytes>{TTavrelCommand::getAKBState(), TTavrelCommand::getMemoryState()}));
    EXPECT_EQ(Form->TimerInfo->interval(), 5000);
}

TEST_F(SessionController, IppCurrent_SecondStepRepeatsUntilAcknowledgedThenShowsChannelThree) {
    StartSession();
    Form->RGModeWork->SetItemIndex(3);
    EXPECT_EQ(Spy.Take(), std::vector<TBytes>{TTavrelCommand::setModeWorkIPP_Ampere(1)});
    EXPECT_EQ(Form->WorkState, 255);
    EXPECT_EQ(Form->GP->ControlCount(), 0);

    Feed(CommandResultBody('4', 'K', 4));
    EXPECT_EQ(Form->WorkState, 0);
    // The instrument has not switched yet: the registrator frames are shown meanwhile.
    Feed(kMeasure);
    EXPECT_EQ(Form->GP->ControlCount(), 3);
    EXPECT_TRUE(Spy.Take().empty());

    Feed("K;4");
    for (int repeat = 0; repeat < 2; ++repeat) {
        Feed(kMeasure);
        EXPECT_EQ(Spy.Take(), std::vector<TBytes>{TTavrelCommand::setModeWorkIPP_Ampere(2)}) << repeat;
        EXPECT_EQ(Form->WorkState, 255);
        EXPECT_EQ(Form->GP->ControlCount(), 0);
    }

    Feed(CommandResultBody('E', 0, 4));
    EXPECT_EQ(Form->WorkState, 2);
    Feed(kMeasure);
    EXPECT_TRUE(Spy.Take().empty());
    ASSERT_EQ(Form->GP->ControlCount(), 1);
    auto* frame = static_cast<tavrel::app::TFrameChannel*>(Form->GP->Control(0));
    EXPECT_EQ(frame->objectName(), QStringLiteral("FrameChannel2"));
    EXPECT_EQ(frame->LabelChannelName->text(), QStringLiteral("Канал 3"));
}

class SessionControllerIppVoltage : public SessionController, public ::testing::WithParamInterface<int> {};

TEST_P(SessionControllerIppVoltage, Item_QueuesRegistratorThenVoltStepAndShowsChannelTwo) {
    StartSession();
    Form->RGModeWork->SetItemIndex(GetParam());
    EXPECT_EQ(Spy.Take(),
              (std::vector<TBytes>{TTavrelCommand::setModeWork(1), TTavrelCommand::setModeWorkIPP_Volt('1')}));
    Feed(CommandResultBody('4', 'K', 4));
    EXPECT_EQ(Form->WorkState, 0);
    Feed(CommandResultBody('F', 0, 4));
    EXPECT_EQ(Form->WorkState, 1);
    Feed(kMeasure);
    ASSERT_EQ(Form->GP->ControlCount(), 1);
    auto* frame = static_cast<tavrel::app::TFrameChannel*>(Form->GP->Control(0));
    EXPECT_EQ(frame->objectName(), QStringLiteral("FrameChannel1"));
    EXPECT_EQ(frame->LabelChannelName->text(), QStringLiteral("Канал 2"));
    EXPECT_EQ(frame->LabelChannelValue->text(), QStringLiteral("-3.500 В"));
}

INSTANTIATE_TEST_SUITE_P(UppAndUtz, SessionControllerIppVoltage, ::testing::Values(1, 2));

TEST_F(SessionController, RefusedModeCommand_ClearsSelectionAndFramesAndFallsBackToRegistrator) {
    StartSession();
    // Any result byte but 4 is a refusal (5 here: 2 and 3 would be read as frame bytes).
    Feed(CommandResultBody('4', 'K', 5));
    EXPECT_EQ(Form->WorkState, 255);
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), -1);
    EXPECT_EQ(Form->GP->ControlCount(), 0) << "no frame keeps a reading that no longer updates";
    EXPECT_EQ(Form->GP->Tag(), -1);
    EXPECT_TRUE(Spy.Take().empty()) << "clearing the selection queues nothing";
    Feed(kMeasure);
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), 0);
    EXPECT_EQ(Form->GP->ControlCount(), 0) << "measurements come back only with a confirmed layout";
    EXPECT_EQ(Spy.Take(), std::vector<TBytes>{TTavrelCommand::setModeWork(1)});
    Feed(CommandResultBody('4', 'K', 4));
    Feed(kMeasure);
    EXPECT_EQ(Form->GP->ControlCount(), 3);
}

TEST_F(SessionController, CommandResult_NotAboutModeIsLoggedAndKeepsWorkState) {
    StartSession();
    Feed(CommandResultBody('0', 0, 4));
    EXPECT_EQ(Form->WorkState, 0);
    EXPECT_EQ(LastLogLine(), QStringLiteral("cmdAnswerCommandResult: LastCommand = 0x30 :: LastCode = 0x0 :: "
                                            "LastResult = 0x4"));
    Feed(CommandResultBody('4', 'K', 4));
    EXPECT_EQ(LastLogLine(), QStringLiteral("cmdAnswerCommandResult: LastCommand = 0x34 :: LastCode = 0x4b :: "
                                            "LastResult = 0x4"));
}

TEST_F(SessionController, Recording_DisablesModeGroupButStillSelectsRegistrator) {
    Feed(kDeviceInfo);
    Feed("K;1");
    Feed(MeasureBody(0.01, "1", 1, "10", 0.01, "0.1", "0", "log_on"));
    EXPECT_FALSE(Form->RGModeWork->isEnabled());
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), 0);
    EXPECT_EQ(Spy.Take(), (std::vector<TBytes>{TTavrelCommand::getMeasuring(Restrans::RES_NO_USB_TRANS),
                                               TTavrelCommand::setModeWork(1)}));
}

// A read that packs many bad frames around one answer, as a flooding line delivers them: the log keeps one
// line per frame in the order of the frames.
TEST_F(SessionController, CrcErrorBurst_LogKeepsEveryLineInOrder) {
    constexpr int kBad = 400;
    const QString crc = QStringLiteral("_XXX_TavrelData: cmdCRCError");
    const QString result = QStringLiteral("cmdAnswerCommandResult: LastCommand = 0x30 :: LastCode = 0x0 :: "
                                          "LastResult = 0x4");
    TBytes burst;
    QStringList expected = LogText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const auto add = [&](const TBytes& frame, const QString& line) {
        burst.insert(burst.end(), frame.begin(), frame.end());
        expected.append(line);
    };
    for (int i = 0; i < kBad; ++i) {
        add(AnswerFrame(kMeasure, true), crc);
    }
    add(AnswerFrame(CommandResultBody('0', 0, 4)), result);
    for (int i = 0; i < kBad; ++i) {
        add(AnswerFrame(kMeasure, true), crc);
    }
    Module->_ParseData(burst);
    const QString whole = expected.join(QLatin1Char('\n'));
    EXPECT_TRUE(tavrel::test::WaitFor([&] { return Form->Memo1->toPlainText() == whole; }, 2000))
        << Form->Memo1->blockCount() << " lines, expected " << expected.size();
}

TEST_F(SessionController, CrcError_IsLoggedByKindName) {
    TBytes frame = AnswerFrame(kMeasure);
    frame[frame.size() - 3] = frame[frame.size() - 3] == '0' ? '1' : '0';
    Module->_ParseData(frame);
    EXPECT_EQ(LastLogLine(), QStringLiteral("_XXX_TavrelData: cmdCRCError"));
    EXPECT_TRUE(Spy.Take().empty());
}

TEST_F(SessionController, Battery_SetsStateTextAndTogglesPanelFiveWidth) {
    EXPECT_EQ(Form->StatusBar1->Panel(5).Width, 180);
    Feed("9;A;D;E;3.95;87;5.02;24");
    EXPECT_EQ(Form->StatusBar1->Panel(0).Text, QStringLiteral("87%"));
    EXPECT_EQ(Form->percentAKB, 87);
    EXPECT_EQ(Form->AKBState, tavrel::protocol::TAKBState::D);
    EXPECT_EQ(Form->SourcePower, tavrel::protocol::TSourcePower::A);
    EXPECT_TRUE(Form->AKBStateFullInfo.startsWith(QStringLiteral("Источник питания: Аккумулятор")));
    EXPECT_EQ(Form->StatusBar1->Tag(), 1);
    EXPECT_EQ(Form->StatusBar1->Panel(5).Width, 179);
    Feed("9;A;D;E;3.95;87;5.02;24");
    EXPECT_EQ(Form->StatusBar1->Tag(), 0);
    EXPECT_EQ(Form->StatusBar1->Panel(5).Width, 180);
}

TEST_F(SessionController, Battery_PercentThatIsNoNumberShowsZero) {
    Feed("9;B;C;E;3.95;abc;5.02;24");
    EXPECT_EQ(Form->StatusBar1->Panel(0).Text, QStringLiteral("0%"));
    EXPECT_EQ(Form->percentAKB, 0);
}

TEST_F(SessionController, Memory_SetsFreePercentAndSummary) {
    Feed("D;1048576;524288");
    EXPECT_EQ(Form->memoryFreePercent, 50);
    EXPECT_EQ(Form->StatusBar1->Panel(1).Text, QStringLiteral("50%"));
    EXPECT_TRUE(Form->MemoryFullInfo.startsWith(QStringLiteral("Полный объем: ")));
}

TEST_F(SessionController, OldFirmware_EndsConnectionThenTellsTheOperator) {
    ASSERT_EQ(Module->ListenerCount(), 2U);
    tavrel::test::TModalCloser closer;
    Feed("0;1;1;20;00.12");
    ASSERT_EQ(closer.Texts.size(), 1U);
    EXPECT_EQ(closer.Texts[0], QStringLiteral("Версия прибора без ИПП не поддерживается!"));
    EXPECT_EQ(closer.Titles[0], QStringLiteral("Информация"));
    EXPECT_EQ(Module->ListenerCount(), 1U) << "the window's listener is removed";
    EXPECT_EQ(Form->StatusBar1->Panel(5).Text, QStringLiteral("Версия прошивки: 00.12        "));
}

}  // namespace
