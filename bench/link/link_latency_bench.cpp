// Wire-to-decoded-answer latency of the serial link and its idle processor use, beside a QSerialPort
// reader on the same kind of line. The two readers take turns in blocks, so that the load of the machine
// falls on both alike.
// Run: link_latency_bench [--rounds R] [--frames-per-round N] [--interval-us U] [--idle-seconds S]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "answer_writer.h"
#include "bench_bus.h"
#include "bench_support.h"
#include "bus/messaging.h"
#include "hand_off_reader.h"
#include "link/xcom_port.h"
#include "link/xcom_port_module.h"
#include "protocol/tavrel_data_parser.h"

#ifdef TAVREL_BENCH_QT
#include "qt_serial_reader.h"
#endif

namespace {

using namespace tavrel;
using namespace tavrel::link::bench;

struct TOptions {
    int Rounds = 10;
    std::size_t FramesPerRound = 200;
    long IntervalUs = 3000;
    int IdleSeconds = 10;
};

TOptions ParseOptions(int argc, char** argv) {
    TOptions options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (name == "--rounds") {
            options.Rounds = static_cast<int>(value);
        } else if (name == "--frames-per-round") {
            options.FramesPerRound = static_cast<std::size_t>(value);
        } else if (name == "--interval-us") {
            options.IntervalUs = value;
        } else if (name == "--idle-seconds") {
            options.IdleSeconds = static_cast<int>(value);
        }
    }
    return options;
}

void Collect(const TSharedStamps& written, const std::vector<std::int64_t>& seen, std::vector<double>& samples) {
    for (std::size_t i = 0; i < written.Count(); ++i) {
        if (seen[i] != 0 && written.Stamps()[i] != 0) {
            samples.push_back(static_cast<double>(seen[i] - written.Stamps()[i]) / 1000.0);
        }
    }
}

void Print(const char* what, const TStats& stats, std::size_t expected) {
    std::printf("%-36s median %8.1f us   p99 %8.1f us   (%zu of %zu answers)\n", what, stats.MedianUs, stats.P99Us,
                stats.Count, expected);
}

// Stamps, on the listen task's own thread, the moment each chunk is posted and the moment the wake that
// brought it was reported (CanRead's status comes first in every wake).
class TPostStamps : public bus::TSubscriberObject {
  public:
    TPostStamps() {
        bus::SharedMessaging().SubscribeCallback<&TPostStamps::OnData>(link::subscribeComPortData,
                                                                       bus::TMessagingThread::Posting, this);
        bus::SharedMessaging().SubscribeCallback<&TPostStamps::OnEventStatus>(link::subscribeComPortEventStatus,
                                                                              bus::TMessagingThread::Posting, this);
    }
    ~TPostStamps() override {
        bus::SharedMessaging().TryUnsubscribeCallback<&TPostStamps::OnData>(link::subscribeComPortData, this);
        bus::SharedMessaging().TryUnsubscribeCallback<&TPostStamps::OnEventStatus>(link::subscribeComPortEventStatus,
                                                                                   this);
    }
    TPostStamps(const TPostStamps&) = delete;
    TPostStamps& operator=(const TPostStamps&) = delete;
    const bus::TSubscriberClass& SubscriberClass() const override {
        static const bus::TSubscriberClass registration("LinkBench", "TPostStamps");
        return registration;
    }
    void OnEventStatus(const std::shared_ptr<link::ISubscribeMessage>& message) {
        if (message->MessageEvent().ErrorCode ==
            static_cast<std::int32_t>(link::TEventStatusComPort::XComPort_CanRead)) {
            FCanRead = NowNs();
        }
    }
    void OnData(const std::shared_ptr<link::ISubscribeMessage>& message) {
        const std::int64_t now = NowNs();
        const auto data = message->Data();
        // One answer per chunk at this pace: "\x02;" then the body.
        const long seq = data.size() > 2 ? SequenceOf(TBytes(data.begin() + 2, data.end())) : -1;
        if (Posted != nullptr && seq >= 0 && static_cast<std::size_t>(seq) < Posted->size() && (*Posted)[seq] == 0) {
            (*Posted)[seq] = now;
            (*Woken)[seq] = FCanRead;
        }
    }
    std::vector<std::int64_t>* Woken = nullptr;
    std::vector<std::int64_t>* Posted = nullptr;

  private:
    std::int64_t FCanRead = 0;  // listen task only
};

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseOptions(argc, argv);
    TBenchMain mainThread;  // this thread is the main thread; the bus delivers port messages to it
#ifdef TAVREL_BENCH_QT
    TQtSerialReader qt;
    if (!qt.Open()) {
        std::fprintf(stderr, "QSerialPort cannot open its pty\n");
        return 1;
    }
