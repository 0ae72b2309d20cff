#include "link/xcom_port.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <utility>

#include "bus/main_thread_batch.h"
#include "link/delay.h"
#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "link/xcom_port_helpers.h"

namespace tavrel::link {
namespace {

constexpr std::int32_t kDeadlockTimeoutMs = 10000;
constexpr std::uint32_t kReleaseWaitMs = 250;
constexpr std::int32_t kCodeNotFound = -1;
constexpr std::int32_t kCodeTimeout = 20000;

std::string Trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32) {
        ++first;
    }
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) {
        --last;
    }
    return text.substr(first, last - first);
}

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, returned in upper case.
std::string ParseGUID(std::string_view text) {
    constexpr std::size_t kLength = 38;
    bool valid = text.size() == kLength && text.front() == '{' && text.back() == '}';
    std::string result(text);
    for (std::size_t i = 1; valid && i + 1 < kLength; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        const auto c = static_cast<unsigned char>(text[i]);
        valid = dash ? c == '-' : std::isxdigit(c) != 0;
        result[i] = static_cast<char>(std::toupper(c));
    }
    if (!valid) {
        throw std::invalid_argument("'" + std::string(text) + "' is not a valid GUID value");
    }
    return result;
}

char ParityLetter(TParity parity) {
    switch (parity) {
        case TParity::pOdd:
            return 'O';
        case TParity::pEven:
            return 'E';
        case TParity::pMark:
            return 'M';
        case TParity::pSpace:
            return 'S';
        case TParity::pNone:
            break;
    }
    return 'N';
}

}  // namespace

TXComPort::TXComPort() : FPortsGUID("{00000000-0000-0000-0000-000000000000}") {}

TXComPort::TXComPort(std::string _PIDVID, std::string_view _PortsGUID) : TXComPort() {
    FPIDVID = std::move(_PIDVID);
    FPortsGUID = std::string(DefaultPortsGUID);
    if (!Trim(std::string(_PortsGUID)).empty()) {
        FPortsGUID = ParseGUID(_PortsGUID);
    }
}

TXComPort::~TXComPort() {
    try {
        Disconnect();
    } catch (...) {
        ReportHandlerFailure(std::current_exception());  // a throwing status handler must not terminate
    }
    THalvo::Delay(kReleaseWaitMs);
}

std::shared_ptr<TSerialPort> TXComPort::_Device() const {
    const std::lock_guard guard(FLock);
    return ComPortDevice;
}

void TXComPort::Connect() {
    if (Trim(ComPortName()).empty()) {
        Disconnect();
        _PostError(kCodeNotFound, "Com port not found");
        return;
    }
    Disconnect();

    isCancel = false;
    auto device = std::make_shared<TSerialPort>();
    device->SetOnStatus([this](TSerialPort&, THookSerialReason Reason, const std::string& Value) {
        _OnSerialStatus(static_cast<int>(Reason), Value);
    });
    device->SetDeadlockTimeout(kDeadlockTimeoutMs);
    std::int32_t baud = 0;
    std::uint8_t bits = 0;
    TParity parity = TParity::pNone;
    TStopBits stopBits = TStopBits::Bit1;
    {
        const std::lock_guard guard(FLock);
        ComPortDevice = device;
        baud = FComPortBaud;
        bits = FDataBits;
        parity = FParity;
        stopBits = FStopBits;
    }

    device->Connect(ComPortName());
    // The open's own outcome is what the operator needs (with a hint when the user lacks access to the
    // device): configuring a port that never opened would only leave an invalid-handle error behind.
    std::int32_t error = device->ConnectError();
    std::string text = device->ConnectErrorDesc();
    if (error == 0) {
        device->Config(static_cast<int>(baud), bits, ParityLetter(parity), static_cast<int>(stopBits), false, false);
        error = device->LastError();
        text = device->LastErrorDesc();
    }
    if (error != 0) {
        // The owner may release this object from a handler of this post; it then defers the release until
        // Connect has returned (TXComPortModule keeps its own reference meanwhile).
        _PostError(error, text);
        Disconnect();
    }
}

