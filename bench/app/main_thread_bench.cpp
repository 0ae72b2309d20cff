// How long the main thread stops answering while the main window is connected to the simulator in each of
// its fault modes: a zero-delay timer is posted every 10 ms and the longest gap between its firings is
// noted (stall = gap - 10 ms), with the most processor time the main thread spent inside one gap ("busy":
// its own work, apart from waiting for a core on a loaded machine) and its processor use. Each mode runs
// in a fresh window and module; the figures are medians over the runs. Target: no stall above 16 ms.
//
//   main_thread_bench [--seconds S] [--runs N] [--mode NAME]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include "app/grid_panel.h"
#include "app/main_form.h"
#include "app/qt_messaging_platform.h"
#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "link/xcom_port_module.h"
#include "main_thread_probe.h"
#include "simulator.h"

namespace {

using namespace std::chrono_literals;

constexpr double kTimerPeriodMs = 10;
constexpr double kStallTargetMs = 16;

struct TMode {
    const char* Name;
    std::function<void(tavrel::sim::TSimOptions&)> Set;
    bool StallOnceReading = false;  // the simulator stops reading once the frames show readings
};

const std::vector<TMode>& Modes() {
    static const std::vector<TMode> modes = {
        {"normal", [](auto&) {}},
        {"crc-error-every 3", [](auto& o) { o.CrcErrorEvery = 3; }},
        {"split", [](auto& o) { o.SplitFrames = true; }},
        {"noise 40", [](auto& o) { o.NoiseBytes = 40; }},
        {"refuse-modes", [](auto& o) { o.RefuseModes = true; }},
        {"silent", [](auto& o) { o.Silent = true; }},
        {"old-firmware", [](auto& o) { o.Firmware = "00.12"; }},
        {"hangup-after 2", [](auto& o) { o.HangUpAfterMs = 2000; }},
        {"flood (as fast as read)", [](auto& o) { o.Flood = true; }},
        {"flood at 115200 baud",
         [](auto& o) {
             o.Flood = true;
             o.Baud = 115200;
         }},
        {"stalled reader", [](auto&) {}, true},
    };
    return modes;
}

// Runs the event loop for `duration`, sleeping while there is nothing to do (the probe's processor time
// must not include a busy wait of this program's own).
void Pump(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() >= timeout.count()) {
            return false;
        }
        Pump(5ms);
    }
    return true;
}

struct TRun {
    double MaxGapMs = 0;
    double MaxBusyMs = 0;
    double CpuPercent = 0;
    double DisconnectMs = -1;  // -1: the session had already ended by itself
};

TRun RunMode(const TMode& mode, std::chrono::seconds seconds) {
    tavrel::sim::TSimOptions options;
    mode.Set(options);
    tavrel::sim::Simulator sim(options);
    const std::string slave = sim.OpenPty();
    if (slave.empty()) {
        std::fprintf(stderr, "no pseudo-terminal: %s\n", sim.LastError().c_str());
        std::exit(1);
    }
    sim.Start();
    TRun run;
    {
        tavrel::link::TXComPortModule module;
        module.SetAutoDetect(false);
        module.SetComPortName(slave);
        tavrel::app::TMainForm form(module);
        form.show();
        // The error and old-firmware boxes are answered as an operator would, a moment after they appear.
        QTimer closer;
        closer.setInterval(200);
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                box->accept();
            }
        });
        closer.start();
        const auto connected = [&form] { return form.ButtonRun->text() == QStringLiteral("Отключиться"); };
        form.ButtonRun->click();
        PumpUntil(connected, 3s);
        if (mode.StallOnceReading) {
            PumpUntil([&form] { return form.GP->ControlCount() > 0; }, 5s);
            sim.Stall();
        }
        tavrel::test_support::TMainThreadProbe probe;
        Pump(seconds);
        if (connected()) {
            QElapsedTimer timer;
            timer.start();
            form.ButtonRun->click();
            PumpUntil([&form] { return form.ButtonRun->text() == QStringLiteral("Подключиться"); }, 5s);
            run.DisconnectMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            Pump(100ms);
        }
        run.MaxGapMs = static_cast<double>(probe.MaxGap().count()) / 1000.0;
        run.MaxBusyMs = static_cast<double>(probe.MaxBusy().count()) / 1000.0;
        run.CpuPercent = probe.CpuShare() * 100.0;
        form.close();
    }
    sim.Stop();
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 5;
    int runs = 3;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (arg == "--mode" && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr, "usage: main_thread_bench [--seconds S] [--runs N] [--mode NAME]\n");
            return 2;
        }
    }
    if (seconds < 1 || runs < 1) {
        std::fprintf(stderr, "--seconds and --runs must be at least 1\n");
        return 2;
    }
    tavrel::bus::InitializeMessaging();
    int result = 0;
    {
        QApplication app(argc, argv);
        tavrel::bus::InstallMessagingPlatform(std::make_shared<tavrel::app::TQtMessagingPlatform>(
            [](const QString& text) { std::fprintf(stderr, "failure: %s\n", text.toUtf8().constData()); }));
        std::printf("Main window against the simulator, %d s per run, median of %d runs; target: stall <= %.0f ms\n",
                    seconds, runs, kStallTargetMs);
        std::printf("%-26s %11s %9s %9s %11s %14s\n", "mode", "max gap ms", "stall ms", "busy ms", "main CPU %",
                    "disconnect ms");
        for (const TMode& mode : Modes()) {
            if (!only.empty() && only != mode.Name) {
                continue;
            }
            std::vector<double> gaps;
            std::vector<double> busy;
            std::vector<double> cpu;
            std::vector<double> disconnect;
            for (int r = 0; r < runs; ++r) {
                const TRun run = RunMode(mode, std::chrono::seconds(seconds));
                gaps.push_back(run.MaxGapMs);
                busy.push_back(run.MaxBusyMs);
                cpu.push_back(run.CpuPercent);
                if (run.DisconnectMs >= 0) {
                    disconnect.push_back(run.DisconnectMs);
                }
            }
            const double gap = Median(gaps);
            const double stall = std::max(0.0, gap - kTimerPeriodMs);
            char disconnectText[32] = "ended by itself";
            if (!disconnect.empty()) {
                std::snprintf(disconnectText, sizeof disconnectText, "%.1f", Median(disconnect));
            }
            std::printf("%-26s %11.1f %9.1f %9.1f %11.2f %14s%s\n", mode.Name, gap, stall, Median(busy), Median(cpu),
                        disconnectText, stall <= kStallTargetMs ? "" : "  (above target)");
            std::fflush(stdout);
            if (stall > kStallTargetMs) {
                result = 1;
            }
        }
        tavrel::bus::InstallMessagingPlatform(nullptr);
    }
    if (std::FILE* load = std::fopen("/proc/loadavg", "re")) {
        char text[64] = {};
        if (std::fgets(text, sizeof text, load) != nullptr) {
            std::printf("load average at the end: %s", text);  // gaps include waiting for a core
        }
        std::fclose(load);
    }
    tavrel::bus::FinalizeMessaging();
    return result;
}
