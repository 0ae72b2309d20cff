#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "link/data_helper.h"

namespace tavrel::link {

class TXComPort;

// The one place through which the windows talk to the instrument: the registered listeners with their
// outgoing queues, the port connection while the work task runs, and the work task that writes at most
// one queued frame per listener every 50 ms.
//
// Threads: every operation may be called from the main thread, also re-entrantly from a parser callback
// inside _ParseData or from a bus handler inside _TaskWorkStart's connect; _TaskWorkStop may also be
// called from the work task. Received chunks come back through _ParseData on the calling thread.
class TXComPortModule {
  public:
    using TBytes = std::vector<std::uint8_t>;
    // Shows a failure of the work task to the operator (the product: an error message box). It runs on
    // the main thread and the work task waits until it returns.
    using TFailureProc = std::function<void(const std::string& Message)>;

    static constexpr std::int32_t DefaultComPortBaud = 115200;
    static constexpr int SendPacingMs = 50;

    // DataModuleCreate. The first module created becomes the process-wide instance (XComPortModule()).
    TXComPortModule();
    // Stops the work task and frees every listener.
    ~TXComPortModule();

    TXComPortModule(const TXComPortModule&) = delete;
    TXComPortModule& operator=(const TXComPortModule&) = delete;

    // Frees every listener (stopping is separate: _TaskWorkStop).
    void DataModuleDestroy();

    // Replaces any listener registered under DH's handle, then appends DH; the module owns it.
    void _ListenerDataHelperSet(std::unique_ptr<TDataHelper> DH);
    // Frees the last listener registered under H (nothing when none), or every listener with isFullClear.
    void _ListenerDataHelperRemove(TWindowHandle H, bool isFullClear);
    // Queues a copy of Buf on every listener; an empty buffer queues nothing.
    void _SendData(const TBytes& Buf);
    // Hands a received chunk to every listener's parser, on the calling thread.
    void _ParseData(const TBytes& Buf);
    // Creates the port connection, connects and starts the work task; nothing when it already runs.
    void _TaskWorkStart();
    // Releases the port connection and ends the work task; queued frames stay queued.
    void _TaskWorkStop();

    bool IsRunning() const;
    std::size_t ListenerCount() const;

    // Settings handed to the port connection at each _TaskWorkStart.
    std::string PIDVID() const;
    void SetPIDVID(std::string Value);
    std::int32_t ComPortBaud() const;
    void SetComPortBaud(std::int32_t Value);
    // With auto-detection off (the app's --port PATH), ComPortName is opened as given.
    bool AutoDetect() const;
    void SetAutoDetect(bool Value);
    std::string ComPortName() const;
    void SetComPortName(std::string Value);
    // The listen task's wait for data in milliseconds; -1 (the default) waits without limit.
    std::int32_t TimeOut() const;
    void SetTimeOut(std::int32_t Value);

    void SetOnTaskFailure(TFailureProc Proc);

  private:
    struct TListener;
    class TListGuard;

    void _TaskAction(std::stop_token Stop);
    bool _Pass(const std::stop_token& Stop, bool& Wrote, std::string& TextError);
    void _ReportFailure(const std::stop_token& Stop, const std::string& Message);
    void _JoinRetired();
    void _RunDeferred();
    bool _HoldsListLock() const;

    // Listener list; re-entrant for its holder and always taken before the state lock.
    mutable std::recursive_mutex FListLock;
    std::atomic<std::thread::id> FListOwner{};
    int FListDepth = 0;
    std::vector<std::shared_ptr<TDataHelper>> ListDataHelper;

    // Guards the fields below; a leaf lock, never held while posting, joining or writing.
    mutable std::mutex FStateLock;
    std::shared_ptr<TXComPort> ComPort;
    std::jthread TaskWork;
    // Work tasks that ended themselves, or whose join had to wait until the list lock was released.
    std::vector<std::jthread> FRetired;
    // Set when a join was left for the outermost holder of the list lock.
    std::atomic<bool> FDeferredJoin{false};
    bool FConnecting = false;
    bool FStoppedWhileConnecting = false;
    std::int32_t FComPortBaud = DefaultComPortBaud;
    std::string FPIDVID;
    bool FAutoDetect = true;
    std::string FComPortName;
    std::int32_t FTimeOut = -1;
    TFailureProc FOnTaskFailure;
    // Wakes the work task when a frame is queued while it idles.
    std::condition_variable_any FWake;
    bool FQueued = false;
};

// The process-wide exchange module; throws std::logic_error when none exists.
TXComPortModule& XComPortModule();

}  // namespace tavrel::link
