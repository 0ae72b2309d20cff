// The three dialogs opened from the real main window while it talks to the instrument simulator on a
// pseudo-terminal: what the operator sets reaches the wire once per registered listener.
#include <functional>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/form_info_power.h"
#include "app/form_memory_info.h"
#include "app/form_setting_channel.h"
#include "app/frame_channel.h"
#include "app/grid_panel.h"
#include "app/main_form.h"
#include "app/radio_group.h"
#include "app_test_support.h"
#include "simulator_form_fixture.h"

namespace {

using tavrel::app::TFormInfoPower;
using tavrel::app::TFormMemoryInfo;
using tavrel::app::TFormSettingChannel;
using tavrel::test::WaitFor;

// Drives the modal dialog of type T once it is up: `ready` says when it has what it waits for, `act`
// then does what the operator does (and closes it). Polls from the dialog's own event loop.
template <typename T>
class TModalDriver : public QObject {
  public:
    TModalDriver(std::function<bool(T*)> ready, std::function<void(T*)> act)
        : FReady(std::move(ready)), FAct(std::move(act)) {
        FTimer.setInterval(20);
        connect(&FTimer, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
            if (dialog == nullptr || Done) {
                return;
            }
            Seen = true;
            if (FReady(dialog)) {
                Done = true;
                FTimer.stop();
                FAct(dialog);
            } else if (++FPolls > 500) {
                // Ten seconds without what the test waits for: give the test its failure, not a hang.
                FTimer.stop();
                dialog->reject();
            }
        });
        FTimer.start();
    }
    bool Seen = false;
    bool Done = false;

  private:
    std::function<bool(T*)> FReady;
    std::function<void(T*)> FAct;
    QTimer FTimer;
    int FPolls = 0;
};

class DialogsEndToEnd : public tavrel::test::SimulatorFormFixture {
  protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        // One log per case: CTest may run the cases side by side.
        const QString name = QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_NO_FATAL_FAILURE(StartSimulator(QStringLiteral("dialogs-%1.log").arg(name)));
        Form->show();
        Form->ButtonRun->click();
        ASSERT_TRUE(WaitFor([this] { return FramesShowReadings(3); }, 10000)) << "no readings in three frames";
    }

    // Commands the simulator received, as its log writes them, with this prefix.
    std::vector<std::string> Received(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const std::string& line : LogLines("rx")) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    static void ClickItem(tavrel::app::TRadioGroup* group, int index) {
        QRadioButton* item = group->Item(index);
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
    }
};

TEST_F(DialogsEndToEnd, SettingsFromAFrame_OneCommandPerListenerAndTheNewRangeInTheReadings) {
    EXPECT_EQ(Frame(0)->LabelChannelRange->text(), QStringLiteral("Диапазон 1 В"));
    std::vector<std::string> applied;
    TModalDriver<TFormSettingChannel> driver([](TFormSettingChannel* d) { return d->Tag() == 1; },
                                             [this, &applied](TFormSettingChannel* d) {
                                                 Screenshot(d, "dialog-setting-channel.png");
                                                 ClickItem(d->RG1, 1);
                                                 d->ButtonApply->click();
                                                 // "Применить" keeps the dialog and its listener: both
                                                 // queues are written, the same frame twice.
                                                 WaitFor([this] { return Received("0;").size() >= 2; }, 3000);
                                                 QTest::qWait(200);
                                                 applied = Received("0;");
                                                 ClickItem(d->RG1, 2);
                                                 Screenshot(d, "dialog-setting-channel-changed.png");
                                                 d->ButtonOK->click();
                                             });
    QTest::mouseClick(Frame(0)->LabelChannelValue, Qt::LeftButton, {}, QPoint(2, 2));
    ASSERT_TRUE(driver.Done) << (driver.Seen ? "the dialog was never filled" : "no dialog opened");
    EXPECT_EQ(Module->ListenerCount(), 1U) << "the dialog's listener left with it";

    // Channel 1 to 10 V, the rest as the instrument reported them: 1 V, 1 V and the 75 mA shunt.
    EXPECT_EQ(applied, (std::vector<std::string>{"0;2;1;1;750", "0;2;1;1;750"}))
        << "queued once for the main window and once for the dialog";
    // "OK" applies while both listeners are registered and then removes the dialog's, whose queue goes
    // with it unless the work task wrote it first: the main window's copy always reaches the instrument.
    ASSERT_TRUE(
        WaitFor([this] { return Frame(0)->LabelChannelRange->text() == QStringLiteral("Диапазон 100 В"); }, 5000));
    const std::vector<std::string> all = Received("0;");
    ASSERT_GE(all.size(), 3U);
    EXPECT_LE(all.size(), 4U);
    for (std::size_t i = 2; i < all.size(); ++i) {
        EXPECT_EQ(all[i], "0;3;1;1;750");
    }
    EXPECT_EQ(Frame(1)->LabelChannelRange->text(), QStringLiteral("Диапазон 1 В"));
    EXPECT_EQ(Frame(2)->LabelChannelRange->text(), QStringLiteral("Диапазон 1 В"));
}

TEST_F(DialogsEndToEnd, PowerDialog_ReadsTheInstrumentAndSavesTheOperatorsChoiceOnce) {
    TModalDriver<TFormInfoPower> driver([](TFormInfoPower* d) { return d->ChargeTag() == 1; },
                                        [](TFormInfoPower* d) {
                                            EXPECT_TRUE(d->CBChargeUSB->isChecked()) << "the simulator charges";
                                            EXPECT_EQ(d->SourcePowerLabel->text(), QStringLiteral("USB"));
                                            EXPECT_EQ(d->PercentAKBLabel->text(), QStringLiteral("87%"));
                                            Screenshot(d, "dialog-info-power.png");
                                            d->CBChargeUSB->click();
                                            d->ButtonSave->click();
                                        });
    Form->ShowPowerDialog();
    ASSERT_TRUE(driver.Done) << (driver.Seen ? "no battery answer" : "no dialog opened");
    EXPECT_EQ(Module->ListenerCount(), 1U);
    ASSERT_TRUE(WaitFor([this] { return !Received("6;").empty(); }, 3000));
    // The next battery answer reports what was set; give it time to arrive before counting.
    QTest::qWait(300);
    EXPECT_EQ(Received("6;"), std::vector<std::string>{"6;D"}) << "sent through the main window's listener only";
}

TEST_F(DialogsEndToEnd, MemoryDialog_ShowsTheInstrumentsMemoryAndSendsNothingOnClosing) {
    TModalDriver<TFormMemoryInfo> driver([](TFormMemoryInfo* d) { return !d->LabelFull->text().isEmpty(); },
                                         [](TFormMemoryInfo* d) {
                                             EXPECT_EQ(d->LabelFull->text(),
                                                       QStringLiteral("1024 КБайт (1048576 байт)"));
                                             EXPECT_EQ(d->ProgressBarUsed->value(), 50);
                                             Screenshot(d, "dialog-memory-info.png");
                                             d->ButtonOK->click();
                                         });
    Form->ShowMemoryDialog();
    ASSERT_TRUE(driver.Done) << (driver.Seen ? "no memory answer" : "no dialog opened");
    EXPECT_EQ(Module->ListenerCount(), 1U);
    QTest::qWait(200);
    EXPECT_TRUE(Received("0;").empty());
    EXPECT_TRUE(Received("6;").empty());
}

}  // namespace
