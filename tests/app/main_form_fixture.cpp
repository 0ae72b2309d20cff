#include "main_form_fixture.h"

#include <QPlainTextEdit>

namespace tavrel::test {

void MainFormFixture::SetUp() {
    EnsureAppEnvironment();
    Module = std::make_unique<link::TXComPortModule>();
    Form = std::make_unique<app::TMainForm>(*Module);
}

void MainFormFixture::TearDown() {
    Form.reset();
    Module.reset();
}

void MainFormFixture::AttachSpy() {
    Spy.Parser = std::make_shared<TCountingParser>();
    auto helper = std::make_unique<link::TDataHelper>(TCommandSpy::Handle, Spy.Parser, nullptr);
    Spy.Helper = helper.get();
    Module->_ListenerDataHelperSet(std::move(helper));
}

QString MainFormFixture::LogText() const {
    Form->FlushLog();
    return Form->Memo1->toPlainText();
}

}  // namespace tavrel::test

#include "app/qt_messaging_platform.h"
#include "bus/messaging.h"
#include "bus/messaging_platform.h"

namespace tavrel::test {

void EnsureAppEnvironment() {
    static const bool ready = [] {
        bus::InitializeMessaging();
        // Failures of queued procedures go to the test's output instead of a message box nobody closes.
        bus::InstallMessagingPlatform(std::make_shared<app::TQtMessagingPlatform>(
            [](const QString& text) { ADD_FAILURE() << "queued procedure failed: " << text.toStdString(); }));
        return true;
    }();
    (void)ready;
}

}  // namespace tavrel::test
