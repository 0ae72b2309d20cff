#include "app/qt_messaging_platform.h"

#include <exception>
#include <thread>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>

#include "app/halvo.h"

namespace tavrel::app {

namespace {

// The listen task and the exchange module's work task hold a worker each for a whole connection, so
// the pool must be larger than the core count or bus deliveries to workers would starve.
constexpr int kMaxWorkers = 32;

QString CurrentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

// Notes a quit request on its way to the application without taking it.
class QuitWatch : public QObject {
  public:
    bool Seen = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Quit) {
            Seen = true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

TQtMessagingPlatform::TQtMessagingPlatform(TErrorReporter reporter)
    : FReporter(reporter ? std::move(reporter) : TErrorReporter(&TQtMessagingPlatform::ShowErrorBox)),
      FContext(std::make_unique<QObject>()) {
    if (QCoreApplication::instance() != nullptr) {
        FContext->moveToThread(QCoreApplication::instance()->thread());
    }
    FPool.setMaxThreadCount(kMaxWorkers);
}

TQtMessagingPlatform::~TQtMessagingPlatform() {
    FPool.waitForDone();
}

void TQtMessagingPlatform::ShowErrorBox(const QString& text) {
    THalvo::MessageDialog(nullptr, text, THalvo::ICONERROR, THalvo::OK, THalvo::RUS);
}

void TQtMessagingPlatform::Report(const QString& text) const {
    try {
        FReporter(text);
    } catch (...) {
        // A reporter that fails has nowhere left to report to.
    }
}

bool TQtMessagingPlatform::IsMainThread() const {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void TQtMessagingPlatform::QueueOnMainThread(std::function<void()> proc) {
    if (!proc) {
        return;
    }
    QMetaObject::invokeMethod(
        FContext.get(),
        [this, proc = std::move(proc)]() {
            try {
                proc();
            } catch (...) {
                Report(CurrentExceptionText());
            }
        },
        Qt::QueuedConnection);
}

void TQtMessagingPlatform::StartOnWorker(std::function<void()> proc) {
    if (!proc) {
        return;
    }
    FPool.start([this, proc = std::move(proc)]() {
        try {
            proc();
        } catch (...) {
            // An exception must not leave a pool thread; the user hears of it from the main thread.
            const QString text = CurrentExceptionText();
            QueueOnMainThread([this, text]() { Report(text); });
        }
    });
}

bool TQtMessagingPlatform::ProcessMainThreadMessages(std::chrono::milliseconds timeout) {
    if (timeout.count() <= 0) {
        return true;
    }
    if (!IsMainThread()) {
        std::this_thread::sleep_for(timeout);
        return true;
    }
    // Entering a nested event loop drops quit requests already posted to the application, so those are
    // delivered first. QCoreApplication::exit() ends every loop of the thread, this one included, and
    // leaves the main loop marked to end as well: the request stays pending for it.
    QuitWatch watch;
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(&watch);
    QCoreApplication::sendPostedEvents(app, QEvent::Quit);
    bool timedOut = false;
    if (!watch.Seen) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&loop, &timedOut]() {
            timedOut = true;
            loop.quit();
        });
        timer.start(timeout);
        loop.exec();
    }
    app->removeEventFilter(&watch);
    return timedOut && !watch.Seen;
}

}  // namespace tavrel::app
