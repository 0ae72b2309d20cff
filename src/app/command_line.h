#pragma once

#include <array>
#include <optional>

#include <QString>
#include <QStringList>

namespace tavrel::app {

// What the command line asks for. Without arguments the tool finds the instrument by its USB id.
struct TCommandLine {
    bool Help = false;
    bool Version = false;
    bool Simulate = false;
    QString PortName;  // empty: auto-detection by hardware id
    // --sim-hold "1=0.9,2=-5": the values the simulator holds on channels 1 to 3 (unset: its slow drift)
    std::array<std::optional<double>, 3> SimHold;
    QString Error;  // not empty: the arguments were refused, with this text

    bool Ok() const { return Error.isEmpty(); }
};

// `arguments` without the program name. Qt's own options (-platform NAME, -style NAME, -reverse, ...)
// are passed over here: QApplication takes them out of argv when it is created. The tool reads its
// options before that, so --help, --version and refused arguments never need a display.
TCommandLine ParseCommandLine(const QStringList& arguments);

// The usage text printed by --help (and after a refused argument).
QString CommandLineUsage(const QString& programName);

// The text printed by --version: program and version, then the about box's title, build stamp and
// copyright lines.
QString CommandLineVersion(const QString& programName);

}  // namespace tavrel::app
