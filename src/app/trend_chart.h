#pragma once

#include <optional>

#include <QChartView>

class QAreaSeries;
class QLineSeries;
class QValueAxis;

namespace tavrel::app {

// The last minute of one channel's readings with the stability band (±band around its centre).
class TTrendChart : public QChartView {
    Q_OBJECT

  public:
    static constexpr double kWindowSeconds = 60;

    explicit TTrendChart(QWidget* parent = nullptr);

    // `time` in seconds on a monotonic clock; older points than a minute before it are dropped.
    void AddReading(double time, double value);
    // Band drawn around `centre`; nothing drawn without a centre.
    void SetBand(std::optional<double> centre, double halfWidth);
    void SetUnit(const QString& unit);
    void Clear();

    int PointCount() const;

  private:
    void Rescale();

    QLineSeries* FReadings;
    QLineSeries* FUpper;
    QLineSeries* FLower;
    QAreaSeries* FBand;
    QValueAxis* FAxisX;
    QValueAxis* FAxisY;
    std::optional<double> FCentre;
    double FHalfWidth = 0;
    double FNow = 0;
};

}  // namespace tavrel::app
