#include "link/xcom_port_module.h"

#include <algorithm>
#include <atomic>
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

TXComPortModule::TXComPortModule() {
    TXComPortModule* expected = nullptr;
    gInstance.compare_exchange_strong(expected, this);
}

TXComPortModule::~TXComPortModule() {
    _TaskWorkStop();
    std::jthread last;
    {
        const std::lock_guard state(FStateLock);
        last = std::move(TaskWork);
    }
    if (last.joinable()) {
        last.join();  // it joined the tasks before it: no connection outlives the module
    }
    DataModuleDestroy();
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

void TXComPortModule::_ListenerDataHelperSet(std::unique_ptr<TDataHelper> DH) {
    if (!DH) {
        return;
    }
    const TListGuard guard(FListLock);
    _ListenerDataHelperRemove(DH->Handle(), false);
    ListDataHelper.push_back(std::shared_ptr<TDataHelper>(std::move(DH)));
}

void TXComPortModule::_ListenerDataHelperRemove(TWindowHandle H, bool isFullClear) {
    const TListGuard guard(FListLock);
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
    const TListGuard guard(FListLock);
    return ListDataHelper.size();
}

void TXComPortModule::_SendData(const TBytes& Buf) {
    if (Buf.empty()) {
        return;
    }
    {
        const TListGuard guard(FListLock);
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
    const TListGuard guard(FListLock);
    // A parser callback may register or remove listeners; walk a copy and skip those removed meanwhile.
    const auto listeners = ListDataHelper;
    for (const auto& listener : listeners) {
        if (std::find(ListDataHelper.begin(), ListDataHelper.end(), listener) != ListDataHelper.end()) {
            listener->ParseData(Buf);
        }
    }
}

void TXComPortModule::_TaskWorkStart() {
    const std::lock_guard state(FStateLock);
    if (FRunning) {
        return;
    }
    const std::uint64_t session = FSession + 1;
    std::jthread previous = std::move(TaskWork);
    TaskWork = std::jthread([this, session, previous = std::move(previous)](const std::stop_token& Stop) mutable {
        _TaskAction(Stop, session, std::move(previous));
    });
    FSession = session;
    FRunning = true;
}

void TXComPortModule::_TaskWorkStop() {
    // Nothing here waits: the task is told to end, and a write or wait in progress is woken; the task
    // closes and releases the port connection on its own thread.
    const std::lock_guard state(FStateLock);
    if (!FRunning) {
        return;
    }
    FRunning = false;
    TaskWork.request_stop();
    if (ComPort != nullptr) {
        ComPort->Cancel();
    }
}

bool TXComPortModule::IsRunning() const {
    const std::lock_guard state(FStateLock);
    return FRunning;
}

void TXComPortModule::_TaskAction(const std::stop_token& Stop, std::uint64_t Session, std::jthread Previous) {
    if (Previous.joinable()) {
        Previous.join();  // the previous connection has closed the port before this one opens it
    }
    std::unique_ptr<TXComPort> port;
    try {
        {
            const std::lock_guard state(FStateLock);
            port = std::make_unique<TXComPort>(FPIDVID, "");
            port->SetComPortBaud(FComPortBaud);
            port->SetAutoDetect(FAutoDetect);
            port->SetComPortName(FComPortName);
            port->SetTimeOut(FTimeOut);
        }
        _RunSession(Stop, *port);
    } catch (const std::exception& e) {
        _ReportFailure(Stop, e.what());
    } catch (...) {
        _ReportFailure(Stop, "Unknown error in the exchange task");
    }
    {
        const std::lock_guard state(FStateLock);
        ComPort = nullptr;
        // A task that ends by itself stops the module, unless a stop (and maybe a fresh start) came first.
        if (FRunning && FSession == Session) {
            FRunning = false;
        }
    }
    port.reset();  // closes and releases the port here, off the main thread
}

void TXComPortModule::_RunSession(const std::stop_token& Stop, TXComPort& Port) {
    if (Stop.stop_requested()) {
        return;
    }
    Port.Connect();
    if (!Port.Connected()) {
        return;  // the failure is posted; writing into no port would only lose the queued frames
    }
    {
        // Published for _TaskWorkStop only now: cancelling a connect half-way would end in a false error.
        const std::lock_guard state(FStateLock);
        if (Stop.stop_requested()) {
            return;
        }
        ComPort = &Port;
    }
    std::string textError;
    while (!Stop.stop_requested()) {
        bool wrote = false;
        _Pass(Stop, Port, wrote, textError);
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
}

void TXComPortModule::_Pass(const std::stop_token& Stop, TXComPort& Port, bool& Wrote, std::string& TextError) {
    {
        const std::lock_guard state(FStateLock);
        FQueued = false;
    }
    TextError.clear();
    // Each frame is taken out under the list lock and written after it is released, so that a write that
    // waits for a wedged instrument holds up no window.
    std::vector<const TDataHelper*> listeners;
    {
        const TListGuard guard(FListLock);
        for (const auto& listener : ListDataHelper) {
            listeners.push_back(listener.get());
        }
    }
    for (const TDataHelper* listener : listeners) {
        if (Stop.stop_requested()) {
            return;  // stopped: what is still queued stays queued
        }
        TBytes frame = _TakeFrame(listener);
        if (frame.empty()) {
            continue;
        }
        std::string error;
        Port.SendData(frame, error);
        Wrote = true;
        // A failed write is not hidden by a later one that succeeded in the same pass.
        if (!error.empty() || TextError.empty()) {
            TextError = std::move(error);
        }
    }
}

TXComPortModule::TBytes TXComPortModule::_TakeFrame(const TDataHelper* Listener) {
    const TListGuard guard(FListLock);
    for (const auto& registered : ListDataHelper) {
        if (registered.get() == Listener) {
            return registered->GetData();  // a listener removed since the pass began gives nothing
        }
    }
    return {};
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
