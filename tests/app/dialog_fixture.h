#pragma once

// Shared by the dialog tests: a fresh exchange module with a stand-in for the main window's listener, answer
// frames as the simulator builds them, fed through the module exactly as received bytes are, and a helper
// that answers the input boxes a dialog opens.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include "link/data_helper.h"
#include "link/xcom_port_module.h"

namespace tavrel::test {

using TBytes = std::vector<std::uint8_t>;

// Measure answer body: channel values with their range texts, the shunt text and a valid clock.
std::string MeasureAnswer(const char* ch1, const char* ch2, const char* ch3, const char* shunt = "0");
// Frame text as it goes on the wire, for readable comparisons ("0;1;2;4;750;" for a channel command).
std::string Body(const TBytes& frame);
// "name: text" of every label and button of `window` whose text does not fit its width in its font.
std::vector<std::string> ClippedTexts(const QWidget* window);
// Every frame still queued on a listener, oldest first; empties the queue.
std::vector<TBytes> Drain(link::TDataHelper* helper);

// The ways the operator leaves a dialog; OkButton is its OK or Save button.
enum class TLeave { OkButton, Enter, CancelButton, Escape, CloseBox };
// Leaves `dialog` that way: clicks the button, which must be there and enabled, sends the key to keyTarget or
// closes the window, then lets the events run. Call with ASSERT_NO_FATAL_FAILURE.
void Leave(QWidget* dialog, TLeave how, QAbstractButton* ok, QAbstractButton* cancel, QWidget* keyTarget);

class DialogFixture : public ::testing::Test {
  protected:
    static constexpr link::TWindowHandle MainHandle = 0x4D41494E;

    void SetUp() override;
    void TearDown() override;

    // Hands one simulator-built answer frame to every listener, as the main window does with received bytes.
    void Feed(const std::string& body) const;
    std::vector<TBytes> MainQueue() const { return Drain(MainHelper); }

    std::unique_ptr<link::TXComPortModule> Module;
    link::TDataHelper* MainHelper = nullptr;
};

// A dialog of type TDialog on the fixture's module, shown as the main window opens it.
template <typename TDialog>
class ShownDialogFixture : public DialogFixture {
  protected:
    void SetUp() override {
        DialogFixture::SetUp();
        Dialog = MakeDialog();
        Dialog->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        Dialog.reset();
        DialogFixture::TearDown();
    }
    // For dialogs that take more than the module.
    virtual std::unique_ptr<TDialog> MakeDialog() { return std::make_unique<TDialog>(*Module); }

    std::unique_ptr<TDialog> Dialog;
};

// Answers every QInputDialog that appears while it lives with the next text of `Answers`: the text is
// accepted, or the box is cancelled when the entry is the Cancel marker. Records the boxes' captions.
class TInputBoxAnswerer : public QObject {
  public:
    static const QString Cancel;
    explicit TInputBoxAnswerer(std::deque<QString> Answers);
    std::vector<QString> Titles;
    std::vector<QString> Labels;
    std::vector<QString> Proposed;

  private:
    std::deque<QString> FAnswers;
    QTimer FTimer;
};

}  // namespace tavrel::test
