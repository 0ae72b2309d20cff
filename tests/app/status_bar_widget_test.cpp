#include <utility>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include "app/status_bar.h"

namespace {

using tavrel::app::TStatusBar;

// Counts the events of one type that reach the object it filters.
class TEventCounter : public QObject {
  public:
    TEventCounter(QEvent::Type type, int& count) : FType(type), FCount(count) {}
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == FType) {
            ++FCount;
        }
        return false;
    }

  private:
    QEvent::Type FType;
    int& FCount;
};

// The main window's six panels: 130, 130, 220, 150, 180, 180 (sums 130, 260, 480, 630, 810, 990).
class StatusBarHitTest : public ::testing::TestWithParam<std::pair<int, int>> {
  protected:
    StatusBarHitTest() {
        for (int width : {130, 130, 220, 150, 180, 180}) {
            Bar.AddPanel(width, Qt::AlignLeft, false);
        }
        Bar.resize(1008, 19);
    }
    TStatusBar Bar;
};

TEST_P(StatusBarHitTest, HitTest_FirstPanelWhoseRunningSumExceedsX) {
    EXPECT_EQ(Bar.HitTest(GetParam().first), GetParam().second) << "x = " << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(Table, StatusBarHitTest,
                         ::testing::Values(std::pair{0, 0}, std::pair{129, 0}, std::pair{130, 1}, std::pair{259, 1},
                                           std::pair{260, 2}, std::pair{479, 2}, std::pair{480, 3}, std::pair{630, 4},
                                           std::pair{809, 4}, std::pair{810, 5}, std::pair{989, 5}, std::pair{990, 5},
                                           std::pair{5000, 5}, std::pair{-3, 0}));

TEST(StatusBarWidget, HitTest_NothingInSingleTextModeOrWithoutPanels) {
    TStatusBar empty;
    EXPECT_EQ(empty.HitTest(10), -1);
    TStatusBar simple;
    simple.AddPanel(100, Qt::AlignLeft, false);
    simple.SetSimplePanel(true);
    EXPECT_EQ(simple.HitTest(10), -1);
}

TEST(StatusBarWidget, PanelText_IndexOutsideIsIgnored) {
    TStatusBar bar;
    bar.AddPanel(100, Qt::AlignLeft, false);
    bar.AddPanel(100, Qt::AlignLeft, false);
    bar.SetPanelText(1, QStringLiteral("Серийный номер: 5"));
    bar.SetPanelText(2, QStringLiteral("lost"));
    bar.SetPanelText(-1, QStringLiteral("lost"));
    EXPECT_EQ(bar.Panel(0).Text, QString());
    EXPECT_EQ(bar.Panel(1).Text, QStringLiteral("Серийный номер: 5"));
}

// Every answer sets the instrument's clock again; the bar repaints only when a text changes.
TEST(StatusBarWidget, PanelText_RepaintsOnlyOnChange) {
    TStatusBar bar;
    bar.AddPanel(200, Qt::AlignLeft, false);
    bar.resize(200, 19);
    bar.show();
    int paints = 0;
    TEventCounter counter(QEvent::Paint, paints);
    bar.installEventFilter(&counter);
    const auto settle = [&paints] {
        // Long enough for a requested repaint to happen; a repaint that was not requested never comes.
        QDeadlineTimer deadline(300);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return std::exchange(paints, 0);
    };
    settle();
    bar.SetPanelText(0, QStringLiteral("Время на приборе: 09.12.2026 10:11:12"));
    EXPECT_GE(settle(), 1);
    bar.SetPanelText(0, QStringLiteral("Время на приборе: 09.12.2026 10:11:12"));
    EXPECT_EQ(settle(), 0);
    bar.SetPanelText(0, QStringLiteral("Время на приборе: 09.12.2026 10:11:13"));
    EXPECT_GE(settle(), 1);
    EXPECT_EQ(bar.Panel(0).Text, QStringLiteral("Время на приборе: 09.12.2026 10:11:13"));
}

TEST(StatusBarWidget, OwnerDrawnPanels_AreHandedTheirRectanglesInOrder) {
    TStatusBar bar;
    bar.AddPanel(130, Qt::AlignLeft, true);
    bar.AddPanel(130, Qt::AlignLeft, true);
    bar.AddPanel(220, Qt::AlignLeft, false);
    bar.resize(600, 19);
    std::vector<std::pair<int, QRect>> drawn;
    QObject::connect(&bar, &TStatusBar::DrawPanel,
                     [&drawn](QPainter*, int panel, const QRect& rect) { drawn.emplace_back(panel, rect); });
    QImage image(bar.size(), QImage::Format_ARGB32);
    bar.render(&image);
    ASSERT_EQ(drawn.size(), 2U);
    EXPECT_EQ(drawn[0].first, 0);
    EXPECT_EQ(drawn[1].first, 1);
    EXPECT_EQ(drawn[0].second.left(), 1);
    EXPECT_EQ(drawn[1].second.left(), 131);
    EXPECT_EQ(drawn[0].second.width(), 128);
}

}  // namespace
