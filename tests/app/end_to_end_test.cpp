// The real main window against the instrument simulator on a pseudo-terminal.
#include <chrono>
#include <memory>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextStream>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "app/frame_channel.h"
#include "app/grid_panel.h"
#include "app/main_form.h"
#include "app/radio_group.h"
#include "app/status_bar.h"
#include "app_test_support.h"
#include "main_thread_probe.h"
#include "protocol/tavrel.h"
#include "simulator_form_fixture.h"

namespace {

using tavrel::test::TModalCloser;
using tavrel::test::WaitFor;

class EndToEnd : public tavrel::test::SimulatorFormFixture {
  protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        // One log per case: CTest may run the cases side by side.
        const QString name = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NO_FATAL_FAILURE(StartSimulator(QStringLiteral("simulator-%1.log").arg(name)));
        Form->SetSimulatorBanner(true);
        Form->show();
    }
};

std::ptrdiff_t IndexOf(const std::vector<std::string>& lines, const std::string& line, std::size_t from = 0) {
    for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i] == line) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

TEST_F(EndToEnd, Session_RegistratorIppModesAndHangUp) {
    Form->ButtonRun->click();
    ASSERT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 10000)) << "no readings in three frames";
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Отключиться"));
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), 0);
    EXPECT_TRUE(Form->StatusBar1->Panel(2).Text.startsWith(QStringLiteral("Время на приборе: ")));
    EXPECT_EQ(Form->StatusBar1->Panel(3).Text, QStringLiteral("Серийный номер: 1234"));
    EXPECT_EQ(Form->StatusBar1->Panel(5).Text, QStringLiteral("Версия прошивки: 01.05        "));

    // The frames show what the simulator sent: one of its measurements, as the model presents it.
    {
        const auto sent = LogLines("tx");
        std::vector<std::string> measures;
        for (const std::string& line : sent) {
            if (line.rfind("7;", 0) == 0) {
                measures.push_back(line);
            }
        }
        ASSERT_FALSE(measures.empty());
        // Answers still in flight may follow the one on screen, so any measurement sent so far counts.
        bool matched = false;
        for (auto it = measures.rbegin(); it != measures.rend() && !matched; ++it) {
            const auto model = tavrel::test::ModelFromAnswers({*it});
            matched = true;
            for (int k = 0; k < 3; ++k) {
                const auto key = static_cast<tavrel::protocol::TChannelProperties>(k);
                matched = matched && Frame(k)->LabelChannelValue->text() ==
                                         QString::fromStdString(model->GetChannelProperties(key));
            }
        }
        EXPECT_TRUE(matched) << Frame(0)->LabelChannelValue->text().toStdString() << " is not a simulator reading";
    }
    // Battery and memory arrive a second after the timers start.
    EXPECT_TRUE(WaitFor([this] { return Form->StatusBar1->Panel(0).Text == QStringLiteral("87%"); }, 4000));
    EXPECT_TRUE(WaitFor([this] { return Form->StatusBar1->Panel(1).Text == QStringLiteral("50%"); }, 4000));
    Screenshot("main-registrator.png");

    Form->RGModeWork->Item(1)->click();
    ASSERT_TRUE(WaitFor(
        [this] { return FramesShowReadings(1) && Frame(0)->objectName() == QStringLiteral("FrameChannel1"); }, 10000));
    EXPECT_EQ(Frame(0)->LabelChannelName->text(), QStringLiteral("Канал 2"));
    EXPECT_EQ(Form->WorkState, 1);
    Screenshot("main-ipp-voltage.png");

    Form->RGModeWork->Item(3)->click();
    ASSERT_TRUE(WaitFor(
        [this] { return FramesShowReadings(1) && Frame(0)->objectName() == QStringLiteral("FrameChannel2"); }, 10000));
    EXPECT_EQ(Frame(0)->LabelChannelName->text(), QStringLiteral("Канал 3"));
    EXPECT_EQ(Form->WorkState, 2);
    Screenshot("main-ipp-current.png");

    // The commands in the order of a connection.
    const auto rx = LogLines("rx");
    ASSERT_GE(rx.size(), 6U);
    EXPECT_EQ(rx[0], "1;1");
    EXPECT_EQ(rx[1], "4;K;1");
    const auto version = IndexOf(rx, "3;0");
    const auto noUsb = IndexOf(rx, "1;3");
    ASSERT_GT(version, 1);
    ASSERT_GT(noUsb, version) << "the stream is switched off only once the firmware is known";
    EXPECT_EQ(IndexOf(rx, "1;3", static_cast<std::size_t>(noUsb) + 1), -1) << "getMeasuring without USB once";
    EXPECT_EQ(rx[static_cast<std::size_t>(noUsb) + 1], "4;K;1") << "automatic selection of Регистратор";
    const auto volt = IndexOf(rx, "3;7", static_cast<std::size_t>(noUsb));
    const auto akb = IndexOf(rx, "3;9", static_cast<std::size_t>(noUsb));
    ASSERT_GT(volt, noUsb);
    ASSERT_GT(akb, noUsb);
    EXPECT_EQ(rx[static_cast<std::size_t>(akb) + 1], "3;D");
    const auto ippVolt = IndexOf(rx, "F;1");
    ASSERT_GT(ippVolt, noUsb);
    EXPECT_EQ(rx[static_cast<std::size_t>(ippVolt) - 1], "4;K;1");
    const auto ampere = IndexOf(rx, "4;K;4", static_cast<std::size_t>(ippVolt));
    ASSERT_GT(ampere, ippVolt);
    EXPECT_GT(IndexOf(rx, "E", static_cast<std::size_t>(ampere)), ampere) << "second step of the current mode";

    // The instrument goes away: the error is shown once and the window is reset.
    ExpectMessageBoxes();
    TModalCloser closer;
    Sim->Stop();
    ASSERT_TRUE(WaitFor([&closer] { return !closer.Texts.empty(); }, 10000)) << "no error box after the hang-up";
    EXPECT_EQ(closer.Titles[0], QStringLiteral("Ошибка"));
    EXPECT_TRUE(closer.Texts[0].startsWith(QStringLiteral("Error: "))) << closer.Texts[0].toStdString();
    ASSERT_TRUE(WaitFor(
        [this] { return Form->ButtonRun->text() == QStringLiteral("Подключиться") && Form->GP->ControlCount() == 0; },
        10000));
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_FALSE(Form->TimerInfo->isActive());
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), -1);
    EXPECT_FALSE(Form->RGModeWork->isEnabled());
    EXPECT_EQ(Form->WorkState, 255);
    WaitFor([] { return false; }, 300);
    EXPECT_EQ(closer.Texts.size(), 1U) << "one error box per hang-up";
    Screenshot("main-disconnected.png");
    Form->PageControl1->setCurrentIndex(1);
    Screenshot("main-developer.png");
}

