#include "pseudo_terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace tavrel::test_support {
namespace {

void CloseOnce(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

TPseudoTerminal::TPseudoTerminal(TSlave slave) {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0) {
        CloseOnce(FMaster);
        throw std::runtime_error("no pseudo-terminal");
    }
    char name[128] = {};
    if (::ptsname_r(FMaster, name, sizeof name) != 0) {
        CloseOnce(FMaster);
        throw std::runtime_error("no pseudo-terminal name");
    }
    FSlavePath = name;
    if (slave == TSlave::HeldRaw) {
        FKeepSlave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios settings{};
        ::tcgetattr(FKeepSlave, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(FKeepSlave, TCSANOW, &settings);
    }
}

TPseudoTerminal::~TPseudoTerminal() {
    HangUp();
}

bool TPseudoTerminal::FillTowardsMaster() {
    if (FKeepSlave < 0) {
        return false;
    }
    const int flags = ::fcntl(FKeepSlave, F_GETFL);
    ::fcntl(FKeepSlave, F_SETFL, flags | O_NONBLOCK);
    // The kernel moves what was queued on to the master's line discipline a moment later, which makes
    // room again: fill until a round after such a pause takes nothing.
    const std::vector<std::uint8_t> block(4096, 0);
    bool full = false;
    for (int round = 0; round < 100 && !full; ++round) {
        std::size_t taken = 0;
        for (ssize_t n = 0; (n = ::write(FKeepSlave, block.data(), block.size())) > 0;) {
            taken += static_cast<std::size_t>(n);
        }
        const std::uint8_t one = 0;
        while (::write(FKeepSlave, &one, 1) == 1) {
            ++taken;
        }
        full = taken == 0 && errno == EAGAIN;
        ::usleep(20000);
    }
    ::fcntl(FKeepSlave, F_SETFL, flags);
    return full;
}

void TPseudoTerminal::HangUp() {
    CloseOnce(FKeepSlave);
    CloseOnce(FMaster);
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

pid_t StartWriter(int masterFd, const std::function<int(int)>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(body(masterFd));
    }
    return pid;
}

int WaitWriter(pid_t pid, const std::function<void()>& whileRunning) {
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, whileRunning ? WNOHANG : 0);
        if (done == pid) {
            break;
        }
        if (done != 0) {
            return 128;
        }
        whileRunning();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

}  // namespace tavrel::test_support
