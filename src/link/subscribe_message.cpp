#include "link/subscribe_message.h"

#include <utility>

namespace tavrel::link {

void TSubscribeMessage::SetMessageEvent(const TMessageEvent& Value) {
    const std::lock_guard guard(FLock);
    FMessageEvent = Value;
}

TMessageEvent TSubscribeMessage::GetMessageEvent() const {
    const std::lock_guard guard(FLock);
    return FMessageEvent;
}

std::vector<std::uint8_t> TSubscribeMessage::GetData() const {
    const std::lock_guard guard(FLock);
    return FData;
}

void TSubscribeMessage::SetData(const std::vector<std::uint8_t>& Value) {
    const std::lock_guard guard(FLock);
    FData = Value;
}

void TSubscribeMessage::SetData(std::vector<std::uint8_t>&& Value) {
    const std::lock_guard guard(FLock);
    FData = std::move(Value);
}

}  // namespace tavrel::link
