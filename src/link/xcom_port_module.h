#pragma once

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
// inside _ParseData. None of them waits for the port: the work task looks up, opens, configures, writes
// to and closes the port, and stopping only tells it to end. Received chunks come back through _ParseData
// on the calling thread.
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
    // Stops the work task, waits until it has released the port, and frees every listener.
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
    // Starts the work task, which creates the port connection and connects; nothing when it already runs.
    // A connect failure is posted from the work task, which then ends by itself.
    void _TaskWorkStart();
    // Ends the work task at once: a write in progress is abandoned, and the task releases the port
    // connection on its way out. Frames still queued stay queued.
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
    using TListGuard = std::lock_guard<std::recursive_mutex>;

    void _TaskAction(const std::stop_token& Stop, std::uint64_t Session, std::jthread Previous);
    void _RunSession(const std::stop_token& Stop, TXComPort& Port);
    void _Pass(const std::stop_token& Stop, TXComPort& Port, bool& Wrote, std::string& TextError);
    TBytes _TakeFrame(const TDataHelper* Listener);
    void _ReportFailure(const std::stop_token& Stop, const std::string& Message);

    // Listener list; re-entrant for its holder and always taken before the state lock. Never held while
    // writing to the port.
    mutable std::recursive_mutex FListLock;
    std::vector<std::shared_ptr<TDataHelper>> ListDataHelper;

    // Guards the fields below; held only for short steps that never wait for the port or for a thread.
    mutable std::mutex FStateLock;
    // The running session's port connection once it has connected, owned by its work task, which sets and
    // clears this under the lock; the lock keeps it alive while _TaskWorkStop cancels what it is doing.
    TXComPort* ComPort = nullptr;
    // The latest work task, running or finishing; each one joins the one before it before it opens the
    // port, so two connections never hold the port at the same time.
    std::jthread TaskWork;
    bool FRunning = false;
    std::uint64_t FSession = 0;
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
