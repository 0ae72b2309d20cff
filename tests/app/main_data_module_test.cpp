#include "app/main_data_module.h"

#include <cstring>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include "app/user_access.h"

namespace {

using tavrel::app::TMainDataModule;

// Each test has its own guard in a fresh directory, so parallel runs and a real instance never meet.
class MainDataModuleTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (QProcess* p : {&FFirst, &FSecond}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QString Guard() const { return FDir.filePath(QStringLiteral("guard")); }

    // Without `guard` the helper takes the product's default guard name.
    void Start(QProcess& p) { Start(p, {Guard()}); }
    static void Start(QProcess& p, const QStringList& guard) {
        p.start(QStringLiteral(TAVREL_INSTANCE_HELPER), guard);
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    // Reads the process's output until `line` appeared or 10 s passed.
    static bool WaitForLine(QProcess& p, const QByteArray& line, QByteArray& seen) {
        QElapsedTimer timer;
        timer.start();
        while (!seen.contains(line) && timer.elapsed() < 10000) {
            p.waitForReadyRead(100);
            seen += p.readAllStandardOutput();
            if (p.state() == QProcess::NotRunning) {
                seen += p.readAllStandardOutput();
                break;
            }
        }
        return seen.contains(line);
    }

    QTemporaryDir FDir;
    QProcess FFirst;
    QProcess FSecond;
};

TEST_F(MainDataModuleTest, SecondStart_ExitsZeroAndBringsFirstForward) {
    ASSERT_TRUE(FDir.isValid());
    QByteArray firstOut;
    Start(FFirst);
    ASSERT_TRUE(WaitForLine(FFirst, "first\n", firstOut)) << firstOut.toStdString();

    Start(FSecond);
    ASSERT_TRUE(FSecond.waitForFinished(10000));
    EXPECT_EQ(FSecond.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(FSecond.exitCode(), 0);
    EXPECT_EQ(FSecond.readAllStandardOutput(), QByteArray("second\n"));

    EXPECT_TRUE(WaitForLine(FFirst, "activated\n", firstOut)) << firstOut.toStdString();
    ASSERT_TRUE(FFirst.waitForFinished(10000));
    EXPECT_EQ(FFirst.exitCode(), 0);
}

TEST_F(MainDataModuleTest, StaleGuardOfKilledInstance_DoesNotStopNextStart) {
    ASSERT_TRUE(FDir.isValid());
    QByteArray out;
    Start(FFirst);
    ASSERT_TRUE(WaitForLine(FFirst, "first\n", out));
    FFirst.kill();  // SIGKILL: no clean-up runs
    ASSERT_TRUE(FFirst.waitForFinished(5000));
    ASSERT_TRUE(QFileInfo::exists(Guard())) << "the killed instance left no socket behind";

    QByteArray nextOut;
    Start(FSecond);
    EXPECT_TRUE(WaitForLine(FSecond, "first\n", nextOut)) << nextOut.toStdString();
    EXPECT_EQ(FSecond.state(), QProcess::Running);
}

TEST_F(MainDataModuleTest, Guard_SocketOnlyForCurrentUser) {
    ASSERT_TRUE(FDir.isValid());
    TMainDataModule guard(Guard());
    ASSERT_TRUE(guard.IsFirstInstance());
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Guard()).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, ::geteuid());
}

TEST_F(MainDataModuleTest, AppInstancesInstanceCreated_RestoresMinimisedWindowAndSignals) {
    ASSERT_TRUE(FDir.isValid());
    TMainDataModule guard(Guard());
    QWidget window;
    window.showMinimized();
    guard.SetMainWindow(&window);
    int signalled = 0;
    QObject::connect(&guard, &TMainDataModule::InstanceCreated, [&]() { ++signalled; });

    guard.AppInstancesInstanceCreated();
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(signalled, 1);
}

// A session without a runtime directory (su, sudo -u, ssh) whose shared temporary directory another user
// has prepared: Qt's fallback runtime directory is taken by a file, and a listener waits under the name
// Qt's local sockets would use there. The start must still become the first instance, telling it nothing.
TEST_F(MainDataModuleTest, NoRuntimeDirectory_ListenerPlantedInSharedTemp_DoesNotStopTheStart) {
    ASSERT_TRUE(FDir.isValid());
    const QString shared = FDir.filePath(QStringLiteral("shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    const passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    {
        QFile squatter(QDir(shared).filePath(QStringLiteral("runtime-%1").arg(QString::fromLocal8Bit(user->pw_name))));
        ASSERT_TRUE(squatter.open(QIODevice::WriteOnly));
    }
    QLocalServer planted;
    ASSERT_TRUE(planted.listen(QDir(shared).filePath(QStringLiteral("tavrel-check-%1").arg(::geteuid()))));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), shared);
    env.insert(QStringLiteral("XDG_CACHE_HOME"), FDir.filePath(QStringLiteral("cache")));
    FFirst.setProcessEnvironment(env);
    QByteArray out;
    Start(FFirst, {});
    EXPECT_TRUE(WaitForLine(FFirst, "first\n", out)) << out.toStdString();
    bool timedOut = false;
    EXPECT_FALSE(planted.waitForNewConnection(200, &timedOut)) << "the planted listener was contacted";

