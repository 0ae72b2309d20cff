#include "journal/journal.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace tavrel::journal {
namespace {

namespace fs = std::filesystem;

class JournalTest : public testing::Test {
  protected:
    void SetUp() override {
        char templ[] = "/tmp/tavrel-journal-XXXXXX";
        ASSERT_NE(mkdtemp(templ), nullptr);
        dir_ = templ;
        path_ = dir_ + "/journal.sqlite";
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        fs::remove_all(dir_);
    }

    std::unique_ptr<Journal> OpenOk(Journal::Mode mode = Journal::Mode::ReadWrite) {
        auto r = Journal::Open(path_, mode);
        EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error());
        return r.ok() ? std::move(r.value()) : nullptr;
    }

    static SessionHeader Header(const std::string& serial, const std::string& startedAt) {
        SessionHeader h;
        h.serial = serial;
        h.production = "07.2021";
        h.firmware = "01.05";
        h.operatorName = "Иванов И. И.";
        h.calibratorType = "Fluke 5522A";
        h.calibratorSerial = "98765";
        h.temperature = 21.5;
        h.planJson = R"({"points": []})";
        h.startedAt = startedAt;
        return h;
    }

    // Runs `body` in a child process and returns what it wrote to the pipe; the child's exit status in `status`.
    template <class F>
    std::string InChild(F body, int* status = nullptr) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            body(fds[1]);
            _exit(0);
        }
        close(fds[1]);
        std::string out;
        char buf[512];
        for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) {
            out.append(buf, static_cast<std::size_t>(n));
        }
        close(fds[0]);
        int st = 0;
        waitpid(pid, &st, 0);
        if (status != nullptr) {
            *status = st;
        }
        return out;
    }

    static void Say(int fd, const std::string& text) { (void)!write(fd, text.data(), text.size()); }

    std::string dir_;
    std::string path_;
};

TEST_F(JournalTest, SessionRoundTrip) {
    auto j = OpenOk();
    ASSERT_TRUE(j);
    EXPECT_EQ(j->SchemaVersion(), kSchemaVersion);
    SessionHeader h = Header("1234", "2026-12-10 12:00:00");
    h.humidity = 45;
    const auto id = j->BeginSession(h);
    ASSERT_TRUE(id.ok()) << id.error();
    ASSERT_TRUE(j->SavePoint(id.value(), {0, R"({"status":"accepted"})"}).ok());
    ASSERT_TRUE(j->SavePoint(id.value(), {1, R"({"status":"skipped"})"}).ok());
    // A repeated point replaces its earlier record.
    ASSERT_TRUE(j->SavePoint(id.value(), {0, R"({"status":"accepted","again":1})"}).ok());
    ASSERT_TRUE(j->FinishSession(id.value(), "2026-12-10 12:30:00", "годен").ok());
    j.reset();

    auto ro = OpenOk(Journal::Mode::ReadOnly);
    ASSERT_TRUE(ro);
    const auto s = ro->Load(id.value());
    ASSERT_TRUE(s.ok()) << s.error();
    EXPECT_EQ(s.value().header, h);
    EXPECT_EQ(s.value().finishedAt, "2026-12-10 12:30:00");
    EXPECT_EQ(s.value().verdict, "годен");
    ASSERT_EQ(s.value().points.size(), 2u);
    EXPECT_EQ(s.value().points[0], (PointEntry{0, R"({"status":"accepted","again":1})"}));
    EXPECT_TRUE(s.value().finished());
    // Read-only means read-only.
    EXPECT_FALSE(ro->BeginSession(h).ok());
    EXPECT_NE(ro->BeginSession(h).error().find("только для чтения"), std::string::npos);
}

