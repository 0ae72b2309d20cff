#include <cmath>
#include <limits>

#include "protocol/delphi_format.h"
#include "protocol/halvo.h"
#include "protocol/tavrel.h"

namespace tavrel::protocol {
namespace {

const char* const kWaiting = "Ожидание данных";
const char* const kOff = "Отключен";
const char* const kDash = "—";

std::string RangeText(const std::string& text) {
    return "Диапазон " + text + " В";
}

std::string SourcePowerName(TSourcePower v) {
    switch (v) {
        case TSourcePower::B:
            return "Блок питания";
        case TSourcePower::U:
            return "USB";
        case TSourcePower::A:
            return "Аккумулятор";
        default:
            return {};  // no name for an unknown source
    }
}

std::string AKBStateName(TAKBState v) {
    switch (v) {
        case TAKBState::C:
            return "Зарядка АКБ";
        case TAKBState::D:
            return "Разрядка АКБ";
        default:
            return {};
    }
}

std::string TrimLines(const std::string& text) {
    return std::string(delphi::Trim(text));
}

// Saturating 64-bit subtraction: memory counts come from the instrument and may be anything.
std::int64_t SubSat(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    if (__builtin_sub_overflow(a, b, &r)) {
        return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    }
    return r;
}

std::string MemoryText(std::int64_t bytes, bool isConvert, char sep) {
    if (isConvert) {
        // A negative count has no size; it is shown as 0 bytes.
        return THalvo::ConvertBytesToMeasure(bytes < 0 ? 0U : static_cast<std::uint64_t>(bytes), true, sep);
    }
    return delphi::FormatInt(bytes);
}

// free * 100 / total with total 0 counting as 1; false when the result does not fit an integer with room
// left for the "100 minus" that the callers take of it.
bool FreePercent(std::int64_t freeBytes, std::int64_t total, double& out) {
    constexpr double kLimit = static_cast<double>(std::numeric_limits<int>::max() - 100);
    const double t = total == 0 ? 1.0 : static_cast<double>(total);
    out = static_cast<double>(freeBytes) * 100.0 / t;
    return std::isfinite(out) && std::fabs(out) < kLimit;
}

bool HasShunt(double h) {
    return std::fabs(h) >= 0.001;
}

// Current through the shunt for `a` volts across it, with as many decimals as the shunt's nominal value asks for.
std::string ShuntCurrentText(double a, double h, char sep) {
    const char* unit = h <= 1 ? " мА" : " А";
    const double k = h <= 1 ? 1000 : 1;
    const double current = a / 0.075 * h * k;
    return delphi::FormatFixed(current, TTavrel::ShuntCurrentDecimals(h), sep) + unit;
}

}  // namespace

int TTavrel::ShuntCurrentDecimals(double h) {
    double m = 10000;
    if (h <= 1) {
        const double fraction = h - std::trunc(h);
        m = delphi::FormatFloat("#.0######", fraction, '.').size() < 4 ? 1 : 0.1;
    }
    const std::string step = delphi::FormatFloat("#.0######", h / m, '.');
    const auto dot = step.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(step.size() - dot - 1);
}

std::string TTavrel::ChannelText(TChannelProperties key, char sep) const {
    const auto it = FDicChannel.find(key);
    return it == FDicChannel.end() ? std::string() : delphi::FormatGeneral(it->second, sep);
}

double TTavrel::ChannelNumber(TChannelProperties key, double def, char sep) const {
    return THalvo::StrToFloatSafeDef(ChannelText(key, sep), def, sep);
}

std::string TTavrel::GetChannelProperties(TChannelProperties ChannelProperties) const {
    return GetChannelProperties(ChannelProperties, THalvo::DecimalSeparator());
}

std::string TTavrel::GetChannelProperties(TChannelProperties ChannelProperties, char sep) const {
    return delphi::ReplaceChar(ChannelPropertiesText(ChannelProperties, sep), ',', '.');
}

std::string TTavrel::ChannelPropertiesText(TChannelProperties key, char sep) const {
    using CP = TChannelProperties;
    const double h = ChannelNumber(CP::chpCh3Shunt, 0, sep);
    switch (key) {
        case CP::chpCh1Range:
        case CP::chpCh2Range:
        case CP::chpCh3Range:
            return RangePropertyText(key, h, sep);
        case CP::chpCh1Value:
        case CP::chpCh2Value:
        case CP::chpCh3Value:
            return ReadingPropertyText(key, h, sep);
        default:
            return kWaiting;
    }
}

std::string TTavrel::RangePropertyText(TChannelProperties key, double h, char sep) const {
    const double r = ChannelNumber(key, -1, sep);
    const std::int64_t t = delphi::TruncSat(r * 10);
    if (key != TChannelProperties::chpCh3Range) {
        return t == 0 ? kOff : RangeText(ChannelText(key, sep));
    }
    switch (t) {
        case 0:
            return kOff;
        case 1:
            if (HasShunt(h)) {
                const std::string text = h <= 1 ? delphi::FormatFloat("#.######", h * 1000, sep) + " мА"
                                                : delphi::FormatFloat("#.######", h, sep) + " А";
                return "Шунт " + delphi::ReplaceChar(text, ',', '.');
            }
            return RangeText(ChannelText(key, sep));
        case 10:
            return RangeText(ChannelText(key, sep));
        case 2550:
            return {};
        default:
            return kWaiting;
    }
}

std::string TTavrel::ReadingPropertyText(TChannelProperties key, double h, char sep) const {
    using CP = TChannelProperties;
    const auto rangeKey = static_cast<CP>(static_cast<std::uint8_t>(key) + 3);
    const double r = ChannelNumber(rangeKey, -1, sep);
    const double v = ChannelNumber(key, 0, sep);
    const char* sign = v < 0 ? "-" : "+";
    if (delphi::TruncSat(r) == 255) {
        return sign + delphi::FormatFloat("0.0000", std::fabs(v), sep) + " мА";
    }
    if (r < 0) {
        return kWaiting;
    }
    if (delphi::TruncSat(r * 10) == 0) {
        return kDash;
    }
    const double e = std::fabs(r * 10 / 100);
    const double low = -r - e;
    const double high = r + e;
    if (v < low || v > high) {
        return std::string(low >= v ? "-" : "+") + "Превышение";
    }
    const double a = std::fabs(v);
    const std::int64_t f = delphi::TruncSat(r);
    if (f == 0 && key == CP::chpCh3Value && HasShunt(h)) {
        return sign + ShuntCurrentText(a, h, sep);
    }
    std::string text;
    const char* unit = nullptr;
    switch (f) {
        case 0:
            text = delphi::FormatFixed(a * 1000, 2, sep, 5);
            unit = " мВ";
            break;
        case 1:
            text = delphi::FormatFixed(a * 1000, 1, sep, 5);
            unit = " мВ";
            break;
        case 10:
            text = delphi::FormatFixed(a, 3, sep, 5);
            unit = " В";
            break;
        case 100:
            text = delphi::FormatFixed(a, 2, sep, 5);
            unit = " В";
            break;
        default:
            return kWaiting;
    }
    return delphi::ReplaceChar(sign + text, ' ', '0') + unit;
}

std::vector<double> TTavrel::GetRangeOfChannels() const {
    return GetRangeOfChannels(THalvo::DecimalSeparator());
}

std::vector<double> TTavrel::GetRangeOfChannels(char sep) const {
    using CP = TChannelProperties;
    return {ChannelNumber(CP::chpCh1Range, -1, sep), ChannelNumber(CP::chpCh2Range, -1, sep),
            ChannelNumber(CP::chpCh3Range, -1, sep), ChannelNumber(CP::chpCh3Shunt, -1, sep)};
}

std::vector<std::string> TTavrel::GetListShunts() {
    return GetListShunts(THalvo::DecimalSeparator());
}

std::vector<std::string> TTavrel::GetListShunts(char sep) {
    std::vector<std::string> list;
    for (const double a : ShuntTable()) {
        if (a < 1 && delphi::TruncSat(a * 100000) != 0) {
            list.push_back(delphi::FormatGeneral(a * 1000, sep) + " мА");
        } else {
            list.push_back(delphi::FormatGeneral(a, sep) + " А");
        }
    }
    return list;
}

std::string TTavrel::GetNumberDevice(std::string_view Text) const {
    return std::string(delphi::Trim(std::string(Text) + delphi::FormatInt(FNumberDevice)));
}

std::string TTavrel::GetMonthAndYearDevice(std::string_view Text) const {
    return std::string(
        delphi::Trim(std::string(Text) + delphi::FormatInt(FMonthDevice, 2) + "." + delphi::FormatInt(FYearDevice)));
}

std::string TTavrel::GetFirmwareDevice(std::string_view Text) const {
    return std::string(Text) + FFirmwareDevice + "        ";
}

std::string TTavrel::DateTimeOnDevice() const {
    datetime::TParts p{};
    if (!datetime::DecodeDateTime(FDateTimeOnDevice, p)) {
        datetime::DecodeDateTime(0.0, p);
    }
    return "Время на приборе: " + delphi::FormatInt(p.day, 2) + "." + delphi::FormatInt(p.month, 2) + "." +
           delphi::FormatInt(p.year, 4) + " " + delphi::FormatInt(p.hour, 2) + ":" + delphi::FormatInt(p.minute, 2) +
           ":" + delphi::FormatInt(p.second, 2);
}

std::string TTavrel::GetVoltAKB() const {
    return FVoltAKB + " В";
}
std::string TTavrel::GetVoltPowerAKB() const {
    return FVoltPowerAKB + " В";
}
std::string TTavrel::GetTempAKB() const {
    return FTempAKB + " °C";
}
std::string TTavrel::GetPercentAKB() const {
    return FPercentAKB + "%";
}

std::string TTavrel::AKBStateFullInfo() const {
    return TrimLines("Источник питания: " + SourcePowerName(FSourcePower) + "\r\n" +
                     "Состояние аккумулятора: " + AKBStateName(FAKBState) + "\r\n" + "Напряжение АКБ: " + GetVoltAKB() +
                     "\r\n" + "Уровень заряда: " + GetPercentAKB() + "\r\n" +
                     "Напряжение питания: " + GetVoltPowerAKB() + "\r\n" + "Температура: " + GetTempAKB());
}

std::string TTavrel::GetMemoryFull(bool isConvert) const {
    return GetMemoryFull(isConvert, THalvo::DecimalSeparator());
}
std::string TTavrel::GetMemoryFree(bool isConvert) const {
    return GetMemoryFree(isConvert, THalvo::DecimalSeparator());
}
std::string TTavrel::GetMemoryAlloc(bool isConvert) const {
    return GetMemoryAlloc(isConvert, THalvo::DecimalSeparator());
}
std::string TTavrel::GetMemoryFull(bool isConvert, char sep) const {
    return MemoryText(FMemoryFull, isConvert, sep);
}
std::string TTavrel::GetMemoryFree(bool isConvert, char sep) const {
    return MemoryText(FMemoryFree, isConvert, sep);
}
std::string TTavrel::GetMemoryAlloc(bool isConvert, char sep) const {
    return MemoryText(SubSat(FMemoryFull, FMemoryFree), isConvert, sep);
}

int TTavrel::GetMemoryFree() const {
    double p = 0;
    return FreePercent(FMemoryFree, FMemoryFull, p) ? static_cast<int>(std::trunc(p)) : 0;
}

int TTavrel::GetMemoryAlloc() const {
    return 100 - GetMemoryFree();
}

std::string TTavrel::GetMemoryUsed() const {
    double p = 0;
    if (!FreePercent(FMemoryFree, FMemoryFull, p)) {
        return "0%";
    }
    return delphi::FormatInt(static_cast<std::int64_t>(std::trunc(100 - p))) + "%";
}

std::string TTavrel::MemoryFullInfo() const {
    return MemoryFullInfo(THalvo::DecimalSeparator());
}

std::string TTavrel::MemoryFullInfo(char sep) const {
    return TrimLines("Полный объем: " + GetMemoryFull(true, sep) + " (" + GetMemoryFull(false, sep) + " байт)\r\n" +
                     "Свободно: " + GetMemoryFree(true, sep) + " (" + GetMemoryFree(false, sep) + " байт)\r\n" +
                     "Занято: " + GetMemoryAlloc(true, sep) + " (" + GetMemoryAlloc(false, sep) + " байт)\r\n" +
                     "Использовано: " + delphi::FormatInt(100 - GetMemoryFree()) + "%");
}

}  // namespace tavrel::protocol
