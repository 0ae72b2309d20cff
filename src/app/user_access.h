#pragma once

#include <QString>
#include <QtGlobal>

namespace tavrel::app {

// What keeps the tool's per-user files and its single-instance socket to the current user. The checks
// are the operating system's: one implementation per platform (posix/ or win32/user_access.cpp), chosen
// in CMake.
class TUserAccess {
  public:
    // "<user's base directory>/tavrel-check". The base is the user's runtime directory on Linux (the
    // user's cache directory when the session has none) and the user's local application-data folder on
    // Windows: never a place shared with other users.
    static QString PrivateDirectory();
    // Makes `directory` (owner only) if needed and checks it: a real directory, not a symbolic link or
    // junction, owned by the current user; access for others is taken away. Throws std::runtime_error
    // otherwise.
    static void EnsurePrivateDirectory(const QString& directory);
    // True when the process at the other end of the connected local socket (a Unix socket descriptor, or
    // a named-pipe handle on Windows) runs as the current user.
    static bool IsPeerCurrentUser(qintptr socketDescriptor);

  private:
    // The platform's per-user base of PrivateDirectory.
    static QString UserBaseDirectory();
};

}  // namespace tavrel::app
