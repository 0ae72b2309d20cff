#pragma once

#include <chrono>
#include <ctime>

#include <QObject>
#include <QTimer>

namespace tavrel::test_support {

// Watches whether the main thread keeps processing events: every 10 ms it posts a zero-delay timer and
// notes the longest gap between two firings of those timers (about 10 ms while the thread is free), and
// the main thread's processor time meanwhile. Create and read it on the main thread.
class TMainThreadProbe : public QObject {
  public:
    TMainThreadProbe();

    // Starts afresh: the gap and the processor time count from now.
    void Restart();
    std::chrono::microseconds MaxGap() const { return FMaxGap; }
    // The most processor time the main thread spent between two firings: the part of a gap that is the
    // thread's own work, apart from waiting for a core on a loaded machine.
    std::chrono::microseconds MaxBusy() const { return FMaxBusy; }
    // The main thread's processor time since Restart, as a share of the time passed (1 = one whole core).
    double CpuShare() const;

  private:
    using Clock = std::chrono::steady_clock;
    void Fired();
    static std::chrono::nanoseconds ThreadCpu();

    QTimer FTimer;
    Clock::time_point FStart;
    Clock::time_point FLast;
    std::chrono::nanoseconds FCpuStart{0};
    std::chrono::nanoseconds FCpuLast{0};
    std::chrono::microseconds FMaxGap{0};
    std::chrono::microseconds FMaxBusy{0};
};

}  // namespace tavrel::test_support
