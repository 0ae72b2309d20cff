#include "protocol/tavrel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include <nlohmann/json.hpp>

#include "protocol/delphi_format.h"
#include "protocol/halvo.h"

namespace tavrel::protocol {
namespace {

constexpr std::array<const char*, 7> kChannelNames = {"chpCh1Value", "chpCh2Value", "chpCh3Value", "chpCh1Range",
                                                      "chpCh2Range", "chpCh3Range", "chpCh3Shunt"};
constexpr std::array<const char*, 4> kTypeStateNames = {"tsUnknown", "tsNoRec", "tsWaitRec", "tsRec"};
constexpr std::array<const char*, 3> kModeWorkNames = {"UNKNOWN_MODE", "REGISTRATOR_MODE", "IPP_MODE"};
constexpr std::array<const char*, 4> kSourcePowerNames = {"B", "U", "A", "tspUnknown"};
constexpr std::array<const char*, 3> kAKBStateNames = {"C", "D", "takbUnknown"};
constexpr std::array<const char*, 2> kUSBPowerNames = {"USB_E", "USB_D"};

// Answer text: ASCII decoding turns every byte above 127 into '?'.
struct TPieces {
    std::string text;
    std::array<std::string_view, 16> piece{};
    std::size_t count = 0;  // may exceed the array; then only the count matters
};

void Split(const std::uint8_t* data, std::size_t size, TPieces& out) {
    out.text.resize(size);
    for (std::size_t i = 0; i < size; ++i) {
        out.text[i] = data[i] > 127 ? '?' : static_cast<char>(data[i]);
    }
    out.count = 0;
    const std::string_view text(out.text);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t sep = text.find(';', start);
        const std::size_t end = sep == std::string_view::npos ? text.size() : sep;
        if (out.count < out.piece.size()) {
            out.piece[out.count] = text.substr(start, end - start);
        }
        ++out.count;
        if (sep == std::string_view::npos) {
            break;
        }
        start = sep + 1;
        // A separator that ends the text adds no empty last piece, but empty pieces in between count.
        if (start == text.size()) {
            break;
        }
    }
}

template <typename T>
T IntOrZero(std::string_view s) {
    T value = 0;
    const char* begin = s.data();
    const char* end = s.data() + s.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') {
            return 0;
        }
    }
    const auto res = std::from_chars(begin, end, value, 10);
    if (res.ec != std::errc() || res.ptr != end || begin == end) {
        return 0;
    }
    return value;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        if (x >= 'A' && x <= 'Z') {
            x = static_cast<char>(x - 'A' + 'a');
        }
        if (x != b[i]) {
            return false;
        }
    }
    return true;
}

bool IsLineTerminator(char c) {
    return c == '\n' || c == '\r';
}

// First capture of "(.*)\(" (greedy, '.' not matching line terminators), empty when there is no match.
std::string_view ValuePart(std::string_view piece) {
    const std::size_t open = piece.find('(');
    if (open == std::string_view::npos) {
        return {};
    }
    std::size_t segStart = open;
    while (segStart > 0 && !IsLineTerminator(piece[segStart - 1])) {
        --segStart;
    }
    std::size_t lastOpen = open;
    for (std::size_t i = open + 1; i < piece.size() && !IsLineTerminator(piece[i]); ++i) {
        if (piece[i] == '(') {
            lastOpen = i;
        }
    }
    return piece.substr(segStart, lastOpen - segStart);
}

// First capture of "\((.*)\)" under the same rules.
std::string_view RangePart(std::string_view piece) {
    for (std::size_t open = piece.find('('); open != std::string_view::npos; open = piece.find('(', open + 1)) {
        std::size_t close = std::string_view::npos;
        for (std::size_t i = open + 1; i < piece.size() && !IsLineTerminator(piece[i]); ++i) {
            if (piece[i] == ')') {
                close = i;
            }
        }
        if (close != std::string_view::npos) {
            return piece.substr(open + 1, close - open - 1);
        }
    }
    return {};
}

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

const std::int64_t kDelphiEpoch = DaysFromCivil(1899, 12, 30);
constexpr std::int64_t kMsPerDay = 86400000;

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// Length of the well-formed UTF-8 sequence at s[i] with its code point, or 0 when there is none.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t len = 0;
    std::uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        len = 2;
        cp = lead & 0x1FU;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        len = 3;
        cp = lead & 0x0FU;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        len = 4;
        cp = lead & 0x07U;
        least = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0U) != 0x80U) {
            return 0;
        }
        cp = (cp << 6) | (c & 0x3FU);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

