#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

// Runs the built tavrel-check the way an operator starts it.

namespace {

QProcess* Start(QProcess& process, const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVREL_CHECK_EXE), arguments);
    return &process;
}

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

TEST(StartUp, SecondInstance_ExitsWithZeroWhileTheFirstKeepsRunning) {
    QProcess first;
    Start(first, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // Give the first instance time to set up its guard and show its window.
    for (int i = 0; i < 30 && first.state() == QProcess::Running; ++i) {
        QThread::msleep(100);
    }
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();

    QProcess second;
    Start(second, {});
    ASSERT_TRUE(second.waitForFinished(20000)) << "the second instance did not exit";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_EQ(first.state(), QProcess::Running) << "the first instance must stay";
    Stop(first);
}

TEST(StartUp, Help_PrintsRussianUsageAndExitsWithZero) {
    QProcess process;
    Start(process, {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QStringLiteral("Использование: tavrel-check"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("--simulate")));
}

TEST(StartUp, UnknownArgument_IsRefusedWithUsageAndExitCodeTwo) {
    QProcess process;
    Start(process, {QStringLiteral("--bogus")});
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 2);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Неизвестный параметр: --bogus"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Использование:")));
}

}  // namespace
