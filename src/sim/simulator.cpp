#include "simulator.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <numbers>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

#include "protocol/crc_helper.h"

namespace tavrel::sim {
namespace {

constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kAck = 0x7F;
constexpr std::uint8_t kAccepted = 4;
constexpr std::uint8_t kRefused = 1;
constexpr std::size_t kMaxInput = 4096;

using protocol::TCRCHelper;

// Range code of the channel command -> range as the instrument writes it, in volts.
const char* RangeText(char code) {
    switch (code) {
        case '1':
            return "1";
        case '2':
            return "10";
        case '3':
            return "100";
        case '4':
            return "0.1";
        default:
            return "0";
    }
}

double RangeVolts(char code) {
    switch (code) {
        case '1':
            return 1;
        case '2':
            return 10;
        case '3':
            return 100;
        case '4':
            return 0.1;
        default:
            return 0;
    }
}

bool RangeAllowed(int channel, char code) {
    switch (channel) {
        case 0:
            return code == '0' || code == '1' || code == '2' || code == '3';
        case 1:
            return code == '0' || code == '1' || code == '2';
        default:
            return code == '0' || code == '1' || code == '4';
    }
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> pieces;
    std::string piece;
    for (const char c : text) {
        if (c == ';') {
            pieces.push_back(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.empty()) {
        pieces.push_back(piece);
    }
    return pieces;
}

std::string Escaped(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (const std::uint8_t b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            text += static_cast<char>(b);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", b);
            text += hex;
        }
    }
    return text;
}

void MakeRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
}

}  // namespace

bool ParseHoldValues(const std::string& Text, std::array<std::optional<double>, 3>& Hold, std::string& Error) {
    std::array<std::optional<double>, 3> parsed;
    std::size_t start = 0;
    while (start <= Text.size()) {
        const std::size_t comma = std::min(Text.find(',', start), Text.size());
        const std::string item = Text.substr(start, comma - start);
        const std::size_t equals = item.find('=');
        if (equals != 1 || item[0] < '1' || item[0] > '3') {
            Error = "'" + item + "' is not CHANNEL=VALUE with a channel from 1 to 3";
            return false;
        }
        const std::string valueText = item.substr(2);
        // from_chars: a decimal point whatever the locale; it takes no leading '+'.
        const char* first = valueText.c_str() + (valueText.starts_with('+') ? 1 : 0);
        const char* last = valueText.c_str() + valueText.size();
        double value = 0;
        const auto [end, code] = std::from_chars(first, last, value);
        if (first == last || code != std::errc() || end != last || !std::isfinite(value)) {
            Error = "'" + valueText + "' is not a number (channel " + item[0] + ")";
            return false;
        }
        std::optional<double>& slot = parsed[static_cast<std::size_t>(item[0] - '1')];
        if (slot.has_value()) {
            Error = std::string("channel ") + item[0] + " is given twice";
            return false;
        }
        slot = value;
        start = comma + 1;
    }
    Hold = parsed;
    return true;
}

Simulator::Simulator(TSimOptions Options)
    : FOptions(std::move(Options)),
      FRefuseModes(FOptions.RefuseModes),
      FSilent(FOptions.Silent),
      FRandom(FOptions.Seed) {
    if (::pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        FWake[0] = FWake[1] = -1;
    }
    if (!FOptions.LogFile.empty()) {
        FLog = std::fopen(FOptions.LogFile.c_str(), "we");
    }
}

Simulator::~Simulator() {
    Stop();
    for (int& fd : FWake) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    if (FLog != nullptr) {
        std::fclose(FLog);
    }
}

std::vector<std::uint8_t> Simulator::BuildFrame(const std::vector<std::uint8_t>& Body, bool BadCrc) {
    std::vector<std::uint8_t> frame(Body.size() + 3);
    frame[0] = kStx;
    frame[1] = ';';
    std::copy(Body.begin(), Body.end(), frame.begin() + 2);
    frame.back() = ';';
    const int good = TCRCHelper::CRC7Calc(frame, -1);
    const int crc = BadCrc ? (good ^ 0x01) : good;
    char text[3];
    std::snprintf(text, sizeof(text), "%02X", crc);
    frame.push_back(static_cast<std::uint8_t>(text[0]));
    frame.push_back(static_cast<std::uint8_t>(text[1]));
    frame.push_back(';');
    frame.push_back(kEtx);
    // The check the tool's parser makes: CRC text at e-3/e-2 over bytes s..e-4.
    const int last = static_cast<int>(frame.size()) - 1;
    [[maybe_unused]] const bool valid = TCRCHelper::CRC7Check(crc, frame.data(), 0, last - 3);
    assert(valid != BadCrc);
    return frame;
}

std::vector<std::uint8_t> Simulator::BuildFrame(const std::string& Body, bool BadCrc) {
    return BuildFrame(std::vector<std::uint8_t>(Body.begin(), Body.end()), BadCrc);
}

std::string Simulator::OpenPty() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        const std::lock_guard guard(FLock);
        FLastError = std::string("posix_openpt: ") + std::strerror(errno);
        if (master >= 0) {
            ::close(master);
        }
        return {};
    }
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof(name)) != 0) {
        ::close(master);
        return {};
    }
    // Holding the slave keeps the master readable between the tool's connections and lets us make it raw
    // before anyone opens it, so nothing is echoed back into our input.
    FSlaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (FSlaveHold >= 0) {
        MakeRaw(FSlaveHold);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    FMaster = master;
    return name;
}