// Texts decoded from answers are ASCII, but a rebuilt model may hold any UTF-8 text: it is written as it is,
// and a byte that starts no well-formed sequence becomes '?', as a character the code page lacks would.
void AppendString(std::string& out, std::string_view s) {
    out.push_back('"');
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 0x0F]);
        } else if (u < 0x80) {
            out.push_back(c);
        } else {
            std::uint32_t cp = 0;
            const std::size_t len = DecodeUtf8(s, i, cp);
            if (len == 0) {
                out.push_back('?');
            } else {
                out.append(s.substr(i, len));
                i += len - 1;
            }
        }
    }
    out.push_back('"');
}

template <typename T>
void AppendInt(std::string& out, T v) {
    std::array<char, 24> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), res.ptr);
}

void AppendDouble(std::string& out, double v) {
    // "-0" would be read back as the integer 0 and written "0" next time; the sign means nothing here.
    if (!std::isfinite(v) || v == 0.0) {
        v = 0.0;
    }
    std::array<char, 32> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), res.ptr);
}

void AppendKey(std::string& out, const char* key) {
    out.push_back('"');
    out += key;
    out += "\":";
}

void PutDigits(char* at, int value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// yyyy-mm-ddThh:nn:ss.zzzZ, written without allocations as it goes out with every answer.
void AppendIsoDateTime(std::string& out, double value) {
    datetime::TParts p{};
    if (!datetime::DecodeDateTime(value, p)) {
        // Not reachable from decoded answers; written as the zero date rather than as an unreadable text.
        datetime::DecodeDateTime(0.0, p);
    }
    char buf[] = "\"0000-00-00T00:00:00.000Z\"";
    PutDigits(buf + 1, p.year, 4);
    PutDigits(buf + 6, p.month, 2);
    PutDigits(buf + 9, p.day, 2);
    PutDigits(buf + 12, p.hour, 2);
    PutDigits(buf + 15, p.minute, 2);
    PutDigits(buf + 18, p.second, 2);
    PutDigits(buf + 21, p.msec, 3);
    out.append(buf, sizeof(buf) - 1);
}

double ParseIsoDateTime(const std::string& s) {
    // yyyy-mm-ddThh:nn:ss[.zzz][Z]
    auto num = [&](std::size_t at, std::size_t len, int& out) {
        if (at + len > s.size()) {
            return false;
        }
        out = 0;
        for (std::size_t i = at; i < at + len; ++i) {
            if (s[i] < '0' || s[i] > '9') {
                return false;
            }
            out = out * 10 + (s[i] - '0');
        }
        return true;
    };
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0, ms = 0;
    const bool ok = s.size() >= 19 && num(0, 4, y) && s[4] == '-' && num(5, 2, mo) && s[7] == '-' && num(8, 2, d) &&
                    s[10] == 'T' && num(11, 2, h) && s[13] == ':' && num(14, 2, mi) && s[16] == ':' && num(17, 2, se);
    std::size_t pos = 19;
    bool rest = ok;
    if (rest && pos < s.size() && s[pos] == '.') {
        rest = num(pos + 1, 3, ms);
        pos += 4;
    }
    if (rest && pos < s.size() && s[pos] == 'Z') {
        ++pos;
    }
    if (!rest || pos != s.size()) {
        throw EJsonModelError("dateTimeOnDevice: '" + s + "' is not a date-time of the form yyyy-mm-ddThh:nn:ss.zzzZ");
    }
    try {
        return datetime::EncodeDateTime(y, mo, d, h, mi, se, ms);
    } catch (const EInvalidDateTime&) {
        throw EJsonModelError("dateTimeOnDevice: '" + s + "' is not a valid date and time");
    }
}

std::string Utf16LeToUtf8(const TTavrel::Bytes& in) {
    if (in.size() % 2 != 0) {
        throw EJsonModelError("model JSON: odd number of bytes for UTF-16LE text");
    }
    std::string out;
    out.reserve(in.size() / 2);
    auto put = [&out](std::uint32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    };
    const std::size_t units = in.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t u = in[2 * i] | (static_cast<std::uint32_t>(in[2 * i + 1]) << 8);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint32_t lo = in[2 * i + 2] | (static_cast<std::uint32_t>(in[2 * i + 3]) << 8);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                put(0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        put(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
    return out;
}

template <std::size_t N>
std::uint8_t EnumFromName(const nlohmann::json& v, const std::array<const char*, N>& names, const char* member) {
    if (!v.is_string()) {
        throw EJsonModelError(std::string(member) + ": expected a string");
    }
    const auto& s = v.get_ref<const std::string&>();
    for (std::size_t i = 0; i < N; ++i) {
        if (s == names[i]) {
            return static_cast<std::uint8_t>(i);
        }
    }
    throw EJsonModelError(std::string(member) + ": unknown value '" + s + "'");
}

template <typename T>
T IntFromJson(const nlohmann::json& v, const char* member) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned()) {
            const auto u = v.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<T>::max())) {
                return static_cast<T>(u);
            }
        } else {
            const auto i = v.get<std::int64_t>();
            if (i >= std::numeric_limits<T>::min() && i <= std::numeric_limits<T>::max()) {
                return static_cast<T>(i);
            }
        }
    }
    throw EJsonModelError(std::string(member) + ": expected an integer in range");
}

