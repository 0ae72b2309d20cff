#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavrel::test_support {

// A pseudo-terminal: the code under test opens SlavePath() as its port, the test plays the instrument on
// the master side.
class TPseudoTerminal {
  public:
    enum class TSlave {
        // Nobody holds the slave: the port under test is its only user and sets it up itself.
        Closed,
        // A slave descriptor set to raw mode is held open, so that nothing is echoed or held back before the
        // port configures itself and the master sees no hang-up between connections.
        HeldRaw,
    };

    explicit TPseudoTerminal(TSlave slave = TSlave::HeldRaw);
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FSlavePath; }
    // Closes the held slave and the master: the port side sees a hang-up.
    void HangUp();
    // Plays an instrument that stopped taking data: fills the queue towards the master (which the test
    // then never reads) through the held slave until not one byte more is taken, so that every write of
    // the port waits for room. False when it could not be filled (no held slave).
    bool FillTowardsMaster();

  private:
    int FMaster = -1;
    int FKeepSlave = -1;
    std::string FSlavePath;
};

// Writes every byte, resuming after short writes; false when the descriptor stops taking them.
bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes);

// Runs body(masterFd) in a forked child; the child exits with body's result.
pid_t StartWriter(int masterFd, const std::function<int(int)>& body);
// The child's exit code, or 128 when it did not exit normally or could not be waited for. A writer may block
// on a full line until the reader's side runs: `whileRunning`, when given, is called between polls meanwhile.
int WaitWriter(pid_t pid, const std::function<void()>& whileRunning = {});

}  // namespace tavrel::test_support