bool Simulator::OpenTty(const std::string& Path) {
    const int fd = ::open(Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const std::lock_guard guard(FLock);
        FLastError = Path + ": " + std::strerror(errno);
        return false;
    }
    MakeRaw(fd);
    FMaster = fd;
    return true;
}

void Simulator::Start() {
    if (FMaster < 0 || FThread.joinable()) {
        return;
    }
    FStop = false;
    FRunning = true;
    FStart = std::chrono::steady_clock::now();
    FThread = std::thread([this] { Run(); });
}

void Simulator::Stop() {
    FStop = true;
    if (FWake[1] >= 0) {
        const char one = 1;
        [[maybe_unused]] const ssize_t n = ::write(FWake[1], &one, 1);
    }
    if (FThread.joinable()) {
        FThread.join();
    }
    CloseLine();
}

void Simulator::CloseLine() {
    if (FMaster >= 0) {
        ::close(FMaster);
        FMaster = -1;
    }
    if (FSlaveHold >= 0) {
        ::close(FSlaveHold);
        FSlaveHold = -1;
    }
    FRunning = false;
}

void Simulator::Stall() {
    FStall = true;  // seen within one turn of Run, at most 50 ms
}

void Simulator::FillLine() {
    if (FSlaveHold < 0) {
        return;  // a tty: the tool's own writes fill it, since nothing is read any more
    }
    // Written on the held slave, the bytes wait in the same queue as the tool's writes; it is full when
    // not even one byte more is taken.
    const std::vector<std::uint8_t> block(4096, 0);
    while (::write(FSlaveHold, block.data(), block.size()) > 0) {
    }
    const std::uint8_t one = 0;
    while (::write(FSlaveHold, &one, 1) == 1) {
    }
}

bool Simulator::Running() const {
    return FRunning;
}

TSimCounts Simulator::Counts() const {
    const std::lock_guard guard(FLock);
    return FCounts;
}

std::string Simulator::LastError() const {
    const std::lock_guard guard(FLock);
    return FLastError;
}

