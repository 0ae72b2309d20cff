#include "qt_serial_reader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include "bench_support.h"

namespace tavrel::link::bench {

struct TQtSerialReader::TImpl {
    int Argc = 1;
    char Name[19] = "link_latency_bench";
    char* Argv[2] = {Name, nullptr};
    QCoreApplication App{Argc, Argv};
    TPtyPair Pty;
    QSerialPort Port;
    TBytes Pending;
    std::vector<std::int64_t>* Seen = nullptr;
    std::size_t Received = 0;
};

TQtSerialReader::TQtSerialReader() : FImpl(std::make_unique<TImpl>()) {}

TQtSerialReader::~TQtSerialReader() {
    FImpl->Port.close();
}

bool TQtSerialReader::Open() {
    TImpl& d = *FImpl;
    d.Port.setPortName(QString::fromStdString(d.Pty.SlavePath()));
    d.Port.setBaudRate(115200);
    if (!d.Port.open(QIODevice::ReadWrite)) {
        return false;
    }
    QObject::connect(&d.Port, &QSerialPort::readyRead, &d.Port, [&d] {
        const std::int64_t now = NowNs();
        const QByteArray bytes = d.Port.readAll();
        for (const char c : bytes) {
            d.Pending.push_back(static_cast<std::uint8_t>(c));
            if (c != 0x03) {
                continue;
            }
            // "\x02;" + body + ";CC;\x03": the body starts at 2.
            const long seq = d.Pending.size() > 2 ? SequenceOf(TBytes(d.Pending.begin() + 2, d.Pending.end())) : -1;
            if (d.Seen != nullptr && seq >= 0 && static_cast<std::size_t>(seq) < d.Seen->size() &&
                (*d.Seen)[seq] == 0) {
                (*d.Seen)[seq] = now;
                ++d.Received;
            }
            d.Pending.clear();
        }
    });
    return true;
}

void TQtSerialReader::MeasureBlock(const TSharedStamps& stamps, std::vector<std::int64_t>& seen, long intervalUs) {
    TImpl& d = *FImpl;
    d.Seen = &seen;
    d.Received = 0;
    const pid_t writer =
        StartWriter(d.Pty.Master(), [&](int master) { return WriteAnswers(master, stamps, intervalUs, 50); });
    QTimer tick;  // bounds each wait when an answer never comes
    tick.start(100);
    QElapsedTimer timer;
    timer.start();
    const qint64 limit = intervalUs * static_cast<long>(stamps.Count()) / 1000 + 3000;
    while (d.Received < stamps.Count() && timer.elapsed() < limit) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    WaitWriter(writer);
    d.Seen = nullptr;
}

}  // namespace tavrel::link::bench
