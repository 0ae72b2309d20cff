#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "link/serial_os.h"

namespace tavrel::link {

enum class THookSerialReason : std::uint8_t {
    HR_SerialClose = 0,
    HR_Connect = 1,
    HR_CanRead = 2,
    HR_CanWrite = 3,
    HR_ReadCount = 4,
    HR_WriteCount = 5,
    HR_Wait = 6,
};

class TSerialPort;

// Called on the thread of the operation that reports.
using THookSerialStatus = std::function<void(TSerialPort& Sender, THookSerialReason Reason, const std::string& Value)>;

class ESerialError : public std::runtime_error {
  public:
    ESerialError(std::int32_t Code, const std::string& Message);
    std::int32_t ErrorCode;
    std::string ErrorMessage;
};

// A serial port opened exclusively by name (names are opened unchanged on Linux, where FComNr stays -1;
// on Windows COM5 and /dev/ttyS4 open \\.\COM5).
// Failures are recorded as LastError/LastErrorDesc (errno or Win32 codes with the OS text, or the 999x codes of
// GetErrorDesc). One wait/read thread, one write thread and a closing third thread may use one object.
//
// After a failed Connect, LastError/LastErrorDesc hold the open's own error (EACCES, EBUSY, ENOENT...) until
// the next operation; ConnectError/ConnectErrorDesc keep it for good, and for EACCES ConnectErrorDesc adds a
// Russian hint naming the group that owns the device node (for example dialout) and the udev rule of the
// package, which opens the instrument to the user at the seat.
class TSerialPort {
  public:
    static constexpr std::int32_t ErrAlreadyOwned = 9991;
    static constexpr std::int32_t ErrAlreadyInUse = 9992;
    static constexpr std::int32_t ErrWrongParameter = 9993;
    static constexpr std::int32_t ErrPortNotOpen = 9994;
    static constexpr std::int32_t ErrNoDeviceAnswer = 9995;
    static constexpr std::int32_t ErrMaxBuffer = 9996;
    static constexpr std::int32_t ErrTimeout = 9997;
    static constexpr std::int32_t ErrReadFailed = 9998;
    static constexpr std::int32_t ErrFrame = 9999;
    static constexpr std::int32_t ErrOverrun = 10000;
    static constexpr std::int32_t ErrRxOver = 10001;
    static constexpr std::int32_t ErrRxParity = 10002;
    static constexpr std::int32_t ErrTxFull = 10003;

    // Line-error flags handed to DecodeLineErrors.
    enum TLineErrors : unsigned {
        leFrame = 1U << 0U,
        leOverrun = 1U << 1U,
        leRxOver = 1U << 2U,
        leParity = 1U << 3U,
        leTxFull = 1U << 4U,
    };

    TSerialPort();
    virtual ~TSerialPort();
    TSerialPort(const TSerialPort&) = delete;
    TSerialPort& operator=(const TSerialPort&) = delete;

    virtual void Connect(const std::string& comport);
    virtual void Config(int baud, int bits, char parity, int stop, bool softflow, bool hardflow);
    // Timeout in ms; -1 waits without limit, 0 does not wait. Ends at once when another thread closes.
    virtual bool CanRead(int Timeout);
    virtual int WaitingData();
    virtual int RecvBuffer(void* buffer, int length);
    virtual int SendBuffer(const void* buffer, int length);
    virtual void CloseSocket();
    // Ends every wait, read and write in progress at once and refuses new ones, without any call that can
    // block in the kernel (safe on the main thread); the port stays open until CloseSocket.
    void Abort();
    virtual void Purge();

    static std::string GetErrorDesc(std::int32_t ErrorCode);
    virtual void SetSerialError(std::int32_t ErrNumber);
    virtual std::int32_t SerialCheck(int SerialResult);
    virtual void ExceptCheck();
    virtual void RaiseSerialError(std::int32_t ErrNumber);

    os::THandle Handle() const;
    std::string Device() const;
    std::int32_t FComNr() const;
    bool InstanceActive() const;
    std::int32_t LastError() const;
    std::string LastErrorDesc() const;
    std::int32_t ConnectError() const;
    std::string ConnectErrorDesc() const;

    bool RaiseExcept() const;
    void SetRaiseExcept(bool Value);
    void SetOnStatus(THookSerialStatus Value);
    std::int32_t DeadlockTimeout() const;
    void SetDeadlockTimeout(std::int32_t Value);
    std::int32_t SizeRecvBuffer() const;
    void SetSizeRecvBuffer(std::int32_t Value);
    bool TestDSR() const;
    void SetTestDSR(bool Value);
    bool TestCTS() const;
    void SetTestCTS(bool Value);
    std::int32_t MaxSendBandwidth() const;
    void SetMaxSendBandwidth(std::int32_t Value);
    std::int32_t MaxRecvBandwidth() const;
    void SetMaxRecvBandwidth(std::int32_t Value);
    // Modem lines; failures (ptys refuse them) are ignored and leave LastError alone.
    void SetRTS(bool Value);
    void SetDTR(bool Value);

  protected:
    virtual void ReportStatus(THookSerialReason Reason, const std::string& Value);
    // Where names are numbered (Windows): COM5 -> 4, /dev/ttyS0 -> 0, anything else -1 (opened unchanged).
    virtual std::int32_t ParseComNumber(const std::string& Name) const;
    virtual bool CheckReady();
    virtual bool CheckControlLines();
    virtual void DecodeLineErrors(unsigned Errors);

  private:
    // Marks the port as in use for one operation, so CloseSocket never closes a descriptor being polled.
    bool Acquire(os::THandle& Handle, os::THandle& Wake);
    void Release();
    bool WaitReadable(os::THandle Handle, os::THandle Wake, int Timeout);
    void CheckLineErrors(os::THandle Handle);
    void Throttle(std::int32_t Limit, std::chrono::steady_clock::time_point& Next, int Length);
    void SetError(std::int32_t Code, const std::string& Text);
    int Transfer(bool Write, std::uint8_t* In, const std::uint8_t* Out, int Length);

    mutable std::mutex FStateLock;
    std::condition_variable FIdle;
    os::THandle FHandle = os::InvalidHandle;
    os::THandle FWake = os::InvalidHandle;
    int FUsers = 0;
    bool FClosing = false;
    bool FInstanceActive = false;
    std::string FDevice;
    std::int32_t FComNrValue = -1;
    os::TLineCounters FCounters;
    bool FCountLineErrors = false;  // cleared once the driver says it keeps no line-error counters
    int FPendingByte = -1;          // a byte taken by CanRead's hang-up probe, handed out by the next read
    std::mutex FCloseLock;          // serialises Connect and CloseSocket

    mutable std::mutex FErrorLock;
    std::int32_t FLastError = 0;
    std::string FLastErrorDesc = "OK";
    std::int32_t FConnectError = 0;
    std::string FConnectErrorDesc = "OK";

    mutable std::mutex FSettingsLock;
    THookSerialStatus FOnStatus;
    bool FRaiseExcept = false;
    std::int32_t FDeadlockTimeout = 30000;
    std::int32_t FRecvBuffer = 4096;
    bool FTestDSR = false;
    bool FTestCTS = false;
    std::int32_t FMaxSendBandwidth = 0;
    std::int32_t FMaxRecvBandwidth = 0;
    std::chrono::steady_clock::time_point FNextSend;
    std::chrono::steady_clock::time_point FNextRecv;
};

}  // namespace tavrel::link
