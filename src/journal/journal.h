#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

struct sqlite3;

// The journal of verification sessions: one SQLite file per user.
namespace tavrel::journal {

// A failure the caller shows to the user: always a Russian sentence.
struct Error {
    std::string message;
};

// A value or the failure that stopped it.
template <class T>
class Result {
  public:
    Result(T value) : v_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
    Result(Error error) : v_(std::move(error)) {}  // NOLINT(google-explicit-constructor)
    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() & { return std::get<0>(v_); }
    const T& value() const& { return std::get<0>(v_); }
    // From a temporary the value is moved out, so `for (x : Search(q).value())` does not dangle.
    T value() && { return std::get<0>(std::move(v_)); }
    const std::string& error() const { return std::get<1>(v_).message; }

  private:
    std::variant<T, Error> v_;
};

struct Done {};
using Status = Result<Done>;

// Schema version this build writes; older files are migrated step by step when opened for writing.
inline constexpr int kSchemaVersion = 2;

struct SessionHeader {
    std::string serial;      // instrument identity as read from it
    std::string production;  // "07.2021"
    std::string firmware;
    std::string operatorName;
    std::string calibratorType;
    std::string calibratorSerial;
    std::optional<double> temperature;  // °C
    std::optional<double> humidity;     // %
    std::string planJson;               // the plan the session follows
    std::string startedAt;              // local time "YYYY-MM-DD HH:MM:SS"
    bool operator==(const SessionHeader&) const = default;
};

// One accepted or skipped point; `data` is the record's JSON written by the verification library.
struct PointEntry {
    int index = 0;  // position in the plan
    std::string data;
    bool operator==(const PointEntry&) const = default;
};

struct SessionSummary {
    std::int64_t id = 0;
    std::string serial;
    std::string operatorName;
    std::string startedAt;
    std::string finishedAt;  // empty while unfinished
    std::string verdict;     // overall verdict text; empty while unfinished or without one
    int points = 0;          // points recorded
};

struct StoredSession {
    std::int64_t id = 0;
    SessionHeader header;
    std::string finishedAt;
    std::string verdict;
    std::vector<PointEntry> points;  // by index
    bool finished() const { return !finishedAt.empty(); }
    // The first plan index without a recorded point: where an unfinished session continues.
    int NextPointIndex() const;
};

struct SearchQuery {
    std::string serialPrefix;  // empty: any
    std::string dateFrom;      // "YYYY-MM-DD", inclusive; empty: open
    std::string dateTo;        // "YYYY-MM-DD", inclusive; empty: open
    int limit = 500;
};

class Journal {
  public:
    enum class Mode : std::uint8_t { ReadWrite, ReadOnly };

    // Opens (or, for writing, creates) the file, migrating an older schema when writing.
    static Result<std::unique_ptr<Journal>> Open(const std::string& path, Mode mode = Mode::ReadWrite);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Writes a new session; returns its id.
    Result<std::int64_t> BeginSession(const SessionHeader& header);
    // Writes (or replaces) one point in its own transaction, durable when this returns.
    Status SavePoint(std::int64_t session, const PointEntry& point);
    Status FinishSession(std::int64_t session, const std::string& finishedAt, const std::string& verdict);

    // Newest first.
    Result<std::vector<SessionSummary>> Search(const SearchQuery& query) const;
    Result<std::vector<SessionSummary>> Unfinished() const;
    Result<StoredSession> Load(std::int64_t session) const;

    int SchemaVersion() const;

  private:
    Journal(sqlite3* db, std::string path);
    Status Migrate(int from);
    // Runs a query of kSummaryColumns with text arguments bound from ?1.
    Result<std::vector<SessionSummary>> Summaries(const std::string& sql, const std::vector<std::string>& args,
                                                  const char* action) const;
    Error Fail(int rc, const char* action) const;

    sqlite3* db_;
    std::string path_;
};

}  // namespace tavrel::journal
