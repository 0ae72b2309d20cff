// The channel settings dialog driven by answer frames through its own listener.
#include "app/form_setting_channel.h"

#include <array>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/dialog_listener.h"
#include "app/radio_group.h"
#include "dialog_fixture.h"

namespace {

using tavrel::app::TFormSettingChannel;
using tavrel::test::Body;
using tavrel::test::Drain;
using tavrel::test::Leave;
using tavrel::test::MeasureAnswer;
using tavrel::test::TLeave;

const QString kOff = QStringLiteral("Отключить измерения на канале");

QString Selected(const tavrel::app::TRadioGroup* group) {
    const int index = group->ItemIndex();
    return index < 0 ? QStringLiteral("no item") : group->Item(index)->text();
}

class SettingChannel : public tavrel::test::ShownDialogFixture<TFormSettingChannel> {
  protected:
    std::unique_ptr<TFormSettingChannel> MakeDialog() override {
        return std::make_unique<TFormSettingChannel>(*Module, DebugTools());
    }
    virtual bool DebugTools() const { return false; }

    // Channel 1 at 10 V, channel 2 at 1 V, channel 3 at 0.1 V with a 75 A shunt.
    void FeedFirst() const { Feed(MeasureAnswer("5.00000(10)", "0.50000(1)", "0.05000(0.1)", "75")); }
    std::vector<tavrel::test::TBytes> DialogQueue() const { return Drain(Dialog->Listener().Helper()); }
    // Bodies queued on both listeners; fails unless each got the same frames.
    std::vector<std::string> SentOncePerListener() const {
        const auto main = MainQueue();
        const auto own = DialogQueue();
        EXPECT_EQ(main, own) << "every command goes into both queues";
        std::vector<std::string> bodies;
        for (const auto& frame : main) {
            bodies.push_back(Body(frame));
        }
        return bodies;
    }
    // A mouse click on the item's indicator, where the operator clicks.
    static void ClickItem(tavrel::app::TRadioGroup* group, int index) {
        QRadioButton* item = group->Item(index);
        QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(8, item->height() / 2));
    }
    // Keys go where the operator's focus is, or to the dialog.
    QWidget* KeyTarget() const { return QApplication::focusWidget() ? QApplication::focusWidget() : Dialog.get(); }
};

TEST_F(SettingChannel, Create_FixedSizeCaptionLayoutAndEverythingDisabled) {
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Настройка диапазонов"));
    EXPECT_EQ(Dialog->size(), QSize(479, 611));
    EXPECT_EQ(Dialog->minimumSize(), Dialog->maximumSize());
    EXPECT_EQ(Dialog->Tag(), 0);
    EXPECT_EQ(Dialog->RG1->height(), 171);
    EXPECT_EQ(Dialog->RG2->height(), 126);
    EXPECT_EQ(Dialog->RG3->height(), 126);
    EXPECT_EQ(Dialog->LabelChannel1->text(), QStringLiteral("Канал 1"));
    EXPECT_EQ(Dialog->LabelChannel3->text(), QStringLiteral("Канал 3"));
    EXPECT_EQ(Dialog->LabelShunt->text(), QStringLiteral("Напряжение шунта 75 мВ"));
    const QStringList rg1{QStringLiteral("1 В"), QStringLiteral("10 В"), QStringLiteral("100 В"), kOff};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Dialog->RG1->Item(i)->text(), rg1[i]);
    }
    EXPECT_EQ(Dialog->RG3->Item(0)->text(), QStringLiteral("0.1 В"));
    for (QWidget* control :
         std::initializer_list<QWidget*>{Dialog->RG1, Dialog->RG2, Dialog->RG3, Dialog->ComboBoxAmper, Dialog->ButtonOK,
                                         Dialog->ButtonCancel, Dialog->ButtonApply, Dialog->ButtonFindBug}) {
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    }
    for (const char* name : {"RG1", "RG2", "RG3", "ComboBoxAmper"}) {
        EXPECT_NE(Dialog->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    }
    for (QPushButton* button : {Dialog->ButtonOK, Dialog->ButtonCancel, Dialog->ButtonApply}) {
        EXPECT_EQ(button->size(), QSize(75, 29));
    }
    EXPECT_EQ(Dialog->ButtonCancel->x() - Dialog->ButtonOK->geometry().right() - 1, 12);
    EXPECT_EQ(Dialog->ButtonApply->x() - Dialog->ButtonCancel->geometry().right() - 1, 12);
    EXPECT_FALSE(Dialog->ButtonFindBug->isVisible()) << "only a debug run shows the developer cycle";
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
    EXPECT_EQ(Module->ListenerCount(), 2U);
    EXPECT_TRUE(SentOncePerListener().empty()) << "showing sends nothing";
}

