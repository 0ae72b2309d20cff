#include "link/serial_port.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <thread>
#include <utility>

#include "link/xcom_port_helpers.h"

namespace tavrel::link {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ESerialError::ESerialError(std::int32_t Code, const std::string& Message)
    : std::runtime_error("Communication error " + std::to_string(Code) + ": " + Message),
      ErrorCode(Code),
      ErrorMessage(Message) {}

TSerialPort::TSerialPort() = default;

TSerialPort::~TSerialPort() {
    try {
        TSerialPort::CloseSocket();
    } catch (...) {
        ReportHandlerFailure(std::current_exception());  // a throwing status handler must not terminate
    }
}

std::string TSerialPort::GetErrorDesc(std::int32_t ErrorCode) {
    switch (ErrorCode) {
        case 0:
            return "OK";
        case ErrAlreadyOwned:
            return "Port owned by other process";
        case ErrAlreadyInUse:
            return "Instance already in use";
        case ErrWrongParameter:
            return "Wrong parameter at call";
        case ErrPortNotOpen:
            return "Instance not yet connected";
        case ErrNoDeviceAnswer:
            return "No device answer detected";
        case ErrMaxBuffer:
            return "Maximal buffer length exceeded";
        case ErrTimeout:
            return "Timeout during operation";
        case ErrReadFailed:
            return "Reading of data failed";
        case ErrFrame:
            return "Receive framing error";
        case ErrOverrun:
            return "Receive Overrun Error";
        case ErrRxOver:
            return "Receive Queue overflow";
        case ErrRxParity:
            return "Receive Parity Error";
        case ErrTxFull:
            return "Tranceive Queue is full";
        default:
            return os::ErrorText(ErrorCode);
    }
}

void TSerialPort::SetError(std::int32_t Code, const std::string& Text) {
    const std::lock_guard guard(FErrorLock);
    FLastError = Code;
    FLastErrorDesc = Text;
}

void TSerialPort::SetSerialError(std::int32_t ErrNumber) {
    SetError(ErrNumber, GetErrorDesc(ErrNumber));
}

std::int32_t TSerialPort::SerialCheck(int SerialResult) {
    const std::int32_t code = SerialResult == -1 ? os::LastOsError() : 0;
    SetSerialError(code);
    return code;
}

void TSerialPort::ExceptCheck() {
    std::int32_t code = 0;
    std::string text;
    {
        const std::lock_guard guard(FErrorLock);
        code = FLastError;
        text = FLastErrorDesc;
    }
    if (RaiseExcept() && code != 0) {
        throw ESerialError(code, text);
    }
}

void TSerialPort::RaiseSerialError(std::int32_t ErrNumber) {
    SetSerialError(ErrNumber);
    ExceptCheck();
}

void TSerialPort::ReportStatus(THookSerialReason Reason, const std::string& Value) {
    THookSerialStatus hook;
    {
        const std::lock_guard guard(FSettingsLock);
        hook = FOnStatus;
    }
    if (hook) {
        hook(*this, Reason, Value);
    }
}

bool TSerialPort::Acquire(os::THandle& Handle, os::THandle& Wake) {
    const std::lock_guard guard(FStateLock);
    if (!FInstanceActive || FClosing || FHandle == os::InvalidHandle) {
        return false;
    }
    ++FUsers;
    Handle = FHandle;
    Wake = FWake;
    return true;
}

void TSerialPort::Release() {
    const std::lock_guard guard(FStateLock);
    if (--FUsers == 0) {
        FIdle.notify_all();
    }
}

void TSerialPort::Connect(const std::string& comport) {
    const std::lock_guard closeGuard(FCloseLock);
    if (InstanceActive()) {
        RaiseSerialError(ErrAlreadyInUse);
        return;
    }
    const std::int32_t comNr = os::NumberedComNames ? ParseComNumber(comport) : -1;
    const std::string device = comNr != -1 ? "\\\\.\\COM" + std::to_string(comNr + 1) : comport;
    {
        const std::lock_guard guard(FStateLock);
        FDevice = device;
        FComNrValue = comNr;
        FPendingByte = -1;
    }
    os::THandle handle = os::InvalidHandle;
    std::string hint;
    const int error = os::Open(device, handle, hint);
    if (error != 0) {
        SetSerialError(error);
        {
            const std::lock_guard guard(FErrorLock);
            FConnectError = error;
            FConnectErrorDesc = FLastErrorDesc + hint;
        }
        ExceptCheck();
        return;
    }
    os::THandle wake = os::InvalidHandle;
    const int wakeError = os::CreateWake(wake);
    if (wakeError != 0) {
        os::Close(handle);
        SetSerialError(wakeError);
        const std::lock_guard guard(FErrorLock);
        FConnectError = FLastError;
        FConnectErrorDesc = FLastErrorDesc;
        return;
    }
    os::TLineCounters counters;
    os::ReadLineCounters(handle, counters);
    {
        const std::lock_guard guard(FStateLock);
        FHandle = handle;
        FWake = wake;
        FClosing = false;
        FCounters = counters;
        FCountLineErrors = true;  // until the driver says it keeps no counters
    }
    SetSerialError(0);
    if (CheckControlLines()) {
        {
            const std::lock_guard guard(FStateLock);
            FInstanceActive = true;
        }
        SetRTS(true);
        SetDTR(true);
        Purge();
    } else {
        os::Close(handle);
        os::CloseWake(wake);
        const std::lock_guard guard(FStateLock);
        FHandle = os::InvalidHandle;
        FWake = os::InvalidHandle;
        FComNrValue = -1;
    }
    if (!InstanceActive()) {
        SetSerialError(ErrNoDeviceAnswer);
    }
    {
        const std::lock_guard guard(FErrorLock);
        FConnectError = FLastError;
        FConnectErrorDesc = FLastErrorDesc;
    }
    ExceptCheck();
    ReportStatus(THookSerialReason::HR_Connect, Device());
}

void TSerialPort::Config(int baud, int bits, char parity, int stop, bool softflow, bool hardflow) {
    SetSerialError(0);
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    const bool open = Acquire(handle, wake);
    // On a port that never opened the settings are refused like any closed descriptor.
    const int error =
        os::SetLineSettings(open ? handle : os::InvalidHandle, baud, bits, parity, stop, softflow, hardflow);
    if (open) {
        Release();
    }
    SetSerialError(error);
    if (error == 0) {
        SetDTR(true);
        if (!hardflow) {
            SetRTS(true);
        }
    }
    ExceptCheck();
}

int TSerialPort::WaitingData() {
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    if (!Acquire(handle, wake)) {
        SetSerialError(os::ErrBadHandle);
        return 0;
    }
    int count = 0;
    const int error = os::BytesWaiting(handle, count);
    int pending = 0;
    {
        const std::lock_guard guard(FStateLock);
        pending = FPendingByte >= 0 ? 1 : 0;
    }
    Release();
    SetSerialError(error);
    return error == 0 ? count + pending : pending;
}

bool TSerialPort::CanRead(int Timeout) {
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    if (!Acquire(handle, wake)) {
        SetSerialError(os::ErrBadHandle);
        return false;
    }
    SetSerialError(0);
    bool result = false;
    {
        const std::lock_guard guard(FStateLock);
        result = FPendingByte >= 0;
    }
    // No FIONREAD before the wait: poll answers at once when bytes are waiting, and this is the listen
    // task's path from a wake to its chunk, where every system call shows in the latency.
    result = result || WaitReadable(handle, wake, Timeout);
    Release();
    if (result) {
        ReportStatus(THookSerialReason::HR_CanRead, {});
    }
    return result;
}

bool TSerialPort::WaitReadable(os::THandle Handle, os::THandle Wake, int Timeout) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(Timeout, 0));
    for (;;) {
        int error = 0;
        const int wait = Timeout < 0 ? -1 : RemainingMs(deadline);
        const os::TWaitResult outcome = os::Wait(Handle, Wake, false, wait, error);
        if (outcome == os::TWaitResult::wrWoken || outcome == os::TWaitResult::wrTimeout) {
            return false;
        }
        int count = 0;
        if (os::BytesWaiting(Handle, count) == 0 && count > 0) {
            return true;
        }
        // Readable with nothing queued: either a spurious wake or a line that is gone. Only a read tells
        // them apart; a byte it happens to get is kept for the next RecvBuffer.
        std::uint8_t probe = 0;
        const int readError = os::ReadSome(Handle, &probe, 1, count);
        if (readError == 0 && count == 1) {
            const std::lock_guard guard(FStateLock);
            FPendingByte = probe;
            return true;
        }
        if (readError != os::ErrWouldBlock || outcome != os::TWaitResult::wrReady) {
            SetSerialError(readError != 0 && readError != os::ErrWouldBlock ? readError
                                                                            : (error != 0 ? error : os::ErrIo));
            return false;
        }
        if (Timeout >= 0 && RemainingMs(deadline) == 0) {
            return false;
        }
    }
}

