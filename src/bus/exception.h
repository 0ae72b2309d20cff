#pragma once

#include <exception>
#include <string>
#include <utility>

namespace tavrel::bus {

// The system's general error: a message text that handlers up the call chain may extend before
// rethrowing the same object (std::exception cannot change its what()).
class Exception : public std::exception {
  public:
    explicit Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}

    const char* what() const noexcept override { return FMessage.c_str(); }
    const std::string& Message() const noexcept { return FMessage; }
    void SetMessage(std::string AMessage) { FMessage = std::move(AMessage); }

  private:
    std::string FMessage;
};

// Every failure of the bus and of its subscriber finder.
class EMessaging : public Exception {
  public:
    using Exception::Exception;
};

}  // namespace tavrel::bus
