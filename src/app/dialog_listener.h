#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "link/data_helper.h"
#include "protocol/data_parser.h"

namespace tavrel::link {
class TXComPortModule;
}

namespace tavrel::protocol {
class TTavrelDataParser;
}

namespace tavrel::app {

// The listener a dialog registers with the exchange module while it is shown: a fresh answer parser and
// a queue under the dialog's own window handle, so the dialog sees every answer and every command queued
// meanwhile goes out once more, through its queue.
class TDialogListener {
  public:
    using THandler = std::function<void(protocol::TTavrelCMD, const std::vector<std::uint8_t>&)>;

    TDialogListener(link::TXComPortModule& Module, link::TWindowHandle H, THandler Handler);
    // Removes the listener if it is still registered.
    ~TDialogListener();

    TDialogListener(const TDialogListener&) = delete;
    TDialogListener& operator=(const TDialogListener&) = delete;

    // On: registers a new parser and queue (replacing any earlier one of this handle); off: removes it.
    void SetListener(bool On);
    bool IsOn() const { return FOn; }
    link::TWindowHandle Handle() const { return FH; }
    link::TXComPortModule& Module() const { return FModule; }
    // The registered queue and parser; null while off. The module owns it.
    link::TDataHelper* Helper() const { return FOn ? FHelper : nullptr; }

  private:
    link::TXComPortModule& FModule;
    const link::TWindowHandle FH;
    // Shared with the callback, which may outlive a removal made from inside the dialog's own handler.
    std::shared_ptr<THandler> FHandler;
    // Kept so that a removal from inside the parser's own callback does not free the running parser.
    std::shared_ptr<protocol::TTavrelDataParser> FParser;
    link::TDataHelper* FHelper = nullptr;
    bool FOn = false;
};

}  // namespace tavrel::app