std::int32_t TSerialPort::ParseComNumber(const std::string& Name) const {
    std::string upper = Name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto numberAfter = [&upper](std::size_t Prefix, std::int32_t Otherwise) {
        std::int32_t value = 0;
        const char* first = upper.data() + Prefix;
        const char* last = upper.data() + upper.size();
        const auto [end, error] = std::from_chars(first, last, value);
        return error == std::errc() && end == last ? value : Otherwise;
    };
    if (upper.starts_with("COM")) {
        return numberAfter(3, 0) - 1;
    }
    if (upper.starts_with("/DEV/TTYS")) {
        return numberAfter(9, -2);
    }
    return -1;
}

bool TSerialPort::CheckControlLines() {
    if (!TestDSR() && !TestCTS()) {
        return true;
    }
    os::THandle handle = os::InvalidHandle;
    {
        const std::lock_guard guard(FStateLock);
        handle = FHandle;
    }
    bool dsr = false;
    bool cts = false;
    if (os::GetModemLines(handle, dsr, cts) != 0) {
        return false;
    }
    return !(TestDSR() && !dsr) && !(TestCTS() && !cts);
}

bool TSerialPort::CheckReady() {
    if (!InstanceActive()) {
        RaiseSerialError(ErrPortNotOpen);
        return false;
    }
    if (!CheckControlLines()) {
        RaiseSerialError(ErrNoDeviceAnswer);
        return false;
    }
    return true;
}