TEST_F(EndToEnd, RefusedMode_NoReadingIsShownUntilTheInstrumentAcceptsAModeAgain) {
    Form->ButtonRun->click();
    ASSERT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 10000)) << "no readings in three frames";

    Sim->SetRefuseModes(true);
    Form->RGModeWork->Item(1)->click();
    ASSERT_TRUE(WaitFor([this] { return Form->WorkState == 255 && Form->GP->ControlCount() == 0; }, 5000))
        << "the frames kept their last readings after the refusal";
    // Each measure answer selects "Регистратор" again, which the instrument keeps refusing: no frame comes back.
    const auto refusedBefore = LogLines("rx").size();
    EXPECT_FALSE(WaitFor([this] { return Form->GP->ControlCount() != 0; }, 2500));
    EXPECT_GT(LogLines("rx").size(), refusedBefore) << "the session went on meanwhile";
    EXPECT_EQ(Form->WorkState, 255);
    Screenshot("main-mode-refused.png");

    Sim->SetRefuseModes(false);
    EXPECT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 10000)) << "the registrator layout came back";
    EXPECT_EQ(Form->WorkState, 0);
}

class EndToEndOldFirmware : public tavrel::test::SimulatorFormFixture {
  protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        tavrel::sim::TSimOptions options;
        options.Firmware = "00.50";
        ASSERT_NO_FATAL_FAILURE(StartSimulator(QStringLiteral("old-firmware.log"), options));
        Form->show();
    }
};

