#include "app/user_access.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// clang-format off
// windows.h first: the security and shell headers build on it.
#include <windows.h>
#include <aclapi.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <QDir>
#include <QFileInfo>

namespace tavrel::app {

namespace {

struct THandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

struct TLocalFreer {
    void operator()(void* memory) const { ::LocalFree(memory); }
};

QString SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<void, TLocalFreer> owner(buffer);
    if (length == 0) {
        return QStringLiteral("error %1").arg(error);
    }
    return QString::fromWCharArray(buffer, static_cast<qsizetype>(length)).trimmed();
}

[[noreturn]] void Fail(const QString& what, const QString& path, DWORD error = ERROR_SUCCESS) {
    QString text = QStringLiteral("%1: %2").arg(what, path);
    if (error != ERROR_SUCCESS) {
        text += QStringLiteral(" (%1)").arg(SystemMessage(error));
    }
    throw std::runtime_error(text.toStdString());
}

void RefuseUnlessDirectory(DWORD attributes, const QString& directory) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        Fail(QStringLiteral("The directory is a symbolic link or junction"), directory);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Fail(QStringLiteral("Not a directory"), directory);
    }
}

// A copy of the user SID of `process`'s token; empty when the token cannot be read.
std::vector<BYTE> UserSidOf(HANDLE process) {
    HANDLE rawToken = nullptr;
    if (::OpenProcessToken(process, TOKEN_QUERY, &rawToken) == 0) {
        return {};
    }
    const THandle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(rawToken, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    if (size == 0 || ::GetTokenInformation(rawToken, TokenUser, info.data(), size, &size) == 0) {
        return {};
    }
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(info.data())->User.Sid;
    std::vector<BYTE> copy(::GetLengthSid(sid));
    if (::CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid) == 0) {
        return {};
    }
    return copy;
}

bool SameSid(std::vector<BYTE>& sid, PSID other) {
    return !sid.empty() && other != nullptr && ::IsValidSid(other) != 0 && ::EqualSid(sid.data(), other) != 0;
}

// A DACL with a single entry: full control for `user`, inherited by everything made inside.
std::vector<BYTE> UserOnlyAcl(PSID user) {
    const DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + ::GetLengthSid(user);
    std::vector<BYTE> buffer(size);
    const auto acl = reinterpret_cast<PACL>(buffer.data());
    if (::InitializeAcl(acl, size, ACL_REVISION) == 0 ||
        ::AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, FILE_ALL_ACCESS, user) ==
            0) {
        return {};
    }
    return buffer;
}

}  // namespace

QString TUserAccess::UserBaseDirectory() {
    // The local, not the roaming, folder: the guard and the picture belong to this machine. Asked of the
    // shell rather than QStandardPaths, whose application locations follow the program's name and whose
    // test mode would move them.
    wchar_t* path = nullptr;
    QString base;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &path))) {
        base = QDir::fromNativeSeparators(QString::fromWCharArray(path));
    }
    ::CoTaskMemFree(path);
    return base;
}