TEST_F(SettingChannel, FirstMeasureAnswer_FillsControlsAndLaterOnesDoNot) {
    Feed("9;U;C;E;4.10;87;5.02;24");
    Feed("D;1048576;524288");
    EXPECT_EQ(Dialog->Tag(), 0) << "only measure answers fill the dialog";
    EXPECT_FALSE(Dialog->RG1->isEnabled());

    FeedFirst();
    EXPECT_EQ(Dialog->Tag(), 1);
    EXPECT_EQ(Selected(Dialog->RG1), QStringLiteral("10 В"));
    EXPECT_EQ(Selected(Dialog->RG2), QStringLiteral("1 В"));
    EXPECT_EQ(Selected(Dialog->RG3), QStringLiteral("0.1 В"));
    ASSERT_EQ(Dialog->ComboBoxAmper->count(), 26);
    EXPECT_EQ(Dialog->ComboBoxAmper->itemText(0), QStringLiteral("0 А"));
    EXPECT_EQ(Dialog->ComboBoxAmper->itemText(2), QStringLiteral("75 мА"));
    EXPECT_EQ(Dialog->ComboBoxAmper->itemText(25), QStringLiteral("2500 А"));
    EXPECT_EQ(Dialog->ComboBoxAmper->currentText(), QStringLiteral("75 А"));
    for (QWidget* control : std::initializer_list<QWidget*>{
             Dialog->RG1, Dialog->RG2, Dialog->RG3, Dialog->ComboBoxAmper, Dialog->ButtonOK, Dialog->ButtonCancel}) {
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    }
    EXPECT_FALSE(Dialog->ButtonApply->isEnabled()) << "nothing changed yet";

    Feed(MeasureAnswer("0.50000(1)", "5.00000(10)", "0.50000(1)", "5"));
    EXPECT_EQ(Selected(Dialog->RG1), QStringLiteral("10 В"));
    EXPECT_EQ(Selected(Dialog->RG2), QStringLiteral("1 В"));
    EXPECT_EQ(Selected(Dialog->RG3), QStringLiteral("0.1 В"));
    EXPECT_EQ(Dialog->ComboBoxAmper->currentText(), QStringLiteral("75 А"));
    EXPECT_TRUE(SentOncePerListener().empty());
}

TEST_F(SettingChannel, ShuntNotInTable_SelectsNoEntryAndShowsTheReportedValue) {
    Feed(MeasureAnswer("5.00000(10)", "0.50000(1)", "0.05000(0.1)", "3.3"));
    EXPECT_EQ(Dialog->ComboBoxAmper->currentIndex(), -1) << "the first entry would send shunt 0";
    EXPECT_EQ(Dialog->ComboBoxAmper->currentText(), QString());
    EXPECT_TRUE(Dialog->ComboBoxAmper->placeholderText().startsWith(QStringLiteral("3.3 А")))
        << Dialog->ComboBoxAmper->placeholderText().toStdString();
    EXPECT_TRUE(Dialog->ComboBoxAmper->isEnabled());
    EXPECT_DOUBLE_EQ(Dialog->ReportedShunt(), 3.3);
}

TEST_F(SettingChannel, ShuntWithinAThousandth_SelectsItsEntry) {
    Feed(MeasureAnswer("5.00000(10)", "0.50000(1)", "0.05000(0.1)", "0.0084"));
    EXPECT_EQ(Dialog->ComboBoxAmper->currentIndex(), 1) << "7.5 mA is 0.0009 away";
}

// One row of the item table: the range all three channels report and the items selected.
struct TRangeRow {
    const char* Range;
    const char* Ch1;
    const char* Ch2;
    const char* Ch3;
};