std::string StringFromJson(const nlohmann::json& v, const char* member) {
    if (!v.is_string()) {
        throw EJsonModelError(std::string(member) + ": expected a string");
    }
    return v.get<std::string>();
}

}  // namespace

namespace detail {
std::string_view MeasureValuePart(std::string_view piece) {
    return ValuePart(piece);
}
std::string_view MeasureRangePart(std::string_view piece) {
    return RangePart(piece);
}
}  // namespace detail

namespace datetime {

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999) {
        throw EInvalidDateTime("invalid date-time " + std::to_string(year) + "-" + std::to_string(month) + "-" +
                               std::to_string(day) + " " + std::to_string(hour) + ":" + std::to_string(minute) + ":" +
                               std::to_string(second));
    }
    const auto days = static_cast<double>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kDelphiEpoch);
    const double time =
        static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / static_cast<double>(kMsPerDay);
    return days >= 0 ? days + time : days - time;
}

bool DecodeDateTime(double value, TParts& parts) {
    // Years 1..9999 lie within -693593 .. 2958465 days.
    if (!std::isfinite(value) || value <= -693594.0 || value >= 2958466.0) {
        return false;
    }
    auto days = static_cast<std::int64_t>(value);  // truncation, as the date part of negative values
    auto ms = static_cast<std::int64_t>(
        std::llround(std::fabs(value - static_cast<double>(days)) * static_cast<double>(kMsPerDay)));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++days;
    }
    CivilFromDays(days + kDelphiEpoch, parts.year, parts.month, parts.day);
    if (parts.year < 1 || parts.year > 9999) {
        return false;
    }
    parts.hour = static_cast<int>(ms / 3600000);
    parts.minute = static_cast<int>(ms / 60000 % 60);
    parts.second = static_cast<int>(ms / 1000 % 60);
    parts.msec = static_cast<int>(ms % 1000);
    return true;
}

}  // namespace datetime

const std::vector<double>& TTavrel::ShuntTable() {
    static const std::vector<double> kTable = {0,   0.0075, 0.075, 0.15, 5,    10,   20,   25,  30,
                                               40,  50,     60,    75,   100,  150,  200,  250, 300,
                                               400, 500,    600,   750,  1000, 1500, 2000, 2500};
    return kTable;
}

void TTavrel::ParseDeviceInfo(const Bytes& Buf) {
    ParseDeviceInfo(Buf.data(), Buf.size());
}
void TTavrel::ParseMeasure(const Bytes& Buf) {
    ParseMeasure(Buf.data(), Buf.size());
}
void TTavrel::ParseAKBState(const Bytes& Buf) {
    ParseAKBState(Buf.data(), Buf.size());
}
void TTavrel::ParseMemoryState(const Bytes& Buf) {
    ParseMemoryState(Buf.data(), Buf.size());
}
void TTavrel::ParseModeWork(const Bytes& Buf) {
    ParseModeWork(Buf.data(), Buf.size());
}
void TTavrel::ParseAnswerCommand(const Bytes& Buf) {
    ParseAnswerCommand(Buf.data(), Buf.size());
}

