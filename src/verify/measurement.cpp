#include "verify/measurement.h"

#include <cmath>
#include <utility>

#include "verify/arithmetic.h"

namespace tavrel::verify {

namespace {

// The device model stores channel 3's current range as 255.
constexpr double kReportedCurrentRange = 255;
// Shunts closer than this are the same entry of the table (as the settings dialog matches them).
constexpr double kShuntTolerance = 0.001;

}  // namespace

bool Matches(const TestPoint& point, const Reading& reading) {
    if (reading.channel != point.channel || reading.layout != point.layout) {
        return false;
    }
    if (point.layout == Layout::IppCurrent) {
        return std::trunc(reading.range) == kReportedCurrentRange;
    }
    if (std::fabs(reading.range - point.range) > 1e-6 * point.range) {
        return false;
    }
    // Channel 3 on 0.1 V shows a current once a shunt is set, so the shunt is part of the range.
    if (point.channel == 3 && point.range < 0.5) {
        return std::fabs(reading.shunt - point.shunt) < kShuntTolerance;
    }
    return true;
}

PointMeasurer::PointMeasurer(TestPoint point) : point_(std::move(point)) {}

PointMeasurer::Fed PointMeasurer::Feed(const Reading& reading) {
    if (reading.channel != point_.channel) {
        return Fed::OtherChannel;
    }
    if (state_ == State::Done) {
        return Fed::AlreadyDone;
    }
    if (!Matches(point_, reading)) {
        Restart();
        return Fed::Mismatch;
    }
    const double v = ToPointUnit(point_, reading.value);
    if (state_ == State::Averaging) {
        if (std::fabs(v - *centre_) > point_.band * (1 + 1e-9)) {
            Restart();
            window_.push_back(v);
            return Fed::Restarted;
        }
        averaged_.push_back(v);
        if (static_cast<int>(averaged_.size()) >= point_.readings) {
            state_ = State::Done;
            return Fed::Complete;
        }
        return Fed::Averaged;
    }
    window_.push_back(v);
    if (window_.size() > static_cast<std::size_t>(kStabilityReadings)) {
        window_.erase(window_.begin());
    }
    if (window_.size() == static_cast<std::size_t>(kStabilityReadings) && IsStable(window_, point_.band)) {
        centre_ = Mean(window_);
        state_ = State::Averaging;
    }
    return Fed::Waiting;
}

bool PointMeasurer::Disconnect() {
    const bool dropped = state_ != State::Done && (!window_.empty() || !averaged_.empty());
    if (state_ != State::Done) {
        Restart();
    }
    return dropped;
}

void PointMeasurer::Restart() {
    state_ = State::WaitingStable;
    window_.clear();
    averaged_.clear();
    centre_.reset();
}

}  // namespace tavrel::verify
