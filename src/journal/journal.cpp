#include "journal/journal.h"

#include <algorithm>
#include <iterator>
#include <sqlite3.h>

namespace tavrel::journal {

namespace {

// Each step takes the schema from version i to i + 1, in one transaction with the version number.
// Version 1 kept the calibrator in one text; version 2 splits type and serial, adds humidity and the
// indexes the search by serial number and date runs on.
constexpr const char* kMigrations[] = {
    R"sql(
CREATE TABLE sessions(
    id INTEGER PRIMARY KEY,
    serial TEXT NOT NULL,
    production TEXT,
    firmware TEXT,
    operator TEXT,
    calibrator TEXT,
    temperature REAL,
    plan TEXT NOT NULL,
    started_at TEXT NOT NULL,
    finished_at TEXT,
    verdict TEXT);
CREATE TABLE points(
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    idx INTEGER NOT NULL,
    data TEXT NOT NULL,
    PRIMARY KEY(session, idx));
)sql",
    R"sql(
ALTER TABLE sessions RENAME COLUMN calibrator TO calibrator_type;
ALTER TABLE sessions ADD COLUMN calibrator_serial TEXT;
ALTER TABLE sessions ADD COLUMN humidity REAL;
CREATE INDEX sessions_serial ON sessions(serial, started_at);
CREATE INDEX sessions_started ON sessions(started_at);
)sql",
};
static_assert(std::size(kMigrations) == kSchemaVersion);

// Owns one prepared statement; binds by position from 1.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    int prepared() const { return rc_; }
    void Bind(int i, const std::string& text) {
        sqlite3_bind_text(stmt_, i, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void Bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void Bind(int i, const std::optional<double>& v) {
        if (v) {
            sqlite3_bind_double(stmt_, i, *v);
        } else {
            sqlite3_bind_null(stmt_, i);
        }
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return sqlite3_step(stmt_); }

    std::string Text(int col) const {
        const auto* p = sqlite3_column_text(stmt_, col);
        return p == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(p));
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::optional<double> Real(int col) const {
        if (sqlite3_column_type(stmt_, col) == SQLITE_NULL) {
            return std::nullopt;
        }
        return sqlite3_column_double(stmt_, col);
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_OK;
};

constexpr const char* kSummaryColumns =
    "SELECT s.id, s.serial, s.operator, s.started_at, s.finished_at, s.verdict,"
    " (SELECT count(*) FROM points p WHERE p.session = s.id) FROM sessions s";

SessionSummary ReadSummary(const Statement& st) {
    return {st.Int(0), st.Text(1), st.Text(2), st.Text(3), st.Text(4), st.Text(5), static_cast<int>(st.Int(6))};
}

// No UTF-8 text holds the byte 0xFF, so it closes every range of texts that start with a given prefix.
std::string PrefixEnd(const std::string& prefix) {
    return prefix + "\xff";
}

}  // namespace

int StoredSession::NextPointIndex() const {
    int next = 0;
    for (const auto& p : points) {  // sorted by index
        if (p.index != next) {
            break;
        }
        ++next;
    }
    return next;
}

Journal::Journal(sqlite3* db, std::string path) : db_(db), path_(std::move(path)) {}

Journal::~Journal() {
    sqlite3_close_v2(db_);
}

Error Journal::Fail(int rc, const char* action) const {
    const std::string file = "«" + path_ + "»";
    std::string text;
    switch (rc & 0xFF) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            text = "Файл журнала " + file + " повреждён или не является базой данных";
            break;
        case SQLITE_READONLY:
        case SQLITE_PERM:
            text = "Журнал " + file + " доступен только для чтения";
            break;
        case SQLITE_FULL:
            text = "Нет места на диске для журнала " + file;
            break;
        case SQLITE_CANTOPEN:
            text = "Не удалось открыть файл журнала " + file;
            break;
        case SQLITE_IOERR:
            text = "Ошибка ввода-вывода в журнале " + file;
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            text = "Журнал " + file + " занят другой программой";
            break;
        default:
            text = "Ошибка журнала " + file + " (код " + std::to_string(rc) + ")";
            break;
    }
    return Error{text + " (" + action + ")."};
}

