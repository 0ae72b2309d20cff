#include "app/debugger.h"

#include <QByteArray>
#include <QFile>

namespace tavrel::app {

// Linux names the tracing process in /proc/self/status; 0 (or no such file) means none.
bool IsDebuggerAttached() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return false;
    }
    // /proc files report a size of 0, so QFile::atEnd() is true before the first read: read it whole.
    const QByteArray key = "TracerPid:";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(key.size()).trimmed().toLongLong() != 0;
        }
    }
    return false;
}

}  // namespace tavrel::app
