#include "app/main_data_module.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

namespace tavrel::app {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;
const QByteArray kActivateLine = "activate\n";

}  // namespace

QString TMainDataModule::DefaultGuardName() {
    const QString name = QStringLiteral("tavrel-check-%1").arg(getuid());
    // The runtime directory is private to the user; without one Qt's own per-user temp name is used.
    const QString runtimeDir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtimeDir.isEmpty()) {
        return name;
    }
    return QDir(runtimeDir).filePath(name);
}

TMainDataModule::TMainDataModule(const QString& guardName, QObject* parent) : QObject(parent), FGuardName(guardName) {
    // Two instances started together must not both find no listener and both take the socket.
    const QString lockPath = FGuardName.contains(QLatin1Char('/'))
                                 ? FGuardName + QStringLiteral(".lock")
                                 : QDir(QDir::tempPath()).filePath(FGuardName + QStringLiteral(".lock"));
    QLockFile startLock(lockPath);
    startLock.setStaleLockTime(0);
    const bool locked = startLock.tryLock(5000);

    if (NotifyRunningInstance()) {
        FFirstInstance = false;
        return;
    }
    // Nobody answered: whatever socket file is there is stale.
    QLocalServer::removeServer(FGuardName);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TMainDataModule::OnNewConnection);
    if (!FServer->listen(FGuardName)) {
        // Without the guard the program still runs; only a second start would not be caught.
        qWarning("Single-instance guard %s: %s", qPrintable(FGuardName), qPrintable(FServer->errorString()));
    }
    if (locked) {
        startLock.unlock();
    }
}

TMainDataModule::~TMainDataModule() {
    if (FServer != nullptr) {
        FServer->close();
    }
}

bool TMainDataModule::NotifyRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(FGuardName);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        return false;
    }
    socket.write(kActivateLine);
    const bool written = socket.waitForBytesWritten(kWriteTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kWriteTimeoutMs);
    }
    // Someone listens even if the write was cut short: a second instance must not start regardless.
    (void)written;
    return true;
}

void TMainDataModule::OnNewConnection() {
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto readLines = [this, socket]() {
            while (socket->canReadLine()) {
                if (socket->readLine() == kActivateLine) {
                    AppInstancesInstanceCreated();
                }
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, readLines);
        readLines();
    }
}

void TMainDataModule::AppInstancesInstanceCreated() {
    if (QWidget* window = FMainWindow.data()) {
        // Restored from minimised; a maximised window stays maximised.
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->show();
        window->raise();
        window->activateWindow();
    }
    emit InstanceCreated();
}

}  // namespace tavrel::app