Result<std::unique_ptr<Journal>> Journal::Open(const std::string& path, Mode mode) {
    sqlite3* db = nullptr;
    const int flags = mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    // Owned from here on, even when the open failed, so that the handle is closed.
    std::unique_ptr<Journal> journal(new Journal(db, path));
    if (rc != SQLITE_OK) {
        return journal->Fail(rc, "открытие");
    }
    sqlite3_extended_result_codes(db, 1);
    // SQLite reads the file lazily: this is where a file that is not a database shows itself.
    int version = 0;
    {
        Statement st(db, "PRAGMA user_version");
        int step = st.prepared() == SQLITE_OK ? st.Step() : st.prepared();
        if (step != SQLITE_ROW) {
            return journal->Fail(step, "чтение версии");
        }
        version = static_cast<int>(st.Int(0));
    }
    if (version > kSchemaVersion) {
        return Error{"Журнал «" + path + "» создан более новой версией программы (схема " + std::to_string(version) +
                     ")."};
    }
    if (mode == Mode::ReadOnly) {
        if (version != kSchemaVersion) {
            return Error{"Журнал «" + path + "» старой версии (схема " + std::to_string(version) +
                         "): его нужно сначала открыть для записи."};
        }
        return journal;
    }
    if (sqlite3_db_readonly(db, "main") == 1) {
        return journal->Fail(SQLITE_READONLY, "открытие для записи");
    }
    // WAL: a reader never blocks the writer; FULL: a point is on the disk when SavePoint returns.
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (const int prc = sqlite3_exec(db, pragma, nullptr, nullptr, nullptr); prc != SQLITE_OK) {
            return journal->Fail(prc, "настройка");
        }
    }
    if (version < kSchemaVersion) {
        if (Status s = journal->Migrate(version); !s) {
            return Error{s.error()};
        }
    }
    return journal;
}

Status Journal::Migrate(int from) {
    for (int v = from; v < kSchemaVersion; ++v) {
        const std::string sql = std::string("BEGIN IMMEDIATE;") + kMigrations[v] +
                                "PRAGMA user_version=" + std::to_string(v + 1) + ";COMMIT;";
        if (const int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); rc != SQLITE_OK) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return Fail(rc, "обновление схемы");
        }
    }
    return Done{};
}

int Journal::SchemaVersion() const {
    Statement st(db_, "PRAGMA user_version");
    return st.Step() == SQLITE_ROW ? static_cast<int>(st.Int(0)) : 0;
}

Result<std::int64_t> Journal::BeginSession(const SessionHeader& h) {
    Statement st(db_,
                 "INSERT INTO sessions(serial, production, firmware, operator, calibrator_type, calibrator_serial,"
                 " temperature, humidity, plan, started_at, finished_at, verdict)"
                 " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, '', '')");
    if (st.prepared() != SQLITE_OK) {
        return Fail(st.prepared(), "запись сессии");
    }
    st.Bind(1, h.serial);
    st.Bind(2, h.production);
    st.Bind(3, h.firmware);
    st.Bind(4, h.operatorName);
    st.Bind(5, h.calibratorType);
    st.Bind(6, h.calibratorSerial);
    st.Bind(7, h.temperature);
    st.Bind(8, h.humidity);
    st.Bind(9, h.planJson);
    st.Bind(10, h.startedAt);
    if (const int rc = st.Step(); rc != SQLITE_DONE) {
        return Fail(rc, "запись сессии");
    }
    return static_cast<std::int64_t>(sqlite3_last_insert_rowid(db_));
}

Status Journal::SavePoint(std::int64_t session, const PointEntry& point) {
    // One statement in autocommit mode: its own transaction, committed (and synced) before Step returns.
    Statement st(db_, "INSERT OR REPLACE INTO points(session, idx, data) VALUES(?1, ?2, ?3)");
    if (st.prepared() != SQLITE_OK) {
        return Fail(st.prepared(), "запись точки");
    }
    st.Bind(1, session);
    st.Bind(2, static_cast<std::int64_t>(point.index));
    st.Bind(3, point.data);
    const int rc = st.Step();
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) {
        return Error{"В журнале нет сессии " + std::to_string(session) + "."};
    }
    if (rc != SQLITE_DONE) {
        return Fail(rc, "запись точки");
    }
    return Done{};
}