class SettingChannelItems : public SettingChannel, public ::testing::WithParamInterface<TRangeRow> {};

TEST_P(SettingChannelItems, ReportedRange_SelectsTheItemOfEachChannel) {
    const TRangeRow& row = GetParam();
    const std::string piece = std::string("0.00000(") + row.Range + ")";
    Feed(MeasureAnswer(piece.c_str(), piece.c_str(), piece.c_str(), "0"));
    ASSERT_EQ(Dialog->Tag(), 1);
    EXPECT_EQ(Selected(Dialog->RG1), QString::fromUtf8(row.Ch1));
    EXPECT_EQ(Selected(Dialog->RG2), QString::fromUtf8(row.Ch2));
    EXPECT_EQ(Selected(Dialog->RG3), QString::fromUtf8(row.Ch3));
    // The list follows channel 3 only when the fill gave it an item.
    if (Dialog->RG3->ItemIndex() >= 0) {
        EXPECT_EQ(Dialog->ComboBoxAmper->isEnabled(), Dialog->RG3->ItemIndex() == 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingChannelItems,
    ::testing::Values(TRangeRow{"0.1", "no item", "no item", "0.1 В"}, TRangeRow{"1", "1 В", "1 В", "1 В"},
                      TRangeRow{"10", "10 В", "10 В", "Отключить измерения на канале"},
                      TRangeRow{"100", "100 В", "Отключить измерения на канале", "Отключить измерения на канале"},
                      TRangeRow{"0", "Отключить измерения на канале", "Отключить измерения на канале",
                                "Отключить измерения на канале"},
                      TRangeRow{"5", "no item", "no item", "no item"},
                      TRangeRow{"0.10001", "no item", "no item", "no item"},
                      TRangeRow{"1000", "no item", "no item", "no item"}));

// One row of the code table: the item chosen by the operator on each channel and the body sent.
struct TCodeRow {
    int Ch1;
    int Ch2;
    int Ch3;
    int Shunt;
    const char* Body;
};

class SettingChannelCodes : public SettingChannel, public ::testing::WithParamInterface<TCodeRow> {};

TEST_P(SettingChannelCodes, Apply_SendsTheRangeCodeOfEveryItemAndTheShunt) {
    const TCodeRow& row = GetParam();
    FeedFirst();
    Dialog->RG1->Item(row.Ch1)->click();
    Dialog->RG2->Item(row.Ch2)->click();
    Dialog->RG3->Item(row.Ch3)->click();
    Dialog->ComboBoxAmper->setCurrentIndex(row.Shunt);
    ASSERT_TRUE(Dialog->ButtonApply->isEnabled());
    Dialog->ButtonApply->click();
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{row.Body});
}

INSTANTIATE_TEST_SUITE_P(Table, SettingChannelCodes,
                         ::testing::Values(TCodeRow{0, 0, 0, 2, "0;1;1;4;750;"}, TCodeRow{1, 1, 1, 4, "0;2;2;1;50000;"},
                                           TCodeRow{2, 2, 2, 25, "0;3;0;0;25000000;"},
                                           TCodeRow{3, 0, 0, 0, "0;0;1;4;0;"}, TCodeRow{0, 1, 0, 1, "0;1;2;4;75;"}));

// What the instrument reported: ranges of the three channels as it writes them and the shunt.
struct TReported {
    const char* Name;
    const char* Ch1;
    const char* Ch2;
    const char* Ch3;
    const char* Shunt;
};

// The one control the operator touches before "OK".
enum class TTouch { Nothing, Ch1To100V, Ch3To1V, ShuntTo5A };

// Per reported state and touch: the "0;…" frame "OK" sends, or nothing (empty) while a group has no item.
struct TChoiceRow {
    TReported State;
    TTouch Touch;
    const char* Sent;
};

const TReported kKnown{"Known", "5.00000(10)", "0.50000(1)", "0.05000(0.1)", "75"};
// Channel 3 in its "30" range is kept as 255: no item of the group shows it.
const TReported kRange30{"Range30", "5.00000(10)", "0.50000(1)", "0.05000(30)", "75"};
const TReported kUnknownCode{"UnknownCode", "5.00000(5)", "0.50000(1)", "0.05000(0.1)", "75"};
const TReported kShuntOutside{"ShuntOutside", "5.00000(10)", "0.50000(1)", "0.05000(0.1)", "3.3"};

std::string ChoiceName(const ::testing::TestParamInfo<TChoiceRow>& row) {
    static const char* const kTouch[] = {"Nothing", "Ch1To100V", "Ch3To1V", "ShuntTo5A"};
    return std::string(row.param.State.Name) + "_" + kTouch[static_cast<int>(row.param.Touch)];
}

class SettingChannelChoice : public SettingChannel, public ::testing::WithParamInterface<TChoiceRow> {
  protected:
    void Touch(TTouch touch) const {
        switch (touch) {
            case TTouch::Nothing:
                break;
            case TTouch::Ch1To100V:
                ClickItem(Dialog->RG1, 2);
                break;
            case TTouch::Ch3To1V:
                ClickItem(Dialog->RG3, 1);
                break;
            case TTouch::ShuntTo5A:
                // As the operator picks from the open list: the entry, then `activated`.
                ASSERT_TRUE(Dialog->ComboBoxAmper->isEnabled());
                Dialog->ComboBoxAmper->setCurrentIndex(4);
                emit Dialog->ComboBoxAmper->activated(4);
                break;
        }
    }
};

TEST_P(SettingChannelChoice, Ok_SendsOnlyWhatTheOperatorChoseOrNothingWhileAGroupHasNoItem) {
    const TChoiceRow& row = GetParam();
    Feed(MeasureAnswer(row.State.Ch1, row.State.Ch2, row.State.Ch3, row.State.Shunt));
    ASSERT_EQ(Dialog->Tag(), 1);
    ASSERT_NO_FATAL_FAILURE(Touch(row.Touch));
    const std::string expected = row.Sent;
    if (expected.empty()) {
        const std::array<const tavrel::app::TRadioGroup*, 3> groups{Dialog->RG1, Dialog->RG2, Dialog->RG3};
        bool explained = false;
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const bool noItem = groups[i]->ItemIndex() < 0;
            EXPECT_EQ(Dialog->LabelNoItem[i]->isVisible(), noItem) << "group " << i + 1;
            explained = explained || noItem;
        }
        EXPECT_TRUE(explained) << "a blocked dialog says which group blocks it";
        EXPECT_EQ(Dialog->LabelNoItem[0]->text(), QStringLiteral("Диапазон прибора не из списка: выберите"));
        EXPECT_FALSE(Dialog->ButtonOK->isEnabled());
        EXPECT_FALSE(Dialog->ButtonApply->isEnabled());
        QTest::keyClick(KeyTarget(), Qt::Key_Return);
        EXPECT_TRUE(Dialog->isVisible()) << "Enter is OK, and OK cannot be pressed";
        EXPECT_TRUE(SentOncePerListener().empty());
        return;
    }
    for (QLabel* note : Dialog->LabelNoItem) {
        EXPECT_FALSE(note->isVisible());
    }
    ASSERT_NO_FATAL_FAILURE(Leave(Dialog.get(), TLeave::OkButton, Dialog->ButtonOK, Dialog->ButtonCancel, KeyTarget()));
    const auto main = MainQueue();
    ASSERT_EQ(main.size(), 1U);
    EXPECT_EQ(Body(main[0]), expected);
}