// Every decoder reads the whole answer into locals first and changes the model only once the answer is known to
// be good, so a rejected answer never leaves part of itself behind to go out with the next report.

void TTavrel::ParseDeviceInfo(const std::uint8_t* data, std::size_t size) {
    TPieces p;
    Split(data, size, p);
    if (p.count != 5) {
        return;
    }
    std::string firmware(p.piece[4]);
    // A year that would overflow with the century added counts as not a number.
    const std::int32_t year = IntOrZero<std::int32_t>(p.piece[3]);
    FNumberDevice = IntOrZero<std::int32_t>(p.piece[1]);
    FMonthDevice = IntOrZero<std::int32_t>(p.piece[2]);
    FYearDevice = (year > std::numeric_limits<std::int32_t>::max() - 2000 ? 0 : year) + 2000;
    FFirmwareDevice = std::move(firmware);
}

void TTavrel::ParseMeasure(const std::uint8_t* data, std::size_t size) {
    TPieces p;
    Split(data, size, p);
    if (p.count != 12) {
        return;
    }
    static constexpr std::array<TChannelProperties, 7> kKeys = {
        TChannelProperties::chpCh1Value, TChannelProperties::chpCh1Range, TChannelProperties::chpCh2Value,
        TChannelProperties::chpCh2Range, TChannelProperties::chpCh3Value, TChannelProperties::chpCh3Range,
        TChannelProperties::chpCh3Shunt};
    const std::array<std::string_view, 7> texts = {ValuePart(p.piece[1]), RangePart(p.piece[1]),
                                                   ValuePart(p.piece[2]), RangePart(p.piece[2]),
                                                   ValuePart(p.piece[3]), RangePart(p.piece[3]),
                                                   p.piece[4]};
    const char sep = THalvo::DecimalSeparator();
    std::array<double, 7> values{};
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        std::string_view text = texts[i];
        if (kKeys[i] == TChannelProperties::chpCh3Range && text.find("30") != std::string_view::npos) {
            text = "255";
        }
        values[i] = THalvo::StrToFloatSafeDef(text, 0, sep);
    }
    // Throws when the clock is no date; the model is still untouched then.
    const double clock = datetime::EncodeDateTime(IntOrZero<int>(p.piece[5]), IntOrZero<int>(p.piece[6]),
                                                  IntOrZero<int>(p.piece[7]), IntOrZero<int>(p.piece[8]),
                                                  IntOrZero<int>(p.piece[9]), IntOrZero<int>(p.piece[10]), 0);
    const std::string_view word = p.piece[11];
    TTypeState state = TTypeState::tsUnknown;
    if (EqualsNoCase(word, "log_off")) {
        state = TTypeState::tsNoRec;
    } else if (EqualsNoCase(word, "log_on")) {
        state = TTypeState::tsRec;
    } else if (EqualsNoCase(word, "log_aw")) {
        state = TTypeState::tsWaitRec;
    }
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        FDicChannel[kKeys[i]] = values[i];
    }
    FDateTimeOnDevice = clock;
    FTypeState = state;
}

void TTavrel::ParseAKBState(const std::uint8_t* data, std::size_t size) {
    TPieces p;
    Split(data, size, p);
    if (p.count != 8) {
        return;
    }
    std::string voltAKB(p.piece[4]);
    std::string percentAKB(p.piece[5]);
    std::string voltPowerAKB(p.piece[6]);
    std::string tempAKB(p.piece[7]);
    if (p.piece[1] == "B") {
        FSourcePower = TSourcePower::B;
    } else if (p.piece[1] == "U") {
        FSourcePower = TSourcePower::U;
    } else if (p.piece[1] == "A") {
        FSourcePower = TSourcePower::A;
    }
    if (p.piece[2] == "C") {
        FAKBState = TAKBState::C;
    } else if (p.piece[2] == "D") {
        FAKBState = TAKBState::D;
    }
    if (p.piece[3] == "E") {
        FUSBPower = TUSBPower::USB_E;
    } else if (p.piece[3] == "D") {
        FUSBPower = TUSBPower::USB_D;
    }
    FVoltAKB = std::move(voltAKB);
    FPercentAKB = std::move(percentAKB);
    FVoltPowerAKB = std::move(voltPowerAKB);
    FTempAKB = std::move(tempAKB);
}

