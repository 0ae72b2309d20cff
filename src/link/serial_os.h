#pragma once

#include <cstdint>
#include <string>

// The narrow seam between TSerialPort and the operating system. posix/serial_os.cpp implements it; a
// win32/serial_os.cpp would sit beside it. Every function returns 0 or the OS error code.
namespace tavrel::link::os {

using THandle = int;
inline constexpr THandle InvalidHandle = -1;

// Cumulative line-error counters of the driver; Valid is false where the driver keeps none (ptys).
struct TLineCounters {
    bool Valid = false;
    std::uint32_t Frame = 0;
    std::uint32_t Overrun = 0;
    std::uint32_t BufOverrun = 0;
    std::uint32_t Parity = 0;
};

// Outcome of waiting on the port.
enum class TWaitResult { wrReady, wrTimeout, wrWoken, wrHangup };

// Opens exclusively for non-blocking reads and writes; Hint receives extra text for the operator.
int Open(const std::string& Path, THandle& Handle, std::string& Hint);
void Close(THandle Handle);

int SetLineSettings(THandle Handle, int Baud, int Bits, char Parity, int Stop, bool SoftFlow, bool HardFlow);
int SetModemLine(THandle Handle, bool Rts, bool On);
int GetModemLines(THandle Handle, bool& Dsr, bool& Cts);
int Purge(THandle Handle);
int BytesWaiting(THandle Handle, int& Count);
int ReadLineCounters(THandle Handle, TLineCounters& Counters);

// Non-blocking transfers: Count receives what moved; EAGAIN means nothing could move now.
int ReadSome(THandle Handle, std::uint8_t* Buffer, int Length, int& Count);
int WriteSome(THandle Handle, const std::uint8_t* Buffer, int Length, int& Count);

// Waits until the port is readable (or writable), Wake is signalled or TimeoutMs (-1: no limit) passes.
TWaitResult Wait(THandle Handle, THandle Wake, bool ForWrite, int TimeoutMs, int& Error);

// A wake-up object another thread can signal to end Wait at once.
int CreateWake(THandle& Wake);
void SignalWake(THandle Wake);
void CloseWake(THandle Wake);

// The OS's own text for an error code.
std::string ErrorText(int Code);
int LastOsError();

}  // namespace tavrel::link::os
