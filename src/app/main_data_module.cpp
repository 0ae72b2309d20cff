#include "app/main_data_module.h"

#include <exception>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QWidget>

#include "app/user_access.h"

namespace tavrel::app {

namespace {

constexpr int kConnectTimeoutMs = 1000;
constexpr int kWriteTimeoutMs = 1000;
const QByteArray kActivateLine = "activate\n";

}  // namespace

QString TMainDataModule::DefaultGuardName() {
    return QDir(TUserAccess::PrivateDirectory()).filePath(QStringLiteral("instance"));
}

TMainDataModule::TMainDataModule(const QString& guardName, QObject* parent) : QObject(parent), FGuardName(guardName) {
    // In a place others can write to, another user could listen first and make every start exit.
    try {
        TUserAccess::EnsurePrivateDirectory(QFileInfo(FGuardName).absolutePath());
    } catch (const std::exception& e) {
        // Without the guard the program still runs; only a second start would not be caught.
        qWarning("Single-instance guard not used: %s", e.what());
        return;
    }
    // Two instances started together must not both find no listener and both take the socket.
    QLockFile startLock(FGuardName + QStringLiteral(".lock"));
    startLock.setStaleLockTime(0);
    const bool locked = startLock.tryLock(5000);

    if (NotifyRunningInstance()) {
        FFirstInstance = false;
        return;
    }
    // Nobody of ours answered: whatever socket file is there is stale or not ours.
    QLocalServer::removeServer(FGuardName);
    FServer = new QLocalServer(this);
    FServer->setSocketOptions(QLocalServer::UserAccessOption);
    connect(FServer, &QLocalServer::newConnection, this, &TMainDataModule::OnNewConnection);
    if (!FServer->listen(FGuardName)) {
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
    if (!TUserAccess::IsPeerCurrentUser(socket.socketDescriptor())) {
        // Another user's listener is no instance of ours: it is told nothing.
        socket.abort();
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
