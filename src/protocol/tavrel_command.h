#pragma once

#include <cstdint>
#include <vector>

namespace tavrel::protocol {

// Builds the command frames sent to the instrument; an empty buffer means no command was made.
class TTavrelCommand {
  public:
    using Bytes = std::vector<std::uint8_t>;

    enum class TRESTRANS : std::uint8_t {
        RES_NO_TRANS = 0,
        RES_USB_TRANS = 1,
        RES_BL_TRANS = 2,
        RES_NO_USB_TRANS = 3,
    };

    enum class TChannelName : std::uint8_t { cnCh1, cnCh2, cnCh3 };

    struct TChannelOption {
        TChannelName ChannelName = TChannelName::cnCh1;
        std::uint8_t Range = '0';  // '0' off, '1' 1 V, '2' 10 V, '3' 100 V, '4' 0.1 V
        double ShuntValue = 0.0;   // amperes at 75 mV, channel 3 only
    };

    TTavrelCommand() = delete;

    static Bytes getVersion();
    static Bytes getAKBState();
    static Bytes getMemoryState();
    static Bytes getMeasuringVolt();
    static Bytes getModeWork();
    static Bytes getMeasuring(TRESTRANS restrans);
    static Bytes setChargeAKBFromUSB(bool OnOffChargeFromUSB);
    static Bytes setModeWork(std::uint8_t mode);
    static Bytes setModeWorkIPP_Volt(std::uint8_t step);
    static Bytes setModeWorkIPP_Ampere(int stepNumber);
    // Refused (empty) for an empty array and for a channel-3 shunt whose x10000 value is not a 32-bit integer.
    static Bytes setChannelParameters(const std::vector<TChannelOption>& channelOption);

    // 0, 1, 2: mode change, "F" step, "E" step accepted; -2 refused; -1 not a command this check knows.
    static std::int8_t checkCommandResult(int command, int code, int result);

  private:
    static Bytes buildFrame(std::uint8_t C, std::uint8_t S, const Bytes& A);
};

}  // namespace tavrel::protocol
