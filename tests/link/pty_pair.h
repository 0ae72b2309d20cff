#pragma once

#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

#include "pseudo_terminal.h"

namespace tavrel::link::testing {

// A pseudo-terminal: the test holds the master side, the code under test opens SlavePath() and sets the line
// up itself, so no slave is held open or made raw beforehand.
class TPtyPair : public test_support::TPseudoTerminal {
  public:
    TPtyPair() : TPseudoTerminal(TSlave::Closed) {}

    void Write(const std::string& Bytes) const {
        if (!test_support::WriteAll(Master(), std::vector<std::uint8_t>(Bytes.begin(), Bytes.end()))) {
            throw std::runtime_error("pty write failed");
        }
    }

    // Reads until Count bytes arrived or TimeoutMs passed without any.
    std::string Read(std::size_t Count, int TimeoutMs = 1000) const {
        std::string result;
        while (result.size() < Count) {
            pollfd fd{Master(), POLLIN, 0};
            if (::poll(&fd, 1, TimeoutMs) <= 0) {
                break;
            }
            char buffer[256];
            const ssize_t n = ::read(Master(), buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            result.append(buffer, static_cast<std::size_t>(n));
        }
        return result;
    }
};

}  // namespace tavrel::link::testing
