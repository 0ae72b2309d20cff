#include "app/dialog_listener.h"

#include <utility>

#include "link/xcom_port_module.h"
#include "protocol/tavrel_data_parser.h"

namespace tavrel::app {

TDialogListener::TDialogListener(link::TXComPortModule& Module, link::TWindowHandle H, THandler Handler)
    : FModule(Module), FH(H), FHandler(std::make_shared<THandler>(std::move(Handler))) {}

TDialogListener::~TDialogListener() {
    if (FOn) {
        SetListener(false);
    }
}

void TDialogListener::SetListener(bool On) {
    if (On) {
        FParser = std::make_shared<protocol::TTavrelDataParser>();
        std::weak_ptr<THandler> handler = FHandler;
        auto helper = std::make_unique<link::TDataHelper>(
            FH, FParser, [handler](protocol::TTavrelCMD kind, const std::vector<std::uint8_t>& bytes) {
                if (const std::shared_ptr<THandler> h = handler.lock()) {
                    (*h)(kind, bytes);
                }
            });
        FHelper = helper.get();
        FModule._ListenerDataHelperSet(std::move(helper));
        FOn = true;
    } else {
        FModule._ListenerDataHelperRemove(FH, false);
        FOn = false;
        FHelper = nullptr;
    }
}

}  // namespace tavrel::app
