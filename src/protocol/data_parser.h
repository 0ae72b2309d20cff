#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace tavrel::protocol {

// Kind of a decoded answer, as reported by a stream parser.
enum class TTavrelCMD : std::uint8_t {
    cmdUnknown = 0,
    cmdAnswerCommandResult = 1,
    cmdCRCError = 2,
    cmdDeviceInfo = 3,
    cmdAKBInfo = 4,
    cmdMemoryInfo = 5,
    cmdMeasure = 6,
    cmdModeWork = 7,
};

// Receives (answer kind, data): the model as UTF-16LE JSON, the raw answer text, or nothing.
using ONDATAPROC = std::function<void(TTavrelCMD, const std::vector<std::uint8_t>&)>;

// A stream parser as the exchange module's listeners hold it.
class IDataParser {
  public:
    virtual ~IDataParser() = default;
    virtual void AddData(const std::vector<std::uint8_t>& Buf) = 0;
    virtual void OnData(ONDATAPROC P) = 0;
};

}  // namespace tavrel::protocol