void TTavrel::ParseMemoryState(const std::uint8_t* data, std::size_t size) {
    TPieces p;
    Split(data, size, p);
    if (p.count != 3) {
        return;
    }
    FMemoryFull = IntOrZero<std::int64_t>(p.piece[1]);
    FMemoryFree = IntOrZero<std::int64_t>(p.piece[2]);
}

void TTavrel::ParseModeWork(const std::uint8_t* data, std::size_t size) {
    TPieces p;
    Split(data, size, p);
    if (p.count != 2) {
        return;
    }
    switch (IntOrZero<std::int32_t>(p.piece[1])) {
        case 1:
            FModeWork = TModeWork::REGISTRATOR_MODE;
            break;
        case 4:
            FModeWork = TModeWork::IPP_MODE;
            break;
        default:
            FModeWork = TModeWork::UNKNOWN_MODE;
            break;
    }
}

void TTavrel::ParseAnswerCommand(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, 4> b{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < size && n < b.size(); ++i) {
        if (data[i] != ';') {
            b[n++] = data[i];
        }
    }
    if (n < 4) {
        FLastCommand = FLastCode = FLastResult = 0;
        return;
    }
    FLastCommand = b[1];
    FLastCode = b[2];
    FLastResult = b[3];
}

bool TTavrel::IsOldFirmware() const {
    if (delphi::Trim(FFirmwareDevice).empty()) {
        return true;
    }
    return FFirmwareDevice.compare(0, 2, "00") == 0;
}

std::string TTavrel::ToJSONText() const {
    std::string out;
    out.reserve(512);
    out.push_back('{');
    AppendKey(out, "numberDevice");
    AppendInt(out, FNumberDevice);
    out += ',';
    AppendKey(out, "monthDevice");
    AppendInt(out, FMonthDevice);
    out += ',';
    AppendKey(out, "yearDevice");
    AppendInt(out, FYearDevice);
    out += ',';
    AppendKey(out, "firmwareDevice");
    AppendString(out, FFirmwareDevice);
    out += ',';
    AppendKey(out, "dicChannel");
    out.push_back('{');
    bool first = true;
    for (const auto& [key, value] : FDicChannel) {
        if (!first) {
            out.push_back(',');
        }
        first = false;
        AppendKey(out, kChannelNames[static_cast<std::size_t>(key)]);
        AppendDouble(out, value);
    }
    out += "},";
    AppendKey(out, "dateTimeOnDevice");
    AppendIsoDateTime(out, FDateTimeOnDevice);
    out += ',';
    AppendKey(out, "typeState");
    AppendString(out, kTypeStateNames[static_cast<std::size_t>(FTypeState)]);
    out += ',';
    AppendKey(out, "modeWork");
    AppendString(out, kModeWorkNames[static_cast<std::size_t>(FModeWork)]);
    out += ',';
    AppendKey(out, "lastCommand");
    AppendInt(out, FLastCommand);
    out += ',';
    AppendKey(out, "lastResult");
    AppendInt(out, FLastResult);
    out += ',';
    AppendKey(out, "lastCode");
    AppendInt(out, FLastCode);
    out += ',';
    AppendKey(out, "memoryFree");
    AppendInt(out, FMemoryFree);
    out += ',';
    AppendKey(out, "memoryFull");
    AppendInt(out, FMemoryFull);
    out += ',';
    AppendKey(out, "percentAKB");
    AppendString(out, FPercentAKB);
    out += ',';
    AppendKey(out, "sourcePower");
    AppendString(out, kSourcePowerNames[static_cast<std::size_t>(FSourcePower)]);
    out += ',';
    AppendKey(out, "voltPowerAKB");
    AppendString(out, FVoltPowerAKB);
    out += ',';
    AppendKey(out, "voltAKB");
    AppendString(out, FVoltAKB);
    out += ',';
    AppendKey(out, "tempAKB");
    AppendString(out, FTempAKB);
    out += ',';
    AppendKey(out, "uSBPower");
    AppendString(out, kUSBPowerNames[static_cast<std::size_t>(FUSBPower)]);
    out += ',';
    AppendKey(out, "aKBState");
    AppendString(out, kAKBStateNames[static_cast<std::size_t>(FAKBState)]);
    out.push_back('}');
    return out;
}

