#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "verify/plan.h"

namespace tavrel::verify {

// One channel's reading from a measurement answer, with what the instrument reported beside it.
struct Reading {
    double time = 0;               // seconds on any monotonic clock
    int channel = 1;               // 1..3
    double value = 0;              // as reported: volts, or mA on channel 3's current range
    double range = 0;              // as the device model stores it (0.1, 1, 10, 100; 255 for the current range)
    std::optional<Layout> layout;  // the layout the instrument has confirmed; empty while none is
    double shunt = 0;              // channel 3's shunt as reported, amperes
};

// Readings in a row that must lie within the band before averaging starts.
inline constexpr int kStabilityReadings = 3;

// The reading matches the point's channel, layout, range and shunt.
bool Matches(const TestPoint& point, const Reading& reading);

// Watches the readings of one point: waits until the last kStabilityReadings stay within ±band of their
// mean, then averages the next `readings` ones. A reading that leaves the band of the stable run, or one
// taken under another range, layout or shunt, starts the wait again; a disconnect discards an
// incomplete average.
class PointMeasurer {
  public:
    enum class State : std::uint8_t { WaitingStable, Averaging, Done };
    enum class Fed : std::uint8_t {
        OtherChannel,  // not this point's channel: ignored
        Mismatch,      // this channel under another range, layout or shunt: not used, wait restarts
        Waiting,       // used for the stability check
        Restarted,     // left the band while averaging: the average starts again
        Averaged,      // taken into the average
        Complete,      // the average is complete (State::Done)
        AlreadyDone,   // the point is measured already: ignored
    };

    explicit PointMeasurer(TestPoint point);

    Fed Feed(const Reading& reading);
    // The line is gone: an incomplete average is dropped. True when something was dropped.
    bool Disconnect();
    // Back to waiting for stability, dropping everything collected.
    void Restart();

    State state() const { return state_; }
    const TestPoint& point() const { return point_; }
    // Readings of the current stable run / average, in the point's unit.
    const std::vector<double>& window() const { return window_; }
    const std::vector<double>& averaged() const { return averaged_; }
    // Centre of the stability band once stable (mean of the stable run).
    std::optional<double> bandCentre() const { return centre_; }

  private:
    TestPoint point_;
    State state_ = State::WaitingStable;
    std::vector<double> window_;
    std::vector<double> averaged_;
    std::optional<double> centre_;
};

}  // namespace tavrel::verify
