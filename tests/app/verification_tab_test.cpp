// The page "Поверка" fed with decoded answers directly: the instrument's range or layout is changed only
// after the engineer confirms, with the command for exactly the point's range.
#include "app/verification_tab.h"

#include <sqlite3.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "app/trend_chart.h"
#include "app/verification_dialogs.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"
#include "verify/plan.h"

namespace {

namespace verify = tavrel::verify;
using tavrel::protocol::TTavrel;
using tavrel::protocol::TTavrelCommand;

TTavrel Answer(const std::string& body, bool identity = false) {
    TTavrel model;
    const std::vector<std::uint8_t> bytes(body.begin(), body.end());
    identity ? model.ParseDeviceInfo(bytes) : model.ParseMeasure(bytes);
    return model;
}

verify::TestPoint Point(int channel, double range, double nominal, double band,
                        verify::Layout layout = verify::Layout::Registrator) {
    verify::TestPoint point;
    point.channel = channel;
    point.layout = layout;
    point.range = range;
    point.nominal = nominal;
    point.band = band;
    return point;
}

class VerificationTab : public ::testing::Test {
  protected:
    void SetUp() override {
        Directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/tab");
        QDir(Directory).removeRecursively();
        Tab = std::make_unique<tavrel::app::TVerificationTab>(Directory);
        Tab->SetHooks({[this](const std::vector<std::uint8_t>& frame) { Sent.push_back(frame); },
                       [this](verify::Layout layout) { Layouts.push_back(layout); }});
        Tab->DeviceIdentity(Answer("0;1234;7;21;01.05", true));
        Tab->EditOperator->setText(QStringLiteral("Петров"));
        Tab->EditCalibratorType->setText(QStringLiteral("Н4-7"));
    }