INSTANTIATE_TEST_SUITE_P(Table, SettingChannelChoice,
                         ::testing::Values(TChoiceRow{kKnown, TTouch::Nothing, "0;2;1;4;750000;"},
                                           TChoiceRow{kKnown, TTouch::Ch1To100V, "0;3;1;4;750000;"},
                                           TChoiceRow{kKnown, TTouch::Ch3To1V, "0;2;1;1;750000;"},
                                           TChoiceRow{kKnown, TTouch::ShuntTo5A, "0;2;1;4;50000;"},
                                           TChoiceRow{kRange30, TTouch::Nothing, ""},
                                           TChoiceRow{kRange30, TTouch::Ch1To100V, ""},
                                           TChoiceRow{kRange30, TTouch::Ch3To1V, "0;2;1;1;750000;"},
                                           TChoiceRow{kUnknownCode, TTouch::Nothing, ""},
                                           TChoiceRow{kUnknownCode, TTouch::Ch1To100V, "0;3;1;4;750000;"},
                                           TChoiceRow{kUnknownCode, TTouch::Ch3To1V, ""},
                                           TChoiceRow{kUnknownCode, TTouch::ShuntTo5A, ""},
                                           TChoiceRow{kShuntOutside, TTouch::Nothing, "0;2;1;4;33000;"},
                                           TChoiceRow{kShuntOutside, TTouch::Ch1To100V, "0;3;1;4;33000;"},
                                           TChoiceRow{kShuntOutside, TTouch::Ch3To1V, "0;2;1;1;33000;"},
                                           TChoiceRow{kShuntOutside, TTouch::ShuntTo5A, "0;2;1;4;50000;"}),
                         ChoiceName);

