// The page "Поверка" fed with decoded answers directly: the instrument's range or layout is changed only
// after the engineer confirms, with the command for exactly the point's range.
#include "app/verification_tab.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include "app/trend_chart.h"
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

    void Start(const verify::TestPoint& point) {
        verify::Plan plan;
        plan.points = {point};
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
    verify::TestPoint point;
    point.channel = 1;
    point.range = 10;
    point.nominal = 9;
    point.band = 0.01;
    ASSERT_NO_FATAL_FAILURE(Start(point));
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

TEST_F(VerificationTab, OtherLayout_SwitchedLikeTheModeGroupAfterConfirmation) {
    verify::TestPoint point;
    point.channel = 2;
    point.layout = verify::Layout::IppVoltage;
    point.range = 1;
    point.nominal = 0.5;
    point.band = 0.001;
    ASSERT_NO_FATAL_FAILURE(Start(point));
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_FALSE(Tab->ButtonChange->isHidden());
    EXPECT_TRUE(Tab->ButtonChange->text().contains(QStringLiteral("Uпп потенциал")));
    EXPECT_TRUE(Layouts.empty());
    Tab->ButtonChange->click();
    EXPECT_EQ(Layouts, std::vector<verify::Layout>{verify::Layout::IppVoltage});
    EXPECT_TRUE(Sent.empty());
}

}  // namespace

namespace {

TEST_F(VerificationTab, AnotherInstrument_ItsReadingsAreNotUsed) {
    verify::TestPoint point;
    point.channel = 1;
    point.range = 1;
    point.nominal = 0.9;
    point.band = 0.001;
    ASSERT_NO_FATAL_FAILURE(Start(point));
    Tab->LineClosed();
    Tab->DeviceIdentity(Answer("0;5678;7;21;01.05", true));
    EXPECT_TRUE(Tab->LabelMessage->text().contains(QStringLiteral("5678"))) << Tab->LabelMessage->text().toStdString();
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_EQ(Tab->Chart->PointCount(), 0);
    Tab->DeviceIdentity(Answer("0;1234;7;21;01.05", true));
    Tab->DeviceMeasure(Answer(kMeasure), 0);
    EXPECT_EQ(Tab->Chart->PointCount(), 1);
}

}  // namespace
