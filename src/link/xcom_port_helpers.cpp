#include "link/xcom_port_helpers.h"

#include <cstdio>
#include <utility>

#include "bus/messaging_platform.h"

namespace tavrel::link {

TMessageEvent MakeErrorEvent(const std::string& Text, std::int32_t Code) {
    TMessageEvent event;
    event.ErrorCode = Code;
    if (Code == 0) {
        event.Text = Text;
    } else {
        event.Text = "Error: " + Text + " (" + std::to_string(Code) + ")";
    }
    return event;
}

TMessageEvent MakeEvent(std::int32_t Code, const std::string& Text) {
    return TMessageEvent{Text, Code};
}

void PostSubscribeEvent(std::string_view Name, const TMessageEvent& Event) {
    auto message = std::make_shared<TSubscribeMessage>();
    message->SetMessageEvent(Event);
    PostTypedMessage<ISubscribeMessage>(Name, std::move(message));
}

void PostSubscribeData(std::string_view Name, std::vector<std::uint8_t> Bytes) {
    auto message = std::make_shared<TSubscribeMessage>();
    message->SetData(std::move(Bytes));
    PostTypedMessage<ISubscribeMessage>(Name, std::move(message));
}

void ReportHandlerFailure(std::exception_ptr Error) noexcept {
    try {
        bus::MessagingPlatform()->QueueOnMainThread([Error] { std::rethrow_exception(Error); });
    } catch (...) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Unknown error in a status handler\n");
        }
    }
}

}  // namespace tavrel::link
