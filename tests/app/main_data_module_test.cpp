#include "app/main_data_module.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

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

    void Start(QProcess& p) {
        p.start(QStringLiteral(TAVREL_INSTANCE_HELPER), {Guard()});
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

TEST(MainDataModule, DefaultGuardName_NamesTheUser) {
    EXPECT_TRUE(TMainDataModule::DefaultGuardName().endsWith(QStringLiteral("tavrel-check-%1").arg(::getuid())));
}

}  // namespace
