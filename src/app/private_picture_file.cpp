#include "app/private_picture_file.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
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

QString TPrivatePictureFile::DefaultDirectory() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    }
    return QDir(base).filePath(QStringLiteral("tavrel-check"));
}

void TPrivatePictureFile::EnsurePrivateDirectory(const QString& directory) {
    if (directory.isEmpty()) {
        Fail(QStringLiteral("No directory for the picture"), directory);
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

QString TPrivatePictureFile::Write(const QImage& picture, const QString& fileName, const QString& directory) {
    if (picture.isNull()) {
        throw std::runtime_error("No picture to write");
    }
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName == QLatin1String(".") ||
        fileName == QLatin1String("..")) {
        Fail(QStringLiteral("Invalid picture file name"), fileName);
    }
    EnsurePrivateDirectory(directory);
    const QString target = QDir(directory).filePath(fileName);
    const QByteArray targetPath = QFile::encodeName(target);

    // QSaveFile would write through a symbolic link to its target; a link here is removed instead.
    // Nobody else can have planted it after the check: the directory is ours alone.
    struct stat st {};
    if (::lstat(targetPath.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode) || ::unlink(targetPath.constData()) != 0) {
            Fail(QStringLiteral("Cannot replace"), target, S_ISDIR(st.st_mode) ? EISDIR : errno);
        }
    }

    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        Fail(QStringLiteral("Cannot write"), target + QStringLiteral(" - ") + file.errorString());
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (!picture.save(&file, "PNG")) {
        file.cancelWriting();
        Fail(QStringLiteral("Cannot encode the picture"), target);
    }
    if (!file.commit()) {
        Fail(QStringLiteral("Cannot write"), target + QStringLiteral(" - ") + file.errorString());
    }
    return target;
}

}  // namespace tavrel::app
