#include "app/trend_chart.h"

#include <algorithm>
#include <cmath>

#include <QAreaSeries>
#include <QChart>
#include <QLineSeries>
#include <QValueAxis>

#include "app/ui_support.h"

namespace tavrel::app {

// Given its chart at construction: the default one QChartView(parent) makes would be left to leak by setChart.
TTrendChart::TTrendChart(QWidget* parent) : QChartView(new QChart(), parent) {
    setObjectName(QStringLiteral("TrendChart"));
    QChart* chart = this->chart();
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);

    FUpper = new QLineSeries(chart);
    FLower = new QLineSeries(chart);
    FBand = new QAreaSeries(FUpper, FLower);
    FBand->setColor(QColor(0x43, 0xa0, 0x47, 60));
    FBand->setBorderColor(QColor(0x43, 0xa0, 0x47));
    FReadings = new QLineSeries(chart);
    FReadings->setColor(QColor(0x0d, 0x47, 0xa1));
    FReadings->setPointsVisible(true);
    QPen pen = FReadings->pen();
    pen.setWidth(2);
    FReadings->setPen(pen);
    chart->addSeries(FBand);
    chart->addSeries(FReadings);

    FAxisX = new QValueAxis(chart);
    FAxisX->setRange(-kWindowSeconds, 0);
    FAxisX->setTickCount(7);
    FAxisX->setLabelFormat(QStringLiteral("%.0f"));
    FAxisX->setTitleText(QStringLiteral("с"));
    FAxisY = new QValueAxis(chart);
    FAxisY->setLabelFormat(QStringLiteral("%.4f"));
    const QFont font = SansFont(11);
    FAxisX->setLabelsFont(font);
    FAxisY->setLabelsFont(font);
    FAxisX->setTitleFont(font);
    FAxisY->setTitleFont(font);
    chart->addAxis(FAxisX, Qt::AlignBottom);
    chart->addAxis(FAxisY, Qt::AlignLeft);
    for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(FBand), static_cast<QAbstractSeries*>(FReadings)}) {
        series->attachAxis(FAxisX);
        series->attachAxis(FAxisY);
    }
    setRenderHint(QPainter::Antialiasing);
    Rescale();
}

void TTrendChart::AddReading(double time, double value) {
    // The x axis is "seconds before the newest reading": shift what is there by the time that passed.
    const double shift = FReadings->count() == 0 ? 0 : time - FNow;
    FNow = time;
    QList<QPointF> points = FReadings->points();
    for (QPointF& p : points) {
        p.setX(p.x() - shift);
    }
    points.erase(std::remove_if(points.begin(), points.end(), [](const QPointF& p) { return p.x() < -kWindowSeconds; }),
                 points.end());
    points.append(QPointF(0, value));
    FReadings->replace(points);
    Rescale();
}

void TTrendChart::SetBand(std::optional<double> centre, double halfWidth) {
    FCentre = centre;
    FHalfWidth = halfWidth;
    Rescale();
}

void TTrendChart::SetUnit(const QString& unit) {
    FAxisY->setTitleText(unit);
}

void TTrendChart::Clear() {
    FReadings->clear();
    FCentre.reset();
    Rescale();
}

int TTrendChart::PointCount() const {
    return static_cast<int>(FReadings->count());
}

void TTrendChart::Rescale() {
    if (FCentre) {
        FUpper->replace({QPointF(-kWindowSeconds, *FCentre + FHalfWidth), QPointF(0, *FCentre + FHalfWidth)});
        FLower->replace({QPointF(-kWindowSeconds, *FCentre - FHalfWidth), QPointF(0, *FCentre - FHalfWidth)});
    } else {
        FUpper->clear();
        FLower->clear();
    }
    double low = 0;
    double high = 0;
    bool any = false;
    const auto take = [&](double v) {
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    };
    for (const QPointF& p : FReadings->points()) {
        take(p.y());
    }
    if (FCentre) {
        take(*FCentre - FHalfWidth);
        take(*FCentre + FHalfWidth);
    }
    if (!any) {
        FAxisY->setRange(-1, 1);
        return;
    }
    // A flat line still gets a visible span: at least the band, or a little around the value.
    const double span = std::max({high - low, 2 * FHalfWidth, std::abs(high) * 1e-3, 1e-6});
    const double centre = (high + low) / 2;
    FAxisY->setRange(centre - span * 0.75, centre + span * 0.75);
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(span))) + 2, 0, 6);
    FAxisY->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

}  // namespace tavrel::app
