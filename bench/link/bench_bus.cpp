#include "bench_bus.h"

#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "bus/testing/manual_platform.h"
#include "link/xcom_port.h"

namespace tavrel::link::bench {
TBenchMain::TBenchMain() {
    bus::InstallMessagingPlatform(std::make_shared<bus::TManualPlatform>());
    bus::InitializeMessaging();
}

TBenchMain::~TBenchMain() {
    bus::FinalizeMessaging();
}

void TBenchMain::Pump(std::chrono::milliseconds duration) {
    bus::MessagingPlatform()->ProcessMainThreadMessages(duration);
}

TPortMessagesToModule::TPortMessagesToModule(TXComPortModule& Module) : FModule(Module) {
    bus::SharedMessaging().Subscribe(this);
}

TPortMessagesToModule::~TPortMessagesToModule() {
    bus::SharedMessaging().Unsubscribe(this);
}

const bus::TSubscriberClass& TPortMessagesToModule::SubscriberClass() const {
    using bus::TMessagingThread;
    static const bus::TSubscriberClass registration =
        bus::TSubscriberClass("LinkBench", "TPortMessagesToModule")
            .Method<&TPortMessagesToModule::OnSubscribeComPortData>("OnSubscribeComPortData",
                                                                    {subscribeComPortData, TMessagingThread::Main})
            .Method<&TPortMessagesToModule::OnSubscribeComPortOther>("OnSubscribeComPortError",
                                                                     {subscribeComPortError, TMessagingThread::Main})
            .Method<&TPortMessagesToModule::OnSubscribeComPortEventStatus>(
                "OnSubscribeComPortEventStatus", {subscribeComPortEventStatus, TMessagingThread::Main})
            .Method<&TPortMessagesToModule::OnSubscribeComPortOther>("OnSubscribeComPortStatus",
                                                                     {subscribeComPortStatus, TMessagingThread::Main});
    return registration;
}

void TPortMessagesToModule::OnSubscribeComPortData(const std::shared_ptr<ISubscribeMessage>& message) {
    const auto data = message->Data();
    if (!data.empty()) {
        FModule._ParseData(data);
    }
}

void TPortMessagesToModule::OnSubscribeComPortEventStatus(const std::shared_ptr<ISubscribeMessage>& message) {
    if (message->MessageEvent().ErrorCode == static_cast<std::int32_t>(TEventStatusComPort::XComPort_Connect)) {
        FPortConnected = true;
    }
}

void TPortMessagesToModule::OnSubscribeComPortOther(const std::shared_ptr<ISubscribeMessage>& message) {
    (void)message->MessageEvent();
}

}  // namespace tavrel::link::bench
