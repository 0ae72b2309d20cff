// The power dialog driven by battery answers through its own listener.
#include "app/form_info_power.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/dialog_listener.h"
#include "dialog_fixture.h"

namespace {

using tavrel::app::TFormInfoPower;
using tavrel::test::Body;
using tavrel::test::Drain;
using tavrel::test::Leave;
using tavrel::test::TLeave;

class InfoPower : public tavrel::test::ShownDialogFixture<TFormInfoPower> {
  protected:
    std::vector<std::string> Bodies(const std::vector<tavrel::test::TBytes>& frames) const {
        std::vector<std::string> bodies;
        for (const auto& frame : frames) {
            bodies.push_back(Body(frame));
        }
        return bodies;
    }
    std::vector<std::string> Labels() const {
        std::vector<std::string> texts;
        for (QLabel* label : {Dialog->SourcePowerLabel, Dialog->AKBStateLabel, Dialog->VoltAKBLabel,
                              Dialog->PercentAKBLabel, Dialog->VoltPowerAKBLabel, Dialog->TempAKBLabel}) {
            texts.push_back(label->text().toStdString());
        }
        return texts;
    }
};

TEST_F(InfoPower, Show_AsksForTheBatteryOncePerListenerAndShowsTheSampleTexts) {
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Питание прибора"));
    EXPECT_EQ(Dialog->size(), QSize(294, 288));
    EXPECT_EQ(Module->ListenerCount(), 2U);
    EXPECT_EQ(Bodies(MainQueue()), std::vector<std::string>{"3;9;"});
    EXPECT_EQ(Bodies(Drain(Dialog->Listener().Helper())), std::vector<std::string>{"3;9;"});
    EXPECT_EQ(Labels(),
              (std::vector<std::string>{"Блок питания", "Разрядка АКБ", "3.76 В", "10%", "1.81 В", "26.5 C"}));
    EXPECT_FALSE(Dialog->CBChargeUSB->isChecked());
    EXPECT_EQ(Dialog->ChargeTag(), 0);
    for (const char* name : {"SourcePowerLabel", "AKBStateLabel", "VoltAKBLabel", "PercentAKBLabel",
                             "VoltPowerAKBLabel", "TempAKBLabel", "CBChargeUSB"}) {
        QWidget* control = Dialog->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        if (QString::fromLatin1(name).endsWith(QStringLiteral("Label"))) {
            EXPECT_EQ(control->x(), 147) << name;
        }
    }
    EXPECT_EQ(Dialog->VoltAKBLabel->y() - Dialog->AKBStateLabel->y(), 29);
    EXPECT_EQ(Dialog->ButtonSave->size(), QSize(75, 27));
    EXPECT_EQ(Dialog->ButtonCancel->x() - Dialog->ButtonSave->geometry().right() - 1, 10);
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
}

// A battery answer and what the six labels show.
struct TBatteryRow {
    const char* Answer;
    std::vector<std::string> Texts;
    bool Checked;
};

class InfoPowerAnswers : public InfoPower, public ::testing::WithParamInterface<TBatteryRow> {};

TEST_P(InfoPowerAnswers, BatteryAnswer_FillsTheLabelsAndSetsTheBoxFromTheInstrument) {
    Feed(GetParam().Answer);
    EXPECT_EQ(Labels(), GetParam().Texts);
    EXPECT_EQ(Dialog->CBChargeUSB->isChecked(), GetParam().Checked);
    EXPECT_EQ(Dialog->ChargeTag(), 1);
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, InfoPowerAnswers,
    ::testing::Values(
        TBatteryRow{
            "9;A;D;E;3.95;87;5.02;24", {"Аккумулятор", "Разрядка АКБ", "3.95 В", "87%", "5.02 В", "24 °C"}, true},
        TBatteryRow{"9;U;C;D;4.10;100;5.10;31.5", {"USB", "Зарядка АКБ", "4.10 В", "100%", "5.10 В", "31.5 °C"}, false},
        TBatteryRow{
            "9;B;C;E;4.2;99;12.0;-5", {"Блок питания", "Зарядка АКБ", "4.2 В", "99%", "12.0 В", "-5 °C"}, true}));

TEST_F(InfoPower, LaterAnswers_RefreshTheLabelsButLeaveTheOperatorsBox) {
    Feed("9;A;D;E;3.95;87;5.02;24");
    Dialog->CBChargeUSB->click();
    EXPECT_FALSE(Dialog->CBChargeUSB->isChecked());
    Feed("9;U;C;E;4.01;88;5.03;25");
    EXPECT_FALSE(Dialog->CBChargeUSB->isChecked()) << "the operator's choice stays";
    EXPECT_EQ(Labels(), (std::vector<std::string>{"USB", "Зарядка АКБ", "4.01 В", "88%", "5.03 В", "25 °C"}));
}

TEST_F(InfoPower, OtherAnswers_ChangeNothing) {
    Feed("7;5.00000(10);0.50000(1);0.05000(0.1);75;2026;12;9;23;10;11;log_off");
    Feed("D;1048576;524288");
    EXPECT_EQ(Labels()[2], "3.76 В");
    EXPECT_EQ(Labels()[0], "Блок питания");
}

struct TLeaveRow {
    TLeave How;
    bool Answered;
    bool Sends;
};

class InfoPowerLeave : public InfoPower, public ::testing::WithParamInterface<TLeaveRow> {};

TEST_P(InfoPowerLeave, Closing_SendsTheBoxOnlyWithSaveOrEnterOnceItWasRead) {
    const TLeaveRow& row = GetParam();
    (void)MainQueue();
    if (row.Answered) {
        Feed("9;A;D;E;3.95;87;5.02;24");
    }
    ASSERT_NO_FATAL_FAILURE(
        Leave(Dialog.get(), row.How, Dialog->ButtonSave, Dialog->ButtonCancel, Dialog->CBChargeUSB));
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(Module->ListenerCount(), 1U);
    // Sent after the dialog's own listener is gone: the main window's queue alone carries them.
    const std::vector<std::string> expected =
        row.Sends ? std::vector<std::string>{"6;E;", "3;9;"} : std::vector<std::string>{};
    EXPECT_EQ(Bodies(MainQueue()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InfoPowerLeave,
    ::testing::Values(TLeaveRow{TLeave::OkButton, true, true}, TLeaveRow{TLeave::Enter, true, true},
                      TLeaveRow{TLeave::CancelButton, true, false}, TLeaveRow{TLeave::Escape, true, false},
                      TLeaveRow{TLeave::CloseBox, true, false},
                      // Unread, the unchecked box would forbid charging: nothing goes out.
                      TLeaveRow{TLeave::OkButton, false, false}, TLeaveRow{TLeave::Enter, false, false}));

TEST_F(InfoPower, Save_SendsTheOperatorsChoice) {
    Feed("9;A;D;E;3.95;87;5.02;24");
    (void)MainQueue();
    Dialog->CBChargeUSB->click();
    Dialog->ButtonSave->click();
    EXPECT_EQ(Bodies(MainQueue()), (std::vector<std::string>{"6;D;", "3;9;"}));
}

TEST_F(InfoPower, CancelAfterChangingTheBox_SendsNothing) {
    Feed("9;A;D;D;3.95;87;5.02;24");
    (void)MainQueue();
    Dialog->CBChargeUSB->click();
    Dialog->ButtonCancel->click();
    EXPECT_TRUE(MainQueue().empty());
}

}  // namespace
