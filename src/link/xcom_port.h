#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "link/subscribe_message.h"

namespace tavrel::link {

class TSerialPort;

// Ordinals are passed on as numbers.
enum class TParity : std::uint8_t { pNone = 0, pOdd = 1, pEven = 2, pMark = 3, pSpace = 4 };
enum class TStopBits : std::uint8_t { Bit1 = 0, Bit1AndHalf = 1, Bit2 = 2 };
// Carried in MessageEvent.ErrorCode of "subscribeComPortEventStatus"; 0..6 follow the serial port's reasons.
enum class TEventStatusComPort : std::uint8_t {
    XComPort_Close = 0,
    XComPort_Connect = 1,
    XComPort_CanRead = 2,
    XComPort_CanWrite = 3,
    XComPort_ReadCount = 4,
    XComPort_WriteCount = 5,
    XComPort_Wait = 6,
    XComPort_Unknown = 7,
};

// The connection to the instrument's port: resolves and opens it, runs the listen task and reports
// everything that happens on the port as the four port messages on the shared bus.
// Connect, Disconnect and destruction run on the owner's thread; SendData may run on another thread at
// the same time. The owner must not destroy the object from inside a handler of a message that the
// object itself is posting (TXComPortModule defers that case).
class TXComPort {
  public:
    using TBytes = std::vector<std::uint8_t>;

    // Device setup class of serial and parallel ports, searched when no other class is given.
    static constexpr std::string_view DefaultPortsGUID = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

    TXComPort();
    // Throws std::invalid_argument when _PortsGUID is neither blank nor of the form {XXXXXXXX-XXXX-...}.
    TXComPort(std::string _PIDVID, std::string_view _PortsGUID);
    ~TXComPort();

    TXComPort(const TXComPort&) = delete;
    TXComPort& operator=(const TXComPort&) = delete;

    void Connect();
    void Disconnect();
    // Ends a wait, read or write in progress at once and stops the listen task, without closing the port
    // or waiting for anything: safe on the main thread. Disconnect still closes and releases the port.
    void Cancel();
    // Whether a port object is open: false after a Connect that failed.
    bool Connected() const;
    // TextError is set empty, or to the message of a failure raised by the write.
    void SendData(const TBytes& Value, std::string& TextError);

    std::string PIDVID() const;
    void SetPIDVID(std::string Value);
    // Upper-case text {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}; all zero after the default constructor.
    std::string PortsGUID() const;
    void SetPortsGUID(std::string_view Value);
    bool AutoDetect() const;
    void SetAutoDetect(bool Value);
    // Read: the resolved port name (enumerates the devices when auto-detection is on), empty when no
    // single port can be chosen. Write: the name used when auto-detection is off.
    std::string ComPortName() const;
    void SetComPortName(std::string Value);
    std::int32_t ComPortBaud() const;
    void SetComPortBaud(std::int32_t Value);
    TParity Parity() const;
    void SetParity(TParity Value);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits Value);
    // Milliseconds the listen task waits for data; -1 waits without limit.
    std::int32_t TimeOut() const;
    void SetTimeOut(std::int32_t Value);
    std::string ListComs() const;

  private:
    void _StartListen();
    void _ListenLoop();
    void _OnSerialStatus(int Reason, const std::string& Value);
    std::shared_ptr<TSerialPort> _Device() const;

    // Reads what is waiting and posts it; answers whether the wake brought nothing.
    bool _ReadAndPostChunk(TSerialPort& Device);
    void _PostData(TBytes Data);
    void _PostError(std::int32_t Code, const std::string& Text);
    void _PostStatus(const std::string& Text);
    void _PostEventStatus(TEventStatusComPort Status, const std::string& Value);
    void _WaitForRoom();

    // Guards ComPortDevice and the settings; never held while posting or waiting.
    mutable std::mutex FLock;
    // Taken by a write, and by Disconnect after closing (which wakes the write), so that the port object is
    // never released under a write.
    std::mutex FWriteLock;
    std::shared_ptr<TSerialPort> ComPortDevice;
    bool FAutoDetect = true;
    std::string FComPortName;
    std::jthread FListenTask;
    std::atomic<std::int32_t> FTimeOut{-1};
    std::atomic<bool> isCancel{false};
    std::int32_t FComPortBaud = 115200;
    std::string FPortsGUID;
    std::string FPIDVID;
    TParity FParity = TParity::pNone;
    TStopBits FStopBits = TStopBits::Bit1;
    std::uint8_t FDataBits = 8;
    // Data messages posted and not yet released by every holder, and their bytes; the listen task waits
    // above either limit. The byte limit bounds what the main thread handles in one turn of its loop.
    struct TChunksInFlight {
        std::mutex Lock;
        std::condition_variable Released;
        int Count = 0;
        int Bytes = 0;
    };
    static constexpr int kMaxChunksInFlight = 64;
    static constexpr int kMaxBytesInFlight = 512;
    std::shared_ptr<TChunksInFlight> FChunksInFlight = std::make_shared<TChunksInFlight>();
};

}  // namespace tavrel::link