void TUserAccess::EnsurePrivateDirectory(const QString& directory) {
    if (directory.isEmpty()) {
        Fail(QStringLiteral("No private directory"), directory);
    }
    const std::wstring path = QDir::toNativeSeparators(directory).toStdWString();
    std::vector<BYTE> user = UserSidOf(::GetCurrentProcess());
    if (user.empty()) {
        Fail(QStringLiteral("Cannot read the current user"), directory, ::GetLastError());
    }
    std::vector<BYTE> acl = UserOnlyAcl(user.data());
    if (acl.empty()) {
        Fail(QStringLiteral("Cannot build the access list"), directory, ::GetLastError());
    }

    // Made with the user as owner (an elevated process would otherwise give it to the Administrators
    // group) and the user-only list from the start, so no file inside ever inherits the parent's.
    SECURITY_DESCRIPTOR descriptor{};
    ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ::SetSecurityDescriptorOwner(&descriptor, user.data(), FALSE);
    ::SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(acl.data()), FALSE);
    ::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES security{sizeof security, &descriptor, FALSE};
    const auto create = [&]() {
        return ::CreateDirectoryW(path.c_str(), &security) != 0 || ::GetLastError() == ERROR_ALREADY_EXISTS;
    };
    if (!create()) {
        const DWORD error = ::GetLastError();
        // The parent may be missing (a fresh profile): make it, then this one.
        if (error != ERROR_PATH_NOT_FOUND || !QDir().mkpath(QFileInfo(directory).absolutePath()) || !create()) {
            Fail(QStringLiteral("Cannot create the directory"), directory, error);
        }
    }

    // Asked by path first, then again of one open handle that the rest is asked of: a link or junction
    // swapped in between is opened as itself, not followed, and still refused.
    const DWORD pathAttributes = ::GetFileAttributesW(path.c_str());
    if (pathAttributes == INVALID_FILE_ATTRIBUTES) {
        Fail(QStringLiteral("Cannot inspect the directory"), directory, ::GetLastError());
    }
    RefuseUnlessDirectory(pathAttributes, directory);
    const HANDLE rawHandle =
        ::CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC | FILE_READ_ATTRIBUTES,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (rawHandle == INVALID_HANDLE_VALUE) {
        Fail(QStringLiteral("Cannot open the directory"), directory, ::GetLastError());
    }
    const THandle handle(rawHandle);
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileInformationByHandle(handle.get(), &info) == 0) {
        Fail(QStringLiteral("Cannot inspect the directory"), directory, ::GetLastError());
    }
    RefuseUnlessDirectory(info.dwFileAttributes, directory);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR ownerDescriptor = nullptr;
    const DWORD ownerError = ::GetSecurityInfo(handle.get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                               nullptr, nullptr, nullptr, &ownerDescriptor);
    const std::unique_ptr<void, TLocalFreer> ownerMemory(ownerDescriptor);
    if (ownerError != ERROR_SUCCESS) {
        Fail(QStringLiteral("Cannot inspect the directory"), directory, ownerError);
    }
    if (!SameSid(user, owner)) {
        Fail(QStringLiteral("The directory belongs to another user"), directory);
    }
    // Set every time: an inherited or widened list is replaced by the user's alone.
    const DWORD aclError =
        ::SetSecurityInfo(handle.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, reinterpret_cast<PACL>(acl.data()), nullptr);
    if (aclError != ERROR_SUCCESS) {
        Fail(QStringLiteral("Cannot restrict the directory"), directory, aclError);
    }
}

bool TUserAccess::IsPeerCurrentUser(qintptr socketDescriptor) {
    // QLocalSocket's descriptor on Windows is the named pipe's handle. The guard asks as the client, where
    // ImpersonateNamedPipeClient cannot help; the other end's process is looked up and its user compared.
    const auto pipe = reinterpret_cast<HANDLE>(socketDescriptor);
    if (pipe == nullptr || pipe == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD flags = 0;
    if (::GetNamedPipeInfo(pipe, &flags, nullptr, nullptr, nullptr) == 0) {
        return false;
    }
    ULONG peerId = 0;
    const BOOL known = (flags & PIPE_SERVER_END) != 0 ? ::GetNamedPipeClientProcessId(pipe, &peerId)
                                                      : ::GetNamedPipeServerProcessId(pipe, &peerId);
    if (known == 0) {
        return false;
    }
    const HANDLE rawPeer = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, peerId);
    if (rawPeer == nullptr) {
        return false;  // gone, or another user's process we may not look into
    }
    const THandle peer(rawPeer);
    std::vector<BYTE> self = UserSidOf(::GetCurrentProcess());
    std::vector<BYTE> other = UserSidOf(rawPeer);
    return !other.empty() && SameSid(self, other.data());
}

}  // namespace tavrel::app
