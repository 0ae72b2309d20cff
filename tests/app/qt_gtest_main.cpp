// GoogleTest entry point for widget tests: one QApplication for the whole binary, offscreen unless the
// environment chooses a platform, and the per-user folders in Qt's test locations.
#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The per-user data folder (the verification journal and limits) is a test folder, never the user's own,
    // and one per process: CTest runs the cases of one binary side by side.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(
        QStringLiteral("%1-%2").arg(QCoreApplication::applicationName()).arg(QCoreApplication::applicationPid()));
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    return result;
}
