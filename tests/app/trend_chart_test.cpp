// The trend keeps one minute of readings and spans its axis over readings and band.
#include "app/trend_chart.h"

#include <QValueAxis>
#include <gtest/gtest.h>

namespace {

using tavrel::app::TTrendChart;

QValueAxis* AxisY(TTrendChart& chart) {
    return qobject_cast<QValueAxis*>(chart.chart()->axes(Qt::Vertical).front());
}

TEST(TrendChart, KeepsTheLastMinuteOnly) {
    TTrendChart chart;
    for (int t = 0; t <= 100; ++t) {
        chart.AddReading(1000.0 + t, 0.9);
    }
    // Readings at 40 … 100 s lie within a minute of the newest.
    EXPECT_EQ(chart.PointCount(), 61);
    chart.Clear();
    EXPECT_EQ(chart.PointCount(), 0);
}

TEST(TrendChart, AxisHoldsReadingsAndBand) {
    TTrendChart chart;
    chart.AddReading(0, 5.2);
    chart.AddReading(1, 5.21);
    chart.SetBand(5.2, 0.05);
    QValueAxis* axis = AxisY(chart);
    EXPECT_LE(axis->min(), 5.15);
    EXPECT_GE(axis->max(), 5.25);
    // A flat line far from zero still gets a visible span around it.
    TTrendChart flat;
    flat.AddReading(0, 100);
    flat.AddReading(1, 100);
    EXPECT_LT(AxisY(flat)->min(), 100);
    EXPECT_GT(AxisY(flat)->max(), 100);
}

}  // namespace
