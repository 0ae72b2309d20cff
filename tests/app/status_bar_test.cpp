#include "app/status_bar.h"

#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QToolTip>
#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app_test_support.h"
#include "main_form_fixture.h"

namespace {

using tavrel::app::TMainForm;
using tavrel::test::TModalCloser;

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kOrange(0xF5, 0x7F, 0x17);
const QColor kBlue(0x0D, 0x47, 0xA1);

struct TColourCase {
    unsigned Percent;
    QColor Colour;
};

class StatusBarColour : public tavrel::test::MainFormFixture, public ::testing::WithParamInterface<TColourCase> {
  protected:
    // Pixels of exactly `colour` inside the text part of a panel (right of its icon).
    int CountPixels(int panel, const QColor& colour) {
        QImage image(Form->StatusBar1->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        Form->StatusBar1->render(&image);
        const QRect r = Form->StatusBar1->PanelRect(panel).adjusted(16 + 4, 0, 0, 0);
        int count = 0;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                if (image.pixelColor(x, y) == colour) {
                    ++count;
                }
            }
        }
        return count;
    }
};

TEST_P(StatusBarColour, PercentColour_FollowsThresholdsInBothPanels) {
    const TColourCase& c = GetParam();
    EXPECT_EQ(TMainForm::PercentColor(c.Percent), c.Colour);
    Form->show();
    QApplication::processEvents();
    ASSERT_EQ(Form->StatusBar1->width(), 1008);
    Form->percentAKB = static_cast<int>(c.Percent);
    Form->memoryFreePercent = static_cast<int>(c.Percent);
    Form->SetStatusText(0, QStringLiteral("%1%").arg(c.Percent));
    Form->SetStatusText(1, QStringLiteral("%1%").arg(c.Percent));
    for (int panel : {0, 1}) {
        EXPECT_GT(CountPixels(panel, c.Colour), 3) << "panel " << panel;
        for (const QColor& other : {kRed, kOrange, kBlue}) {
            if (other != c.Colour) {
                EXPECT_EQ(CountPixels(panel, other), 0) << "panel " << panel << " " << other.name().toStdString();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Thresholds, StatusBarColour,
                         ::testing::Values(TColourCase{0, kRed}, TColourCase{10, kRed}, TColourCase{11, kOrange},
                                           TColourCase{18, kOrange}, TColourCase{19, kBlue}, TColourCase{100, kBlue}));

using StatusBar = tavrel::test::MainFormFixture;

TEST_F(StatusBar, StateIcons_DrawnOnlyForKnownBatteryAndSource) {
    Form->show();
    QApplication::processEvents();
    Form->percentAKB = 57;
    Form->SetStatusText(0, QStringLiteral("57%"));
    const auto render = [this] {
        QImage image(Form->StatusBar1->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        Form->StatusBar1->render(&image);
        const QRect r = Form->StatusBar1->PanelRect(0);
        // The two state icons stand right of the text: 2 x (16 + 4) pixels at the panel's right edge.
        return image.copy(QRect(r.right() + 1 - 40, 0, 40, image.height()));
    };
    const QImage without = render();
    Form->AKBState = tavrel::protocol::TAKBState::C;
    Form->SourcePower = tavrel::protocol::TSourcePower::U;
    const QImage with = render();
    EXPECT_NE(without, with);
    EXPECT_EQ(without.pixelColor(20, 10), without.pixelColor(0, 10)) << "nothing drawn without state";
}

TEST_F(StatusBar, MouseMove_HintsAndCursorPerPanel) {
    Form->AKBStateFullInfo = QStringLiteral("Источник питания: USB\r\nСостояние аккумулятора: Зарядка АКБ");
    Form->MemoryFullInfo = QStringLiteral("Полный объем: 1 МБайт");
    Form->SetStatusText(2, QStringLiteral("Время на приборе: 09.12.2026 10:11:12"));
    Form->SetStatusText(5, QStringLiteral("Версия прошивки: 1.05        "));
    Form->StatusBar1MouseMove({}, 10, 5);
    EXPECT_EQ(Form->StatusBar1->toolTip(),
              QStringLiteral("Источник питания: USB\nСостояние аккумулятора: Зарядка АКБ"));
    EXPECT_EQ(Form->StatusBar1->cursor().shape(), Qt::PointingHandCursor);
    Form->StatusBar1MouseMove({}, 200, 5);
    EXPECT_EQ(Form->StatusBar1->toolTip(), QStringLiteral("Полный объем: 1 МБайт"));
    EXPECT_EQ(Form->StatusBar1->cursor().shape(), Qt::PointingHandCursor);
    Form->StatusBar1MouseMove({}, 300, 5);
    EXPECT_EQ(Form->StatusBar1->toolTip(), QStringLiteral("Время на приборе: 09.12.2026 10:11:12"));
    EXPECT_EQ(Form->StatusBar1->cursor().shape(), Qt::ArrowCursor);
    Form->StatusBar1MouseMove({}, 1000, 5);
    EXPECT_EQ(Form->StatusBar1->toolTip(), QStringLiteral("Версия прошивки: 1.05        "));
}

struct TClickCase {
    int X;
    bool Connected;
    const char* DialogClass;  // nullptr: nothing opens
};

class StatusBarClick : public tavrel::test::MainFormFixture, public ::testing::WithParamInterface<TClickCase> {};

TEST_P(StatusBarClick, Click_OpensPowerOrMemoryDialogOnlyWhenConnected) {
    const TClickCase& c = GetParam();
    Form->show();
    Form->ShowConnectionState(c.Connected);
    QCursor::setPos(Form->StatusBar1->mapToGlobal(QPoint(c.X, 9)));
    TModalCloser closer;
    Form->StatusBar1Click();
    QApplication::processEvents();
    if (c.DialogClass == nullptr) {
        EXPECT_TRUE(closer.Classes.empty());
    } else {
        ASSERT_EQ(closer.Classes.size(), 1U);
        EXPECT_EQ(closer.Classes[0], QString::fromLatin1(c.DialogClass));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StatusBarClick,
                         ::testing::Values(TClickCase{10, false, nullptr}, TClickCase{200, false, nullptr},
                                           TClickCase{10, true, "tavrel::app::TFormInfoPower"},
                                           TClickCase{200, true, "tavrel::app::TFormMemoryInfo"},
                                           TClickCase{300, true, nullptr}, TClickCase{995, true, nullptr}));

}  // namespace