void TSerialPort::DecodeLineErrors(unsigned Errors) {
    // Several flags at once: the highest code wins.
    std::int32_t code = 0;
    if ((Errors & leFrame) != 0U)
        code = ErrFrame;
    if ((Errors & leOverrun) != 0U)
        code = ErrOverrun;
    if ((Errors & leRxOver) != 0U)
        code = ErrRxOver;
    if ((Errors & leParity) != 0U)
        code = ErrRxParity;
    if ((Errors & leTxFull) != 0U)
        code = ErrTxFull;
    if (code != 0) {
        SetSerialError(code);
    }
}

void TSerialPort::CheckLineErrors(os::THandle Handle) {
    {
        const std::lock_guard guard(FStateLock);
        if (!FCountLineErrors) {
            return;  // the driver has no counters (a pty): asking after every read would only cost
        }
    }
    os::TLineCounters now;
    const int error = os::ReadLineCounters(Handle, now);
    if (error != 0 || !now.Valid) {
        if (error == 0) {
            const std::lock_guard guard(FStateLock);
            FCountLineErrors = false;
        }
        return;
    }
    unsigned flags = 0;
    {
        const std::lock_guard guard(FStateLock);
        if (FCounters.Valid) {
            if (now.Frame != FCounters.Frame)
                flags |= leFrame;
            if (now.Overrun != FCounters.Overrun)
                flags |= leOverrun;
            if (now.BufOverrun != FCounters.BufOverrun)
                flags |= leRxOver;
            if (now.Parity != FCounters.Parity)
                flags |= leParity;
        }
        FCounters = now;
    }
    if (flags != 0U) {
        DecodeLineErrors(flags);
    }
}