TEST_F(SettingChannel, GroupWithoutItem_ApplyFollowsOnceTheOperatorPicksAnItem) {
    Feed(MeasureAnswer("5.00000(10)", "0.50000(1)", "0.05000(30)", "75"));
    ClickItem(Dialog->RG1, 2);
    EXPECT_FALSE(Dialog->ButtonApply->isEnabled()) << "channel 3 has no item yet";
    Dialog->ButtonApply->click();
    EXPECT_TRUE(SentOncePerListener().empty());
    EXPECT_TRUE(Dialog->LabelNoItem[2]->isVisible());
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
    ClickItem(Dialog->RG3, 2);
    EXPECT_FALSE(Dialog->LabelNoItem[2]->isVisible());
    ASSERT_TRUE(Dialog->ButtonApply->isEnabled());
    Dialog->ButtonApply->click();
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{"0;3;1;0;750000;"});
}

TEST_F(SettingChannel, ShuntChangeOnly_EnablesApplyWhichSendsOnceAndDisablesItself) {
    FeedFirst();
    Dialog->ComboBoxAmper->setFocus();
    QTest::keyClick(Dialog->ComboBoxAmper, Qt::Key_Down);
    EXPECT_EQ(Dialog->ComboBoxAmper->currentText(), QStringLiteral("100 А"));
    EXPECT_TRUE(Dialog->ButtonApply->isEnabled());
    Dialog->ButtonApply->click();
    EXPECT_FALSE(Dialog->ButtonApply->isEnabled());
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{"0;2;1;4;1000000;"});
    EXPECT_TRUE(Dialog->isVisible()) << "applying does not close";
}

TEST_F(SettingChannel, ShuntList_EnabledOnlyWhileChannel3IsOnTheLowestRange) {
    FeedFirst();
    ClickItem(Dialog->RG3, 1);
    EXPECT_EQ(Dialog->RG3->ItemIndex(), 1);
    EXPECT_FALSE(Dialog->ComboBoxAmper->isEnabled());
    EXPECT_TRUE(Dialog->ButtonApply->isEnabled());
    ClickItem(Dialog->RG3, 2);
    EXPECT_FALSE(Dialog->ComboBoxAmper->isEnabled());
    ClickItem(Dialog->RG3, 0);
    EXPECT_TRUE(Dialog->ComboBoxAmper->isEnabled());
    EXPECT_TRUE(SentOncePerListener().empty()) << "choosing sends nothing";
}

// How the dialog is left, and whether the settings go out.
struct TLeaveRow {
    TLeave How;
    bool Filled;
    bool Sends;
    bool Closes;
};

class SettingChannelLeave : public SettingChannel, public ::testing::WithParamInterface<TLeaveRow> {};

