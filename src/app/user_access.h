#pragma once

#include <QString>
#include <QtGlobal>

namespace tavrel::app {

// What keeps the tool's per-user files and its single-instance socket to the current user. The checks
// are the operating system's: one implementation per platform (posix/user_access.cpp), chosen in CMake.
class TUserAccess {
  public:
    // "<user runtime directory>/tavrel-check"; the user's cache directory stands in when the session has
    // no runtime directory, never a place shared with other users.
    static QString PrivateDirectory();
    // Makes `directory` (owner only) if needed and checks it: a real directory, not a symbolic link, owned
    // by the current user; access for others is taken away. Throws std::runtime_error otherwise.
    static void EnsurePrivateDirectory(const QString& directory);
    // True when the process at the other end of the connected local socket runs as the current user.
    static bool IsPeerCurrentUser(qintptr socketDescriptor);
};

}  // namespace tavrel::app
