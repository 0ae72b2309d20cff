// The page "Поверка" on the real main window against the simulator holding known readings: verdicts,
// the range change the engineer confirms, the journal, the protocol read back from its PDF, a line lost
// while averaging and a session continued after a restart; and a journal that cannot be opened.
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app/protocol_pdf.h"
#include "app/radio_group.h"
#include "app/trend_chart.h"
#include "app/verification_dialogs.h"
#include "app/verification_tab.h"
#include "app_test_support.h"
#include "journal/journal.h"
#include "protocol/tavrel.h"
#include "simulator_form_fixture.h"
#include "verify/arithmetic.h"
#include "verify/plan.h"

namespace {

using tavrel::test::WaitFor;
namespace verify = tavrel::verify;

verify::TestPoint Point(int channel, double range, double nominal, int readings, double band) {
    verify::TestPoint p;
    p.channel = channel;
    p.range = range;
    p.nominal = nominal;
    p.readings = readings;
    p.band = band;
    return p;
}

QString DataDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString WritePlan(const verify::Plan& plan) {
    const QString path = QDir(DataDirectory()).filePath(QStringLiteral("plan.json"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString(verify::PlanToJson(plan)));
    return path;
}

class Verification : public tavrel::test::SimulatorFormFixture {
  protected:
    void SetUp() override {
        // A fresh data folder before the window opens its journal there.
        QDir(DataDirectory()).removeRecursively();
        QDir().mkpath(DataDirectory());
        MainFormFixture::SetUp();
    }

    // Channel 1 held inside its limit, channel 2 outside.
    void Connect(tavrel::sim::TSimOptions options) {
        ASSERT_NO_FATAL_FAILURE(StartSimulator(QStringLiteral("verification.log"), options));
        Form->SetSimulatorBanner(true);
        Form->resize(1008, 729);
        Form->show();
        Form->PageControl1->setCurrentWidget(Form->TabVerification);
        Form->ButtonRun->click();
        ASSERT_TRUE(WaitFor([this] { return Tab()->LabelIdentity->text().contains(QStringLiteral("1234")); }, 10000));
    }

    void FillSession() {
        Tab()->EditOperator->setText(QStringLiteral("Иванов И. И."));
        Tab()->EditCalibratorType->setText(QStringLiteral("Fluke 5522A"));
        Tab()->EditCalibratorSerial->setText(QStringLiteral("4711"));
        Tab()->EditTemperature->setText(QStringLiteral("21,5"));
    }

    // Waits until the current point's readings are usable, then measures it to the end.
    void MeasureCurrent() {
        const std::size_t index = Tab()->Session()->current();
        ASSERT_TRUE(WaitFor([this] { return Tab()->Chart->PointCount() >= 2; }, 10000)) << "no matching readings";
        Tab()->ButtonMeasure->click();
        ASSERT_TRUE(WaitFor([this, index] { return Tab()->Session()->current() != index; }, 20000))
            << Tab()->LabelState->text().toStdString();
    }

    tavrel::app::TVerificationTab* Tab() const { return Form->TabVerification; }
};

TEST_F(Verification, Session_VerdictsJournalAndProtocol) {
    tavrel::sim::TSimOptions options;
    options.Hold = {0.9004, 5.2, std::nullopt};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    FillSession();
    verify::Plan plan;
    plan.name = "Короткий план";
    plan.points = {Point(1, 1, 0.9, 2, 0.001), Point(2, 10, 5, 2, 0.01), Point(1, 1, -0.9, 2, 0.001)};
    ASSERT_EQ(Tab()->LoadPlanFile(WritePlan(plan)), QString());
    // ±(0.1 % of 0.9 + 0.05 % of 1) = ±0.0014 V; ±0.05 V on 10 V.
    Tab()->SetLimit(verify::KeyOf(plan.points[0]), verify::Limit{verify::Limit::Form::Relative, 0.1, 0.05, 0});
    Tab()->SetLimit(verify::KeyOf(plan.points[1]), verify::Limit{verify::Limit::Form::Absolute, 0, 0, 0.05});
    ASSERT_TRUE(Tab()->StartSession()) << Tab()->LabelMessage->text().toStdString();
    EXPECT_EQ(Tab()->LabelInstruction->text(),
              QStringLiteral("Установите на калибраторе +0.9000 В и подключите к каналу 1"));

    ASSERT_NO_FATAL_FAILURE(MeasureCurrent());
    const verify::PointRecord& first = Tab()->Session()->records()[0];
    EXPECT_EQ(first.outcome.verdict, verify::Verdict::Pass);
    EXPECT_DOUBLE_EQ(first.outcome.error, 0.0004);
    EXPECT_EQ(Tab()->LabelVerdict->text(), QStringLiteral("годен"));

    // Channel 2 is on 1 V: its readings are not used until the engineer lets the tool switch it to 10 V.
    ASSERT_TRUE(WaitFor([this] { return Tab()->ButtonChange->isVisible(); }, 5000));
    EXPECT_EQ(Tab()->Chart->PointCount(), 0);
    Tab()->ButtonChange->click();
    ASSERT_TRUE(WaitFor([this] { return Tab()->Chart->PointCount() >= 3; }, 10000)) << "range not changed";
    EXPECT_FALSE(Tab()->ButtonChange->isVisible());
    Tab()->ButtonMeasure->click();
    ASSERT_TRUE(WaitFor([this] { return Tab()->LabelState->text().contains(QStringLiteral("Усреднение")); }, 10000));
    Screenshot("verification-session.png");
    ASSERT_TRUE(WaitFor([this] { return Tab()->Session()->current() == 2; }, 20000));
    EXPECT_EQ(Tab()->Session()->records()[1].outcome.verdict, verify::Verdict::Fail);
    EXPECT_EQ(Tab()->LabelVerdict->text(), QStringLiteral("не годен"));

    EXPECT_FALSE(Tab()->Skip(QString()));
    ASSERT_TRUE(Tab()->Skip(QStringLiteral("нет отрицательной полярности")));
    ASSERT_TRUE(Tab()->Session()->finished());
    EXPECT_TRUE(Tab()->LabelOverall->text().contains(QStringLiteral("не годен")));

    // Every point is in the journal, the session is finished there.
    {
        auto journal = tavrel::journal::Journal::Open(
            QDir(DataDirectory()).filePath(QStringLiteral("journal.sqlite")).toStdString(),
            tavrel::journal::Journal::Mode::ReadOnly);
        ASSERT_TRUE(journal) << journal.error();
        tavrel::journal::SearchQuery query;
        query.serialPrefix = "1234";
        auto found = journal.value()->Search(query);
        ASSERT_TRUE(found) << found.error();
        ASSERT_EQ(found.value().size(), 1U);
        EXPECT_EQ(found.value()[0].points, 3);
        EXPECT_FALSE(found.value()[0].finishedAt.empty());
    }

    const QString pdf = QDir(DataDirectory()).filePath(QStringLiteral("protocol.pdf"));
    ASSERT_EQ(Tab()->SaveProtocol(pdf), QString());
    EXPECT_TRUE(QFile::exists(QDir(DataDirectory()).filePath(QStringLiteral("protocol.csv"))));
    const QString kept =
        QDir(QStringLiteral(TAVREL_SCREENSHOT_DIR)).filePath(QStringLiteral("verification-protocol.pdf"));
    QFile::remove(kept);
    EXPECT_TRUE(QFile::copy(pdf, kept));
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    ASSERT_TRUE(pdftotext.waitForFinished(20000));
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    for (const QString& expected :
         {QStringLiteral("Протокол поверки"), QStringLiteral("зав. № 1234"), QStringLiteral("01.05"),
          QStringLiteral("Иванов И. И."), QStringLiteral("Fluke 5522A"), QStringLiteral("+0.9000 В"),
          QStringLiteral("+0.9004 В"), QStringLiteral("+5.000 В"), QStringLiteral("+5.200 В"),
          QStringLiteral("-0.9000 В"), QStringLiteral("пропущена"), QStringLiteral("Заключение: не годен"),
          QStringLiteral("Страница 1 из 1")}) {
        EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << "\n" << text.toStdString();
    }
    EXPECT_EQ(text.count(QRegularExpression(QStringLiteral("(?<!не )годен"))), 1) << text.toStdString();

    // The journal window finds the session by serial number, shows it read-only and exports it again.
    tavrel::app::TJournalDialog journal(QDir(DataDirectory()).filePath(QStringLiteral("journal.sqlite")),
                                        DataDirectory());
    EXPECT_TRUE(journal.Search(QStringLiteral("12"), QStringLiteral("10.12.2026"), QString())
                    .contains(QStringLiteral("ГГГГ-ММ-ДД")));
    EXPECT_EQ(journal.Search(QStringLiteral("9999"), QString(), QString()), QStringLiteral("Ничего не найдено."));
    const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    ASSERT_EQ(journal.Search(QStringLiteral("1234"), today, today), QString());
    ASSERT_EQ(journal.Table->rowCount(), 1);
    ASSERT_EQ(journal.Open(journal.Table->item(0, 0)->data(Qt::UserRole).toLongLong()), QString());
    EXPECT_TRUE(journal.View->toPlainText().contains(QStringLiteral("Заключение: не годен")));
    EXPECT_TRUE(journal.View->isReadOnly());
    const QString again = QDir(DataDirectory()).filePath(QStringLiteral("again.pdf"));
    ASSERT_EQ(journal.Export(again), QString());
    EXPECT_GT(QFileInfo(again).size(), 0);

    // The limits entered are there for the next session.
    tavrel::app::TVerificationTab next(DataDirectory());
    EXPECT_EQ(next.Limits(), Tab()->Limits());
    EXPECT_TRUE(next.Limits().Find(verify::KeyOf(plan.points[1])).has_value());
}

TEST_F(Verification, LineLostWhileAveraging_DiscardsAverageAndSessionContinuesAfterRestart) {
    tavrel::sim::TSimOptions options;
    options.Hold = {0.5, std::nullopt, std::nullopt};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    FillSession();
    verify::Plan plan;
    plan.name = "Два пункта";
    plan.points = {Point(1, 1, 0.5, 2, 0.001), Point(1, 1, 0.5, 30, 0.001)};
    ASSERT_EQ(Tab()->LoadPlanFile(WritePlan(plan)), QString());
    ASSERT_TRUE(Tab()->StartSession());
    ASSERT_NO_FATAL_FAILURE(MeasureCurrent());
    // No limit entered: the error is shown, no verdict is given.
    EXPECT_EQ(Tab()->Session()->records()[0].outcome.verdict, verify::Verdict::None);
    EXPECT_FALSE(Tab()->Session()->records()[0].outcome.limit.has_value());

    Tab()->ButtonMeasure->click();
    ASSERT_TRUE(WaitFor([this] { return Tab()->LabelState->text().contains(QStringLiteral("Усреднение")); }, 10000));
    Form->ButtonRun->click();
    ASSERT_TRUE(WaitFor([this] { return Tab()->LabelMessage->text().contains(QStringLiteral("отброшено")); }, 5000));
    EXPECT_FALSE(Tab()->Measuring());
    EXPECT_EQ(Tab()->Session()->records()[1].status, verify::PointRecord::Status::Pending);
    const std::int64_t session = *Tab()->JournalSession();

    // A new window (as after a restart) offers the unfinished session and continues at its second point.
    Form.reset();
    Form = std::make_unique<tavrel::app::TMainForm>(*Module);
    EXPECT_FALSE(Tab()->ButtonContinue->isHidden());
    ASSERT_TRUE(Tab()->ContinueSession(session)) << Tab()->LabelMessage->text().toStdString();
    EXPECT_EQ(Tab()->Session()->current(), 1U);
    EXPECT_EQ(Tab()->Session()->records()[0].status, verify::PointRecord::Status::Accepted);
    EXPECT_EQ(Tab()->EditOperator->text(), QStringLiteral("Иванов И. И."));
}

TEST_F(Verification, IppCurrentPoint_LayoutSwitchedOnConfirmation) {
    tavrel::sim::TSimOptions options;
    options.Hold = {std::nullopt, std::nullopt, 15.002};
    ASSERT_NO_FATAL_FAILURE(Connect(options));
    FillSession();
    verify::Plan plan;
    verify::TestPoint point = Point(3, verify::kCurrentRangeMilliamps, 15, 2, 0.001);
    point.layout = verify::Layout::IppCurrent;
    point.unit = verify::Unit::mA;
    point.limit = verify::Limit{verify::Limit::Form::Absolute, 0, 0, 0.01};
    plan.points = {point};
    ASSERT_EQ(Tab()->LoadPlanFile(WritePlan(plan)), QString());
    ASSERT_TRUE(Tab()->StartSession());
    ASSERT_TRUE(WaitFor([this] { return Tab()->ButtonChange->isVisible(); }, 5000));
    EXPECT_EQ(Form->WorkState, 0);
    Tab()->ButtonChange->click();
    ASSERT_NO_FATAL_FAILURE(MeasureCurrent());
    EXPECT_EQ(Form->WorkState, 2);
    EXPECT_EQ(Form->RGModeWork->ItemIndex(), 3);
    const verify::Outcome& outcome = Tab()->Session()->records()[0].outcome;
    EXPECT_EQ(outcome.verdict, verify::Verdict::Pass);
    EXPECT_NEAR(outcome.mean, 15.002, 1e-9);
}

TEST_F(Verification, JournalNotADatabase_SessionRunsInMemoryAndProtocolIsSaved) {
    Form.reset();
    QFile bad(QDir(DataDirectory()).filePath(QStringLiteral("journal.sqlite")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(4096, 'x'));
    bad.close();
    Form = std::make_unique<tavrel::app::TMainForm>(*Module);
    EXPECT_TRUE(Tab()->LabelMessage->text().contains(QStringLiteral("Журнал недоступен")))
        << Tab()->LabelMessage->text().toStdString();
    EXPECT_EQ(Tab()->Journal(), nullptr);

    // A bad plan is refused with the file's name and the field.
    const QString badPlan = QDir(DataDirectory()).filePath(QStringLiteral("bad.json"));
    QFile plan(badPlan);
    ASSERT_TRUE(plan.open(QIODevice::WriteOnly));
    plan.write(R"({"points":[{"channel":4,"range":1,"nominal":0.5}]})");
    plan.close();
    const QString refused = Tab()->LoadPlanFile(badPlan);
    EXPECT_TRUE(refused.contains(QStringLiteral("bad.json")) && refused.contains(QStringLiteral("channel")))
        << refused.toStdString();

    tavrel::protocol::TTavrel model;
    const std::string info = "0;1234;7;21;01.05";
    model.ParseDeviceInfo(std::vector<std::uint8_t>(info.begin(), info.end()));
    Tab()->DeviceIdentity(model);
    FillSession();
    ASSERT_TRUE(Tab()->StartSession());
    EXPECT_FALSE(Tab()->JournalSession().has_value());
    ASSERT_TRUE(Tab()->Skip(QStringLiteral("проверка")));
    // Saved off the main thread, as the button does.
    std::optional<QString> result;
    const QString pdf = QDir(DataDirectory()).filePath(QStringLiteral("memory.pdf"));
    tavrel::app::WriteProtocolFilesLater(Tab(), Tab()->Protocol(), pdf,
                                         [&result](const QString& error) { result = error; });
    ASSERT_TRUE(WaitFor([&result] { return result.has_value(); }, 20000));
    EXPECT_EQ(*result, QString());
    EXPECT_GT(QFileInfo(pdf).size(), 0);
    EXPECT_TRUE(QFile::exists(QDir(DataDirectory()).filePath(QStringLiteral("memory.csv"))));
}

}  // namespace
