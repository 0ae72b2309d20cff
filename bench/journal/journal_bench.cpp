// The journal at the size of years of use: 10,000 sessions of 60 points each.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sqlite3.h>
#include <string>

#include <benchmark/benchmark.h>

#include "journal/journal.h"

namespace {

using tavrel::journal::Journal;
using tavrel::journal::PointEntry;
using tavrel::journal::SearchQuery;

constexpr int kSessions = 10000;
constexpr int kInstruments = 2000;  // five sessions per instrument
constexpr int kPointsPerSession = 60;

// A point record of the size the verification library writes.
const std::string kPointData =
    R"({"outcome":{"count":5,"decimals":4,"error":0.0003,"error_percent":0.03,"limit":0.0005,"mean":0.9003,)"
    R"("percent_decimals":2,"std_dev":0.0001,"verdict":"pass"},"status":"accepted","time":"2026-12-10 12:00:00"})";

std::string Serial(int instrument) {
    return std::to_string(10000 + instrument);
}

// Builds the file once: the schema through the journal, the rows in one transaction straight into SQLite
// (through the journal every session would pay its own synced commit).
const std::string& JournalFile() {
    static const std::string path = [] {
        const std::string file = (std::filesystem::temp_directory_path() / "tavrel-journal-bench.sqlite").string();
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(file + suffix);
        }
        if (!Journal::Open(file).ok()) {
            std::abort();
        }
        sqlite3* db = nullptr;
        sqlite3_open(file.c_str(), &db);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt* session = nullptr;
        sqlite3_stmt* point = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO sessions(id, serial, production, firmware, operator, calibrator_type,"
                           " calibrator_serial, temperature, plan, started_at, finished_at, verdict)"
                           " VALUES(?1, ?2, '07.2021', '01.05', 'Иванов И. И.', 'Fluke 5522A', '98765', 21.5,"
                           " '{}', ?3, ?3, 'годен')",
                           -1, &session, nullptr);
        sqlite3_prepare_v2(db, "INSERT INTO points(session, idx, data) VALUES(?1, ?2, ?3)", -1, &point, nullptr);
        for (int s = 1; s <= kSessions; ++s) {
            char started[32];
            std::snprintf(started, sizeof started, "20%02d-%02d-%02d 10:00:00", 20 + s % 7, 1 + s % 12, 1 + s % 28);
            const std::string serial = Serial(s % kInstruments);
            sqlite3_bind_int64(session, 1, s);
            sqlite3_bind_text(session, 2, serial.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(session, 3, started, -1, SQLITE_TRANSIENT);
            sqlite3_step(session);
            sqlite3_reset(session);
            for (int i = 0; i < kPointsPerSession; ++i) {
                sqlite3_bind_int64(point, 1, s);
                sqlite3_bind_int(point, 2, i);
                sqlite3_bind_text(point, 3, kPointData.c_str(), -1, SQLITE_STATIC);
                sqlite3_step(point);
                sqlite3_reset(point);
            }
        }
        sqlite3_finalize(session);
        sqlite3_finalize(point);
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        return file;
    }();
    return path;
}

void Search(benchmark::State& state, const SearchQuery& query) {
    auto opened = Journal::Open(JournalFile(), Journal::Mode::ReadOnly);
    if (!opened.ok()) {
        state.SkipWithError(opened.error().c_str());
        return;
    }
    std::size_t found = 0;
    for (auto _ : state) {
        auto result = opened.value()->Search(query);
        found = result.ok() ? result.value().size() : 0;
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = static_cast<double>(found);
}

// One instrument's serial number in an open journal: what the "Журнал" search does.
void BM_SearchBySerial(benchmark::State& state) {
    Search(state, SearchQuery{Serial(1234), "", "", 500});
}
BENCHMARK(BM_SearchBySerial)->Unit(benchmark::kMillisecond);

// A prefix that matches a tenth of the instruments (500 sessions returned, the list's cap).
void BM_SearchBySerialPrefix(benchmark::State& state) {
    Search(state, SearchQuery{"102", "", "", 500});
}
BENCHMARK(BM_SearchBySerialPrefix)->Unit(benchmark::kMillisecond);

void BM_SearchByDate(benchmark::State& state) {
    Search(state, SearchQuery{"", "2023-03-01", "2023-03-31", 500});
}
BENCHMARK(BM_SearchByDate)->Unit(benchmark::kMillisecond);

// One accepted point written and synced, as after every "Измерить".
void BM_SavePoint(benchmark::State& state) {
    const std::string file = (std::filesystem::temp_directory_path() / "tavrel-journal-bench-save.sqlite").string();
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(file + suffix);
    }
    auto opened = Journal::Open(file);
    if (!opened.ok()) {
        state.SkipWithError(opened.error().c_str());
        return;
    }
    Journal& journal = *opened.value();
    const auto id = journal.BeginSession(
        {"10001", "07.2021", "01.05", "Иванов", "Fluke", "1", 21.5, {}, "{}", "2026-12-10 12:00:00"});
    int index = 0;
    for (auto _ : state) {
        if (!journal.SavePoint(id.value(), PointEntry{index++ % kPointsPerSession, kPointData}).ok()) {
            state.SkipWithError("SavePoint failed");
            break;
        }
    }
}
BENCHMARK(BM_SavePoint)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
