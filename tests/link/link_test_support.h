#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bus/subscriber_class.h"
#include "link/subscribe_message.h"
#ifndef _WIN32
#include "answer_frame.h"
#include "pseudo_terminal.h"
#endif

namespace tavrel::link::testing {

using TBytes = std::vector<std::uint8_t>;

TBytes Bytes(const std::string& text);

#ifndef _WIN32
// A pseudo-terminal: the code under test opens SlavePath() as its port, the test plays the instrument on
// the master side. Everything written to the port is collected with its arrival time.
class TPty {
  public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& SlavePath() const { return FPty.SlavePath(); }
    void Write(const TBytes& bytes);
    // Closes the master: the port side sees a hang-up.
    void HangUp();

    struct TReceived {
        std::chrono::steady_clock::time_point At;
        TBytes Bytes;
    };
    // Frames (STX..ETX) written by the port so far, each with the time its last byte was read.
    std::vector<TReceived> Frames() const;
    bool WaitForFrames(std::size_t count, std::chrono::milliseconds timeout) const;

  private:
    void ReadLoop(const std::stop_token& stop);

    mutable std::mutex FLock;
    test_support::TPseudoTerminal FPty;
    TBytes FPending;
    std::vector<TReceived> FFrames;
    std::jthread FReader;
};
#endif

// Records the four port messages in the order the main thread handles them; subscribed on the bus like
// the main window, with delivery on the main thread.
class TMessageLog : public bus::TSubscriberObject {
  public:
    struct TEntry {
        std::string Name;
        TMessageEvent Event;
        TBytes Data;
    };

    TMessageLog();
    ~TMessageLog() override;
    TMessageLog(const TMessageLog&) = delete;
    TMessageLog& operator=(const TMessageLog&) = delete;

    // Called on the main thread for every message, after it was recorded (the main window's reactions).
    std::function<void(const TEntry&)> OnMessage;

    std::vector<TEntry> Entries() const;
    void Clear();
    // "name|text|code" lines, without data messages when withData is false.
    std::vector<std::string> Lines(bool withData = true) const;
    // Pumps the main thread until pred holds or the timeout passes; answers pred().
    bool PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);
    void Pump(std::chrono::milliseconds duration);
    std::size_t Count(const std::string& line) const;

    const bus::TSubscriberClass& SubscriberClass() const override;

    void OnSubscribeComPortData(const std::shared_ptr<ISubscribeMessage>& message);
    void OnSubscribeComPortError(const std::shared_ptr<ISubscribeMessage>& message);
    void OnSubscribeComPortEventStatus(const std::shared_ptr<ISubscribeMessage>& message);
    void OnSubscribeComPortStatus(const std::shared_ptr<ISubscribeMessage>& message);

  private:
    void Record(const char* name, const std::shared_ptr<ISubscribeMessage>& message);

    mutable std::mutex FLock;
    std::vector<TEntry> FEntries;
};

// Installs a test platform whose main thread is the calling thread (queued work runs only while it pumps)
// and creates the shared bus once.
void InstallTestPlatform();

// First member of a fixture whose other members need the bus.
struct TTestBus {
    TTestBus() { InstallTestPlatform(); }
};

#ifndef _WIN32
using test_support::AnswerFrame;
#endif

}  // namespace tavrel::link::testing
