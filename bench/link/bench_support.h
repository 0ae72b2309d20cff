#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "answer_frame.h"
#include "pseudo_terminal.h"

namespace tavrel::link::bench {

using TBytes = std::vector<std::uint8_t>;

std::int64_t NowNs();

// A pseudo-terminal whose slave side is opened by the reader under test, raw and held open; the master
// side is written by a child process playing the instrument.
class TPtyPair : public test_support::TPseudoTerminal {
  public:
    TPtyPair() : TPseudoTerminal(TSlave::HeldRaw) {}
};

using test_support::AnswerFrame;
using test_support::StartWriter;
using test_support::WaitWriter;
using test_support::WriteAll;

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
