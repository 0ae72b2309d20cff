#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bus/messaging.h"
#include "bus/messaging_platform.h"
#include "bus/testing/manual_platform.h"

namespace tavrel::bus::test {

// Test interface types; IAlpha carries the port data message's identifier.
class IAlpha {
  public:
    static constexpr std::string_view GUID = "{39CF243A-5AC3-4A7B-8263-BA0F3385B559}";
    virtual ~IAlpha() = default;
    virtual int Value() const = 0;
};

class IBeta {
  public:
    static constexpr std::string_view GUID = "{0A1B2C3D-4E5F-6A7B-8C9D-AEBFC0D1E2F3}";
    virtual ~IBeta() = default;
    virtual int Value() const = 0;
};

class INoGuid {
  public:
    virtual ~INoGuid() = default;
    virtual int Value() const = 0;
};

template <class I>
class TValue final : public I {
  public:
    explicit TValue(int AValue) : FValue(AValue) {}
    int Value() const override { return FValue; }

  private:
    int FValue;
};

template <class I>
std::shared_ptr<I> MakeMessage(int AValue) {
    return std::make_shared<TValue<I>>(AValue);
}

// The texts of failures the platform's general error handling got.
inline std::vector<std::string> ErrorTexts(const std::vector<std::exception_ptr>& AErrors) {
    std::vector<std::string> texts;
    for (const auto& error : AErrors) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            texts.emplace_back(e.what());
        } catch (...) {
            texts.emplace_back("<not a std::exception>");
        }
    }
    return texts;
}

// A bus of its own per test over a manual platform made on the test's thread (the main thread).
class BusFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        FPlatform = std::make_shared<TManualPlatform>();
        InstallMessagingPlatform(FPlatform);
        FBus = TMessaging::NewManager();
    }
    void TearDown() override {
        FPlatform->WaitForWorkers(std::chrono::seconds(5));
        FPlatform->RunPending();
        if (FBus) {
            TMessaging::Free(std::move(FBus));
        }
        InstallMessagingPlatform(nullptr);
        FPlatform.reset();
    }

    std::shared_ptr<TManualPlatform> FPlatform;
    std::unique_ptr<TMessaging> FBus;
};

}  // namespace tavrel::bus::test
