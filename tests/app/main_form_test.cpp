#include "app/main_form.h"

#include <ostream>

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/frame_channel.h"
#include "app/grid_panel.h"
#include "app/halvo.h"
#include "app/image.h"
#include "app/maker_contacts.h"
#include "app/radio_group.h"
#include "app/status_bar.h"
#include "app_test_support.h"
#include "link/xcom_port.h"
#include "link/xcom_port_helpers.h"
#include "main_form_fixture.h"
#include "protocol/tavrel.h"

namespace {

using tavrel::app::TFrameChannel;
using tavrel::app::TMainForm;
using tavrel::test::MainFormFixture;
using tavrel::test::TModalCloser;

using MainWindow = MainFormFixture;

TEST_F(MainWindow, Start_DisconnectedWithDisabledModesEmptyGridAndHiddenLog) {
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Подключиться"));
    EXPECT_EQ(Form->ButtonRun->property("Tag").toInt(), 0);
    EXPECT_FALSE(Form->RGModeWork->isEnabled());
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), -1);
    EXPECT_EQ(Form->GP->ControlCount(), 0);
    EXPECT_EQ(Form->GP->Tag(), -1);
    EXPECT_EQ(Form->WorkState, 255);
    Form->show();
    EXPECT_FALSE(Form->PanelLog->isVisible());
    EXPECT_FALSE(Form->LabelSimulator->isVisible());
    EXPECT_TRUE(Form->windowTitle().startsWith(QStringLiteral("Поверка Таврель «Ордалит» (")));
    EXPECT_TRUE(Form->windowTitle().endsWith(QStringLiteral("-bit)")));
    EXPECT_FALSE(Form->Timer1->isActive());
    EXPECT_FALSE(Form->TimerInfo->isActive());
}

TEST_F(MainWindow, DeveloperPage_CaptionShowsWholeAndContactsAreTheBuildsOwn) {
    Form->show();
    Form->PageControl1->setCurrentIndex(1);
    QApplication::processEvents();
    const QLabel* caption = Form->LabelReference;
    EXPECT_EQ(caption->parentWidget()->width(), 145);
    const QRect room = caption->contentsRect();
    const QRect needed = caption->fontMetrics().boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, caption->text());
    EXPECT_TRUE(room.contains(needed)) << "needs " << needed.width() << " x " << needed.height() << ", has "
                                       << room.width() << " x " << room.height();
    EXPECT_EQ(Form->LabelContacts->text(), tavrel::app::SupportContactsText());
    EXPECT_TRUE(Form->LabelContacts->wordWrap());
}

struct TContactsRow {
    const char* Phone;
    const char* Email;
    const char* Site;
    const char* Text;
};

class SupportContacts : public ::testing::TestWithParam<TContactsRow> {};

TEST_P(SupportContacts, Text_HasALinePerContactGivenAndIsNeutralWithoutAny) {
    const TContactsRow& row = GetParam();
    EXPECT_EQ(tavrel::app::SupportContactsText(QString::fromUtf8(row.Phone), QString::fromUtf8(row.Email),
                                               QString::fromUtf8(row.Site)),
              QString::fromUtf8(row.Text));
}

INSTANTIATE_TEST_SUITE_P(
    Table, SupportContacts,
    ::testing::Values(TContactsRow{"", "", "", "Контакты технической поддержки «Ордалит» в этой сборке не указаны."},
                      TContactsRow{" ", "", "  ", "Контакты технической поддержки «Ордалит» в этой сборке не указаны."},
                      TContactsRow{"+7 123 456", "", "", "Техническая поддержка «Ордалит»\nтелефон: +7 123 456"},
                      TContactsRow{"", "help@example.org", "example.org",
                                   "Техническая поддержка «Ордалит»\ne-mail: help@example.org\nсайт: example.org"},
                      TContactsRow{"1", " a@b ", "c",
                                   "Техническая поддержка «Ордалит»\nтелефон: 1\ne-mail: a@b\nсайт: c"}));