void TTavrel::ToJSON(Bytes& out) const {
    const std::string text = ToJSONText();
    const bool ascii =
        std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        out.resize(text.size() * 2);
        for (std::size_t i = 0; i < text.size(); ++i) {
            out[2 * i] = static_cast<std::uint8_t>(text[i]);
            out[2 * i + 1] = 0;
        }
        return;
    }
    out.clear();
    out.reserve(text.size() * 2);
    const auto put = [&out](std::uint32_t unit) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFFU));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    };
    // ToJSONText writes only well-formed UTF-8.
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t cp = static_cast<unsigned char>(text[i]);
        std::size_t len = cp < 0x80 ? 1 : DecodeUtf8(text, i, cp);
        if (len == 0) {
            cp = '?';
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FFU));
        } else {
            put(cp);
        }
    }
}

TTavrel::Bytes TTavrel::ToJSON() const {
    Bytes out;
    ToJSON(out);
    return out;
}

std::unique_ptr<TTavrel> TTavrel::FromJSON(const Bytes& utf16le) {
    return FromJSONText(Utf16LeToUtf8(utf16le));
}

std::unique_ptr<TTavrel> TTavrel::FromJSONText(std::string_view utf8) {
    const nlohmann::json doc = nlohmann::json::parse(utf8, nullptr, false);
    if (!doc.is_object()) {
        throw EJsonModelError("model JSON: the text is not a JSON object");
    }
    auto model = std::make_unique<TTavrel>();
    TTavrel& m = *model;
    for (const auto& [name, v] : doc.items()) {
        const char* member = name.c_str();
        if (name == "numberDevice") {
            m.FNumberDevice = IntFromJson<std::int32_t>(v, member);
        } else if (name == "monthDevice") {
            m.FMonthDevice = IntFromJson<std::int32_t>(v, member);
        } else if (name == "yearDevice") {
            m.FYearDevice = IntFromJson<std::int32_t>(v, member);
        } else if (name == "firmwareDevice") {
            m.FFirmwareDevice = StringFromJson(v, member);
        } else if (name == "dicChannel") {
            if (!v.is_object()) {
                throw EJsonModelError("dicChannel: expected an object");
            }
            for (const auto& [key, value] : v.items()) {
                const auto k =
                    static_cast<TChannelProperties>(EnumFromName(nlohmann::json(key), kChannelNames, member));
                if (!value.is_number()) {
                    throw EJsonModelError("dicChannel: value of '" + key + "' is not a number");
                }
                m.FDicChannel[k] = value.get<double>();
            }
        } else if (name == "dateTimeOnDevice") {
            m.FDateTimeOnDevice = ParseIsoDateTime(StringFromJson(v, member));
        } else if (name == "typeState") {
            m.FTypeState = static_cast<TTypeState>(EnumFromName(v, kTypeStateNames, member));
        } else if (name == "modeWork") {
            m.FModeWork = static_cast<TModeWork>(EnumFromName(v, kModeWorkNames, member));
        } else if (name == "lastCommand") {
            m.FLastCommand = IntFromJson<std::int32_t>(v, member);
        } else if (name == "lastResult") {
            m.FLastResult = IntFromJson<std::int32_t>(v, member);
        } else if (name == "lastCode") {
            m.FLastCode = IntFromJson<std::int32_t>(v, member);
        } else if (name == "memoryFree") {
            m.FMemoryFree = IntFromJson<std::int64_t>(v, member);
        } else if (name == "memoryFull") {
            m.FMemoryFull = IntFromJson<std::int64_t>(v, member);
        } else if (name == "percentAKB") {
            m.FPercentAKB = StringFromJson(v, member);
        } else if (name == "sourcePower") {
            m.FSourcePower = static_cast<TSourcePower>(EnumFromName(v, kSourcePowerNames, member));
        } else if (name == "voltPowerAKB") {
            m.FVoltPowerAKB = StringFromJson(v, member);
        } else if (name == "voltAKB") {
            m.FVoltAKB = StringFromJson(v, member);
        } else if (name == "tempAKB") {
            m.FTempAKB = StringFromJson(v, member);
        } else if (name == "uSBPower") {
            m.FUSBPower = static_cast<TUSBPower>(EnumFromName(v, kUSBPowerNames, member));
        } else if (name == "aKBState") {
            m.FAKBState = static_cast<TAKBState>(EnumFromName(v, kAKBStateNames, member));
        }
        // Unknown members are ignored, as the rebuilding side only reads what it knows.
    }
    return model;
}

}  // namespace tavrel::protocol
