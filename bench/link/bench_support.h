#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tavrel::link::bench {

using TBytes = std::vector<std::uint8_t>;

std::int64_t NowNs();

// A pseudo-terminal whose slave side is opened by the reader under test; the master side is written by a
// child process playing the instrument.
class TPtyPair {
  public:
    TPtyPair();
    ~TPtyPair();
    TPtyPair(const TPtyPair&) = delete;
    TPtyPair& operator=(const TPtyPair&) = delete;

    const std::string& SlavePath() const { return FSlavePath; }
    int Master() const { return FMaster; }

  private:
    int FMaster = -1;
    int FKeepSlave = -1;
    std::string FSlavePath;
};

// Runs body(masterFd) in a forked child; the child exits with body's result.
pid_t StartWriter(int masterFd, const std::function<int(int)>& body);
int WaitWriter(pid_t pid);
bool WriteAll(int fd, const TBytes& bytes);

// STX ; body ; CRC ; ETX (the CRC spoilt when badCrc).
TBytes AnswerFrame(const std::string& body, bool badCrc = false);
// The sequence number of a measurement answer body "7;<seq>;..." or -1.
long SequenceOf(const TBytes& body);

struct TStats {
    double MedianUs = 0;
    double P99Us = 0;
    std::size_t Count = 0;
};
TStats Summarise(std::vector<double> samplesUs);

// Process CPU time (user + system) in seconds.
double CpuSeconds();
// Resident set size in bytes.
std::size_t ResidentBytes();

}  // namespace tavrel::link::bench
