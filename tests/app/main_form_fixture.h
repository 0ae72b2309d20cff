#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "app/main_form.h"
#include "app_test_support.h"
#include "link/xcom_port_module.h"

namespace tavrel::test {

// The process-wide pieces the window needs: the shared bus and the Qt platform behind it.
void EnsureAppEnvironment();

// A fresh exchange module and main window per test.
class MainFormFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Registers the command spy as a second listener.
    void AttachSpy();
    // The log box's text with the lines of the current turn in it (they reach the box when the turn ends).
    QString LogText() const;

    std::unique_ptr<link::TXComPortModule> Module;
    std::unique_ptr<app::TMainForm> Form;
    TCommandSpy Spy;
};

}  // namespace tavrel::test
