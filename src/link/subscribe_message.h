#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavrel::link {

// The four messages through which the serial link reports on the shared bus.
inline constexpr char subscribeComPortData[] = "subscribeComPortData";
inline constexpr char subscribeComPortError[] = "subscribeComPortError";
inline constexpr char subscribeComPortEventStatus[] = "subscribeComPortEventStatus";
inline constexpr char subscribeComPortStatus[] = "subscribeComPortStatus";

struct TMessageEvent {
    std::string Text;
    std::int32_t ErrorCode = 0;

    friend bool operator==(const TMessageEvent&, const TMessageEvent&) = default;
};

// Payload of the four port messages; posted as std::shared_ptr<ISubscribeMessage>.
class ISubscribeMessage {
  public:
    static constexpr std::string_view GUID = "{39CF243A-5AC3-4A7B-8263-BA0F3385B559}";

    virtual ~ISubscribeMessage() = default;

    virtual void SetMessageEvent(const TMessageEvent& Value) = 0;
    virtual TMessageEvent GetMessageEvent() const = 0;
    virtual std::vector<std::uint8_t> GetData() const = 0;
    virtual void SetData(const std::vector<std::uint8_t>& Value) = 0;

    TMessageEvent MessageEvent() const { return GetMessageEvent(); }
    std::vector<std::uint8_t> Data() const { return GetData(); }
};

class TSubscribeMessage final : public ISubscribeMessage {
  public:
    TSubscribeMessage() = default;

    void SetMessageEvent(const TMessageEvent& Value) override;
    TMessageEvent GetMessageEvent() const override;
    std::vector<std::uint8_t> GetData() const override;
    void SetData(const std::vector<std::uint8_t>& Value) override;
    // Takes the bytes without copying them again (a fresh chunk read from the port).
    void SetData(std::vector<std::uint8_t>&& Value);

  private:
    // A message is delivered to subscribers on several threads; reads and writes stay whole.
    mutable std::mutex FLock;
    TMessageEvent FMessageEvent;
    std::vector<std::uint8_t> FData;
};

}  // namespace tavrel::link
