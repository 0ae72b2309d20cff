#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavrel::protocol {

// The pure conversions of the support record; its UI-side functions live in the app layer.
struct THalvo {
    // Key = first character of the process's LC_NUMERIC decimal separator ('.' when the locale gives none).
    static void DetectDecimal(char& Key);
    static char DecimalSeparator();

    // Tolerant conversion: "." and "," both count as the decimal separator; blanks around are ignored;
    // anything that is not a decimal number gives Default.
    static double StrToFloatSafeDef(std::string_view S, double Default);
    // The same with an explicit separator instead of the locale's.
    static double StrToFloatSafeDef(std::string_view S, double Default, char sep);

    // Byte count as a size text: "###0.##", a blank and the unit of the power of 1024.
    static std::string ConvertBytesToMeasure(std::uint64_t Bytes, bool RUS);
    static std::string ConvertBytesToMeasure(std::uint64_t Bytes, bool RUS, char sep);
};

// Raised by HexToColor for malformed input; the text is "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct THalvoGraphics {
    // "rrggbb" (with any "#" or "$" removed) as red + green * 256 + blue * 65536.
    static std::uint32_t HexToColor(std::string_view hexColor);
};

}  // namespace tavrel::protocol
