#pragma once

#include <QImage>
#include <QString>

namespace tavrel::app {

// A copy of a picture for the system's viewer, kept where only the current user can reach it.
class TPrivatePictureFile {
  public:
    // "<user runtime directory>/tavrel-check" (falls back to the user's cache directory).
    static QString DefaultDirectory();
    // Makes `directory` (mode 0700) if needed and checks it: a real directory, not a symbolic link,
    // owned by the current user; access for others is taken away. Throws std::runtime_error otherwise.
    static void EnsurePrivateDirectory(const QString& directory);
    // Writes `picture` as PNG to `directory`/`fileName` (mode 0600) atomically: a reader sees the old
    // file or the new one, never a part. A symbolic link in its place is replaced, not followed.
    // Answers the file's path; throws std::runtime_error on failure.
    static QString Write(const QImage& picture, const QString& fileName = QStringLiteral("tavrel.png"),
                         const QString& directory = DefaultDirectory());
};

}  // namespace tavrel::app
