#pragma once

// The real main window against the instrument simulator on a pseudo-terminal, for the end-to-end tests:
// the simulator's log and the screenshots go to TAVREL_SCREENSHOT_DIR.

#include <memory>
#include <string>
#include <vector>

#include <QString>
#include <QWidget>

#include "app/frame_channel.h"
#include "main_form_fixture.h"
#include "simulator.h"

namespace tavrel::test {

class SimulatorFormFixture : public MainFormFixture {
  protected:
    // Starts the simulator logging to logName and points the module at its pseudo-terminal, as --port does:
    // used as it is, without looking up the USB id. Call with ASSERT_NO_FATAL_FAILURE.
    void StartSimulator(const QString& logName, sim::TSimOptions options = {});
    void TearDown() override;

    app::TFrameChannel* Frame(int k) const;
    // True once exactly `count` frames are shown and each has a reading.
    bool FramesShowReadings(int count) const;

    static void Screenshot(QWidget* window, const char* name);
    void Screenshot(const char* name) const { Screenshot(Form.get(), name); }

    // The simulator's log lines with this direction ("rx" commands received, "tx" answers sent).
    std::vector<std::string> LogLines(const char* direction) const;

    QString LogPath;
    std::unique_ptr<sim::Simulator> Sim;
};

}  // namespace tavrel::test