void TXComPort::Disconnect() {
    Cancel();
    std::shared_ptr<TSerialPort> device;
    std::jthread listenTask;
    {
        const std::lock_guard guard(FLock);
        device = std::move(ComPortDevice);
        listenTask = std::move(FListenTask);
    }
    // Closing first wakes a write that waits for room (a wedged instrument); only then is the write lock
    // taken, so that the port object is released after the write has let go of it.
    const auto finish = [&] {
        { const std::lock_guard writeGuard(FWriteLock); }
        if (listenTask.joinable()) {
            if (listenTask.get_id() == std::this_thread::get_id()) {
                listenTask.detach();
            } else {
                listenTask.join();
            }
        }
        device.reset();  // the last reference: releasing reports the close once more
    };
    try {
        if (device && device->InstanceActive()) {
            device->CloseSocket();  // also ends a wait of the listen task
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TXComPort::Cancel() {
    isCancel = true;
    {
        const std::lock_guard guard(FChunksInFlight->Lock);  // no lost wake-up between test and wait
    }
    FChunksInFlight->Released.notify_all();
    // Under FLock the port object cannot be released meanwhile, so the last reference never drops here.
    const std::lock_guard guard(FLock);
    if (ComPortDevice) {
        ComPortDevice->Abort();
    }
}

bool TXComPort::Connected() const {
    const std::lock_guard guard(FLock);
    return ComPortDevice && ComPortDevice->InstanceActive();
}

void TXComPort::SendData(const TBytes& Value, std::string& TextError) {
    TextError.clear();
    const std::lock_guard writeGuard(FWriteLock);
    const std::shared_ptr<TSerialPort> device = _Device();
    if (!device) {
        return;
    }
    try {
        const int count = static_cast<int>(Value.size());
        const int written = device->SendBuffer(Value.data(), count);
        // A write that failed is reported, so that the work task stops instead of writing into a dead line.
        if (written != count) {
            const std::int32_t error = device->LastError();
            TextError = error != 0 ? MakeErrorEvent(device->LastErrorDesc(), error).Text
                                   : "Write incomplete (" + std::to_string(written) + " of " + std::to_string(count) +
                                         " bytes)";
        }
    } catch (const std::exception& e) {
        TextError = e.what();
    }
}

void TXComPort::_StartListen() {
    std::jthread task([this] { _ListenLoop(); });
    std::jthread previous;
    {
        const std::lock_guard guard(FLock);
        previous = std::exchange(FListenTask, std::move(task));
    }
    if (previous.joinable()) {
        previous.detach();  // ended already: Connect always disconnects (and joins) first
    }
}

void TXComPort::_ListenLoop() {
    static const std::string kCancel = "**_StartListen is cancel**";
    for (;;) {
        if (isCancel) {
            _PostStatus(kCancel);
            return;
        }
        try {
            std::shared_ptr<TSerialPort> device = _Device();
            if (!device) {
                isCancel = true;  // released under us: only Disconnect does that
                continue;
            }
            const std::int32_t timeOut = FTimeOut;
            for (;;) {
                // CanRead's report, the read's report and the chunk wake the main thread once.
                bus::TMainThreadBatch wake;
                if (!device->CanRead(timeOut)) {
                    break;
                }
                const bool emptyWake = _ReadAndPostChunk(*device);
                wake.Flush();
                _WaitForRoom();
                if (isCancel) {
                    _PostStatus(kCancel);
                    break;
                }
                // A hung-up line reports "readable" with nothing to read; that wake ends in its error.
                if (emptyWake && device->LastError() != 0) {
                    break;
                }
                device = _Device();
                if (!device) {
                    break;
                }
            }
            if (isCancel || !device) {
                isCancel = true;
                continue;
            }
            if (device->LastError() != 0) {
                _PostError(device->LastError(), device->LastErrorDesc());
                return;
            }
            if (timeOut == -1) {
                continue;
            }
            char text[64];
            std::snprintf(text, sizeof text, "Timeout while waiting for data (%d)", static_cast<int>(timeOut));
            _PostError(kCodeTimeout, text);
            return;
        } catch (const std::exception& e) {
            _PostError(-1, e.what());
            THalvo::Delay(kReleaseWaitMs);
        } catch (...) {
            _PostError(-1, "Unknown error");
            THalvo::Delay(kReleaseWaitMs);
        }
    }
}

bool TXComPort::_ReadAndPostChunk(TSerialPort& Device) {
    // A backlog of hundreds of answers reaches the main thread in pieces it handles between other work:
    // no more is read than may still wait for the main thread (the rest stays in the driver).
    int room = 0;
    {
        const std::lock_guard guard(FChunksInFlight->Lock);
        room = kMaxBytesInFlight - FChunksInFlight->Bytes;
    }
    const int count = std::min(Device.WaitingData(), room);
    TBytes chunk(static_cast<std::size_t>(count > 0 ? count : 0));
    Device.RecvBuffer(chunk.data(), static_cast<int>(chunk.size()));
    const bool empty = chunk.empty();
    _PostData(std::move(chunk));
    return empty;
}

void TXComPort::_OnSerialStatus(int Reason, const std::string& Value) {
    std::string status;
    TEventStatusComPort event = TEventStatusComPort::XComPort_Unknown;
    switch (static_cast<THookSerialReason>(Reason)) {
        case THookSerialReason::HR_SerialClose:
            status = "**HR_SerialClose**";
            event = TEventStatusComPort::XComPort_Close;
            break;
        case THookSerialReason::HR_Connect:
            _StartListen();
            status = "**HR_Connect**";
            event = TEventStatusComPort::XComPort_Connect;
            break;
        case THookSerialReason::HR_CanRead:
            status = "**HR_CanRead**";
            event = TEventStatusComPort::XComPort_CanRead;
            break;
        case THookSerialReason::HR_CanWrite:
            status = "**HR_CanWrite**";
            event = TEventStatusComPort::XComPort_CanWrite;
            break;
        case THookSerialReason::HR_ReadCount:
            status = "**HR_ReadCount[" + Value + " byte]**";
            event = TEventStatusComPort::XComPort_ReadCount;
            break;
        case THookSerialReason::HR_WriteCount:
            status = "**HR_WriteCount[" + Value + " byte]**";
            event = TEventStatusComPort::XComPort_WriteCount;
            break;
        case THookSerialReason::HR_Wait:
            status = "**HR_Wait**";
            event = TEventStatusComPort::XComPort_Wait;
            break;
    }
    // Both messages of one report reach the main thread as one queued procedure.
    bus::TMainThreadBatch batch;
    if (!Trim(status).empty()) {
        _PostStatus(status);
    }
    if (event != TEventStatusComPort::XComPort_Unknown) {
        _PostEventStatus(event, Value);
    }
    batch.Flush();
}

void TXComPort::_PostData(TBytes Data) {
    // The message tells, when its last holder lets it go, that its chunk has been handled.
    std::shared_ptr<TChunksInFlight> inFlight = FChunksInFlight;
    const int bytes = static_cast<int>(Data.size());
    auto* chunk = new TSubscribeMessage();
    chunk->SetData(std::move(Data));
    {
        const std::lock_guard guard(inFlight->Lock);
        ++inFlight->Count;
        inFlight->Bytes += bytes;
    }
    // Should this constructor fail, it calls the deleter itself, which balances the counts.
    std::shared_ptr<ISubscribeMessage> message(chunk, [inFlight, bytes](ISubscribeMessage* handled) {
        delete handled;
        {
            const std::lock_guard guard(inFlight->Lock);
            --inFlight->Count;
            inFlight->Bytes -= bytes;
        }
        inFlight->Released.notify_all();
    });
    PostTypedMessage<ISubscribeMessage>(subscribeComPortData, std::move(message));
}

void TXComPort::_WaitForRoom() {
    // Reading on while the main thread falls behind would only pile chunks up in its queue; leaving them
    // in the driver instead throttles the line, as a serial port's flow control does.
    std::unique_lock lock(FChunksInFlight->Lock);
    FChunksInFlight->Released.wait(lock, [this] {
        return (FChunksInFlight->Count < kMaxChunksInFlight && FChunksInFlight->Bytes < kMaxBytesInFlight) || isCancel;
    });
}

void TXComPort::_PostError(std::int32_t Code, const std::string& Text) {
    PostSubscribeEvent(subscribeComPortError, MakeErrorEvent(Text, Code));
}

void TXComPort::_PostStatus(const std::string& Text) {
    PostSubscribeEvent(subscribeComPortStatus, MakeErrorEvent(Text, 0));
}

void TXComPort::_PostEventStatus(TEventStatusComPort Status, const std::string& Value) {
    PostSubscribeEvent(subscribeComPortEventStatus, MakeEvent(static_cast<std::int32_t>(Status), Value));
}

std::string TXComPort::PIDVID() const {
    const std::lock_guard guard(FLock);
    return FPIDVID;
}

void TXComPort::SetPIDVID(std::string Value) {
    const std::lock_guard guard(FLock);
    FPIDVID = std::move(Value);
}

std::string TXComPort::PortsGUID() const {
    const std::lock_guard guard(FLock);
    return FPortsGUID;
}

void TXComPort::SetPortsGUID(std::string_view Value) {
    std::string parsed = ParseGUID(Value);
    const std::lock_guard guard(FLock);
    FPortsGUID = std::move(parsed);
}

bool TXComPort::AutoDetect() const {
    const std::lock_guard guard(FLock);
    return FAutoDetect;
}

void TXComPort::SetAutoDetect(bool Value) {
    const std::lock_guard guard(FLock);
    FAutoDetect = Value;
}

std::string TXComPort::ComPortName() const {
    std::string pidvid;
    std::string guid;
    {
        const std::lock_guard guard(FLock);
        if (!FAutoDetect) {
            return FComPortName;
        }
        pidvid = FPIDVID;
        guid = FPortsGUID;
    }
    const std::vector<std::string> ports = FindPorts(pidvid, guid);
    return ports.size() == 1 ? ports.front() : std::string();
}

void TXComPort::SetComPortName(std::string Value) {
    const std::lock_guard guard(FLock);
    FComPortName = std::move(Value);
}

std::int32_t TXComPort::ComPortBaud() const {
    const std::lock_guard guard(FLock);
    return FComPortBaud;
}

void TXComPort::SetComPortBaud(std::int32_t Value) {
    const std::lock_guard guard(FLock);
    FComPortBaud = Value;
}

TParity TXComPort::Parity() const {
    const std::lock_guard guard(FLock);
    return FParity;
}

void TXComPort::SetParity(TParity Value) {
    const std::lock_guard guard(FLock);
    FParity = Value;
}

TStopBits TXComPort::StopBits() const {
    const std::lock_guard guard(FLock);
    return FStopBits;
}

void TXComPort::SetStopBits(TStopBits Value) {
    const std::lock_guard guard(FLock);
    FStopBits = Value;
}

std::int32_t TXComPort::TimeOut() const {
    return FTimeOut;
}

void TXComPort::SetTimeOut(std::int32_t Value) {
    FTimeOut = Value;
}

std::string TXComPort::ListComs() const {
    return ListComPorts();
}

}  // namespace tavrel::link
