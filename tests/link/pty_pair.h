#pragma once

#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace tavrel::link::testing {

// A pseudo-terminal: the test holds the master side, the code under test opens SlavePath.
class TPtyPair {
  public:
    TPtyPair() {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (Master < 0 || ::grantpt(Master) != 0 || ::unlockpt(Master) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        SlavePath = ::ptsname(Master);
    }
    ~TPtyPair() { CloseMaster(); }
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    void CloseMaster() {
        if (Master >= 0) {
            ::close(Master);
            Master = -1;
        }
    }

    void Write(const std::string& Bytes) const {
        if (::write(Master, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size())) {
            throw std::runtime_error("pty write failed");
        }
    }

    // Reads until Count bytes arrived or TimeoutMs passed without any.
    std::string Read(std::size_t Count, int TimeoutMs = 1000) const {
        std::string result;
        while (result.size() < Count) {
            pollfd fd{Master, POLLIN, 0};
            if (::poll(&fd, 1, TimeoutMs) <= 0) {
                break;
            }
            char buffer[256];
            const ssize_t n = ::read(Master, buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            result.append(buffer, static_cast<std::size_t>(n));
        }
        return result;
    }

    int Master = -1;
    std::string SlavePath;
};

}  // namespace tavrel::link::testing
