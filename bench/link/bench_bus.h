#pragma once

#include <chrono>
#include <memory>

#include "bus/subscriber_class.h"
#include "link/subscribe_message.h"
#include "link/xcom_port_module.h"

namespace tavrel::link::bench {

// Makes the calling thread the main thread of the messaging platform and creates the shared bus.
class TBenchMain {
  public:
    TBenchMain();
    ~TBenchMain();
    // Runs queued main-thread work for the given time; sleeps in between.
    void Pump(std::chrono::milliseconds duration);
};

// Subscribed like the main window to the four port messages on the main thread: every non-empty
// "subscribeComPortData" goes to the module's _ParseData, the other three are only received (a connect
// report is remembered: the port is open and purged only from then on).
class TPortMessagesToModule : public bus::TSubscriberObject {
  public:
    explicit TPortMessagesToModule(TXComPortModule& Module);
    ~TPortMessagesToModule() override;
    TPortMessagesToModule(const TPortMessagesToModule&) = delete;
    TPortMessagesToModule& operator=(const TPortMessagesToModule&) = delete;

    const bus::TSubscriberClass& SubscriberClass() const override;
    void OnSubscribeComPortData(const std::shared_ptr<ISubscribeMessage>& message);
    void OnSubscribeComPortEventStatus(const std::shared_ptr<ISubscribeMessage>& message);
    void OnSubscribeComPortOther(const std::shared_ptr<ISubscribeMessage>& message);
    bool PortConnected() const { return FPortConnected; }

  private:
    TXComPortModule& FModule;
    bool FPortConnected = false;  // main thread only
};

}  // namespace tavrel::link::bench