Status Journal::FinishSession(std::int64_t session, const std::string& finishedAt, const std::string& verdict) {
    Statement st(db_, "UPDATE sessions SET finished_at = ?2, verdict = ?3 WHERE id = ?1");
    if (st.prepared() != SQLITE_OK) {
        return Fail(st.prepared(), "завершение сессии");
    }
    st.Bind(1, session);
    st.Bind(2, finishedAt);
    st.Bind(3, verdict);
    if (const int rc = st.Step(); rc != SQLITE_DONE) {
        return Fail(rc, "завершение сессии");
    }
    if (sqlite3_changes(db_) != 1) {
        return Error{"В журнале нет сессии " + std::to_string(session) + "."};
    }
    return Done{};
}

Result<std::vector<SessionSummary>> Journal::Search(const SearchQuery& q) const {
    // Only the conditions asked for go into the text, so the planner can use the index of each.
    std::string sql = kSummaryColumns;
    std::vector<std::string> args;
    auto where = [&](const std::string& condition, std::string arg) {
        sql += args.empty() ? " WHERE " : " AND ";
        args.push_back(std::move(arg));
        sql += condition + std::to_string(args.size());
    };
    if (!q.serialPrefix.empty()) {
        where("s.serial >= ?", q.serialPrefix);
        where("s.serial < ?", PrefixEnd(q.serialPrefix));
    }
    if (!q.dateFrom.empty()) {
        where("s.started_at >= ?", q.dateFrom);
    }
    if (!q.dateTo.empty()) {
        where("s.started_at < ?", PrefixEnd(q.dateTo));
    }
    sql += " ORDER BY s.started_at DESC, s.id DESC LIMIT " + std::to_string(std::max(0, q.limit));
    return Summaries(sql, args, "поиск");
}

Result<std::vector<SessionSummary>> Journal::Unfinished() const {
    return Summaries(
        std::string(kSummaryColumns) + " WHERE coalesce(s.finished_at, '') = '' ORDER BY s.started_at DESC, s.id DESC",
        {}, "поиск незавершённых сессий");
}

Result<std::vector<SessionSummary>> Journal::Summaries(const std::string& sql, const std::vector<std::string>& args,
                                                       const char* action) const {
    Statement st(db_, sql);
    if (st.prepared() != SQLITE_OK) {
        return Fail(st.prepared(), action);
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        st.Bind(static_cast<int>(i + 1), args[i]);
    }
    std::vector<SessionSummary> found;
    int rc = SQLITE_OK;
    while ((rc = st.Step()) == SQLITE_ROW) {
        found.push_back(ReadSummary(st));
    }
    if (rc != SQLITE_DONE) {
        return Fail(rc, action);
    }
    return found;
}

Result<StoredSession> Journal::Load(std::int64_t session) const {
    StoredSession s;
    {
        Statement st(db_,
                     "SELECT serial, production, firmware, operator, calibrator_type, calibrator_serial,"
                     " temperature, humidity, plan, started_at, finished_at, verdict FROM sessions WHERE id = ?1");
        if (st.prepared() != SQLITE_OK) {
            return Fail(st.prepared(), "чтение сессии");
        }
        st.Bind(1, session);
        const int rc = st.Step();
        if (rc == SQLITE_DONE) {
            return Error{"В журнале нет сессии " + std::to_string(session) + "."};
        }
        if (rc != SQLITE_ROW) {
            return Fail(rc, "чтение сессии");
        }
        s.id = session;
        s.header = {st.Text(0), st.Text(1), st.Text(2), st.Text(3), st.Text(4),
                    st.Text(5), st.Real(6), st.Real(7), st.Text(8), st.Text(9)};
        s.finishedAt = st.Text(10);
        s.verdict = st.Text(11);
    }
    Statement st(db_, "SELECT idx, data FROM points WHERE session = ?1 ORDER BY idx");
    if (st.prepared() != SQLITE_OK) {
        return Fail(st.prepared(), "чтение точек");
    }
    st.Bind(1, session);
    int rc = SQLITE_OK;
    while ((rc = st.Step()) == SQLITE_ROW) {
        s.points.push_back({static_cast<int>(st.Int(0)), st.Text(1)});
    }
    if (rc != SQLITE_DONE) {
        return Fail(rc, "чтение точек");
    }
    return s;
}

}  // namespace tavrel::journal
