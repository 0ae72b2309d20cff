#include "app/private_picture_file.h"

#include <stdexcept>

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace tavrel::app {

namespace {

[[noreturn]] void Fail(const QString& what, const QString& path) {
    throw std::runtime_error(QStringLiteral("%1: %2").arg(what, path).toStdString());
}

}  // namespace

QString TPrivatePictureFile::Write(const QImage& picture, const QString& fileName, const QString& directory) {
    if (picture.isNull()) {
        throw std::runtime_error("No picture to write");
    }
    // A backslash separates folders on Windows: refused everywhere, so no name leaves the directory there.
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char('\\')) ||
        fileName == QLatin1String(".") || fileName == QLatin1String("..")) {
        Fail(QStringLiteral("Invalid picture file name"), fileName);
    }
    TUserAccess::EnsurePrivateDirectory(directory);
    const QString target = QDir(directory).filePath(fileName);

    // QSaveFile would write through a symbolic link to its target; a link here is removed instead.
    // Nobody else can have planted it after the check: the directory is ours alone.
    const QFileInfo existing(target);
    if (existing.isSymLink() || (existing.exists() && !existing.isFile())) {
        if ((existing.isDir() && !existing.isSymLink()) || !QFile::remove(target)) {
            Fail(QStringLiteral("Cannot replace"), target);
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
