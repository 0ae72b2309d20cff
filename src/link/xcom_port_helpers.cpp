#include "link/xcom_port_helpers.h"

#include <utility>

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

}  // namespace tavrel::link
