#pragma once

// The real main window against the instrument simulator on a pseudo-terminal, for the end-to-end tests:
// the simulator's log and the screenshots go to TAVREL_SCREENSHOT_DIR.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "app/frame_channel.h"
#include "app_test_support.h"
#include "main_form_fixture.h"
#include "simulator.h"

namespace tavrel::test {

class SimulatorFormFixture : public MainFormFixture {
  protected:
    // Starts the simulator logging to logName and points the module at its pseudo-terminal, as --port does:
    // used as it is, without looking up the USB id. From then on a message box fails the test with its
    // text (see ExpectMessageBoxes). Call with ASSERT_NO_FATAL_FAILURE.
    void StartSimulator(const QString& logName, sim::TSimOptions options = {});
    void TearDown() override;

    // For a test that closes the boxes it expects itself: message boxes no longer fail it.
    void ExpectMessageBoxes() { FBoxGuard.reset(); }
    // Hides the free WaitFor in the tests: the same wait, which also ends at once, answering false, when a
    // message box nobody expected has appeared.
    bool WaitFor(const std::function<bool()>& done, int timeoutMs) const;

    app::TFrameChannel* Frame(int k) const;
    // True once exactly `count` frames are shown and each has a reading.
    bool FramesShowReadings(int count) const;

    static void Screenshot(QWidget* window, const char* name);
    void Screenshot(const char* name) const { Screenshot(Form.get(), name); }

    // The simulator's log lines with this direction ("rx" commands received, "tx" answers sent).
    std::vector<std::string> LogLines(const char* direction) const;

    QString LogPath;
    std::unique_ptr<sim::Simulator> Sim;

  private:
    bool UnexpectedBoxSeen() const { return FBoxGuard != nullptr && !FBoxGuard->Texts.empty(); }

    std::unique_ptr<TModalCloser> FBoxGuard;
};

}  // namespace tavrel::test
