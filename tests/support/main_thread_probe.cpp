#include "main_thread_probe.h"

#include <algorithm>

namespace tavrel::test_support {

TMainThreadProbe::TMainThreadProbe() {
    FTimer.setInterval(10);
    FTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&FTimer, &QTimer::timeout, this, [this] { QTimer::singleShot(0, this, [this] { Fired(); }); });
    Restart();
    FTimer.start();
}

void TMainThreadProbe::Restart() {
    FStart = Clock::now();
    FLast = FStart;
    FCpuStart = ThreadCpu();
    FCpuLast = FCpuStart;
    FMaxGap = {};
    FMaxBusy = {};
}

void TMainThreadProbe::Fired() {
    const Clock::time_point now = Clock::now();
    const auto gap = std::chrono::duration_cast<std::chrono::microseconds>(now - FLast);
    if (gap > FMaxGap) {
        FMaxGap = gap;
    }
    FLast = now;
    const std::chrono::nanoseconds cpu = ThreadCpu();
    FMaxBusy = std::max(FMaxBusy, std::chrono::duration_cast<std::chrono::microseconds>(cpu - FCpuLast));
    FCpuLast = cpu;
}

double TMainThreadProbe::CpuShare() const {
    const auto wall = Clock::now() - FStart;
    if (wall <= Clock::duration::zero()) {
        return 0;
    }
    return std::chrono::duration<double>(ThreadCpu() - FCpuStart).count() / std::chrono::duration<double>(wall).count();
}

std::chrono::nanoseconds TMainThreadProbe::ThreadCpu() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace tavrel::test_support
