#pragma once

// Helpers shared by the main window tests: answer frames as the instrument sends them, a listener that
// records every queued command, and a closer for the modal boxes the window shows.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QString>
#include <QTimer>

#include "answer_frame.h"
#include "link/data_helper.h"
#include "protocol/data_parser.h"

namespace tavrel::test {

using TBytes = std::vector<std::uint8_t>;

using test_support::AnswerFrame;

// Body of a measure answer: values with their ranges, shunt, the instrument's clock and recording word.
std::string MeasureBody(double v1, const char* r1, double v2, const char* r2, double v3, const char* r3,
                        const char* shunt = "0", const char* state = "log_off");
// Body of the answer to a setting command: 0x7F, the command letter, its code and the result byte.
std::string CommandResultBody(char command, std::uint8_t code, std::uint8_t result);

// A parser that only counts what it is fed.
class TCountingParser : public protocol::IDataParser {
  public:
    void AddData(const std::vector<std::uint8_t>& Buf) override { Chunks.push_back(Buf); }
    void OnData(protocol::ONDATAPROC /*P*/) override {}
    std::vector<TBytes> Chunks;
};

// A second listener of the exchange module: _SendData gives it a copy of every command the window queues.
struct TCommandSpy {
    static constexpr link::TWindowHandle Handle = 0x5157;
    link::TDataHelper* Helper = nullptr;
    std::shared_ptr<TCountingParser> Parser;

    // Everything queued since the last call, oldest first.
    std::vector<TBytes> Take();
};

// Closes every modal window that appears while it lives, recording the texts of message boxes.
// With FailOnMessageBox it leaves other modal windows alone and turns each message box into a test
// failure carrying its text: a test that meets a box it did not expect fails at once instead of hanging
// in the box's event loop.
class TModalCloser : public QObject {
  public:
    enum class TMode { CloseAll, FailOnMessageBox };
    explicit TModalCloser(TMode Mode = TMode::CloseAll);
    std::vector<QString> Texts;
    std::vector<QString> Titles;
    std::vector<QString> Classes;

  private:
    QTimer FTimer;
};

// Runs the event loop until `done` holds or `timeoutMs` passes; answers `done()`.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

}  // namespace tavrel::test

namespace tavrel::protocol {
class TTavrel;
}

namespace tavrel::test {

// The model a stream parser reports after decoding these answer bodies, one frame each.
std::unique_ptr<protocol::TTavrel> ModelFromAnswers(const std::vector<std::string>& bodies);

}  // namespace tavrel::test