    struct stat st {};
    const QByteArray privateDir = QFile::encodeName(FDir.filePath(QStringLiteral("cache/tavrel-check")));
    ASSERT_EQ(::lstat(privateDir.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(QFileInfo::exists(QDir(QFile::decodeName(privateDir)).filePath(QStringLiteral("instance"))));
}

// Listens on `path` as the user "nobody" in a child process; reports through the returned pipe "ready", then
// every byte a client sent it. -1 when forking failed.
int ForeignListener(const QString& path, pid_t& child) {
    int report[2];
    if (::pipe(report) != 0) {
        return -1;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::strncpy(address.sun_path, name.constData(), sizeof address.sun_path - 1);
    child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        // Only system calls from here on: the parent has threads.
        ::close(report[0]);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::setgid(65534) != 0 || ::setuid(65534) != 0 || ::listen(fd, 4) != 0) {
            ::_exit(1);
        }
        (void)!::write(report[1], "ready", 5);
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 10000) == 1) {
            const int client = ::accept(fd, nullptr, nullptr);
            char buffer[64];
            ssize_t n = 0;
            while (client >= 0 && (n = ::read(client, buffer, sizeof buffer)) > 0) {
                (void)!::write(report[1], buffer, static_cast<std::size_t>(n));
            }
        }
        ::_exit(0);
    }
    ::close(report[1]);
    return report[0];
}

TEST_F(MainDataModuleTest, ListenerOfAnotherUser_IsToldNothingAndTakenOver) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can listen as another user";
    }
    ASSERT_TRUE(FDir.isValid());
    pid_t child = -1;
    const int report = ForeignListener(Guard(), child);
    ASSERT_GE(report, 0);
    char ready[5] = {};
    ASSERT_EQ(::read(report, ready, sizeof ready), 5) << "the foreign listener did not start";

    QByteArray out;
    Start(FFirst);
    EXPECT_TRUE(WaitForLine(FFirst, "first\n", out)) << out.toStdString();
    // The listener ends when its client hangs up, or after 10 s without one.
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    QByteArray told;
    char buffer[64];
    for (ssize_t n = 0; (n = ::read(report, buffer, sizeof buffer)) > 0;) {
        told.append(buffer, n);
    }
    ::close(report);
    EXPECT_TRUE(told.isEmpty()) << "told the foreign listener: " << told.toStdString();

    // The socket is now the first instance's: a further start finds it.
    Start(FSecond);
    ASSERT_TRUE(FSecond.waitForFinished(10000));
    EXPECT_EQ(FSecond.readAllStandardOutput(), QByteArray("second\n"));
}

TEST_F(MainDataModuleTest, GuardDirectoryPlantedAsSymlink_IsNotUsed) {
    ASSERT_TRUE(FDir.isValid());
    const QString elsewhere = FDir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString link = FDir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(elsewhere, link));
    TMainDataModule guard(QDir(link).filePath(QStringLiteral("instance")));
    EXPECT_TRUE(guard.IsFirstInstance()) << "the program runs, without a guard";
    EXPECT_TRUE(QDir(elsewhere).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
}

TEST(MainDataModule, DefaultGuardName_IsInTheUsersPrivateDirectory) {
    EXPECT_EQ(QFileInfo(TMainDataModule::DefaultGuardName()).absolutePath(),
              QFileInfo(tavrel::app::TUserAccess::PrivateDirectory()).absoluteFilePath());
    EXPECT_FALSE(TMainDataModule::DefaultGuardName().startsWith(QDir::tempPath() + QStringLiteral("/tavrel")));
}

}  // namespace
