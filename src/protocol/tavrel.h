#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::protocol {

enum class TChannelProperties : std::uint8_t {
    chpCh1Value,
    chpCh2Value,
    chpCh3Value,
    chpCh1Range,
    chpCh2Range,
    chpCh3Range,
    chpCh3Shunt,
};

enum class TTypeState : std::uint8_t { tsUnknown, tsNoRec, tsWaitRec, tsRec };
enum class TModeWork : std::uint8_t { UNKNOWN_MODE, REGISTRATOR_MODE, IPP_MODE };
enum class TSourcePower : std::uint8_t { B, U, A, tspUnknown };
enum class TAKBState : std::uint8_t { C, D, takbUnknown };
enum class TUSBPower : std::uint8_t { USB_E, USB_D };

// Raised when a model cannot be rebuilt from its JSON text.
class EJsonModelError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Raised by ParseMeasure when the instrument's clock fields do not make a valid date and time.
class EInvalidDateTime : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Everything known about the connected instrument, accumulated from its answers.
class TTavrel {
  public:
    using Bytes = std::vector<std::uint8_t>;
    using TDicChannel = std::map<TChannelProperties, double>;

    // Nominal shunt currents in amperes; index 0 means no shunt.
    static const std::vector<double>& ShuntTable();
    // Decimals of the current shown for channel 3 on 0.1 V through a shunt of nominal current h (amperes);
    // the current is in mA for h <= 1 and in A above.
    static int ShuntCurrentDecimals(double h);

    TTavrel() = default;

    // Decoders of one answer body (letter, fields and the separators between them).
    void ParseDeviceInfo(const Bytes& Buf);
    void ParseMeasure(const Bytes& Buf);
    void ParseAKBState(const Bytes& Buf);
    void ParseMemoryState(const Bytes& Buf);
    void ParseModeWork(const Bytes& Buf);
    void ParseAnswerCommand(const Bytes& Buf);
    // Pointer forms used by the stream parser to avoid a copy of the body.
    void ParseDeviceInfo(const std::uint8_t* data, std::size_t size);
    void ParseMeasure(const std::uint8_t* data, std::size_t size);
    void ParseAKBState(const std::uint8_t* data, std::size_t size);
    void ParseMemoryState(const std::uint8_t* data, std::size_t size);
    void ParseModeWork(const std::uint8_t* data, std::size_t size);
    void ParseAnswerCommand(const std::uint8_t* data, std::size_t size);

    bool IsOldFirmware() const;

    // The model as JSON text in UTF-16LE bytes, no byte-order mark.
    Bytes ToJSON() const;
    void ToJSON(Bytes& out) const;
    std::string ToJSONText() const;
    // Rebuilds a model; throws EJsonModelError when the text is not a JSON object of this model.
    static std::unique_ptr<TTavrel> FromJSON(const Bytes& utf16le);
    static std::unique_ptr<TTavrel> FromJSONText(std::string_view utf8);

    std::int32_t NumberDevice() const { return FNumberDevice; }
    std::int32_t MonthDevice() const { return FMonthDevice; }
    std::int32_t YearDevice() const { return FYearDevice; }
    const std::string& FirmwareDevice() const { return FFirmwareDevice; }
    const TDicChannel& DicChannel() const { return FDicChannel; }
    double DateTimeOnDeviceValue() const { return FDateTimeOnDevice; }
    TTypeState TypeState() const { return FTypeState; }
    TModeWork ModeWork() const { return FModeWork; }
    std::int32_t LastCommand() const { return FLastCommand; }
    std::int32_t LastResult() const { return FLastResult; }
    std::int32_t LastCode() const { return FLastCode; }
    std::int64_t MemoryFree() const { return FMemoryFree; }
    void SetMemoryFree(std::int64_t v) { FMemoryFree = v; }
    std::int64_t MemoryFull() const { return FMemoryFull; }
    void SetMemoryFull(std::int64_t v) { FMemoryFull = v; }
    const std::string& PercentAKB() const { return FPercentAKB; }
    void SetPercentAKB(std::string v) { FPercentAKB = std::move(v); }
    TSourcePower SourcePower() const { return FSourcePower; }
    void SetSourcePower(TSourcePower v) { FSourcePower = v; }
    const std::string& VoltPowerAKB() const { return FVoltPowerAKB; }
    void SetVoltPowerAKB(std::string v) { FVoltPowerAKB = std::move(v); }
    const std::string& VoltAKB() const { return FVoltAKB; }
    void SetVoltAKB(std::string v) { FVoltAKB = std::move(v); }
    const std::string& TempAKB() const { return FTempAKB; }
    void SetTempAKB(std::string v) { FTempAKB = std::move(v); }
    TUSBPower USBPower() const { return FUSBPower; }
    void SetUSBPower(TUSBPower v) { FUSBPower = v; }
    TAKBState AKBState() const { return FAKBState; }
    void SetAKBState(TAKBState v) { FAKBState = v; }