TEST_F(JournalTest, SearchBySerialPrefixAndDate) {
    auto j = OpenOk();
    ASSERT_TRUE(j);
    for (const auto& [serial, day] : {std::pair{"1234", "2026-12-01"}, std::pair{"1235", "2026-12-02"},
                                      std::pair{"1234", "2026-12-03"}, std::pair{"2234", "2026-12-03"}}) {
        ASSERT_TRUE(j->BeginSession(Header(serial, std::string(day) + " 09:15:00")).ok());
    }
    auto serials = [&](const SearchQuery& q) {
        std::vector<std::string> got;
        for (const auto& s : j->Search(q).value()) {
            got.push_back(s.serial + "@" + s.startedAt.substr(0, 10));
        }
        return got;
    };
    EXPECT_EQ(serials({"1234", "", "", 100}), (std::vector<std::string>{"1234@2026-12-03", "1234@2026-12-01"}));
    EXPECT_EQ(serials({"123", "", "", 100}),
              (std::vector<std::string>{"1234@2026-12-03", "1235@2026-12-02", "1234@2026-12-01"}));
    // The last day is included whole.
    EXPECT_EQ(serials({"", "2026-12-02", "2026-12-03", 100}),
              (std::vector<std::string>{"2234@2026-12-03", "1234@2026-12-03", "1235@2026-12-02"}));
    EXPECT_EQ(serials({"1", "2026-12-03", "2026-12-03", 100}), (std::vector<std::string>{"1234@2026-12-03"}));
    EXPECT_EQ(serials({"", "", "", 1}).size(), 1u);
    EXPECT_TRUE(serials({"9", "", "", 100}).empty());
}

// The process dies between two points: every point written before is there, and the session goes on from
// the next one.
TEST_F(JournalTest, KilledBetweenPointsKeepsTheFinishedOnes) {
    constexpr int kWritten = 4;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        auto r = Journal::Open(path_);
        if (!r.ok()) {
            _exit(2);
        }
        const auto id = r.value()->BeginSession(Header("555", "2026-12-10 10:00:00"));
        for (int i = 0; i < kWritten; ++i) {
            if (!r.value()->SavePoint(id.value(), {i, "{\"n\":" + std::to_string(i) + "}"}).ok()) {
                _exit(3);
            }
        }
        Say(ready[1], "ok");
        pause();  // waits for the kill, the journal still open
        _exit(0);
    }
    close(ready[1]);
    char buf[2];
    ASSERT_EQ(read(ready[0], buf, 2), 2) << "the child could not write its points";
    close(ready[0]);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    auto j = OpenOk();
    ASSERT_TRUE(j);
    const auto unfinished = j->Unfinished();
    ASSERT_TRUE(unfinished.ok());
    ASSERT_EQ(unfinished.value().size(), 1u);
    EXPECT_EQ(unfinished.value()[0].points, kWritten);
    auto s = j->Load(unfinished.value()[0].id);
    ASSERT_TRUE(s.ok());
    EXPECT_FALSE(s.value().finished());
    ASSERT_EQ(s.value().points.size(), static_cast<std::size_t>(kWritten));
    EXPECT_EQ(s.value().points[3].data, "{\"n\":3}");
    EXPECT_EQ(s.value().NextPointIndex(), kWritten);
    // Continued: the next point goes into the same session.
    ASSERT_TRUE(j->SavePoint(s.value().id, {kWritten, "{}"}).ok());
    EXPECT_EQ(j->Load(s.value().id).value().NextPointIndex(), kWritten + 1);
}