void TSerialPort::Throttle(std::int32_t Limit, Clock::time_point& Next, int Length) {
    if (Limit <= 0) {
        return;
    }
    Clock::time_point next;
    {
        const std::lock_guard guard(FSettingsLock);
        next = Next;
        const Clock::time_point start = std::max(next, Clock::now());
        Next = start + std::chrono::milliseconds(static_cast<long long>(Length) * 1000 / Limit);
    }
    const int wait = RemainingMs(next);
    if (wait > 0) {
        ReportStatus(THookSerialReason::HR_Wait, std::to_string(wait));
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
}

int TSerialPort::Transfer(bool Write, std::uint8_t* In, const std::uint8_t* Out, int Length) {
    if (!CheckReady()) {
        return 0;
    }
    if (Length < 0) {
        RaiseSerialError(ErrWrongParameter);
        return 0;
    }
    if (Write) {
        Throttle(MaxSendBandwidth(), FNextSend, Length);
    } else {
        Throttle(MaxRecvBandwidth(), FNextRecv, Length);
    }
    SetSerialError(0);
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    if (!Acquire(handle, wake)) {
        RaiseSerialError(ErrPortNotOpen);  // closed by another thread since the readiness check
        return 0;
    }
    int done = 0;
    if (!Write && Length > 0) {
        const std::lock_guard guard(FStateLock);
        if (FPendingByte >= 0) {
            In[0] = static_cast<std::uint8_t>(FPendingByte);
            FPendingByte = -1;
            done = 1;
        }
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(DeadlockTimeout());
    while (done < Length) {
        int count = 0;
        const int error = Write ? os::WriteSome(handle, Out + done, Length - done, count)
                                : os::ReadSome(handle, In + done, Length - done, count);
        if (error == 0) {
            done += count;
            continue;
        }
        if (error != os::ErrWouldBlock) {
            SetSerialError(error);
            break;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) {
            SetSerialError(ErrTimeout);
            break;
        }
        int waitError = 0;
        const os::TWaitResult outcome = os::Wait(handle, wake, Write, left, waitError);
        if (outcome == os::TWaitResult::wrWoken) {
            SetSerialError(ErrPortNotOpen);
            break;
        }
        if (outcome == os::TWaitResult::wrTimeout) {
            SetSerialError(ErrTimeout);
            break;
        }
        if (outcome == os::TWaitResult::wrHangup) {
            SetSerialError(waitError != 0 ? waitError : os::ErrIo);
            break;
        }
    }
    CheckLineErrors(handle);
    Release();
    ExceptCheck();
    ReportStatus(Write ? THookSerialReason::HR_WriteCount : THookSerialReason::HR_ReadCount, std::to_string(done));
    return done;
}

int TSerialPort::RecvBuffer(void* buffer, int length) {
    return Transfer(false, static_cast<std::uint8_t*>(buffer), nullptr, length);
}

int TSerialPort::SendBuffer(const void* buffer, int length) {
    return Transfer(true, nullptr, static_cast<const std::uint8_t*>(buffer), length);
}

void TSerialPort::CloseSocket() {
    const std::lock_guard closeGuard(FCloseLock);
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    {
        std::unique_lock guard(FStateLock);
        if (FHandle != os::InvalidHandle) {
            FClosing = true;
            os::SignalWake(FWake);
            FIdle.wait(guard, [this] { return FUsers == 0; });
            handle = std::exchange(FHandle, os::InvalidHandle);
            wake = std::exchange(FWake, os::InvalidHandle);
        }
        FInstanceActive = false;
        FComNrValue = -1;
        FPendingByte = -1;
    }
    if (handle != os::InvalidHandle) {
        os::Purge(handle);
        os::SetModemLine(handle, true, false);
        os::SetModemLine(handle, false, false);
        os::Close(handle);
        os::CloseWake(wake);
        const std::lock_guard guard(FStateLock);
        FClosing = false;
    }
    SetSerialError(0);
    ReportStatus(THookSerialReason::HR_SerialClose, Device());
}

void TSerialPort::Abort() {
    const std::lock_guard guard(FStateLock);
    if (FHandle != os::InvalidHandle) {
        FClosing = true;
        os::SignalWake(FWake);
    }
}

void TSerialPort::Purge() {
    SetSerialError(0);
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    if (Acquire(handle, wake)) {
        SetSerialError(os::Purge(handle));
        {
            const std::lock_guard guard(FStateLock);
            FPendingByte = -1;
        }
        Release();
    } else {
        SetSerialError(os::ErrBadHandle);
    }
    ExceptCheck();
}

void TSerialPort::SetRTS(bool Value) {
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    if (Acquire(handle, wake)) {
        os::SetModemLine(handle, true, Value);
        Release();
    }
}

void TSerialPort::SetDTR(bool Value) {
    os::THandle handle = os::InvalidHandle;
    os::THandle wake = os::InvalidHandle;
    if (Acquire(handle, wake)) {
        os::SetModemLine(handle, false, Value);
        Release();
    }
}

os::THandle TSerialPort::Handle() const {
    const std::lock_guard guard(FStateLock);
    return FHandle;
}

std::string TSerialPort::Device() const {
    const std::lock_guard guard(FStateLock);
    return FDevice;
}

std::int32_t TSerialPort::FComNr() const {
    const std::lock_guard guard(FStateLock);
    return FComNrValue;
}

bool TSerialPort::InstanceActive() const {
    const std::lock_guard guard(FStateLock);
    return FInstanceActive;
}

std::int32_t TSerialPort::LastError() const {
    const std::lock_guard guard(FErrorLock);
    return FLastError;
}

std::string TSerialPort::LastErrorDesc() const {
    const std::lock_guard guard(FErrorLock);
    return FLastErrorDesc;
}

std::int32_t TSerialPort::ConnectError() const {
    const std::lock_guard guard(FErrorLock);
    return FConnectError;
}

std::string TSerialPort::ConnectErrorDesc() const {
    const std::lock_guard guard(FErrorLock);
    return FConnectErrorDesc;
}

#define TAVREL_SETTING(Type, Name, Field)           \
    Type TSerialPort::Name() const {                \
        const std::lock_guard guard(FSettingsLock); \
        return Field;                               \
    }                                               \
    void TSerialPort::Set##Name(Type Value) {       \
        const std::lock_guard guard(FSettingsLock); \
        Field = Value;                              \
    }

TAVREL_SETTING(bool, RaiseExcept, FRaiseExcept)
TAVREL_SETTING(std::int32_t, DeadlockTimeout, FDeadlockTimeout)
TAVREL_SETTING(std::int32_t, SizeRecvBuffer, FRecvBuffer)
TAVREL_SETTING(bool, TestDSR, FTestDSR)
TAVREL_SETTING(bool, TestCTS, FTestCTS)
TAVREL_SETTING(std::int32_t, MaxSendBandwidth, FMaxSendBandwidth)
TAVREL_SETTING(std::int32_t, MaxRecvBandwidth, FMaxRecvBandwidth)

#undef TAVREL_SETTING

void TSerialPort::SetOnStatus(THookSerialStatus Value) {
    const std::lock_guard guard(FSettingsLock);
    FOnStatus = std::move(Value);
}

}  // namespace tavrel::link