    // Presentation: texts shown by the windows. The locale's decimal separator is read per call;
    // the overloads taking `sep` use the given one instead.
    std::string GetChannelProperties(TChannelProperties ChannelProperties) const;
    std::string GetChannelProperties(TChannelProperties ChannelProperties, char sep) const;
    std::vector<double> GetRangeOfChannels() const;
    std::vector<double> GetRangeOfChannels(char sep) const;
    static std::vector<std::string> GetListShunts();
    static std::vector<std::string> GetListShunts(char sep);
    std::string GetNumberDevice(std::string_view Text) const;
    std::string GetMonthAndYearDevice(std::string_view Text) const;
    std::string GetFirmwareDevice(std::string_view Text) const;
    std::string DateTimeOnDevice() const;
    std::string GetVoltAKB() const;
    std::string GetVoltPowerAKB() const;
    std::string GetTempAKB() const;
    std::string GetPercentAKB() const;
    std::string AKBStateFullInfo() const;
    std::string GetMemoryFull(bool isConvert) const;
    std::string GetMemoryFree(bool isConvert) const;
    std::string GetMemoryAlloc(bool isConvert) const;
    std::string GetMemoryFull(bool isConvert, char sep) const;
    std::string GetMemoryFree(bool isConvert, char sep) const;
    std::string GetMemoryAlloc(bool isConvert, char sep) const;
    int GetMemoryFree() const;
    int GetMemoryAlloc() const;
    std::string GetMemoryUsed() const;
    std::string MemoryFullInfo() const;
    std::string MemoryFullInfo(char sep) const;

    bool operator==(const TTavrel&) const = default;

  private:
    std::string ChannelText(TChannelProperties key, char sep) const;
    double ChannelNumber(TChannelProperties key, double def, char sep) const;
    std::string ChannelPropertiesText(TChannelProperties key, char sep) const;
    std::string RangePropertyText(TChannelProperties key, double h, char sep) const;
    std::string ReadingPropertyText(TChannelProperties key, double h, char sep) const;

    // Declaration order is the JSON order.
    std::int32_t FNumberDevice = 0;
    std::int32_t FMonthDevice = 0;
    std::int32_t FYearDevice = 0;
    std::string FFirmwareDevice;
    TDicChannel FDicChannel;
    double FDateTimeOnDevice = 0.0;  // days since 1899-12-30
    TTypeState FTypeState = TTypeState::tsUnknown;
    TModeWork FModeWork = TModeWork::UNKNOWN_MODE;
    std::int32_t FLastCommand = 0;
    std::int32_t FLastResult = 0;
    std::int32_t FLastCode = 0;
    std::int64_t FMemoryFree = 0;
    std::int64_t FMemoryFull = 0;
    std::string FPercentAKB;
    TSourcePower FSourcePower = TSourcePower::B;
    std::string FVoltPowerAKB;
    std::string FVoltAKB;
    std::string FTempAKB;
    TUSBPower FUSBPower = TUSBPower::USB_E;
    TAKBState FAKBState = TAKBState::C;
};

// Date-time values as days since 1899-12-30; negative values carry the time as a positive fraction.
namespace datetime {
// Throws EInvalidDateTime unless 1 <= year <= 9999 and every field is within its calendar range.
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec);
struct TParts {
    int year, month, day, hour, minute, second, msec;
};
// False when the value lies outside years 1..9999 or is not finite.
bool DecodeDateTime(double value, TParts& parts);
}  // namespace datetime

namespace detail {
// First captures of "(.*)\(" and "\((.*)\)" (greedy; "." matches no line terminator), empty without a match.
std::string_view MeasureValuePart(std::string_view piece);
std::string_view MeasureRangePart(std::string_view piece);
}  // namespace detail

}  // namespace tavrel::protocol
