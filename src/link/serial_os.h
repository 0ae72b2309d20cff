#pragma once

#include <cerrno>
#include <cstdint>
#include <string>

// The narrow seam between TSerialPort and the operating system, implemented by posix/serial_os.cpp and
// win32/serial_os.cpp. Every function returns 0 or the OS error code.
namespace tavrel::link::os {

#ifdef _WIN32
using THandle = std::intptr_t;  // the port's own record, or a wake-up event's HANDLE
inline constexpr THandle InvalidHandle = -1;
// The Win32 codes of the cases the shared code names: nothing could move now (ERROR_IO_PENDING), no open
// port (ERROR_INVALID_HANDLE), a line that is gone without a code of its own (ERROR_IO_DEVICE).
inline constexpr int ErrWouldBlock = 997;
inline constexpr int ErrBadHandle = 6;
inline constexpr int ErrIo = 1117;
// COM5, com5 and /dev/ttyS4 name the device \\.\COM5 there.
inline constexpr bool NumberedComNames = true;
#else
using THandle = int;
inline constexpr THandle InvalidHandle = -1;
inline constexpr int ErrWouldBlock = EAGAIN;
inline constexpr int ErrBadHandle = EBADF;
inline constexpr int ErrIo = EIO;
inline constexpr bool NumberedComNames = false;  // ports are opened under the name given
#endif

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

// Non-blocking transfers: Count receives what moved; ErrWouldBlock means nothing could move now.
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
