#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tavrel::bus {

// What the bus and the serial link need of the application's threads. The application installs one
// implementation at start-up (Qt's event loop and thread pool in the product, a manual pump in tests).
class IMessagingPlatform {
  public:
    virtual ~IMessagingPlatform() = default;

    virtual bool IsMainThread() const = 0;
    // Runs `proc` later on the main thread from its event loop; never waits. A procedure that throws
    // goes to the platform's general error handling, never back to whoever queued it.
    virtual void QueueOnMainThread(std::function<void()> proc) = 0;
    // Starts `proc` on a worker of the process-wide pool; never waits.
    virtual void StartOnWorker(std::function<void()> proc) = 0;
    // Main thread only: runs queued main-thread work for up to `timeout`. Answers false when the
    // application was asked to quit meanwhile (the request stays pending for the event loop).
    virtual bool ProcessMainThreadMessages(std::chrono::milliseconds timeout) = 0;
};

// The process-wide platform. InstallMessagingPlatform is called once at start-up (or per test).
void InstallMessagingPlatform(std::shared_ptr<IMessagingPlatform> platform);
// The installed platform; throws std::logic_error when none is installed.
std::shared_ptr<IMessagingPlatform> MessagingPlatform();

}  // namespace tavrel::bus