    void Start(std::vector<verify::TestPoint> points) {
        verify::Plan plan;
        plan.points = std::move(points);
        const QString path = QDir(Directory).filePath(QStringLiteral("plan.json"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(verify::PlanToJson(plan)));
        file.close();
        ASSERT_EQ(Tab->LoadPlanFile(path), QString());
        ASSERT_TRUE(Tab->StartSession());
    }

    QString Directory;
    std::unique_ptr<tavrel::app::TVerificationTab> Tab;
    std::vector<std::vector<std::uint8_t>> Sent;
    std::vector<verify::Layout> Layouts;
};

// Channels 1..3 on 1 V, 10 V, 0.1 V with a 5 A shunt, registrator layout.
const char* const kMeasure = "7;0.90000(1);5.00000(10);0.05000(0.1);5;2026;12;10;12;00;00;log_off";

TEST_F(VerificationTab, OtherRange_CommandOnlyAfterConfirmation) {
    const verify::TestPoint point = Point(1, 10, 9, 0.01);
    ASSERT_NO_FATAL_FAILURE(Start({point}));
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_FALSE(Tab->ButtonChange->isHidden());
    EXPECT_EQ(Tab->Chart->PointCount(), 0);
    EXPECT_TRUE(Sent.empty());

    Tab->ButtonChange->click();
    // Channel 1 to 10 V; channels 2 and 3 and the shunt stay as the instrument reported them.
    std::vector<TTavrelCommand::TChannelOption> options(3);
    options[0] = {TTavrelCommand::TChannelName::cnCh1, '2', 0};
    options[1] = {TTavrelCommand::TChannelName::cnCh2, '2', 0};
    options[2] = {TTavrelCommand::TChannelName::cnCh3, '4', 5};
    ASSERT_EQ(Sent.size(), 1U);
    EXPECT_EQ(Sent[0], TTavrelCommand::setChannelParameters(options));
    EXPECT_TRUE(Layouts.empty());

    Tab->DeviceMeasure(Answer("7;9.00100(10);5.00000(10);0.05000(0.1);5;2026;12;10;12;00;01;log_off"), 0);
    EXPECT_TRUE(Tab->ButtonChange->isHidden());
    EXPECT_EQ(Tab->Chart->PointCount(), 1);
    EXPECT_EQ(Tab->LabelLive->text(), QStringLiteral("+9.001 В"));
}

TEST_F(VerificationTab, ReadingsOutdated_LiveValueSaysSoUntilTheNextMeasurement) {
    Tab->DeviceReadingsOutdated();
    EXPECT_EQ(Tab->LabelLive->text(), QStringLiteral("—")) << "no session: nothing was shown";
    ASSERT_NO_FATAL_FAILURE(Start({Point(1, 10, 9, 0.01)}));
    const char* const measure = "7;9.00100(10);5.00000(10);0.05000(0.1);5;2026;12;10;12;00;01;log_off";
    Tab->DeviceMeasure(Answer(measure), 0);
    ASSERT_EQ(Tab->LabelLive->text(), QStringLiteral("+9.001 В"));
    Tab->DeviceReadingsOutdated();
    EXPECT_EQ(Tab->LabelLive->text(), QStringLiteral("Нет данных"));
    Tab->DeviceMeasure(Answer(measure), 0);
    EXPECT_EQ(Tab->LabelLive->text(), QStringLiteral("+9.001 В"));
}

TEST_F(VerificationTab, OtherLayout_SwitchedLikeTheModeGroupAfterConfirmation) {
    const verify::TestPoint point = Point(2, 1, 0.5, 0.001, verify::Layout::IppVoltage);
    ASSERT_NO_FATAL_FAILURE(Start({point}));
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_FALSE(Tab->ButtonChange->isHidden());
    EXPECT_TRUE(Tab->ButtonChange->text().contains(QStringLiteral("Uпп потенциал")));
    EXPECT_TRUE(Layouts.empty());
    Tab->ButtonChange->click();
    EXPECT_EQ(Layouts, std::vector<verify::Layout>{verify::Layout::IppVoltage});
    EXPECT_TRUE(Sent.empty());
}

TEST_F(VerificationTab, AnotherInstrument_ItsReadingsAreNotUsed) {
    const verify::TestPoint point = Point(1, 1, 0.9, 0.001);
    ASSERT_NO_FATAL_FAILURE(Start({point}));
    Tab->LineClosed();
    Tab->DeviceIdentity(Answer("0;5678;7;21;01.05", true));
    EXPECT_TRUE(Tab->LabelMessage->text().contains(QStringLiteral("5678"))) << Tab->LabelMessage->text().toStdString();
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_EQ(Tab->Chart->PointCount(), 0);
    Tab->DeviceIdentity(Answer("0;1234;7;21;01.05", true));
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_EQ(Tab->Chart->PointCount(), 1);
}

TEST_F(VerificationTab, JournalWriteFails_SaidAndTheSessionGoesOn) {
    const verify::TestPoint point = Point(1, 1, 0.5, 0.001);
    const verify::TestPoint second = Point(1, 1, 0.9, 0.001);
    ASSERT_NO_FATAL_FAILURE(Start({point, second}));
    ASSERT_TRUE(Tab->JournalSession().has_value());
    // The table of points disappears behind the journal's back: its next write fails.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QDir(Directory).filePath(QStringLiteral("journal.sqlite")).toUtf8().constData(), &db),
              SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DROP TABLE points", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(Tab->Skip(QStringLiteral("нет калибратора")));
    EXPECT_TRUE(Tab->LabelMessage->text().contains(QStringLiteral("не записана в журнал")))
        << Tab->LabelMessage->text().toStdString();
    EXPECT_EQ(Tab->Session()->current(), 1U);
    EXPECT_TRUE(Tab->ButtonSave->isEnabled());
}

// Limits typed into the dialog: both forms, a cleared row, and numbers that do not read keep the earlier limit.
TEST(LimitsDialog, Result_ReadsTheRows) {
    verify::Plan plan;
    verify::TestPoint one;
    one.nominal = 0.5;
    verify::TestPoint ten = one;
    ten.range = 10;
    ten.nominal = 5;
    verify::TestPoint hundred = one;
    hundred.range = 100;
    hundred.nominal = 50;
    plan.points = {one, ten, hundred};
    verify::LimitStore before;
    const verify::Limit earlier{verify::Limit::Form::Absolute, 0, 0, 0.5};
    before.Set(verify::KeyOf(hundred), earlier);
    before.Set(verify::KeyOf(ten), earlier);
    tavrel::app::TLimitsDialog dialog(plan, before);
    ASSERT_EQ(dialog.Table->rowCount(), 3);
    const auto form = [&dialog](int row) { return static_cast<QComboBox*>(dialog.Table->cellWidget(row, 1)); };
    // Rows follow the ranges: 1 V, 10 V, 100 V.
    form(0)->setCurrentIndex(1);
    dialog.Table->item(0, 2)->setText(QStringLiteral("0,1"));
    dialog.Table->item(0, 3)->setText(QStringLiteral("0.05"));
    form(1)->setCurrentIndex(0);
    form(2)->setCurrentIndex(2);
    dialog.Table->item(2, 4)->setText(QStringLiteral("-1"));
    const verify::LimitStore result = dialog.Result();
    EXPECT_EQ(result.Find(verify::KeyOf(one)), (verify::Limit{verify::Limit::Form::Relative, 0.1, 0.05, 0}));
    EXPECT_FALSE(result.Find(verify::KeyOf(ten)).has_value());
    EXPECT_EQ(result.Find(verify::KeyOf(hundred)), earlier);
}

// The plan's label counts its points in Russian: "1 точка", "3 точки", "11 точек", "21 точка".
TEST_F(VerificationTab, PlanLabel_CountsPointsInRussianPluralForms) {
    const verify::TestPoint point = Point(1, 10, 9, 0.01);
    for (const auto& [count, words] : std::vector<std::pair<std::size_t, const char*>>{{1, "(1 точка)"},
                                                                                       {3, "(3 точки)"},
                                                                                       {5, "(5 точек)"},
                                                                                       {11, "(11 точек)"},
                                                                                       {14, "(14 точек)"},
                                                                                       {21, "(21 точка)"},
                                                                                       {22, "(22 точки)"},
                                                                                       {112, "(112 точек)"}}) {
        ASSERT_NO_FATAL_FAILURE(Start(std::vector<verify::TestPoint>(count, point)));
        EXPECT_TRUE(Tab->LabelPlan->text().endsWith(QString::fromUtf8(words))) << Tab->LabelPlan->text().toStdString();
    }
}

}  // namespace
