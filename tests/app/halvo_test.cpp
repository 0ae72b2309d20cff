#include "app/halvo.h"

#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include <QApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/about_box.h"

namespace {

using tavrel::app::THalvo;

struct TSeenBox {
    bool Seen = false;
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons Buttons;
};

// Waits for the modal box, records what it shows and presses `press` (or rejects it when absent).
void CloseBoxWhenShown(TSeenBox& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(10, [&seen, press]() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            CloseBoxWhenShown(seen, press);
            return;
        }
        seen.Seen = true;
        seen.Caption = box->windowTitle();
        seen.Text = box->text();
        seen.Icon = box->icon();
        seen.Buttons = box->standardButtons();
        if (QAbstractButton* button = box->button(press)) {
            button->click();
        } else {
            box->reject();
        }
    });
}

struct TDialogCase {
    const char* Name;
    THalvo::TMesssageIcon Icon;
    THalvo::TMessageButton Buttons;
    THalvo::TMessageLanguage Language;
    QMessageBox::StandardButton Press;
    const char* Caption;
    QMessageBox::Icon BoxIcon;
    QMessageBox::StandardButtons BoxButtons;
    int Result;
};

class MessageDialogTest : public ::testing::TestWithParam<TDialogCase> {};

TEST_P(MessageDialogTest, ShowsCaptionIconButtonsAndAnswersCodeOfPressedButton) {
    const TDialogCase& c = GetParam();
    TSeenBox seen;
    CloseBoxWhenShown(seen, c.Press);
    const int result = THalvo::MessageDialog(nullptr, QStringLiteral("Текст"), c.Icon, c.Buttons, c.Language);
    ASSERT_TRUE(seen.Seen);
    EXPECT_EQ(seen.Caption, QString::fromUtf8(c.Caption));
    EXPECT_EQ(seen.Text, QStringLiteral("Текст"));
    EXPECT_EQ(seen.Icon, c.BoxIcon);
    EXPECT_EQ(seen.Buttons, c.BoxButtons);
    EXPECT_EQ(result, c.Result);
}

using SB = QMessageBox;
INSTANTIATE_TEST_SUITE_P(
    Halvo, MessageDialogTest,
    ::testing::Values(TDialogCase{"ErrorOkRus", THalvo::ICONERROR, THalvo::OK, THalvo::RUS, SB::Ok, "Ошибка",
                                  SB::Critical, SB::Ok, THalvo::IDOK},
                      TDialogCase{"ErrorOkEng", THalvo::ICONERROR, THalvo::OK, THalvo::ENG, SB::Ok, "Error",
                                  SB::Critical, SB::Ok, THalvo::IDOK},
                      TDialogCase{"InfoOkRus", THalvo::ICONINFORMATION, THalvo::OK, THalvo::RUS, SB::Ok, "Информация",
                                  SB::Information, SB::Ok, THalvo::IDOK},
                      TDialogCase{"WarningOkCancelRus", THalvo::ICONWARNING, THalvo::OKCANCEL, THalvo::RUS, SB::Cancel,
                                  "Предупреждение", SB::Warning, SB::Ok | SB::Cancel, THalvo::IDCANCEL},
                      TDialogCase{"QuestionYesNoRus", THalvo::ICONQUESTION, THalvo::YESNO, THalvo::RUS, SB::Yes,
                                  "Подтверждение", SB::Question, SB::Yes | SB::No, THalvo::IDYES},
                      TDialogCase{"QuestionYesNoCancelEng", THalvo::ICONQUESTION, THalvo::YESNOCANCEL, THalvo::ENG,
                                  SB::No, "Question", SB::Question, SB::Yes | SB::No | SB::Cancel, THalvo::IDNO},
                      TDialogCase{"WarningRetryCancelEng", THalvo::ICONWARNING, THalvo::RETRYCANCEL, THalvo::ENG,
                                  SB::Retry, "Warning", SB::Warning, SB::Retry | SB::Cancel, THalvo::IDRETRY},
                      TDialogCase{"InfoAbortRetryIgnoreEng", THalvo::ICONINFORMATION, THalvo::ABORTRETRYIGNORE,
                                  THalvo::ENG, SB::Ignore, "Information", SB::Information,
                                  SB::Abort | SB::Retry | SB::Ignore, THalvo::IDIGNORE},
                      TDialogCase{"ErrorAbortRetryIgnoreRus", THalvo::ICONERROR, THalvo::ABORTRETRYIGNORE, THalvo::RUS,
                                  SB::Abort, "Ошибка", SB::Critical, SB::Abort | SB::Retry | SB::Ignore,
                                  THalvo::IDABORT}),
    [](const ::testing::TestParamInfo<TDialogCase>& param) { return std::string(param.param.Name); });