// The old-firmware box stands for any message box a test does not expect: it must not hang the test until
// CTest kills it, but fail it at once with the box's text.
TEST_F(EndToEndOldFirmware, UnexpectedMessageBox_EndsTheWaitAtOnceWithTheBoxText) {
    Form->ButtonRun->click();
    QElapsedTimer elapsed;
    elapsed.start();
    bool shown = true;
    EXPECT_NONFATAL_FAILURE(shown = WaitFor([this] { return FramesShowReadings(3); }, 60000),
                            "Версия прибора без ИПП не поддерживается!");
    EXPECT_FALSE(shown);
    EXPECT_LT(elapsed.elapsed(), 10000) << "the wait ran on after the box";
}

// A firmware that hangs but stays enumerated takes no more data: the tool's writes wait for room while the
// window goes on answering, and "Отключиться" ends the session at once.
TEST_F(EndToEnd, WedgedInstrument_WindowKeepsAnsweringAndDisconnectEndsTheSession) {
    using namespace std::chrono_literals;
    TModalCloser closer;
    Form->ButtonRun->click();
    ASSERT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 10000)) << "no readings in three frames";
    tavrel::test_support::TMainThreadProbe probe;
    Sim->Stall();
    // The measurement request queued every second is soon stuck in a write that waits for room.
    WaitFor([] { return false; }, 2500);
    EXPECT_TRUE(Module->IsRunning()) << "the write is still waiting, short of its 10 s limit";
    EXPECT_LT(probe.MaxGap(), 100ms) << "while writes wait for room";

    probe.Restart();
    Form->ButtonRun->click();
    EXPECT_TRUE(WaitFor([this] { return Form->ButtonRun->text() == QStringLiteral("Подключиться"); }, 1000));
    WaitFor([] { return false; }, 300);
    EXPECT_LT(probe.MaxGap(), 100ms) << "while disconnecting";
    EXPECT_FALSE(Module->IsRunning());
    EXPECT_TRUE(closer.Texts.empty()) << closer.Texts[0].toStdString();
}

TEST_F(EndToEnd, InstrumentFallsSilent_ReadingsShowNoneUntilMeasurementsReturn) {
    Form->ButtonRun->click();
    ASSERT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 10000)) << "no readings in three frames";
    const auto allDashes = [this] {
        for (int k = 0; k < 3; ++k) {
            if (Frame(k)->LabelChannelValue->text() != QStringLiteral("Нет данных")) {
                return false;
            }
        }
        return true;
    };
    Sim->SetSilent(true);
    QElapsedTimer silent;
    silent.start();
    ASSERT_TRUE(WaitFor(allDashes, tavrel::app::TMainForm::kReadingMaxAgeMs + 3000));
    // Not before the age limit: a measurement or two may be missed without the readings going.
    EXPECT_GE(silent.elapsed(), tavrel::app::TMainForm::kReadingMaxAgeMs - 1100);
    EXPECT_EQ(Frame(0)->LabelChannelValue->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Отключиться")) << "the session itself goes on";
    Screenshot("main-readings-outdated.png");

    Sim->SetSilent(false);
    ASSERT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 5000)) << "readings did not come back";
    EXPECT_NE(Frame(0)->LabelChannelValue->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
    EXPECT_TRUE(Frame(0)->LabelChannelValue->toolTip().isEmpty());
}

}  // namespace
