#pragma once

#include <QImage>
#include <QString>

#include "app/user_access.h"

namespace tavrel::app {

// A copy of a picture for the system's viewer, kept where only the current user can reach it.
class TPrivatePictureFile {
  public:
    // Writes `picture` as PNG to `directory`/`fileName` atomically: a reader sees the old file or the new
    // one, never a part. The file is mode 0600 (on Windows it takes the directory's user-only access list).
    // The directory is checked as TUserAccess::EnsurePrivateDirectory does; a symbolic link in the file's
    // place is replaced, not followed. Answers the file's path; throws std::runtime_error on failure.
    static QString Write(const QImage& picture, const QString& fileName = QStringLiteral("tavrel.png"),
                         const QString& directory = TUserAccess::PrivateDirectory());
};

}  // namespace tavrel::app