TEST_F(MainWindow, Layout_SizesAndTextsOfTheControls) {
    Form->show();
    EXPECT_EQ(Form->size(), QSize(1008, 729));
    EXPECT_EQ(Form->minimumSize(), QSize(1008, 729));
    EXPECT_EQ(Form->TopPanel->height(), 160);
    EXPECT_EQ(Form->PageControl1->count(), 3);
    EXPECT_EQ(Form->PageControl1->tabText(0), QStringLiteral("Главная"));
    EXPECT_EQ(Form->PageControl1->tabText(1), QStringLiteral("Разработчик"));
    EXPECT_EQ(Form->PageControl1->tabText(2), QStringLiteral("Поверка"));
    EXPECT_EQ(Form->PageControl1->currentIndex(), 0);
    // «Поверка» takes the window while shown; back on «Главная» the top panel and the frame grid are as before.
    Form->PageControl1->setCurrentIndex(2);
    QApplication::processEvents();
    EXPECT_GT(Form->TopPanel->height(), 500);
    EXPECT_FALSE(Form->GP->isVisible());
    Form->PageControl1->setCurrentIndex(0);
    QApplication::processEvents();
    EXPECT_EQ(Form->TopPanel->height(), 160);
    EXPECT_TRUE(Form->GP->isVisible());
    ASSERT_EQ(Form->RGModeWork->ItemCount(), 4);
    const QStringList items = {QStringLiteral("Регистратор"), QStringLiteral("Uпп потенциал"),
                               QStringLiteral("Uтз потенциал"), QStringLiteral("Iп ток")};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Form->RGModeWork->Item(i)->text(), items[i]);
    }
    EXPECT_EQ(Form->ButtonRun->width(), 128);
    EXPECT_EQ(Form->ButtonRun->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(Form->ButtonAbout->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(Form->ButtonAbout->text(), QStringLiteral("О программе"));
    EXPECT_EQ(Form->ButtonAbout->height(), 31);
    EXPECT_EQ(Form->StatusBar1->height(), 19);
    ASSERT_EQ(Form->StatusBar1->PanelCount(), 6);
    const int widths[] = {130, 130, 220, 150, 180, 180};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(Form->StatusBar1->Panel(i).Width, widths[i]) << i;
    }
    EXPECT_TRUE(Form->StatusBar1->Panel(0).OwnerDraw);
    EXPECT_TRUE(Form->StatusBar1->Panel(1).OwnerDraw);
    EXPECT_EQ(Form->StatusBar1->Panel(3).Alignment, Qt::AlignRight);
    EXPECT_EQ(Form->PanelLog->height(), 214);
    EXPECT_TRUE(Form->ImageLogo->HasPicture());
    EXPECT_EQ(Form->ImageListSB.size(), 7U);
    for (const QImage& icon : Form->ImageListSB) {
        EXPECT_EQ(icon.size(), QSize(16, 16));
    }
    // The grid fills what the top panel, the 4-pixel spacer and the status bar leave.
    EXPECT_EQ(Form->GP->height(), 729 - 160 - 4 - 19);
    // The mode group's frame line is clipped away.
    EXPECT_EQ(Form->RGModeWork->mask().boundingRect(),
              QRect(3, 3, Form->RGModeWork->width() - 6, Form->RGModeWork->height() - 6));
    for (QObject* named : {static_cast<QObject*>(Form->StatusBar1), static_cast<QObject*>(Form->GP),
                           static_cast<QObject*>(Form->Memo1), static_cast<QObject*>(Form->Timer1),
                           static_cast<QObject*>(Form->TimerInfo), static_cast<QObject*>(Form->ButtonRun)}) {
        EXPECT_FALSE(named->objectName().isEmpty());
        EXPECT_EQ(Form->findChild<QObject*>(named->objectName()), named);
    }
}

TEST_F(MainWindow, SimulatorBanner_SaysSoInTitleAndWindow) {
    Form->SetSimulatorBanner(true);
    Form->show();
    EXPECT_TRUE(Form->windowTitle().contains(QStringLiteral("Симулятор")));
    EXPECT_TRUE(Form->LabelSimulator->isVisible());
    EXPECT_TRUE(Form->LabelSimulator->text().contains(QStringLiteral("Симулятор")));
}

TEST_F(MainWindow, Log_AppendsPlainLines) {
    Form->AddLogLine(QStringLiteral("first"));
    Form->AddLogLine(QStringLiteral("второй"));
    EXPECT_TRUE(LogText().endsWith(QStringLiteral("first\nвторой")));
}

// The lines of one turn of the event loop reach the log box together, in one append, once the turn ends
// (a longer burst in blocks of kLogBlockLines): none is lost, none changes place, and a burst costs one
// append per block instead of one per line.
struct TLogTurns {
    int LinesPerTurn;
    int Turns;
};

void PrintTo(const TLogTurns& c, std::ostream* os) {
    *os << c.LinesPerTurn << " lines x " << c.Turns << " turns";
}

class MainWindowLog : public MainFormFixture, public ::testing::WithParamInterface<TLogTurns> {};

