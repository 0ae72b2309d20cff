// Soak run of the serial link: a child floods the line at its full rate with measurement answers, noise
// between frames and answers with a wrong CRC. Every valid answer must be decoded exactly once, every bad
// one reported as a CRC error, and the resident memory must stay flat after the first seconds.
// Run: link_soak [--seconds S] [--rate BYTES_PER_SECOND, 0 for as fast as the line goes]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <sys/mman.h>
#include <thread>
#include <vector>

#include "answer_writer.h"
#include "bench_bus.h"
#include "bench_support.h"
#include "link/xcom_port_module.h"
#include "protocol/tavrel_data_parser.h"

namespace {

using namespace tavrel;
using namespace tavrel::link::bench;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr int kWarmUpSeconds = 5;

struct TWriterCounts {
    std::atomic<long> Valid{0};
    std::atomic<long> Bad{0};
    std::atomic<long> Bytes{0};
};

// Writes the mixed stream for `seconds`, paced to `rate` bytes per second in 10 ms slices; rate 0 writes
// as fast as the line takes it.
int Flood(int master, TWriterCounts& counts, int seconds, long rate) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> noiseLength(0, 12);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    std::uniform_int_distribution<int> kind(0, 9);
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    const long slice = rate > 0 ? std::max(1L, rate / 100) : 4096;
    long seq = 0;
    long sent = 0;
    TBytes burst;
    for (auto next = start; next < end; next += std::chrono::milliseconds(10)) {
        burst.clear();
        while (static_cast<long>(burst.size()) < slice) {
            for (int n = noiseLength(random); n > 0; --n) {
                burst.push_back(static_cast<std::uint8_t>(printable(random)));
            }
            const bool bad = kind(random) == 0;
            const TBytes frame = MeasureAnswer(bad ? 999999 : seq, bad);
            burst.insert(burst.end(), frame.begin(), frame.end());
            if (bad) {
                counts.Bad.fetch_add(1);
            } else {
                ++seq;
                counts.Valid.fetch_add(1);
            }
        }
        if (!WriteAll(master, burst)) {
            return 1;
        }
        sent += static_cast<long>(burst.size());
        counts.Bytes.store(sent);
        if (rate > 0) {
            std::this_thread::sleep_until(next + std::chrono::milliseconds(10));
        } else {
            next = std::chrono::steady_clock::now() - std::chrono::milliseconds(10);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 60;
    long rate = 0;  // as fast as the pty takes it; 11520 is the instrument's 115200 baud, 8N1
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--seconds") {
            seconds = std::atoi(argv[i + 1]);
        } else if (name == "--rate") {
            rate = std::atol(argv[i + 1]);
        }
    }

    TBenchMain mainThread;
    TPtyPair pty;
    auto* counts = static_cast<TWriterCounts*>(
        ::mmap(nullptr, sizeof(TWriterCounts), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    new (counts) TWriterCounts();

    // One line, one order: valid answers must arrive numbered 0, 1, 2, ... with no gap and no repeat.
    long expected = 0;
    long missing = 0;
    long decoded = 0;
    long duplicates = 0;
    long outOfRange = 0;
    long crcErrors = 0;
    long current = -1;
    long firstMissing = -1;  // where the first gap began: at 0 the line lost the start of the stream

    link::TXComPortModule module;
    module.SetAutoDetect(false);
    module.SetComPortName(pty.SlavePath());
    TPortMessagesToModule route(module);
    auto parser = std::make_shared<protocol::TTavrelDataParser>();
    module._ListenerDataHelperSet(std::make_unique<link::TDataHelper>(
        1, parser, [&](protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
            switch (kind) {
                case protocol::TTavrelCMD::cmdUnknown:
                    current = SequenceOf(data);
                    break;
                case protocol::TTavrelCMD::cmdMeasure:
                    ++decoded;
                    if (current < 0) {
                        ++outOfRange;
                    } else if (current < expected) {
                        ++duplicates;
                    } else {
                        if (current > expected && firstMissing < 0) {
                            firstMissing = expected;
                        }
                        missing += current - expected;
                        expected = current + 1;
                    }
                    current = -1;
                    break;
                case protocol::TTavrelCMD::cmdCRCError:
                    ++crcErrors;
                    break;
                default:
                    break;
            }
        }));
    module._TaskWorkStart();
    // The work task opens the port on its own thread and purges the line then: what is written before
    // that is rightly discarded, so the writer starts only once the port reports that it is open.
    const auto connectEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!route.PortConnected() && std::chrono::steady_clock::now() < connectEnd) {
        mainThread.Pump(std::chrono::milliseconds(5));
    }
    if (!module.IsRunning() || !route.PortConnected()) {
        std::fprintf(stderr, "cannot connect to %s\n", pty.SlavePath().c_str());
        return 1;
    }

    const pid_t writer = StartWriter(pty.Master(), [&](int master) { return Flood(master, *counts, seconds, rate); });
    const auto start = std::chrono::steady_clock::now();
    std::size_t baseline = 0;
    std::size_t highest = 0;
    std::size_t first = ResidentBytes();
    for (int second = 1; second <= seconds; ++second) {
        while (std::chrono::steady_clock::now() < start + std::chrono::seconds(second)) {
            mainThread.Pump(std::chrono::milliseconds(20));
        }
        const std::size_t rss = ResidentBytes();
        if (second == kWarmUpSeconds || (baseline == 0 && second == seconds)) {
            baseline = rss;
        }
        if (second > kWarmUpSeconds) {
            highest = std::max(highest, rss);
        }
    }
    // The writer's last burst may wait for room on the line, which only the main thread's pumping makes.
    const int writerResult = WaitWriter(writer, [&] { mainThread.Pump(std::chrono::milliseconds(20)); });
    // Drain what is still on the line and in the main thread's queue.
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < drainEnd &&
           (decoded < counts->Valid.load() || crcErrors < counts->Bad.load())) {
        mainThread.Pump(std::chrono::milliseconds(20));
    }
    module._TaskWorkStop();
    mainThread.Pump(std::chrono::milliseconds(100));

    if (counts->Valid.load() > expected && firstMissing < 0) {
        firstMissing = expected;
    }
    missing += std::max(0L, counts->Valid.load() - expected);
    const double growthMiB = highest > baseline ? static_cast<double>(highest - baseline) / kMiB : 0.0;
    std::printf("soak: %d s at %ld bytes/s over %s, %ld bytes written\n", seconds, rate, pty.SlavePath().c_str(),
                counts->Bytes.load());
    std::printf("valid answers: sent %ld, decoded %ld, missing %ld, duplicates %ld, unknown %ld\n",
                counts->Valid.load(), decoded, missing, duplicates, outOfRange);
    if (firstMissing >= 0) {
        std::printf("first missing answer: number %ld\n", firstMissing);
    }
    std::printf("bad CRC answers: sent %ld, reported %ld\n", counts->Bad.load(), crcErrors);
    std::printf("resident memory: start %.2f MiB, after %d s %.2f MiB, highest later %.2f MiB, growth %.3f MiB\n",
                static_cast<double>(first) / kMiB, kWarmUpSeconds, static_cast<double>(baseline) / kMiB,
                static_cast<double>(highest) / kMiB, growthMiB);

    const bool ok = writerResult == 0 && decoded == counts->Valid.load() && missing == 0 && duplicates == 0 &&
                    outOfRange == 0 && crcErrors == counts->Bad.load() && growthMiB <= 1.0;
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
