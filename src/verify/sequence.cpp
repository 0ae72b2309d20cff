#include "verify/sequence.h"

#include <utility>

#include <nlohmann/json.hpp>

namespace tavrel::verify {

using nlohmann::json;

namespace {

const char* StatusName(PointRecord::Status status) {
    switch (status) {
        case PointRecord::Status::Pending:
            return "pending";
        case PointRecord::Status::Accepted:
            return "accepted";
        case PointRecord::Status::Skipped:
            return "skipped";
    }
    return "pending";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::None:
            return "none";
        case Verdict::Pass:
            return "pass";
        case Verdict::Fail:
            return "fail";
    }
    return "none";
}

}  // namespace

std::string RecordToJson(const PointRecord& r) {
    json j{{"status", StatusName(r.status)}, {"time", r.time}};
    if (r.status == PointRecord::Status::Skipped) {
        j["reason"] = r.skipReason;
    }
    if (r.status == PointRecord::Status::Accepted) {
        const Outcome& o = r.outcome;
        j["outcome"] = {{"count", o.count},
                        {"mean", o.mean},
                        {"std_dev", o.stdDev},
                        {"error", o.error},
                        {"error_percent", o.errorPercent},
                        {"limit", o.limit ? json(*o.limit) : json(nullptr)},
                        {"verdict", VerdictName(o.verdict)},
                        {"decimals", o.decimals},
                        {"percent_decimals", o.percentDecimals}};
    }
    return j.dump();
}

std::optional<PointRecord> RecordFromJson(std::string_view text) {
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        return std::nullopt;
    }
    try {
        PointRecord r;
        const std::string status = j.at("status").get<std::string>();
        r.time = j.value("time", std::string());
        if (status == "skipped") {
            r.status = PointRecord::Status::Skipped;
            r.skipReason = j.at("reason").get<std::string>();
        } else if (status == "accepted") {
            r.status = PointRecord::Status::Accepted;
            const json& o = j.at("outcome");
            r.outcome.count = o.at("count").get<int>();
            r.outcome.mean = o.at("mean").get<double>();
            r.outcome.stdDev = o.at("std_dev").get<double>();
            r.outcome.error = o.at("error").get<double>();
            r.outcome.errorPercent = o.at("error_percent").get<double>();
            if (!o.at("limit").is_null()) {
                r.outcome.limit = o.at("limit").get<double>();
            }
            const std::string verdict = o.at("verdict").get<std::string>();
            r.outcome.verdict = verdict == "pass" ? Verdict::Pass : verdict == "fail" ? Verdict::Fail : Verdict::None;
            r.outcome.decimals = o.at("decimals").get<int>();
            r.outcome.percentDecimals = o.at("percent_decimals").get<int>();
        } else if (status != "pending") {
            return std::nullopt;
        }
        return r;
    } catch (const json::exception&) {
        // A record written by another build or damaged by hand: the caller treats the point as not measured.
        return std::nullopt;
    }
}

Sequence::Sequence(Plan plan) : plan_(std::move(plan)), records_(plan_.points.size()) {}

const TestPoint& Sequence::currentPoint() const {
    return plan_.points.at(current_);
}

void Sequence::Accept(const Outcome& outcome, std::string time) {
    if (finished()) {
        return;
    }
    records_[current_] = PointRecord{PointRecord::Status::Accepted, outcome, {}, std::move(time)};
    lastRecorded_ = current_;
    MoveToNextPending(current_ + 1);
}

bool Sequence::Skip(std::string reason, std::string time) {
    if (finished() || reason.find_first_not_of(" \t\r\n") == std::string::npos) {
        return false;
    }
    records_[current_] = PointRecord{PointRecord::Status::Skipped, {}, std::move(reason), std::move(time)};
    lastRecorded_ = current_;
    MoveToNextPending(current_ + 1);
    return true;
}

bool Sequence::Next() {
    if (finished()) {
        return false;
    }
    ++current_;
    return true;
}

bool Sequence::Back() {
    if (current_ == 0) {
        return false;
    }
    --current_;
    return true;
}

bool Sequence::Repeat() {
    if (!lastRecorded_) {
        return false;
    }
    current_ = *lastRecorded_;
    return true;
}

void Sequence::Restore(std::size_t index, PointRecord record) {
    if (index >= records_.size()) {
        return;
    }
    records_[index] = std::move(record);
    MoveToNextPending(0);
}

// The first pending point at or after `from`, wrapping round to earlier ones; past the end when none is left.
void Sequence::MoveToNextPending(std::size_t from) {
    const std::size_t n = records_.size();
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = (from + k) % n;
        if (records_[i].status == PointRecord::Status::Pending) {
            current_ = i;
            return;
        }
    }
    current_ = n;
}

Verdict OverallVerdict(const std::vector<PointRecord>& records) {
    bool complete = !records.empty();
    for (const auto& r : records) {
        if (r.status == PointRecord::Status::Accepted && r.outcome.verdict == Verdict::Fail) {
            return Verdict::Fail;
        }
        if (r.status != PointRecord::Status::Accepted || r.outcome.verdict != Verdict::Pass) {
            complete = false;
        }
    }
    return complete ? Verdict::Pass : Verdict::None;
}

}  // namespace tavrel::verify
