#include "protocol/tavrel_data_parser.h"

#include <algorithm>
#include <stdexcept>

#include "protocol/crc_helper.h"
#include "protocol/delphi_format.h"

namespace tavrel::protocol {
namespace {

constexpr std::uint8_t kSTX = 0x02;
constexpr std::uint8_t kETX = 0x03;

class EFrameError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace

void TTavrelDataParser::OnData(ONDATAPROC P_) {
    const std::lock_guard lock(ByteBufferLock);
    P = P_ ? std::make_shared<const ONDATAPROC>(std::move(P_)) : nullptr;
}

std::size_t TTavrelDataParser::BufferedSize() const {
    const std::lock_guard lock(ByteBufferLock);
    return ByteBuffer.size();
}

void TTavrelDataParser::Report(TTavrelCMD kind, const std::vector<std::uint8_t>& data) {
    const std::shared_ptr<const ONDATAPROC> callback = P;
    if (callback) {
        (*callback)(kind, data);
    }
}

void TTavrelDataParser::AddData(const std::vector<std::uint8_t>& Buf) {
    const std::lock_guard lock(ByteBufferLock);
    ByteBuffer.insert(ByteBuffer.end(), Buf.begin(), Buf.end());
    std::vector<std::uint8_t> frame;
    for (;;) {
        const auto stx = std::find(ByteBuffer.begin(), ByteBuffer.end(), kSTX);
        if (stx == ByteBuffer.end()) {
            break;
        }
        const auto etx = std::find(stx, ByteBuffer.end(), kETX);
        if (etx == ByteBuffer.end()) {
            break;
        }
        const auto s = static_cast<std::size_t>(stx - ByteBuffer.begin());
        const auto e = static_cast<std::size_t>(etx - ByteBuffer.begin());
        // The frame leaves the buffer before it is reported, so a callback that feeds this parser again
        // sees only the bytes after it.
        frame.assign(ByteBuffer.begin() + static_cast<std::ptrdiff_t>(s),
                     ByteBuffer.begin() + static_cast<std::ptrdiff_t>(e) + 1);
        ByteBuffer.erase(ByteBuffer.begin(), ByteBuffer.begin() + static_cast<std::ptrdiff_t>(e) + 1);
        try {
            ProcessFrame(frame.data(), 0, frame.size() - 1);
        } catch (...) {
            // A frame that cannot be handled takes everything received so far with it.
            ByteBuffer.clear();
            return;
        }
    }
    BoundBuffer();
}

void TTavrelDataParser::BoundBuffer() {
    if (ByteBuffer.size() <= kMaxBuffered) {
        return;
    }
    // No complete frame is left: at most a partial frame from the first STX to the end, after noise.
    const auto first = std::find(ByteBuffer.begin(), ByteBuffer.end(), kSTX);
    if (first == ByteBuffer.end()) {
        ByteBuffer.clear();
        return;
    }
    if (static_cast<std::size_t>(ByteBuffer.end() - first) <= kMaxBuffered) {
        ByteBuffer.erase(ByteBuffer.begin(), first);
        return;
    }
    // The partial frame itself is too long to be an answer; keep only the latest STX onwards.
    const auto last = std::find(ByteBuffer.rbegin(), ByteBuffer.rend(), kSTX).base() - 1;
    if (static_cast<std::size_t>(ByteBuffer.end() - last) <= kMaxBuffered) {
        ByteBuffer.erase(ByteBuffer.begin(), last);
    } else {
        ByteBuffer.clear();
    }
}

void TTavrelDataParser::ProcessFrame(const std::uint8_t* frame, std::size_t s, std::size_t e) {
    if (e - s < 3) {
        throw EFrameError("frame too short for a CRC");
    }
    const int hi = delphi::HexDigitValue(frame[e - 3]);
    const int lo = delphi::HexDigitValue(frame[e - 2]);
    if (hi < 0 || lo < 0) {
        throw EFrameError("CRC text is not hexadecimal");
    }
    if (!TCRCHelper::CRC7Check(hi * 16 + lo, frame, static_cast<int>(s), static_cast<int>(e - 3))) {
        Report(TTavrelCMD::cmdCRCError, {});
        return;
    }
    // Frames with 3 to 5 bytes between STX and ETX carry no letter: reported as unknown with no data.
    if (e - s < 6) {
        Report(TTavrelCMD::cmdUnknown, {});
        return;
    }
    const std::uint8_t* body = frame + s + 2;
    const std::size_t size = e - s - 6;
    if (size == 0) {
        Report(TTavrelCMD::cmdUnknown, {});
        return;
    }
    TTavrelCMD kind = TTavrelCMD::cmdUnknown;
    switch (body[0]) {
        case '0':
            Tavrel.ParseDeviceInfo(body, size);
            kind = TTavrelCMD::cmdDeviceInfo;
            break;
        case '7':
            Report(TTavrelCMD::cmdUnknown, std::vector<std::uint8_t>(body, body + size));
            Tavrel.ParseMeasure(body, size);
            kind = TTavrelCMD::cmdMeasure;
            break;
        case '9':
            Tavrel.ParseAKBState(body, size);
            kind = TTavrelCMD::cmdAKBInfo;
            break;
        case 'D':
            Tavrel.ParseMemoryState(body, size);
            kind = TTavrelCMD::cmdMemoryInfo;
            break;
        case 'K':
            Tavrel.ParseModeWork(body, size);
            kind = TTavrelCMD::cmdModeWork;
            break;
        case 0x7F:
            Tavrel.ParseAnswerCommand(body, size);
            kind = TTavrelCMD::cmdAnswerCommandResult;
            break;
        default:
            Report(TTavrelCMD::cmdUnknown, {});
            return;
    }
    const std::vector<std::uint8_t> json = Tavrel.ToJSON();
    Report(kind, json);
}

}  // namespace tavrel::protocol