#endif

    THandOffReader handOff;
    TPtyPair pty;
    link::TXComPortModule module;
    module.SetAutoDetect(false);
    module.SetComPortName(pty.SlavePath());
    // Subscribed to all four port messages like the main window; data goes on to _ParseData.
    TPortMessagesToModule route(module);
    TPostStamps postStamps;

    std::vector<std::int64_t> woken;
    std::vector<std::int64_t> posted;
    std::vector<std::int64_t> raw;
    std::vector<std::int64_t> decoded;
    long current = -1;
    std::size_t received = 0;
    auto parser = std::make_shared<protocol::TTavrelDataParser>();
    module._ListenerDataHelperSet(std::make_unique<link::TDataHelper>(
        1, parser, [&](protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
            if (kind == protocol::TTavrelCMD::cmdUnknown) {
                current = SequenceOf(data);  // the raw body comes just before the decoded answer
                if (current >= 0 && static_cast<std::size_t>(current) < raw.size() && raw[current] == 0) {
                    raw[current] = NowNs();
                }
            } else if (kind == protocol::TTavrelCMD::cmdMeasure && current >= 0 &&
                       static_cast<std::size_t>(current) < decoded.size() && decoded[current] == 0) {
                decoded[current] = NowNs();
                ++received;
            }
        }));
    module._TaskWorkStart();
    if (!module.IsRunning()) {
        std::fprintf(stderr, "cannot connect to %s\n", pty.SlavePath().c_str());
        return 1;
    }
    mainThread.Pump(std::chrono::milliseconds(200));

    std::vector<double> linkWoken;
    std::vector<double> linkPosted;
    std::vector<double> linkRaw;
    std::vector<double> linkDecoded;
    std::vector<double> qtReady;
    std::vector<double> handOffWoken;
    std::vector<double> handOffSeen;
    const std::size_t total = options.FramesPerRound * static_cast<std::size_t>(options.Rounds);
    for (int round = 0; round < options.Rounds; ++round) {
        {
            TSharedStamps written(options.FramesPerRound);
            woken.assign(options.FramesPerRound, 0);
            posted.assign(options.FramesPerRound, 0);
            raw.assign(options.FramesPerRound, 0);
            decoded.assign(options.FramesPerRound, 0);
            postStamps.Woken = &woken;
            postStamps.Posted = &posted;
            received = 0;
            MeasureWhilePumping(
                pty.Master(), written, options.IntervalUs, [&] { return received >= written.Count(); },
                [&mainThread] { mainThread.Pump(std::chrono::milliseconds(20)); });
            postStamps.Woken = nullptr;
            postStamps.Posted = nullptr;
            Collect(written, woken, linkWoken);
            Collect(written, posted, linkPosted);
            Collect(written, raw, linkRaw);
            Collect(written, decoded, linkDecoded);
        }
        {
            TSharedStamps written(options.FramesPerRound);
            std::vector<std::int64_t> pollWoke(options.FramesPerRound, 0);
            std::vector<std::int64_t> seen(options.FramesPerRound, 0);
            handOff.MeasureBlock(written, pollWoke, seen, options.IntervalUs, mainThread);
            Collect(written, pollWoke, handOffWoken);
            Collect(written, seen, handOffSeen);
        }
#ifdef TAVREL_BENCH_QT
        {
            TSharedStamps written(options.FramesPerRound);
            std::vector<std::int64_t> seen(options.FramesPerRound, 0);
            qt.MeasureBlock(written, seen, options.IntervalUs);
            Collect(written, seen, qtReady);
        }
#endif
    }

    // Connected and idle: nothing arrives and nothing is queued.
    mainThread.Pump(std::chrono::milliseconds(500));
    const double cpuBefore = CpuSeconds();
    const auto idleStart = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - idleStart < std::chrono::seconds(options.IdleSeconds)) {
        mainThread.Pump(std::chrono::milliseconds(1000));
    }
    const double idleWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - idleStart).count();
    const double idleCpuPercent = (CpuSeconds() - cpuBefore) / idleWall * 100.0;
    module._TaskWorkStop();
    mainThread.Pump(std::chrono::milliseconds(100));

    const TStats ours = Summarise(linkDecoded);
    std::printf("%d rounds of %zu answers, %ld us apart, each reader on its own pty, writer in a child process\n",
                options.Rounds, options.FramesPerRound, options.IntervalUs);
    Print("link: wire -> CanRead reported", Summarise(linkWoken), total);
    Print("link: wire -> chunk posted", Summarise(linkPosted), total);
    Print("link: wire -> frame found (raw)", Summarise(linkRaw), total);
    Print("link: wire -> decoded answer", ours, total);
    std::printf("%-36s %.4f %% of a core over %.1f s\n", "link: idle CPU while connected", idleCpuPercent, idleWall);
    const TStats handOffStats = Summarise(handOffSeen);
    Print("floor: wire -> poll() thread woke", Summarise(handOffWoken), total);
    Print("floor: wire -> main thread", handOffStats, total);
    // The target: the link's median at most 1.3 times the floor of its own design measured in this run.
    constexpr double kTargetOverFloor = 1.3;
    const double overFloor = handOffStats.MedianUs > 0 ? ours.MedianUs / handOffStats.MedianUs : 0;
    std::printf("%-36s %.2f (target <= %.2f)\n", "ratio of medians (link / floor)", overFloor, kTargetOverFloor);

    const bool met = handOffStats.MedianUs > 0 && overFloor <= kTargetOverFloor;
    int result = ours.Count == total && idleCpuPercent < 0.1 && met ? 0 : 1;
#ifdef TAVREL_BENCH_QT
    // QSerialPort reads on the thread that handles the bytes: a yardstick, reported beside the target.
    const TStats qtStats = Summarise(qtReady);
    Print("QSerialPort: write -> readyRead", qtStats, total);
    if (qtStats.MedianUs > 0) {
        std::printf("%-36s %.2f\n", "ratio of medians (link / Qt)", ours.MedianUs / qtStats.MedianUs);
        std::printf("%-36s %.2f\n", "ratio of medians (floor / Qt)", handOffStats.MedianUs / qtStats.MedianUs);
    }
#else
    std::printf("QSerialPort reader not built (Qt6 SerialPort not found)\n");
#endif
    return result;
}