TEST(Halvo, AboutBox_ShowsAboutTextWithInformationIcon) {
    TSeenBox seen;
    CloseBoxWhenShown(seen, QMessageBox::Ok);
    tavrel::app::TAboutBox::ButtonAboutClick(nullptr);
    ASSERT_TRUE(seen.Seen);
    EXPECT_EQ(seen.Caption, QStringLiteral("Информация"));
    EXPECT_EQ(seen.Icon, QMessageBox::Information);
    EXPECT_EQ(seen.Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(seen.Text, tavrel::app::TAboutBox::AboutText());
}

TEST(Halvo, FormatAppVersion_WritesDayMonthYearDotTimeAfterPrefix) {
    const QDateTime t(QDate(2025, 2, 18), QTime(10, 58, 31), Qt::LocalTime);
    EXPECT_EQ(THalvo::FormatAppVersion(t, false, QStringLiteral("Версия: v1.")),
              QStringLiteral("Версия: v1.180225.105831"));
    EXPECT_EQ(THalvo::FormatAppVersion(t, true, QStringLiteral("Версия: v1.")), QStringLiteral("2025"));
    // Early morning: hours are two digits, 24-hour clock.
    const QDateTime morning(QDate(2026, 12, 1), QTime(7, 5, 9), Qt::LocalTime);
    EXPECT_EQ(THalvo::FormatAppVersion(morning, false, QString()), QStringLiteral("011226.070509"));
}

TEST(Halvo, GetAppVersion_CarriesThisBuildsTimeStamp) {
    const QDateTime built = THalvo::BuildTime();
    ASSERT_TRUE(built.isValid());
    // The stamp is written at build time: not in the future, and not before this code existed.
    EXPECT_LE(built, QDateTime::currentDateTime().addSecs(60));
    EXPECT_GE(built.date().year(), 2024);
    const QString version = THalvo::GetAppVersion(false, QStringLiteral("Версия: v1."));
    EXPECT_EQ(version, QStringLiteral("Версия: v1.") + built.toString(QStringLiteral("ddMMyy.HHmmss")));
    EXPECT_EQ(THalvo::GetAppVersion(true, QStringLiteral("ignored")), QString::number(built.date().year()));
}

struct TBuildYearCase {
    int YearBuild;
    int LinkYear;
    const char* Expected;
};

class GetAppBuildYearTest : public ::testing::TestWithParam<TBuildYearCase> {};

TEST_P(GetAppBuildYearTest, GivesRangeOnlyWhenYearIsBeforeLinkYear) {
    const TBuildYearCase& c = GetParam();
    EXPECT_EQ(THalvo::GetAppBuildYear(c.YearBuild, QStringLiteral("© %s «Ордалит»"), c.LinkYear),
              QString::fromUtf8(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(Halvo, GetAppBuildYearTest,
                         ::testing::Values(TBuildYearCase{2024, 2025, "© 2024 - 2025 «Ордалит»"},
                                           TBuildYearCase{2025, 2025, "© 2025 «Ордалит»"},
                                           TBuildYearCase{2027, 2025, "© 2027 «Ордалит»"},
                                           TBuildYearCase{2024, 2026, "© 2024 - 2026 «Ордалит»"}));

TEST(Halvo, GetAppBuildYear_UsesThisBuildsYear) {
    const int linkYear = THalvo::BuildTime().date().year();
    EXPECT_EQ(THalvo::GetAppBuildYear(linkYear - 1, QStringLiteral("%s")),
              QStringLiteral("%1 - %2").arg(linkYear - 1).arg(linkYear));
    EXPECT_EQ(THalvo::GetAppBuildYear(linkYear, QStringLiteral("<%s>")), QStringLiteral("<%1>").arg(linkYear));
}

TEST(Halvo, IsDebug_FollowsATracer) {
    if (THalvo::isDebug()) {
        GTEST_SKIP() << "running under a tracer";
    }
    // A child that asks its parent to trace it must see a debugger; the untraced parent sees none.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) {
            ::_exit(2);
        }
        ::_exit(THalvo::isDebug() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) {
        GTEST_SKIP() << "tracing is not allowed here";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the traced child was not told it has a debugger";
    EXPECT_FALSE(THalvo::isDebug());
}

TEST(Halvo, AppX32_64_NamesThePointerWidth) {
    EXPECT_EQ(THalvo::isAppX32_64(), sizeof(void*) == 4);
    EXPECT_EQ(THalvo::AppX32_64(), sizeof(void*) == 8 ? QStringLiteral("64") : QStringLiteral("32"));
}

TEST(Halvo, ShellExecute_RefusesEmptyNameVerbsAndParameters) {
    EXPECT_THROW(THalvo::ShellExecute(nullptr, QStringLiteral("open"), QString(), QString(), QString(), 1),
                 std::invalid_argument);
    EXPECT_THROW(THalvo::ShellExecute(nullptr, QStringLiteral("print"), QStringLiteral("/etc/hostname"), QString(),
                                      QString(), 1),
                 std::invalid_argument);
    EXPECT_THROW(THalvo::ShellExecute(nullptr, QStringLiteral("open"), QStringLiteral("/etc/hostname"),
                                      QStringLiteral("; rm -rf ~"), QString(), 1),
                 std::invalid_argument);
}

TEST(Halvo, ShellExecute_MissingFileRaisesSystemErrorText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    try {
        THalvo::ShellExecute(nullptr, QStringLiteral("open"), QStringLiteral("absent.png"), QString(), dir.path(), 1);
        FAIL() << "no error raised";
    } catch (const tavrel::app::EOSError& e) {
        EXPECT_EQ(e.Code(), ENOENT);
        EXPECT_EQ(
            QString::fromUtf8(e.what()),
            QStringLiteral("System Error.  Code: %1.\n%2").arg(ENOENT).arg(QString::fromLocal8Bit(strerror(ENOENT))));
    }
}

}  // namespace
