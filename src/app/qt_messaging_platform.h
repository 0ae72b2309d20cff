#pragma once

#include <functional>
#include <memory>

#include <QString>
#include <QThreadPool>

#include "bus/messaging_platform.h"

class QObject;

namespace tavrel::app {

// Receives the text of a failure that escaped a queued or worker procedure; runs on the main thread.
using TErrorReporter = std::function<void(const QString& text)>;

// The messaging platform on Qt: the main-thread queue is the application's event loop, workers come
// from a pool of this object. Create it on the main thread after the QCoreApplication.
class TQtMessagingPlatform final : public bus::IMessagingPlatform {
  public:
    // Without a reporter failures are shown with an error message box.
    explicit TQtMessagingPlatform(TErrorReporter reporter = {});
    // Waits for the running workers; nothing queued for the main thread runs afterwards.
    ~TQtMessagingPlatform() override;
    TQtMessagingPlatform(const TQtMessagingPlatform&) = delete;
    TQtMessagingPlatform& operator=(const TQtMessagingPlatform&) = delete;

    bool IsMainThread() const override;
    void QueueOnMainThread(std::function<void()> proc) override;
    void StartOnWorker(std::function<void()> proc) override;
    // Off the main thread it only sleeps and answers true.
    bool ProcessMainThreadMessages(std::chrono::milliseconds timeout) override;

    // The message box reporter used when none is given.
    static void ShowErrorBox(const QString& text);

  private:
    void Report(const QString& text) const;

    TErrorReporter FReporter;
    std::unique_ptr<QObject> FContext;  // lives in the main thread; queued procedures run in its name
    QThreadPool FPool;
};

}  // namespace tavrel::app