TEST_P(MainWindowLog, Burst_EveryLineInOrderOneAppendPerTurn) {
    int appends = 0;
    int expectedAppends = 0;
    QObject::connect(Form->Memo1->document(), &QTextDocument::contentsChange,
                     [&appends](int /*from*/, int /*removed*/, int /*added*/) { ++appends; });
    QStringList expected;
    for (int turn = 0; turn < GetParam().Turns; ++turn) {
        for (int i = 0; i < GetParam().LinesPerTurn; ++i) {
            const QString line = QStringLiteral("turn %1 line %2").arg(turn).arg(i);
            Form->AddLogLine(line);
            expected.append(line);
        }
        const int blocks = GetParam().LinesPerTurn / TMainForm::kLogBlockLines;
        const int rest = GetParam().LinesPerTurn % TMainForm::kLogBlockLines;
        // Only full blocks are in before the turn ends.
        EXPECT_EQ(Form->Memo1->toPlainText(), expected.mid(0, expected.size() - rest).join(QLatin1Char('\n')))
            << "turn " << turn;
        expectedAppends += blocks + (rest > 0 ? 1 : 0);
        const QString whole = expected.join(QLatin1Char('\n'));
        ASSERT_TRUE(tavrel::test::WaitFor([&] { return Form->Memo1->toPlainText() == whole; }, 2000))
            << "turn " << turn << ": " << Form->Memo1->blockCount() << " lines, expected " << expected.size();
        EXPECT_EQ(appends, expectedAppends);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MainWindowLog,
                         ::testing::Values(TLogTurns{1, 1}, TLogTurns{2, 1}, TLogTurns{511, 1}, TLogTurns{512, 1},
                                           TLogTurns{3000, 1}, TLogTurns{1, 4}, TLogTurns{250, 3},
                                           TLogTurns{700, 2}));

// ---- Port messages, through the shared bus ----

struct TStatusCase {
    int Code;
    const char* LogLine;  // nullptr: no line
};

class MainWindowStatus : public MainFormFixture, public ::testing::WithParamInterface<TStatusCase> {};

TEST_P(MainWindowStatus, EventStatus_OnlyCloseConnectAndWaitAreLogged) {
    const QString before = LogText();
    tavrel::link::PostSubscribeEvent(tavrel::link::subscribeComPortEventStatus,
                                     tavrel::link::MakeEvent(GetParam().Code, "/dev/pts/1"));
    const QString added = LogText().mid(before.size()).trimmed();
    if (GetParam().LogLine == nullptr) {
        EXPECT_TRUE(added.isEmpty()) << added.toStdString();
    } else {
        EXPECT_EQ(added, QString::fromLatin1(GetParam().LogLine));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MainWindowStatus,
                         ::testing::Values(TStatusCase{0, "**XComPort_Close**"}, TStatusCase{1, "**XComPort_Connect**"},
                                           TStatusCase{2, nullptr}, TStatusCase{3, nullptr}, TStatusCase{4, nullptr},
                                           TStatusCase{5, nullptr}, TStatusCase{6, "**XComPort_Wait**"},
                                           TStatusCase{7, nullptr}, TStatusCase{0x101, "**XComPort_Connect**"}));

TEST_F(MainWindow, ConnectStatus_TurnsButtonIntoDisconnect) {
    tavrel::link::PostSubscribeEvent(tavrel::link::subscribeComPortEventStatus, tavrel::link::MakeEvent(1, ""));
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Отключиться"));
    EXPECT_EQ(Form->ButtonRun->property("Tag").toInt(), 1);
    EXPECT_EQ(Form->GP->Tag(), -1);
}

TEST_F(MainWindow, CloseStatus_StopsTimersClearsModesAndFramesTwiceHarmlessly) {
    Form->RegisterListener();
    Form->ShowConnectionState(true);
    Form->Timer1->start();
    Form->TimerInfo->start();
    Form->WorkState = 0;
    Form->RGModeWork->setEnabled(true);
    // A frame grid as the session builds it.
    tavrel::protocol::TTavrel model;
    Form->UpdateChannelFrames(&model);
    Form->RGModeWork->SetItemIndex(0);
    ASSERT_EQ(Form->GP->ControlCount(), 3);
    for (int round = 0; round < 2; ++round) {
        tavrel::link::PostSubscribeEvent(tavrel::link::subscribeComPortEventStatus, tavrel::link::MakeEvent(0, ""));
        EXPECT_FALSE(Form->Timer1->isActive());
        EXPECT_FALSE(Form->TimerInfo->isActive());
        EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Подключиться"));
        EXPECT_FALSE(Form->RGModeWork->isEnabled());
        EXPECT_EQ(Form->RGModeWork->ItemIndex(), -1);
        EXPECT_EQ(Form->GP->ControlCount(), 0);
        EXPECT_EQ(Form->GP->Tag(), -1);
        EXPECT_EQ(Form->WorkState, 255);
    }
    EXPECT_EQ(LogText().count(QStringLiteral("**XComPort_Close**")), 2);
}

TEST_F(MainWindow, ErrorMessage_IsLoggedShownAndEndsTheConnection) {
    Form->RegisterListener();
    Form->ShowConnectionState(true);
    ASSERT_EQ(Module->ListenerCount(), 1U);
    TModalCloser closer;
    tavrel::link::PostSubscribeEvent(tavrel::link::subscribeComPortError,
                                     tavrel::link::MakeErrorEvent("Com port not found", -1));
    ASSERT_EQ(closer.Texts.size(), 1U);
    EXPECT_EQ(closer.Texts[0], QStringLiteral("Error: Com port not found (-1)"));
    EXPECT_EQ(closer.Titles[0], QStringLiteral("Ошибка"));
    EXPECT_TRUE(LogText().endsWith(QStringLiteral("Error: Com port not found (-1)")));
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Подключиться"));
    EXPECT_EQ(Module->ListenerCount(), 0U);
}

TEST_F(MainWindow, DataMessage_ReachesParsersOnlyWhenNotEmpty) {
    AttachSpy();
    tavrel::link::PostSubscribeData(tavrel::link::subscribeComPortData, {});
    EXPECT_TRUE(Spy.Parser->Chunks.empty());
    tavrel::link::PostSubscribeData(tavrel::link::subscribeComPortData, {0x02, 0x3B});
    ASSERT_EQ(Spy.Parser->Chunks.size(), 1U);
    EXPECT_EQ(Spy.Parser->Chunks[0], (std::vector<std::uint8_t>{0x02, 0x3B}));
}

TEST_F(MainWindow, Close_DisconnectsAndLeavesTheBus) {
    Form->RegisterListener();
    Form->show();
    Form->close();
    EXPECT_EQ(Module->ListenerCount(), 0U);
    // No longer subscribed: a connect status changes nothing.
    tavrel::link::PostSubscribeEvent(tavrel::link::subscribeComPortEventStatus, tavrel::link::MakeEvent(1, ""));
    EXPECT_EQ(Form->ButtonRun->text(), QStringLiteral("Подключиться"));
}

// ---- About box ----

TEST_F(MainWindow, F1_OpensAboutBoxFromAnyControlOtherKeysDoNothing) {
    Form->show();
    QApplication::setActiveWindow(Form.get());
    TModalCloser closer;
    QTest::keyRelease(Form->RGModeWork->Item(1), Qt::Key_F2);
    QApplication::processEvents();
    EXPECT_TRUE(closer.Texts.empty());
    QTest::keyRelease(Form->RGModeWork->Item(1), Qt::Key_F1);
    ASSERT_EQ(closer.Texts.size(), 1U);
    QTest::keyRelease(Form->Memo1, Qt::Key_F1);
    ASSERT_EQ(closer.Texts.size(), 2U);
    const QStringList lines = closer.Texts[0].split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4) << closer.Texts[0].toStdString();
    EXPECT_EQ(lines[0], Form->windowTitle());
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Версия: v1."))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].isEmpty());
    EXPECT_EQ(closer.Titles[0], QStringLiteral("Информация"));
}

TEST_F(MainWindow, AboutButton_ShowsYearsFrom2024ToTheBuildYear) {
    TModalCloser closer;
    Form->ButtonAbout->click();
    ASSERT_EQ(closer.Texts.size(), 1U);
    const QStringList lines = closer.Texts[0].split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    // 2024 and the build year, or just 2024 for a build of 2024 or earlier.
    const int buildYear = tavrel::app::THalvo::GetAppVersion(true, QString()).toInt();
    ASSERT_GE(buildYear, 2000);
    if (buildYear > 2024) {
        EXPECT_TRUE(lines[3].contains(QStringLiteral("2024 - %1").arg(buildYear))) << lines[3].toStdString();
    } else {
        EXPECT_TRUE(lines[3].contains(QStringLiteral("2024"))) << lines[3].toStdString();
        EXPECT_FALSE(lines[3].contains(QStringLiteral("2024 -"))) << lines[3].toStdString();
    }
}

}  // namespace
