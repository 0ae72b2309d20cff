#include "app/user_access.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace tavrel::app {

namespace {

[[noreturn]] void Fail(const QString& what, const QString& path, int error = 0) {
    QString text = QStringLiteral("%1: %2").arg(what, path);
    if (error != 0) {
        text += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
    }
    throw std::runtime_error(text.toStdString());
}

}  // namespace

QString TUserAccess::UserBaseDirectory() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) : runtime;
}

void TUserAccess::EnsurePrivateDirectory(const QString& directory) {
    if (directory.isEmpty()) {
        Fail(QStringLiteral("No private directory"), directory);
    }
    const QByteArray path = QFile::encodeName(directory);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        // The parent may be missing (a fresh cache directory): make it, then this one.
        if (error != ENOENT || !QDir().mkpath(QFileInfo(directory).absolutePath()) ||
            (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)) {
            Fail(QStringLiteral("Cannot create the directory"), directory, error);
        }
    }
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        Fail(QStringLiteral("Cannot inspect the directory"), directory, errno);
    }
    if (S_ISLNK(st.st_mode)) {
        Fail(QStringLiteral("The directory is a symbolic link"), directory);
    }
    if (!S_ISDIR(st.st_mode)) {
        Fail(QStringLiteral("Not a directory"), directory);
    }
    if (st.st_uid != ::geteuid()) {
        Fail(QStringLiteral("The directory belongs to another user"), directory);
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        Fail(QStringLiteral("Cannot restrict the directory"), directory, errno);
    }
}

bool TUserAccess::IsPeerCurrentUser(qintptr socketDescriptor) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        size != sizeof peer) {
        return false;
    }
    return peer.uid == ::geteuid();
}

}  // namespace tavrel::app