TEST_P(SettingChannelLeave, Closing_SendsOnlyWithOkOrEnterAfterTheFill) {
    const TLeaveRow& row = GetParam();
    if (row.Filled) {
        FeedFirst();
        // An operator's change, so that a wrongly sending close would show it.
        Dialog->RG1->Item(2)->click();
    }
    ASSERT_NO_FATAL_FAILURE(Leave(Dialog.get(), row.How, Dialog->ButtonOK, Dialog->ButtonCancel, KeyTarget()));
    EXPECT_EQ(Dialog->isVisible(), !row.Closes);
    if (row.Closes) {
        EXPECT_EQ(Dialog->result(),
                  row.How == TLeave::OkButton || row.How == TLeave::Enter ? QDialog::Accepted : QDialog::Rejected);
        EXPECT_EQ(Module->ListenerCount(), 1U) << "the dialog's listener is removed on closing";
        EXPECT_EQ(Dialog->Listener().Helper(), nullptr);
    }
    const auto main = MainQueue();
    if (row.Sends) {
        // Applied once, while the dialog's listener was still registered; its own copy left with its queue.
        ASSERT_EQ(main.size(), 1U);
        EXPECT_EQ(Body(main[0]), "0;3;1;4;750000;");
    } else {
        EXPECT_TRUE(main.empty()) << Body(main.front());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SettingChannelLeave,
    ::testing::Values(TLeaveRow{TLeave::OkButton, true, true, true}, TLeaveRow{TLeave::Enter, true, true, true},
                      TLeaveRow{TLeave::CancelButton, true, false, true}, TLeaveRow{TLeave::Escape, true, false, true},
                      TLeaveRow{TLeave::CloseBox, true, false, true},
                      // An empty dialog would switch every channel off: Enter does nothing.
                      TLeaveRow{TLeave::Enter, false, false, false}, TLeaveRow{TLeave::Escape, false, false, true},
                      TLeaveRow{TLeave::CloseBox, false, false, true}));

TEST_F(SettingChannel, EnterOnAFocusedControl_IsStillTheDialogsOk) {
    FeedFirst();
    Dialog->ComboBoxAmper->setFocus();
    QTest::keyClick(Dialog->ComboBoxAmper, Qt::Key_Return);
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);
}

TEST_F(SettingChannel, UnreadableAnswer_IsDroppedAndTheNextOneFills) {
    // A measure answer whose clock is no date fails as a whole; the dialog stays empty.
    Feed("7;5.00000(10);0.50000(1);0.05000(0.1);75;2026;13;40;23;10;11;log_off");
    EXPECT_EQ(Dialog->Tag(), 0);
    FeedFirst();
    EXPECT_EQ(Dialog->Tag(), 1);
}

class SettingChannelDebug : public SettingChannel {
  protected:
    bool DebugTools() const override { return true; }
    // Channel 1 at `range` (its text as the instrument writes it) reading `value` volts.
    void FeedCh1(const char* value, const char* range) const {
        const std::string piece = std::string(value) + "(" + range + ")";
        Feed(MeasureAnswer(piece.c_str(), "0.50000(1)", "0.05000(0.1)", "75"));
    }
    void SetAllDots(const QString& text) const {
        tavrel::test::TInputBoxAnswerer answerer({text});
        QTest::mousePress(Dialog->ButtonFindBug, Qt::RightButton);
        QTest::mouseRelease(Dialog->ButtonFindBug, Qt::RightButton);
    }
};

TEST_F(SettingChannelDebug, FindBugButton_VisibleAndEnabledAfterTheFill) {
    EXPECT_TRUE(Dialog->ButtonFindBug->isVisible());
    EXPECT_EQ(Dialog->ButtonFindBug->size(), QSize(75, 29));
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
    EXPECT_FALSE(Dialog->ButtonFindBug->isEnabled());
    FeedCh1("5.00000", "10");
    EXPECT_TRUE(Dialog->ButtonFindBug->isEnabled());
    EXPECT_FALSE(Dialog->IsFindBug());
}