void Simulator::Run() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point nextTick = Clock::now();
    bool stalled = false;
    while (!FStop) {
        const Clock::time_point now = Clock::now();
        if (FOptions.HangUpAfterMs > 0 && now - FStart >= std::chrono::milliseconds(FOptions.HangUpAfterMs)) {
            Log("hangup", {});
            CloseLine();  // the tool's side now sees POLLHUP / EIO
            return;
        }
        if (FOptions.StallAfterMs > 0 && now - FStart >= std::chrono::milliseconds(FOptions.StallAfterMs)) {
            FStall = true;
        }
        if (FStall) {
            if (!stalled) {
                stalled = true;
                Log("stall", {});
            }
            FillLine();  // again every turn: the kernel moves some of it on to the master and makes room
            pollfd wake{FWake[0], POLLIN, 0};
            if (::poll(&wake, 1, 50) > 0) {
                break;  // Stop
            }
            continue;
        }
        if (FOptions.Flood) {
            FloodOnce();
        }
        int timeout = 50;
        if (FStreaming && !FSilent) {
            if (now >= nextTick) {
                Answer(Measurement());
                nextTick = now + std::chrono::milliseconds(FOptions.RateMs);
            }
            timeout = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()).count());
            timeout = std::max(timeout, 0);
        }
        if (FOptions.Flood) {
            timeout = 0;
        }
        pollfd fds[2] = {{FMaster, POLLIN, 0}, {FWake[0], POLLIN, 0}};
        const int n = ::poll(fds, 2, timeout);
        if (n < 0 && errno != EINTR) {
            break;
        }
        if (n <= 0) {
            continue;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            break;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            std::uint8_t buffer[512];
            const ssize_t got = ::read(FMaster, buffer, sizeof(buffer));
            if (got > 0) {
                HandleInput(buffer, static_cast<std::size_t>(got));
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));  // a tty whose other side is away
            }
        } else if ((fds[0].revents & (POLLHUP | POLLERR)) != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

void Simulator::HandleInput(const std::uint8_t* Data, std::size_t Length) {
    FInput.insert(FInput.end(), Data, Data + Length);
    for (;;) {
        const auto stx = std::find(FInput.begin(), FInput.end(), kStx);
        if (stx == FInput.end()) {
            FInput.clear();
            return;
        }
        FInput.erase(FInput.begin(), stx);
        const auto etx = std::find(FInput.begin(), FInput.end(), kEtx);
        if (etx == FInput.end()) {
            if (FInput.size() > kMaxInput) {
                FInput.clear();
            }
            return;
        }
        const std::vector<std::uint8_t> frame(FInput.begin(), etx + 1);
        FInput.erase(FInput.begin(), etx + 1);
        const int e = static_cast<int>(frame.size()) - 1;
        if (e < 7) {
            Log("rx-short", frame);
            continue;
        }
        const char crcText[3] = {static_cast<char>(frame[static_cast<std::size_t>(e - 3)]),
                                 static_cast<char>(frame[static_cast<std::size_t>(e - 2)]), 0};
        char* end = nullptr;
        const long crc = std::strtol(crcText, &end, 16);
        if (end != crcText + 2 || !TCRCHelper::CRC7Check(static_cast<int>(crc), frame.data(), 0, e - 3)) {
            {
                const std::lock_guard guard(FLock);
                ++FCounts.BadCrc;
            }
            Log("rx-bad-crc", frame);
            continue;
        }
        const std::string body(frame.begin() + 2, frame.begin() + (e - 4));
        {
            const std::lock_guard guard(FLock);
            ++FCounts.Received;
        }
        Log("rx", std::vector<std::uint8_t>(body.begin(), body.end()));
        HandleCommand(body, frame);
    }
}

void Simulator::HandleCommand(const std::string& Body, const std::vector<std::uint8_t>& /*Raw*/) {
    if (FSilent || FOptions.Flood) {
        return;
    }
    const std::vector<std::string> pieces = Split(Body);
    if (pieces.empty() || pieces[0].size() != 1) {
        Log("rx-unknown", std::vector<std::uint8_t>(Body.begin(), Body.end()));
        return;
    }
    const char command = pieces[0][0];
    const std::string sub = pieces.size() > 1 ? pieces[1] : std::string();
    switch (command) {
        case '3':
            if (sub == "0") {
                Answer("0;" + FOptions.Serial + ";" + std::to_string(FOptions.Month) + ";" +
                       std::to_string(FOptions.Year) + ";" + FOptions.Firmware);
            } else if (sub == "7") {
                Answer(Measurement());
            } else if (sub == "9") {
                Answer(Battery());
            } else if (sub == "D") {
                Answer("D;1048576;524288");
            } else if (sub == "K") {
                Answer("K;" + std::to_string(FMode));
            } else {
                Log("rx-unknown", std::vector<std::uint8_t>(Body.begin(), Body.end()));
            }
            return;
        case '1':
            // "1;1" streams over USB; "1;3" (and the other modes) stop the USB stream.
            FStreaming = sub == "1";
            return;
        case '4': {
            const bool known = sub == "K" && pieces.size() == 3 && (pieces[2] == "1" || pieces[2] == "4");
            const bool accepted = known && !FRefuseModes;
            Acknowledge('4', 'K', accepted);
            if (accepted) {
                FIppCurrent = false;
                FMode = pieces[2][0] - '0';
                Answer("K;" + std::to_string(FMode));
            }
            return;
        }
        case 'F':
            Acknowledge('F', 0, !FRefuseModes && !sub.empty());
            FIppCurrent = FIppCurrent && FRefuseModes;
            return;
        case 'E':
            Acknowledge('E', 0, !FRefuseModes);
            FIppCurrent = FIppCurrent || !FRefuseModes;
            return;
        case '6':
            if (sub == "E" || sub == "D") {
                FUsbCharging = sub == "E";
            }
            return;
        case '0': {
            // r1;r2;r3;shunt: the shunt follows channel 3 only.
            bool valid = pieces.size() == 5;
            for (int channel = 0; valid && channel < 3; ++channel) {
                const std::string& code = pieces[static_cast<std::size_t>(channel) + 1];
                valid = code.size() == 1 && RangeAllowed(channel, code[0]);
            }
            char* end = nullptr;
            const long shunt = valid ? std::strtol(pieces[4].c_str(), &end, 10) : 0;
            valid = valid && end != nullptr && *end == '\0' && shunt >= 0;
            if (valid) {
                for (int channel = 0; channel < 3; ++channel) {
                    FRange[channel] = pieces[static_cast<std::size_t>(channel) + 1][0];
                }
                FShunt = static_cast<int>(shunt);
            }
            Acknowledge('0', 0, valid);
            return;
        }
        default:
            Log("rx-unknown", std::vector<std::uint8_t>(Body.begin(), Body.end()));
            return;
    }
}

std::string Simulator::Measurement() {
    const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
    static constexpr double kPeriods[3] = {20.0, 31.0, 43.0};  // seconds: a slow, distinct drift per channel
    std::string text = "7";
    for (int channel = 0; channel < 3; ++channel) {
        // In the IPP current layout channel 3 reads milliamperes on its 30 mA range.
        const bool current = channel == 2 && FIppCurrent;
        const double range = current ? 30 : RangeVolts(FRange[channel]);
        const std::optional<double>& hold = FOptions.Hold[static_cast<std::size_t>(channel)];
        const double value =
            hold.has_value() ? *hold
                             : range * (0.5 + 0.4 * std::sin(2 * std::numbers::pi * t / kPeriods[channel] + channel));
        char piece[64];
        std::snprintf(piece, sizeof(piece), ";%.5f(%s)", value, current ? "30" : RangeText(FRange[channel]));
        text += piece;
    }
    char shunt[32];
    std::snprintf(shunt, sizeof(shunt), ";%g", FShunt / 10000.0);
    text += shunt;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char clock[64];
    std::snprintf(clock, sizeof(clock), ";%04d;%02d;%02d;%02d;%02d;%02d;", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text + clock + FOptions.RecordState;
}

std::string Simulator::Battery() const {
    return std::string("9;U;") + (FUsbCharging ? "C;E" : "D;D") + ";4.10;87;5.02;24";
}

void Simulator::Acknowledge(char Command, std::uint8_t Code, bool Accepted) {
    // 0x7F ; command ; code ; result - the code and result are raw bytes.
    Answer(std::vector<std::uint8_t>{kAck, ';', static_cast<std::uint8_t>(Command), ';', Code, ';',
                                     Accepted ? kAccepted : kRefused});
}

void Simulator::Answer(const std::string& Body) {
    Answer(std::vector<std::uint8_t>(Body.begin(), Body.end()));
}

void Simulator::Answer(const std::vector<std::uint8_t>& Body) {
    ++FFrameNumber;
    const bool bad =
        FOptions.CrcErrorEvery > 0 && FFrameNumber % static_cast<std::uint64_t>(FOptions.CrcErrorEvery) == 0;
    Log(bad ? "tx-bad-crc" : "tx", Body);
    SendFrame(BuildFrame(Body, bad));
    const std::lock_guard guard(FLock);
    ++(bad ? FCounts.SentBadCrc : FCounts.Sent);
}

void Simulator::SendFrame(std::vector<std::uint8_t> Frame) {
    if (FOptions.NoiseBytes > 0) {
        std::uniform_int_distribution<int> letter('a', 'z');
        std::vector<std::uint8_t> noise(static_cast<std::size_t>(FOptions.NoiseBytes));
        for (std::uint8_t& b : noise) {
            b = static_cast<std::uint8_t>(letter(FRandom));
        }
        WriteAll(noise.data(), noise.size());
        const std::lock_guard guard(FLock);
        FCounts.NoiseBytes += noise.size();
    }
    if (!FOptions.SplitFrames) {
        WriteAll(Frame.data(), Frame.size());
        return;
    }
    const std::size_t first = Frame.size() / 3;
    const std::size_t second = 2 * Frame.size() / 3;
    WriteAll(Frame.data(), first);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    WriteAll(Frame.data() + first, second - first);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    WriteAll(Frame.data() + second, Frame.size() - second);
}

void Simulator::Pace(std::size_t Length) {
    if (FOptions.Baud <= 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (FNextWrite > now) {
        std::this_thread::sleep_until(FNextWrite);
    }
    // 8N1: ten bits on the wire per byte.
    FNextWrite = std::max(FNextWrite, now) +
                 std::chrono::microseconds(static_cast<long long>(Length) * 10 * 1000000 / FOptions.Baud);
}

bool Simulator::WriteAll(const std::uint8_t* Data, std::size_t Length) {
    Pace(Length);
    std::size_t done = 0;
    while (done < Length && FMaster >= 0 && !FStop) {
        const ssize_t n = ::write(FMaster, Data + done, Length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        // Nobody reads (the tool is not connected): wait a little, then drop rather than hang.
        pollfd fd{FMaster, POLLOUT, 0};
        if (::poll(&fd, 1, 200) <= 0) {
            return false;
        }
    }
    return done == Length;
}

void Simulator::FloodOnce() {
    std::uniform_int_distribution<int> pick(0, 9);
    const int kind = pick(FRandom);
    const std::string body = Measurement();
    if (kind == 0) {
        std::uniform_int_distribution<int> letter('A', 'Z');
        std::uint8_t noise[16];
        for (std::uint8_t& b : noise) {
            b = static_cast<std::uint8_t>(letter(FRandom));
        }
        if (WriteAll(noise, sizeof(noise))) {
            const std::lock_guard guard(FLock);
            FCounts.NoiseBytes += sizeof(noise);
        }
        return;
    }
    const bool bad = kind == 1;
    const std::vector<std::uint8_t> frame = BuildFrame(body, bad);
    if (WriteAll(frame.data(), frame.size())) {
        const std::lock_guard guard(FLock);
        ++(bad ? FCounts.SentBadCrc : FCounts.Sent);
    }
}

void Simulator::Log(const char* Direction, const std::vector<std::uint8_t>& Bytes) {
    const std::lock_guard guard(FLock);
    if (FLog == nullptr || FOptions.Flood) {
        return;
    }
    std::fprintf(FLog, "%s %s\n", Direction, Escaped(Bytes).c_str());
    std::fflush(FLog);
}

}  // namespace tavrel::sim