TEST_F(JournalTest, OpensAVersionOneDatabase) {
    {
        // The schema as the previous release wrote it, with one session in it.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        const char* v1 = R"sql(
            CREATE TABLE sessions(id INTEGER PRIMARY KEY, serial TEXT NOT NULL, production TEXT, firmware TEXT,
                operator TEXT, calibrator TEXT, temperature REAL, plan TEXT NOT NULL, started_at TEXT NOT NULL,
                finished_at TEXT, verdict TEXT);
            CREATE TABLE points(session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
                idx INTEGER NOT NULL, data TEXT NOT NULL, PRIMARY KEY(session, idx));
            INSERT INTO sessions VALUES(7, '4321', '03.2020', '01.02', 'Петров', 'Fluke 5520A', 20.0, '{}',
                '2025-05-05 08:00:00', NULL, NULL);
            INSERT INTO points VALUES(7, 0, 'a'), (7, 1, 'b');
            PRAGMA user_version = 1;)sql";
        ASSERT_EQ(sqlite3_exec(db, v1, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    // A read-only open cannot migrate and says so.
    const auto ro = Journal::Open(path_, Journal::Mode::ReadOnly);
    ASSERT_FALSE(ro.ok());
    EXPECT_NE(ro.error().find("старой версии"), std::string::npos) << ro.error();

    auto j = OpenOk();
    ASSERT_TRUE(j);
    EXPECT_EQ(j->SchemaVersion(), 2);
    const auto s = j->Load(7);
    ASSERT_TRUE(s.ok()) << s.error();
    EXPECT_EQ(s.value().header.serial, "4321");
    EXPECT_EQ(s.value().header.calibratorType, "Fluke 5520A");
    EXPECT_EQ(s.value().header.calibratorSerial, "");
    EXPECT_FALSE(s.value().header.humidity);
    EXPECT_EQ(s.value().header.temperature, 20.0);
    EXPECT_FALSE(s.value().finished());
    EXPECT_EQ(s.value().NextPointIndex(), 2);
    EXPECT_EQ(j->Search({"43", "", "", 10}).value().size(), 1u);
    EXPECT_EQ(j->Unfinished().value().size(), 1u);
    ASSERT_TRUE(j->BeginSession(Header("4321", "2026-01-01 00:00:00")).ok());
    ASSERT_TRUE(j->SavePoint(7, {2, "c"}).ok());
}

TEST_F(JournalTest, NewerSchemaIsRefused) {
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 9", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    const auto r = Journal::Open(path_);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().find("более новой версией"), std::string::npos) << r.error();
}

struct CorruptCase {
    const char* name;
    bool keepHeader;  // a real journal whose pages after the header are overwritten
};

class Corrupt : public JournalTest, public testing::WithParamInterface<CorruptCase> {};

TEST_P(Corrupt, FileThatIsNotAJournalGivesAMessage) {
    if (GetParam().keepHeader) {
        {
            auto j = OpenOk();
            ASSERT_TRUE(j);
            for (int i = 0; i < 50; ++i) {
                ASSERT_TRUE(j->BeginSession(Header(std::to_string(i), "2026-12-10 12:00:00")).ok());
            }
        }
        std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(100);
        const std::string junk(8000, '\x5a');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    } else {
        std::ofstream(path_, std::ios::binary) << std::string(4096, '\x17') << "not a database";
    }
    // Opening or the first search fails; either way it is a value with the Russian message.
    auto r = Journal::Open(path_);
    std::string message;
    if (r.ok()) {
        const auto found = r.value()->Search({});
        ASSERT_FALSE(found.ok());
        message = found.error();
    } else {
        message = r.error();
    }
    EXPECT_NE(message.find("повреждён или не является базой данных"), std::string::npos) << message;
    EXPECT_NE(message.find(path_), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(Cases, Corrupt,
                         testing::Values(CorruptCase{"Garbage", false}, CorruptCase{"DamagedPages", true}),
                         [](const auto& c) { return std::string(c.param.name); });

// A journal file the user may not write: open for writing fails with a message. Root writes anything,
// so under root the check runs in a child that drops to an ordinary user.
TEST_F(JournalTest, ReadOnlyFileGivesAMessage) {
    {
        auto j = OpenOk();
        ASSERT_TRUE(j);
        ASSERT_TRUE(j->BeginSession(Header("1", "2026-12-10 12:00:00")).ok());
    }
    for (const char* suffix : {"", "-wal", "-shm"}) {
        chmod((path_ + suffix).c_str(), 0444);
    }
    chmod(dir_.c_str(), 0555);
    const std::string out = InChild([this](int fd) {
        if (geteuid() == 0 && setuid(65534) != 0) {
            Say(fd, "setuid failed");
            return;
        }
        auto r = Journal::Open(path_);
        Say(fd, r.ok() ? std::string("opened") : r.error());
    });
    EXPECT_NE(out.find("только для чтения"), std::string::npos) << out;
}

// Stands in for a full disk: the default SQLite file system, except that while `full` is set every write
// answers SQLITE_FULL, as the OS layer does on ENOSPC.
class FullDiskVfs {
  public:
    FullDiskVfs() {
        real_ = sqlite3_vfs_find(nullptr);
        vfs_ = *real_;
        vfs_.zName = "tavrel-full-disk";
        vfs_.xOpen = &Open;
        sqlite3_vfs_register(&vfs_, 1);
    }
    ~FullDiskVfs() { sqlite3_vfs_unregister(&vfs_); }
    FullDiskVfs(const FullDiskVfs&) = delete;
    FullDiskVfs& operator=(const FullDiskVfs&) = delete;

    static inline bool full = false;

  private:
    static int Open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
        const int rc = real_->xOpen(real_, name, file, flags, outFlags);
        if (rc == SQLITE_OK && file->pMethods != nullptr) {
            auto [it, added] = patched_.try_emplace(file->pMethods, *file->pMethods);
            if (added) {
                writes_[&it->second] = it->second.xWrite;
                it->second.xWrite = &Write;
            }
            file->pMethods = &it->second;
        }
        return rc;
    }
    static int Write(sqlite3_file* file, const void* data, int amount, sqlite3_int64 offset) {
        return full ? SQLITE_FULL : writes_.at(file->pMethods)(file, data, amount, offset);
    }

    static inline sqlite3_vfs* real_ = nullptr;
    static inline sqlite3_vfs vfs_{};
    static inline std::map<const sqlite3_io_methods*, sqlite3_io_methods> patched_;
    static inline std::map<const sqlite3_io_methods*, int (*)(sqlite3_file*, const void*, int, sqlite3_int64)> writes_;
};

// A point refused for lack of room is a message; the points written before stay.
TEST_F(JournalTest, FullDiskIsAMessageAndEarlierPointsStay) {
    FullDiskVfs disk;
    auto j = OpenOk();
    ASSERT_TRUE(j);
    const std::int64_t id = j->BeginSession(Header("1", "2026-12-10 12:00:00")).value();
    ASSERT_TRUE(j->SavePoint(id, {0, "first"}).ok());
    FullDiskVfs::full = true;
    const auto s = j->SavePoint(id, {1, "second"});
    FullDiskVfs::full = false;
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.error().find("Нет места на диске для журнала"), std::string::npos) << s.error();
    j.reset();

    auto again = OpenOk();
    ASSERT_TRUE(again);
    const auto back = again->Load(id);
    ASSERT_TRUE(back.ok()) << back.error();
    ASSERT_EQ(back.value().points.size(), 1u);
    EXPECT_EQ(back.value().points[0].data, "first");
}

TEST_F(JournalTest, MissingFileAndUnknownSessionAreMessages) {
    const auto r = Journal::Open(dir_ + "/absent/journal.sqlite");
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().find("Не удалось открыть файл журнала"), std::string::npos) << r.error();
    auto j = OpenOk();
    ASSERT_TRUE(j);
    EXPECT_FALSE(j->Load(42).ok());
    EXPECT_EQ(j->SavePoint(42, {0, "x"}).error(), "В журнале нет сессии 42.");
    EXPECT_EQ(j->FinishSession(42, "t", "годен").error(), "В журнале нет сессии 42.");
}

}  // namespace
}  // namespace tavrel::journal
