#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "verify/arithmetic.h"
#include "verify/plan.h"

namespace tavrel::verify {

struct PointRecord {
    enum class Status : std::uint8_t { Pending, Accepted, Skipped };
    Status status = Status::Pending;
    Outcome outcome;         // when Accepted
    std::string skipReason;  // when Skipped
    std::string time;        // when it was accepted or skipped, as the caller writes it
    bool operator==(const PointRecord&) const = default;
};

// JSON of one record, as the journal keeps it.
std::string RecordToJson(const PointRecord& record);
std::optional<PointRecord> RecordFromJson(std::string_view json);

// The engineer's way through the plan: current point, next, back, repeat, skip with a reason.
class Sequence {
  public:
    explicit Sequence(Plan plan);

    const Plan& plan() const { return plan_; }
    const std::vector<PointRecord>& records() const { return records_; }
    // Index of the current point; equals the number of points once every point is done.
    std::size_t current() const { return current_; }
    bool finished() const { return current_ >= plan_.points.size(); }
    const TestPoint& currentPoint() const;  // not when finished()

    // Records the current point and moves to the next pending one.
    void Accept(const Outcome& outcome, std::string time);
    // False (and nothing changes) without a reason.
    bool Skip(std::string reason, std::string time);
    // Moves without measuring; false at either end.
    bool Next();
    bool Back();
    // Makes the point recorded last current again so it is measured anew (its record stays until replaced).
    bool Repeat();
    // Restores a record read back from the journal; the current point becomes the first pending one.
    void Restore(std::size_t index, PointRecord record);

  private:
    void MoveToNextPending(std::size_t from);

    Plan plan_;
    std::vector<PointRecord> records_;
    std::size_t current_ = 0;
    std::optional<std::size_t> lastRecorded_;
};

// Fail if any point failed; Pass only when every point is accepted with a Pass; None otherwise
// (a point without a limit, skipped or not yet measured).
Verdict OverallVerdict(const std::vector<PointRecord>& records);

}  // namespace tavrel::verify
