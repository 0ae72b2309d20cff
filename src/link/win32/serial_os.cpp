#include "link/serial_os.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <windows.h>

#include "link/win32/text.h"

namespace tavrel::link::os {
namespace {

// Receive queue asked of the driver; the XON/XOFF limits are a quarter of it.
constexpr DWORD kQueueSize = 4096;
// Longest wait for one overlapped read or write; the caller's loop keeps the whole operation within its
// deadlock time-out, and a transfer still pending after this is cancelled and counted as far as it got.
constexpr DWORD kTransferSliceMs = 200;
// Pause after a comm-event wait that ended without a received character.
constexpr DWORD kEmptyWaitPauseMs = 10;

// One open port. The listen task reads and waits, the work task writes, so each direction has its own
// OVERLAPPED and event; the line-error counters are shared and guarded.
struct TPort {
    HANDLE File = INVALID_HANDLE_VALUE;
    HANDLE ReadEvent = nullptr;
    HANDLE WriteEvent = nullptr;
    HANDLE WaitEvent = nullptr;
    // The wake-up event of the port's owner, learnt from the first Wait: a close from another thread also
    // ends a read or write in progress at once.
    std::atomic<HANDLE> Wake{nullptr};
    std::mutex Lock;
    TLineCounters Counters{true};
};

TPort* PortOf(THandle Handle) {
    return Handle == InvalidHandle ? nullptr : reinterpret_cast<TPort*>(Handle);
}

HANDLE FileOf(THandle Handle) {
    const TPort* port = PortOf(Handle);
    return port == nullptr ? INVALID_HANDLE_VALUE : port->File;
}

int Failed() {
    return static_cast<int>(::GetLastError());
}

// Takes the driver's status and adds its line-error flags to the port's counters.
int QueryStatus(TPort& Port, DWORD& Queued) {
    DWORD errors = 0;
    COMSTAT status{};
    Queued = 0;
    if (::ClearCommError(Port.File, &errors, &status) == FALSE) {
        return Failed();
    }
    Queued = status.cbInQue;
    const std::lock_guard guard(Port.Lock);
    Port.Counters.Frame += (errors & CE_FRAME) != 0 ? 1 : 0;
    Port.Counters.Overrun += (errors & CE_OVERRUN) != 0 ? 1 : 0;
    Port.Counters.BufOverrun += (errors & CE_RXOVER) != 0 ? 1 : 0;
    Port.Counters.Parity += (errors & CE_RXPARITY) != 0 ? 1 : 0;
    return 0;
}

// QueryStatus for a seam call, which may be handed no port.
int StatusOf(THandle Handle, TPort*& Port, DWORD& Queued) {
    Port = PortOf(Handle);
    Queued = 0;
    return Port == nullptr ? ErrBadHandle : QueryStatus(*Port, Queued);
}

// Runs one overlapped read or write to its end, or cancels it after kTransferSliceMs or on the owner's wake-up,
// and counts what moved.
int Transfer(TPort& Port, bool Write, void* Buffer, int Length, int& Count) {
    Count = 0;
    OVERLAPPED overlapped{};
    overlapped.hEvent = Write ? Port.WriteEvent : Port.ReadEvent;
    ::ResetEvent(overlapped.hEvent);
    const auto size = static_cast<DWORD>(Length);
    const BOOL started = Write ? ::WriteFile(Port.File, Buffer, size, nullptr, &overlapped)
                               : ::ReadFile(Port.File, Buffer, size, nullptr, &overlapped);
    if (started == FALSE && ::GetLastError() != ERROR_IO_PENDING) {
        return Failed();
    }
    bool cancelled = false;
    if (started == FALSE) {
        const HANDLE objects[2] = {overlapped.hEvent, Port.Wake.load()};
        const DWORD count = objects[1] == nullptr ? 1 : 2;
        if (::WaitForMultipleObjects(count, objects, FALSE, kTransferSliceMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(Port.File, &overlapped);
            cancelled = true;
        }
    }
    DWORD moved = 0;
    const BOOL done = ::GetOverlappedResult(Port.File, &overlapped, &moved, TRUE);
    Count = static_cast<int>(moved);
    if (done == FALSE) {
        const int error = Failed();
        // Our own cancel is a time-out; an abort nobody asked for means the device went away.
        if (!(cancelled && error == ERROR_OPERATION_ABORTED)) {
            return error;
        }
    }
    return Count == 0 && Length > 0 ? ErrWouldBlock : 0;
}

// A comm-event wait that ended without a received character while the port still answers (a mask change
// elsewhere, or Wine, whose wait on a pseudo-terminal ends at once as aborted with an empty mask): reported
// as ready after a short pause, so that the caller's read tells data, nothing and a vanished line apart, and
// a wait that keeps ending at once does not become a spin.
TWaitResult EndedEmpty(TPort& Port, HANDLE Wake, int& Error) {
    DWORD queued = 0;
    Error = QueryStatus(Port, queued);
    if (Error != 0) {
        return TWaitResult::wrHangup;  // unplugged: Windows refuses the status (access denied, bad command)
    }
    if (queued == 0) {
        if (Wake == nullptr) {
            ::Sleep(kEmptyWaitPauseMs);
        } else if (::WaitForSingleObject(Wake, kEmptyWaitPauseMs) == WAIT_OBJECT_0) {
            return TWaitResult::wrWoken;
        }
    }
    return TWaitResult::wrReady;
}

// Waits for a received character with an overlapped WaitCommEvent, ended early by Wake.
TWaitResult WaitReceived(TPort& Port, HANDLE Wake, int TimeoutMs, int& Error) {
    if (Wake != nullptr && ::WaitForSingleObject(Wake, 0) == WAIT_OBJECT_0) {
        return TWaitResult::wrWoken;
    }
    DWORD queued = 0;
    Error = QueryStatus(Port, queued);
    if (Error != 0) {
        return TWaitResult::wrHangup;
    }
    if (queued > 0) {
        return TWaitResult::wrReady;
    }
    if (TimeoutMs == 0) {
        return TWaitResult::wrTimeout;
    }
    if (::SetCommMask(Port.File, EV_RXCHAR) == FALSE) {
        Error = Failed();
        return TWaitResult::wrHangup;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = Port.WaitEvent;
    ::ResetEvent(Port.WaitEvent);
    DWORD events = 0;
    TWaitResult outcome = TWaitResult::wrReady;
    if (::WaitCommEvent(Port.File, &events, &overlapped) == FALSE) {
        if (::GetLastError() != ERROR_IO_PENDING) {
            ::SetCommMask(Port.File, 0);
            return EndedEmpty(Port, Wake, Error);
        }
        // The wake-up comes first, so that a close is seen even when the port signals at the same time.
        const HANDLE objects[2] = {Wake, Port.WaitEvent};
        const DWORD first = Wake == nullptr ? 1 : 0;
        const DWORD signalled =
            ::WaitForMultipleObjects(2 - first, objects + first, FALSE, TimeoutMs < 0 ? INFINITE : TimeoutMs);
        if (signalled == WAIT_TIMEOUT) {
            outcome = TWaitResult::wrTimeout;
        } else if (first == 0 && signalled == WAIT_OBJECT_0) {
            outcome = TWaitResult::wrWoken;
        } else if (signalled == WAIT_FAILED) {
            Error = Failed();
            outcome = TWaitResult::wrHangup;
        }
    }
    // An empty mask ends a wait still in progress; its result is collected before the OVERLAPPED goes.
    ::SetCommMask(Port.File, 0);
    DWORD unused = 0;
    const BOOL done = ::GetOverlappedResult(Port.File, &overlapped, &unused, TRUE);
    if (outcome != TWaitResult::wrReady) {
        return outcome;
    }
    if (done != FALSE && (events & EV_RXCHAR) != 0) {
        return TWaitResult::wrReady;
    }
    return EndedEmpty(Port, Wake, Error);
}

}  // namespace

int Open(const std::string& Path, THandle& Handle, std::string& Hint) {
    Handle = InvalidHandle;
    Hint.clear();
    const HANDLE file = ::CreateFileW(win32::Widen(Path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const int error = Failed();
        if (error == ERROR_ACCESS_DENIED) {
            const std::string prefix = "\\\\.\\";
            const std::string name = Path.starts_with(prefix) ? Path.substr(prefix.size()) : Path;
            Hint = ". Порт " + name + " занят другой программой";
        }
        return error;
    }
    auto* port = new TPort;
    port->File = file;
    port->ReadEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    port->WriteEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    port->WaitEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (port->ReadEvent == nullptr || port->WriteEvent == nullptr || port->WaitEvent == nullptr) {
        const int error = Failed();
        Close(reinterpret_cast<THandle>(port));
        return error;
    }
    // Refusals of these (some virtual ports have no queues to size) do not fail the open.
    ::SetCommMask(file, 0);
    ::SetupComm(file, kQueueSize, 0);
    // Reads return at once with what is queued, even nothing; waiting is WaitCommEvent's job, so that a
    // close from another thread can end it.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    ::SetCommTimeouts(file, &timeouts);
    Handle = reinterpret_cast<THandle>(port);
    return 0;
}

void Close(THandle Handle) {
    TPort* port = PortOf(Handle);
    if (port == nullptr) {
        return;
    }
    if (port->File != INVALID_HANDLE_VALUE) {
        ::CancelIoEx(port->File, nullptr);
        ::CloseHandle(port->File);
    }
    for (const HANDLE event : {port->ReadEvent, port->WriteEvent, port->WaitEvent}) {
        if (event != nullptr) {
            ::CloseHandle(event);
        }
    }
    delete port;
}

int SetLineSettings(THandle Handle, int Baud, int Bits, char Parity, int Stop, bool SoftFlow, bool HardFlow) {
    const HANDLE file = FileOf(Handle);
    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (::GetCommState(file, &dcb) == FALSE) {
        // The write on a port that is not open fails the same way; its error is the one that stays.
        return ::SetCommState(file, &dcb) == FALSE ? Failed() : 0;
    }
    dcb.BaudRate = static_cast<DWORD>(Baud);
    dcb.ByteSize = static_cast<BYTE>(Bits);
    switch (Parity) {
        case 'N':
        case 'n':
            dcb.Parity = NOPARITY;
            break;
        case 'O':
        case 'o':
            dcb.Parity = ODDPARITY;
            break;
        case 'E':
        case 'e':
            dcb.Parity = EVENPARITY;
            break;
        case 'M':
        case 'm':
            dcb.Parity = MARKPARITY;
            break;
        case 'S':
        case 's':
            dcb.Parity = SPACEPARITY;
            break;
        default:
            break;  // any other letter keeps what the port had
    }
    dcb.StopBits = static_cast<BYTE>(Stop);
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    dcb.XonLim = kQueueSize / 4;
    dcb.XoffLim = kQueueSize / 4;
    dcb.fBinary = TRUE;
    dcb.fOutX = SoftFlow ? TRUE : FALSE;
    dcb.fInX = SoftFlow ? TRUE : FALSE;
    dcb.fOutxCtsFlow = HardFlow ? TRUE : FALSE;
    dcb.fRtsControl = HardFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fParity = dcb.Parity != NOPARITY ? TRUE : FALSE;
    return ::SetCommState(file, &dcb) == FALSE ? Failed() : 0;
}

int SetModemLine(THandle Handle, bool Rts, bool On) {
    const DWORD function = Rts ? (On ? SETRTS : CLRRTS) : (On ? SETDTR : CLRDTR);
    return ::EscapeCommFunction(FileOf(Handle), function) == FALSE ? Failed() : 0;
}

int GetModemLines(THandle Handle, bool& Dsr, bool& Cts) {
    DWORD status = 0;
    Dsr = false;
    Cts = false;
    if (::GetCommModemStatus(FileOf(Handle), &status) == FALSE) {
        return Failed();
    }
    Dsr = (status & MS_DSR_ON) != 0;
    Cts = (status & MS_CTS_ON) != 0;
    return 0;
}

int Purge(THandle Handle) {
    const DWORD all = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
    return ::PurgeComm(FileOf(Handle), all) == FALSE ? Failed() : 0;
}

int BytesWaiting(THandle Handle, int& Count) {
    TPort* port = nullptr;
    DWORD queued = 0;
    const int error = StatusOf(Handle, port, queued);
    Count = static_cast<int>(std::min<DWORD>(queued, 0x7FFFFFFF));
    return error;
}

int ReadLineCounters(THandle Handle, TLineCounters& Counters) {
    Counters = {};
    TPort* port = nullptr;
    DWORD queued = 0;
    const int error = StatusOf(Handle, port, queued);
    if (error == 0) {
        const std::lock_guard guard(port->Lock);
        Counters = port->Counters;
    }
    return error;
}

int ReadSome(THandle Handle, std::uint8_t* Buffer, int Length, int& Count) {
    Count = 0;
    // What is queued; with nothing queued the read still runs, since only its failure shows a vanished line.
    TPort* port = nullptr;
    DWORD queued = 0;
    const int error = StatusOf(Handle, port, queued);
    if (error != 0) {
        return error;
    }
    const int wanted = queued > 0 ? static_cast<int>(std::min<DWORD>(queued, static_cast<DWORD>(Length))) : Length;
    return Transfer(*port, false, Buffer, wanted, Count);
}

int WriteSome(THandle Handle, const std::uint8_t* Buffer, int Length, int& Count) {
    Count = 0;
    TPort* port = PortOf(Handle);
    return port == nullptr ? ErrBadHandle : Transfer(*port, true, const_cast<std::uint8_t*>(Buffer), Length, Count);
}

TWaitResult Wait(THandle Handle, THandle Wake, bool ForWrite, int TimeoutMs, int& Error) {
    Error = 0;
    TPort* port = PortOf(Handle);
    if (port == nullptr) {
        Error = ErrBadHandle;
        return TWaitResult::wrHangup;
    }
    const HANDLE wake = Wake == InvalidHandle ? nullptr : reinterpret_cast<HANDLE>(Wake);
    if (wake != nullptr) {
        port->Wake.store(wake);
    }
    if (ForWrite) {
        // A write waits inside WriteSome (bounded); here only a close from another thread is looked for.
        return wake != nullptr && ::WaitForSingleObject(wake, 0) == WAIT_OBJECT_0 ? TWaitResult::wrWoken
                                                                                  : TWaitResult::wrReady;
    }
    return WaitReceived(*port, wake, TimeoutMs, Error);
}

int CreateWake(THandle& Wake) {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Wake = event == nullptr ? InvalidHandle : reinterpret_cast<THandle>(event);
    return event == nullptr ? Failed() : 0;
}

void SignalWake(THandle Wake) {
    if (Wake != InvalidHandle) {
        ::SetEvent(reinterpret_cast<HANDLE>(Wake));
    }
}

void CloseWake(THandle Wake) {
    if (Wake != InvalidHandle) {
        ::CloseHandle(reinterpret_cast<HANDLE>(Wake));
    }
}

std::string ErrorText(int Code) {
    return win32::SystemMessage(static_cast<unsigned long>(Code));
}

int LastOsError() {
    return Failed();
}

}  // namespace tavrel::link::os
