#include "link/xcom_port_module.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

#include "bus/messaging_platform.h"
#include "link/xcom_port.h"

namespace tavrel::link {
namespace {

std::atomic<TXComPortModule*> gInstance{nullptr};

}  // namespace

// Holds the listener list and records which thread holds it, so that a stop requested by that thread
// (a parser callback, a bus handler) leaves the join of the work task until the outermost holder is out.
class TXComPortModule::TListGuard {
  public:
    explicit TListGuard(TXComPortModule& Module) : M(Module) {
        M.FListLock.lock();
        if (M.FListDepth++ == 0) {
            M.FListOwner = std::this_thread::get_id();
        }
    }
    ~TListGuard() {
        const bool outermost = --M.FListDepth == 0;
        if (outermost) {
            M.FListOwner = std::thread::id();
        }
        M.FListLock.unlock();
        if (outermost && M.FDeferredJoin.exchange(false)) {
            M._JoinRetired();
        }
    }
    TListGuard(const TListGuard&) = delete;
    TListGuard& operator=(const TListGuard&) = delete;

  private:
    TXComPortModule& M;
};

TXComPortModule::TXComPortModule() {
    TXComPortModule* expected = nullptr;
    gInstance.compare_exchange_strong(expected, this);
}

TXComPortModule::~TXComPortModule() {
    _TaskWorkStop();
    DataModuleDestroy();
    _JoinRetired();
    TXComPortModule* expected = this;
    gInstance.compare_exchange_strong(expected, nullptr);
}

TXComPortModule& XComPortModule() {
    TXComPortModule* module = gInstance.load();
    if (module == nullptr) {
        throw std::logic_error("No exchange module exists");
    }
    return *module;
}

void TXComPortModule::DataModuleDestroy() {
    _ListenerDataHelperRemove(0, true);
}

bool TXComPortModule::_HoldsListLock() const {
    return FListOwner.load() == std::this_thread::get_id();
}

void TXComPortModule::_ListenerDataHelperSet(std::unique_ptr<TDataHelper> DH) {
    if (!DH) {
        return;
    }
    const TListGuard guard(*this);
    _ListenerDataHelperRemove(DH->Handle(), false);
    ListDataHelper.push_back(std::shared_ptr<TDataHelper>(std::move(DH)));
}

void TXComPortModule::_ListenerDataHelperRemove(TWindowHandle H, bool isFullClear) {
    const TListGuard guard(*this);
    if (isFullClear) {
        while (!ListDataHelper.empty()) {
            ListDataHelper.pop_back();
        }
        return;
    }
    for (auto it = ListDataHelper.rbegin(); it != ListDataHelper.rend(); ++it) {
        if ((*it)->Handle() == H) {
            ListDataHelper.erase(std::next(it).base());
            return;
        }
    }
}

std::size_t TXComPortModule::ListenerCount() const {
    const std::lock_guard guard(FListLock);
    return ListDataHelper.size();
}

void TXComPortModule::_SendData(const TBytes& Buf) {
    if (Buf.empty()) {
        return;
    }
    {
        const TListGuard guard(*this);
        for (const auto& listener : ListDataHelper) {
            listener->Add(Buf);
        }
    }
    {
        const std::lock_guard state(FStateLock);
        FQueued = true;
    }
    FWake.notify_all();
}

void TXComPortModule::_ParseData(const TBytes& Buf) {
    const TListGuard guard(*this);
    // A parser callback may register or remove listeners; walk a copy and skip those removed meanwhile.
    const auto listeners = ListDataHelper;
    for (const auto& listener : listeners) {
        if (std::find(ListDataHelper.begin(), ListDataHelper.end(), listener) != ListDataHelper.end()) {
            listener->ParseData(Buf);
        }
    }
}

void TXComPortModule::_TaskWorkStart() {
    if (!_HoldsListLock()) {
        _JoinRetired();
    }
    std::shared_ptr<TXComPort> port;
    {
        const std::lock_guard state(FStateLock);
        if (TaskWork.joinable() || FConnecting) {
            return;
        }
        port = std::make_shared<TXComPort>(FPIDVID, "");
        port->SetComPortBaud(FComPortBaud);
        port->SetAutoDetect(FAutoDetect);
        port->SetComPortName(FComPortName);
        port->SetTimeOut(FTimeOut);
        ComPort = port;
        FConnecting = true;
        FStoppedWhileConnecting = false;
    }
    // A port error posted on this thread is handled before Connect returns, and its handler may stop the
    // module; `port` keeps the connection alive until Connect is done, and it is released below.
    try {
        port->Connect();
    } catch (...) {
        const std::lock_guard state(FStateLock);
        FConnecting = false;
        if (ComPort == port) {
            ComPort.reset();
        }
        throw;
    }
    const std::lock_guard state(FStateLock);
    FConnecting = false;
    if (FStoppedWhileConnecting || ComPort != port) {
        return;
    }
    TaskWork = std::jthread([this](std::stop_token Stop) { _TaskAction(std::move(Stop)); });
}

void TXComPortModule::_TaskWorkStop() {
    std::shared_ptr<TXComPort> port;
    std::jthread task;
    {
        const std::lock_guard state(FStateLock);
        port = std::move(ComPort);
        if (FConnecting) {
            FStoppedWhileConnecting = true;
        }
        if (TaskWork.joinable()) {
            TaskWork.request_stop();
            task = std::move(TaskWork);
        }
    }
    const bool self = task.joinable() && task.get_id() == std::this_thread::get_id();
    if (task.joinable()) {
        if (self || _HoldsListLock()) {
            // The task cannot be joined from itself, nor while this thread holds the list lock that the
            // task may be waiting for; it ends on its own and is joined later.
            const std::lock_guard state(FStateLock);
            FRetired.push_back(std::move(task));
            if (!self) {
                FDeferredJoin = true;
            }
        } else {
            task.join();
        }
    }
    // The task is out of its pass (joined, or it cannot enter one while the list lock is held here), so
    // this is the last reference unless Connect is still running further up this thread.
    port.reset();
    if (!self && !_HoldsListLock()) {
        _JoinRetired();
    }
}

void TXComPortModule::_JoinRetired() {
    std::vector<std::jthread> retired;
    {
        const std::lock_guard state(FStateLock);
        retired.swap(FRetired);
    }
    std::vector<std::jthread> keep;
    for (auto& task : retired) {
        if (task.get_id() == std::this_thread::get_id()) {
            keep.push_back(std::move(task));
        } else if (task.joinable()) {
            task.join();
        }
    }
    if (!keep.empty()) {
        const std::lock_guard state(FStateLock);
        for (auto& task : keep) {
            FRetired.push_back(std::move(task));
        }
    }
}

bool TXComPortModule::IsRunning() const {
    const std::lock_guard state(FStateLock);
    return TaskWork.joinable();
}

bool TXComPortModule::_Pass(const std::stop_token& Stop, bool& Wrote, std::string& TextError) {
    {
        const std::lock_guard state(FStateLock);
        FQueued = false;
    }
    const TListGuard guard(*this);
    std::shared_ptr<TXComPort> port;
    {
        const std::lock_guard state(FStateLock);
        if (Stop.stop_requested() || !ComPort) {
            return false;
        }
        port = ComPort;
    }
    TextError.clear();
    const auto listeners = ListDataHelper;
    for (const auto& listener : listeners) {
        TBytes frame = listener->GetData();
        if (frame.empty()) {
            continue;
        }
        std::string error;
        port->SendData(frame, error);
        Wrote = true;
        // A failed write is not hidden by a later one that succeeded in the same pass.
        if (!error.empty() || TextError.empty()) {
            TextError = std::move(error);
        }
    }
    return true;
}

void TXComPortModule::_TaskAction(std::stop_token Stop) {
    try {
        std::string textError;
        while (!Stop.stop_requested()) {
            bool wrote = false;
            if (!_Pass(Stop, wrote, textError)) {
                break;
            }
            std::unique_lock state(FStateLock);
            if (wrote) {
                // Pacing: the next frame leaves no sooner than 50 ms after this pass.
                FWake.wait_for(state, Stop, std::chrono::milliseconds(SendPacingMs), [] { return false; });
            } else {
                // Nothing queued: sleep until a frame is queued (no polling of idle queues).
                FWake.wait(state, Stop, [this] { return FQueued; });
            }
            if (!textError.empty()) {
                break;
            }
        }
    } catch (const std::exception& e) {
        _ReportFailure(Stop, e.what());
    } catch (...) {
        _ReportFailure(Stop, "Unknown error in the exchange task");
    }
    // Stop the module only if it is still this task's: a stop from elsewhere may have been followed by a
    // fresh start while this task was finishing.
    bool current = false;
    {
        const std::lock_guard state(FStateLock);
        current = TaskWork.joinable() && TaskWork.get_id() == std::this_thread::get_id();
    }
    if (current) {
        _TaskWorkStop();
    }
}

void TXComPortModule::_ReportFailure(const std::stop_token& Stop, const std::string& Message) {
    TFailureProc proc;
    {
        const std::lock_guard state(FStateLock);
        proc = FOnTaskFailure;
    }
    std::shared_ptr<bus::IMessagingPlatform> platform;
    try {
        platform = bus::MessagingPlatform();
    } catch (const std::exception&) {
        platform.reset();
    }
    if (!proc || !platform) {
        std::fprintf(stderr, "%s\n", Message.c_str());
        return;
    }
    struct TShown {
        std::mutex Lock;
        std::condition_variable_any Done;
        bool Finished = false;
    };
    auto shown = std::make_shared<TShown>();
    platform->QueueOnMainThread([shown, proc, Message] {
        try {
            proc(Message);
        } catch (...) {  // NOLINT(bugprone-empty-catch): showing the failure must not fail the main loop
        }
        const std::lock_guard lock(shown->Lock);
        shown->Finished = true;
        shown->Done.notify_all();
    });
    // Holds no module lock while waiting; a stop from the main thread ends the wait.
    std::unique_lock lock(shown->Lock);
    shown->Done.wait(lock, Stop, [&shown] { return shown->Finished; });
}

std::string TXComPortModule::PIDVID() const {
    const std::lock_guard state(FStateLock);
    return FPIDVID;
}

void TXComPortModule::SetPIDVID(std::string Value) {
    const std::lock_guard state(FStateLock);
    FPIDVID = std::move(Value);
}

std::int32_t TXComPortModule::ComPortBaud() const {
    const std::lock_guard state(FStateLock);
    return FComPortBaud;
}

void TXComPortModule::SetComPortBaud(std::int32_t Value) {
    const std::lock_guard state(FStateLock);
    FComPortBaud = Value;
}

bool TXComPortModule::AutoDetect() const {
    const std::lock_guard state(FStateLock);
    return FAutoDetect;
}

void TXComPortModule::SetAutoDetect(bool Value) {
    const std::lock_guard state(FStateLock);
    FAutoDetect = Value;
}

std::string TXComPortModule::ComPortName() const {
    const std::lock_guard state(FStateLock);
    return FComPortName;
}

void TXComPortModule::SetComPortName(std::string Value) {
    const std::lock_guard state(FStateLock);
    FComPortName = std::move(Value);
}

std::int32_t TXComPortModule::TimeOut() const {
    const std::lock_guard state(FStateLock);
    return FTimeOut;
}

void TXComPortModule::SetTimeOut(std::int32_t Value) {
    const std::lock_guard state(FStateLock);
    FTimeOut = Value;
}

void TXComPortModule::SetOnTaskFailure(TFailureProc Proc) {
    const std::lock_guard state(FStateLock);
    FOnTaskFailure = std::move(Proc);
}

}  // namespace tavrel::link