TEST_F(SettingChannelDebug, RightPress_AsksForTheCountAgainWhileEmptyAndCancelKeepsIt) {
    FeedCh1("5.00000", "10");
    {
        tavrel::test::TInputBoxAnswerer answerer({QString(), QStringLiteral("7")});
        QTest::mousePress(Dialog->ButtonFindBug, Qt::RightButton);
        QTest::mouseRelease(Dialog->ButtonFindBug, Qt::RightButton);
        ASSERT_EQ(answerer.Titles.size(), 2U) << "an empty answer asks again";
        EXPECT_EQ(answerer.Titles[0], QStringLiteral("Количество измерений"));
        EXPECT_EQ(answerer.Labels[0], QStringLiteral("Введите количество пропущенных измерений"));
        EXPECT_EQ(answerer.Proposed[0], QStringLiteral("0"));
    }
    EXPECT_EQ(Dialog->AllDots(), 7);
    {
        tavrel::test::TInputBoxAnswerer answerer({tavrel::test::TInputBoxAnswerer::Cancel});
        QTest::mousePress(Dialog->ButtonFindBug, Qt::RightButton);
        QTest::mouseRelease(Dialog->ButtonFindBug, Qt::RightButton);
        EXPECT_EQ(answerer.Proposed.at(0), QStringLiteral("7"));
    }
    EXPECT_EQ(Dialog->AllDots(), 7) << "cancelling answers the proposed text";
    SetAllDots(QStringLiteral("abc"));
    EXPECT_EQ(Dialog->AllDots(), 0);
    QTest::mousePress(Dialog->ButtonFindBug, Qt::MiddleButton);
    QTest::mouseRelease(Dialog->ButtonFindBug, Qt::MiddleButton);
    EXPECT_TRUE(SentOncePerListener().empty()) << "asking sends nothing and does not start the cycle";
    EXPECT_FALSE(Dialog->IsFindBug());
}

TEST_F(SettingChannelDebug, Cycle_EvaluatesEveryThirdAnswerAndCountsDownInTheCaption) {
    FeedCh1("5.00000", "1");
    SetAllDots(QStringLiteral("9"));
    Dialog->ButtonFindBug->click();
    EXPECT_TRUE(Dialog->IsFindBug());
    EXPECT_EQ(Dialog->AllDots(), 0) << "the click resets the count asked for before";
    EXPECT_EQ(Selected(Dialog->RG1), QStringLiteral("10 В"));
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{"0;2;1;4;750000;"});
    SetAllDots(QStringLiteral("3"));

    // Range 1 V is no step of the cycle: every evaluation only records it.
    std::vector<QString> captions;
    for (int i = 0; i < 6; ++i) {
        FeedCh1("0.01230", "1");
        captions.push_back(Dialog->windowTitle());
    }
    EXPECT_EQ(captions, (std::vector<QString>{QStringLiteral("12.3 [1] (0)"), QStringLiteral("12.3 [1] (2)"),
                                              QStringLiteral("12.3 [1] (1)"), QStringLiteral("12.3 [1] (0)"),
                                              QStringLiteral("12.3 [1] (2)"), QStringLiteral("12.3 [1] (1)")}));
    EXPECT_TRUE(SentOncePerListener().empty());

    // The next evaluation sees 10 V and moves channel 1 up; the two answers after it are skipped.
    FeedCh1("5.00000", "10");
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("5 [10] (0)"));
    EXPECT_EQ(Selected(Dialog->RG1), QStringLiteral("100 В"));
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{"0;3;1;4;750000;"});
    FeedCh1("99.00000", "100");
    FeedCh1("99.00000", "100");
    EXPECT_TRUE(SentOncePerListener().empty()) << "skipped answers are not evaluated";
}

TEST_F(SettingChannelDebug, Cycle_WithoutSkippingSwitchesRangesAndModes) {
    FeedCh1("5.00000", "1");
    Dialog->ButtonFindBug->click();
    (void)SentOncePerListener();

    FeedCh1("5.00000", "10");
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{"0;3;1;4;750000;"});
    FeedCh1("5.00000", "10");
    EXPECT_TRUE(SentOncePerListener().empty()) << "the same range again does nothing";
    FeedCh1("90.00000", "100");
    EXPECT_TRUE(SentOncePerListener().empty()) << "below 95 V nothing happens at 100 V";
    FeedCh1("96.00000", "100");
    EXPECT_TRUE(SentOncePerListener().empty()) << "100 V was already the last range";
    FeedCh1("0.00000", "0");
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("0 [0] (0)"));
    EXPECT_EQ(SentOncePerListener(), (std::vector<std::string>{"0;2;1;4;750000;", "4;K;1;"}));
    FeedCh1("96.00000", "100");
    EXPECT_EQ(SentOncePerListener(), std::vector<std::string>{"4;K;4;"});
    FeedCh1("0.05000", "0.1");
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("50 [0] (0)")) << "0.1 reads as 0, the value in mV";
    EXPECT_EQ(SentOncePerListener(), (std::vector<std::string>{"0;2;1;4;750000;", "4;K;1;"}));
}

}  // namespace
