// The protocol of a long session (60 points) laid out and written as PDF, and its CSV.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include "app/protocol_pdf.h"
#include "verify/arithmetic.h"
#include "verify/plan.h"
#include "verify/report.h"
#include "verify/sequence.h"

namespace {

namespace verify = tavrel::verify;

constexpr int kPoints = 60;

// 60 points over every channel's ranges, accepted with a limit, a few failing and one skipped.
verify::ProtocolData LongProtocol() {
    verify::Plan plan = verify::BuiltInTemplate();
    plan.points.resize(kPoints);
    verify::Sequence sequence(plan);
    const verify::Limit limit{verify::Limit::Form::Relative, 0.1, 0.05, 0};
    for (int i = 0; i < kPoints; ++i) {
        const verify::TestPoint& point = sequence.currentPoint();
        if (i == 17) {
            sequence.Skip("калибратор занят", "2026-12-10 12:00:00");
            continue;
        }
        const double offset = (i % 7 == 0 ? 40 : 2) * verify::Resolution(point);
        const double values[] = {point.nominal + offset, point.nominal + offset * 1.1, point.nominal + offset * 0.9};
        sequence.Accept(verify::Evaluate(point, values, limit), "2026-12-10 12:00:00");
    }
    verify::SessionInfo info;
    info.serial = "1234";
    info.production = "07.2021";
    info.firmware = "01.05";
    info.operatorName = "Иванов И. И.";
    info.calibratorType = "Fluke 5522A";
    info.calibratorSerial = "4711";
    info.temperature = 21.5;
    info.humidity = 45;
    info.dateTime = "10.12.2026 12:00";
    return verify::BuildProtocol(info, sequence);
}

void BM_ProtocolPdf60Points(benchmark::State& state) {
    const verify::ProtocolData protocol = LongProtocol();
    const QString path = QDir::temp().filePath(QStringLiteral("tavrel-protocol-bench.pdf"));
    for (auto _ : state) {
        const QString error = tavrel::app::WriteProtocolPdf(protocol, path);
        if (!error.isEmpty()) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
    }
    state.counters["bytes"] = static_cast<double>(QFileInfo(path).size());
}
BENCHMARK(BM_ProtocolPdf60Points)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProtocolCsv60Points(benchmark::State& state) {
    const verify::ProtocolData protocol = LongProtocol();
    const QString path = QDir::temp().filePath(QStringLiteral("tavrel-protocol-bench.csv"));
    for (auto _ : state) {
        benchmark::DoNotOptimize(tavrel::app::WriteProtocolCsv(protocol, path));
    }
}
BENCHMARK(BM_ProtocolCsv60Points)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // Fonts and the PDF writer need a GUI application; no window is shown.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
