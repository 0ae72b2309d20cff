#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bus/messaging.h"
#include "link/subscribe_message.h"

namespace tavrel::link {

// "Error: %s (%d)" filled with Text and Code; Text unchanged when Code is 0.
TMessageEvent MakeErrorEvent(const std::string& Text, std::int32_t Code);
TMessageEvent MakeEvent(std::int32_t Code, const std::string& Text);

// Post a fresh TSubscribeMessage under Name on the shared bus, from the calling thread.
void PostSubscribeEvent(std::string_view Name, const TMessageEvent& Event);
void PostSubscribeData(std::string_view Name, std::vector<std::uint8_t> Bytes);

// Hands a failure that must not leave a destructor (a status handler that threw) to the main thread, where
// it goes where every failed queued procedure goes; without a platform it is written to standard error.
void ReportHandlerFailure(std::exception_ptr Error) noexcept;

// The posting step: only an interface type travels on the bus as a typed message; any other type is
// refused with EMessaging "Invalid type of message" before the bus is called.
template <class T>
void PostTypedMessage(std::string_view Name, std::shared_ptr<T> Message) {
    if constexpr (bus::InterfaceType<T>) {
        bus::SharedMessaging().Post<T>(Name, std::move(Message));
    } else {
        throw bus::EMessaging("Invalid type of message");
    }
}

}  // namespace tavrel::link
