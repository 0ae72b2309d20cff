#include "protocol/tavrel_command.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "protocol/crc_helper.h"

namespace tavrel::protocol {
namespace {

constexpr std::uint8_t kSTX = 0x02;
constexpr std::uint8_t kETX = 0x03;
constexpr std::uint8_t kSep = ';';
constexpr std::size_t kWorkSize = 8196;
constexpr std::uint8_t kNoSub = 0xFF;

bool IsRequestSub(std::uint8_t s) {
    return (s >= '0' && s <= '7') || s == '9' || s == 'D' || s == 'K';
}

void PutCrc(std::vector<std::uint8_t>& frame, std::size_t crcAt) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const int crc = TCRCHelper::CRC7Calc(frame, static_cast<int>(crcAt) - 1);
    frame[crcAt] = static_cast<std::uint8_t>(kHex[(crc >> 4) & 0x0F]);
    frame[crcAt + 1] = static_cast<std::uint8_t>(kHex[crc & 0x0F]);
}

double RoundHalfEven(double x) {
    const double floor = std::floor(x);
    const double diff = x - floor;
    if (diff > 0.5) {
        return floor + 1.0;
    }
    if (diff < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0.0 ? floor : floor + 1.0;
}

}  // namespace

TTavrelCommand::Bytes TTavrelCommand::buildFrame(std::uint8_t C, std::uint8_t S, const Bytes& A) {
    std::size_t length = 0;
    std::size_t crcAt = 0;
    switch (C) {
        case '1':
        case '3':
        case 'F':
            if (!IsRequestSub(S)) {
                return {};
            }
            length = 10;
            crcAt = 6;
            break;
        case '4':
            if (S != 'K' || A.empty()) {
                return {};
            }
            length = 12;
            crcAt = 8;
            break;
        case '6':
            if (A.empty()) {
                return {};
            }
            length = 10;
            crcAt = 6;
            break;
        case 'E':
            length = 8;
            crcAt = 4;
            break;
        case '0':
            // The work buffer bounds the frame; a body that cannot fit is refused rather than cut.
            if (A.empty() || A.size() + 8 > kWorkSize) {
                return {};
            }
            length = A.size() + 8;
            crcAt = 4 + A.size();
            break;
        default:
            return {};
    }
    Bytes frame(length, kSep);
    frame[0] = kSTX;
    frame[2] = C;
    switch (C) {
        case '4':
            frame[4] = 'K';
            frame[6] = A[0];
            break;
        case '6':
            frame[4] = A[0];
            break;
        case '0':
            std::copy(A.begin(), A.end(), frame.begin() + 4);
            break;
        case 'E':
            break;
        default:
            frame[4] = S;
            break;
    }
    PutCrc(frame, crcAt);
    frame[length - 1] = kETX;
    return frame;
}

TTavrelCommand::Bytes TTavrelCommand::getVersion() {
    return buildFrame('3', '0', {});
}
TTavrelCommand::Bytes TTavrelCommand::getAKBState() {
    return buildFrame('3', '9', {});
}
TTavrelCommand::Bytes TTavrelCommand::getMemoryState() {
    return buildFrame('3', 'D', {});
}
TTavrelCommand::Bytes TTavrelCommand::getMeasuringVolt() {
    return buildFrame('3', '7', {});
}
TTavrelCommand::Bytes TTavrelCommand::getModeWork() {
    return buildFrame('3', 'K', {});
}

TTavrelCommand::Bytes TTavrelCommand::getMeasuring(TRESTRANS restrans) {
    return buildFrame('1', static_cast<std::uint8_t>('0' + static_cast<std::uint8_t>(restrans)), {});
}

TTavrelCommand::Bytes TTavrelCommand::setChargeAKBFromUSB(bool OnOffChargeFromUSB) {
    return buildFrame('6', kNoSub, {static_cast<std::uint8_t>(OnOffChargeFromUSB ? 'E' : 'D')});
}

TTavrelCommand::Bytes TTavrelCommand::setModeWork(std::uint8_t mode) {
    return buildFrame('4', 'K', {static_cast<std::uint8_t>('0' + mode)});
}

TTavrelCommand::Bytes TTavrelCommand::setModeWorkIPP_Volt(std::uint8_t step) {
    return buildFrame('F', step, {});
}

TTavrelCommand::Bytes TTavrelCommand::setModeWorkIPP_Ampere(int stepNumber) {
    if (stepNumber > 1) {
        return buildFrame('E', kNoSub, {});
    }
    return setModeWork(4);
}

TTavrelCommand::Bytes TTavrelCommand::setChannelParameters(const std::vector<TChannelOption>& channelOption) {
    Bytes body;
    for (const TChannelOption& option : channelOption) {
        body.push_back(option.Range);
        body.push_back(kSep);
        if (option.ChannelName == TChannelName::cnCh3) {
            const double scaled = option.ShuntValue * 10000.0;
            // Halves to even; a value outside 32 bits would be sent wrapped, so the command is refused.
            const double rounded = RoundHalfEven(scaled);
            if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0) {
                return {};
            }
            const std::string text = std::to_string(static_cast<std::int32_t>(rounded));
            body.insert(body.end(), text.begin(), text.end());
            body.push_back(kSep);
        }
    }
    return buildFrame('0', kNoSub, body);
}

std::int8_t TTavrelCommand::checkCommandResult(int command, int code, int result) {
    switch (command) {
        case '4':
            if (code != 'K') {
                return -1;
            }
            return result == 4 ? 0 : -2;
        case 'F':
            return code == 0 && result == 4 ? 1 : -2;
        case 'E':
            return code == 0 && result == 4 ? 2 : -2;
        default:
            return -1;
    }
}

}  // namespace tavrel::protocol
