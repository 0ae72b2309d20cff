// The memory dialog driven by memory answers through its own listener.
#include "app/form_memory_info.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "app/dialog_listener.h"
#include "dialog_fixture.h"

namespace {

using tavrel::app::TFormMemoryInfo;
using tavrel::test::Body;
using tavrel::test::Drain;
using tavrel::test::Leave;
using tavrel::test::TLeave;

class MemoryInfo : public tavrel::test::ShownDialogFixture<TFormMemoryInfo> {
  protected:
    std::vector<QString> Texts() const {
        return {Dialog->LabelFull->text(), Dialog->LabelFree->text(), Dialog->LabelUsed->text()};
    }
};

TEST_F(MemoryInfo, Show_AsksForTheMemoryOncePerListenerWithEmptyTexts) {
    EXPECT_EQ(Dialog->windowTitle(), QStringLiteral("Информация о памяти"));
    EXPECT_EQ(Dialog->size(), QSize(308, 180));
    const auto main = MainQueue();
    const auto own = Drain(Dialog->Listener().Helper());
    ASSERT_EQ(main.size(), 1U);
    EXPECT_EQ(Body(main[0]), "3;D;");
    EXPECT_EQ(own, main);
    EXPECT_EQ(Texts(), (std::vector<QString>{QString(), QString(), QString()}));
    EXPECT_EQ(Dialog->ProgressBarUsed->value(), 0);
    EXPECT_EQ(Dialog->ProgressBarUsed->minimum(), 0);
    EXPECT_EQ(Dialog->ProgressBarUsed->maximum(), 100);
    for (const char* name : {"LabelFull", "LabelFree", "LabelUsed", "ProgressBarUsed"}) {
        QWidget* control = Dialog->findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(control, nullptr) << name;
        EXPECT_EQ(control->x(), 132) << name;
    }
    EXPECT_EQ(Dialog->ButtonOK->size(), QSize(75, 27));
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
}

struct TMemoryRow {
    const char* Answer;
    const char* Full;
    const char* Free;
    const char* Used;
    int Bar;
};

class MemoryInfoAnswers : public MemoryInfo, public ::testing::WithParamInterface<TMemoryRow> {};

TEST_P(MemoryInfoAnswers, MemoryAnswer_ShowsSizesInUnitsAndBytesAndTheUsedShare) {
    const TMemoryRow& row = GetParam();
    Feed(row.Answer);
    EXPECT_EQ(Texts(), (std::vector<QString>{QString::fromUtf8(row.Full), QString::fromUtf8(row.Free),
                                             QString::fromUtf8(row.Used)}));
    EXPECT_EQ(Dialog->ProgressBarUsed->value(), row.Bar);
    EXPECT_EQ(tavrel::test::ClippedTexts(Dialog.get()), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Table, MemoryInfoAnswers,
    ::testing::Values(TMemoryRow{"D;1048576;524288", "1024 КБайт (1048576 байт)", "512 КБайт (524288 байт)",
                                 "512 КБайт (524288 байт)", 50},
                      // One of three bytes free: 67 % used (100 minus the truncated free share).
                      TMemoryRow{"D;3;1", "3 Байт (3 байт)", "1 Байт (1 байт)", "2 Байт (2 байт)", 67},
                      TMemoryRow{"D;0;0", "0 Байт (0 байт)", "0 Байт (0 байт)", "0 Байт (0 байт)", 100},
                      TMemoryRow{"D;1073741824;1073741824", "1024 МБайт (1073741824 байт)",
                                 "1024 МБайт (1073741824 байт)", "0 Байт (0 байт)", 0}));

TEST_F(MemoryInfo, LaterAnswersRefreshAndOtherKindsChangeNothing) {
    Feed("D;1048576;524288");
    Feed("D;1048576;262144");
    EXPECT_EQ(Dialog->LabelFree->text(), QStringLiteral("256 КБайт (262144 байт)"));
    EXPECT_EQ(Dialog->ProgressBarUsed->value(), 75);
    Feed("7;5.00000(10);0.50000(1);0.05000(0.1);75;2026;12;9;23;10;11;log_off");
    Feed("9;A;D;E;3.95;87;5.02;24");
    EXPECT_EQ(Dialog->LabelFree->text(), QStringLiteral("256 КБайт (262144 байт)"));
    EXPECT_EQ(Dialog->ProgressBarUsed->value(), 75);
}

class MemoryInfoLeave : public MemoryInfo, public ::testing::WithParamInterface<TLeave> {};

TEST_P(MemoryInfoLeave, Closing_AnyWaySendsNothingAndRemovesTheListener) {
    Feed("D;1048576;524288");
    (void)MainQueue();
    ASSERT_NO_FATAL_FAILURE(Leave(Dialog.get(), GetParam(), Dialog->ButtonOK, nullptr, Dialog->ButtonOK));
    EXPECT_FALSE(Dialog->isVisible());
    EXPECT_EQ(Dialog->result(), GetParam() == TLeave::Enter ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(Module->ListenerCount(), 1U);
    EXPECT_TRUE(MainQueue().empty());
    Feed("D;1048576;0");
    EXPECT_EQ(Dialog->ProgressBarUsed->value(), 50) << "a closed dialog no longer listens";
}

INSTANTIATE_TEST_SUITE_P(Table, MemoryInfoLeave,
                         ::testing::Values(TLeave::OkButton, TLeave::Enter, TLeave::Escape, TLeave::CloseBox));

}  // namespace
