#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
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

// As on a console or a service PC reached over ssh: no display at all, and Qt not told to do without one.
QProcessEnvironment HeadlessEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(QLatin1String(name));
    }
    return env;
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

struct THeadlessCase {
    const char* Name;
    QStringList Arguments;
    const char* FirstLine;  // the start of stdout's first line
    const char* Contains;
};

void PrintTo(const THeadlessCase& c, std::ostream* os) {
    *os << c.Name;
}

class StartUpHeadless : public ::testing::TestWithParam<THeadlessCase> {};

TEST_P(StartUpHeadless, PrintsAndExitsWithZeroWithoutDisplay) {
    const THeadlessCase& c = GetParam();
    QProcess process;
    process.setProcessEnvironment(HeadlessEnvironment());
    process.start(QStringLiteral(TAVREL_CHECK_EXE), c.Arguments);
    ASSERT_TRUE(process.waitForFinished(20000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << err.toStdString();
    EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.startsWith(QString::fromUtf8(c.FirstLine))) << out.toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8(c.Contains))) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartUpHeadless,
    ::testing::Values(
        THeadlessCase{"Version", {"--version"}, "tavrel-check " TAVREL_PROJECT_VERSION "\n", "Версия: v1."},
        THeadlessCase{"Help", {"--help"}, "Использование: tavrel-check", "--version"},
        // An X11 platform asked for on the command line is not started just to print the version.
        THeadlessCase{"VersionAfterQtOptions",
                      {"-platform", "xcb", "-style", "Fusion", "--version"},
                      "tavrel-check " TAVREL_PROJECT_VERSION "\n",
                      "Версия: v1."}),
    [](const ::testing::TestParamInfo<THeadlessCase>& param) { return std::string(param.param.Name); });

// Without a display only "-platform offscreen" on the command line can start the window: if Qt did not get
// it, QApplication aborts; if the tool read Qt's options as its own, it refuses them with exit code 2.
TEST(StartUp, QtOptions_GoToQtAndTheToolReadsItsOwn) {
    QTemporaryDir runtimeDir;  // a guard of its own, apart from any running instance
    ASSERT_TRUE(runtimeDir.isValid());
    QProcessEnvironment env = HeadlessEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir.path());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(TAVREL_CHECK_EXE),
                  {QStringLiteral("-platform"), QStringLiteral("offscreen"), QStringLiteral("--simulate"),
                   QStringLiteral("-style"), QStringLiteral("Fusion"), QStringLiteral("-reverse")});
    ASSERT_TRUE(process.waitForStarted(10000));
    EXPECT_FALSE(process.waitForFinished(3000))
        << "exit code " << process.exitCode() << ": " << process.readAllStandardError().toStdString();
    Stop(process);
}

}  // namespace
