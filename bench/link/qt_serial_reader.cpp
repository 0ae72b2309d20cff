#include "qt_serial_reader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSerialPort>
#include <QTimer>

#include "answer_stamper.h"
#include "bench_support.h"

namespace tavrel::link::bench {

struct TQtSerialReader::TImpl {
    int Argc = 1;
    char Name[19] = "link_latency_bench";
    char* Argv[2] = {Name, nullptr};
    QCoreApplication App{Argc, Argv};
    TPtyPair Pty;
    QSerialPort Port;
    TAnswerStamper Stamper;
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
        d.Stamper.Feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()),
                       now);
    });
    return true;
}

void TQtSerialReader::MeasureBlock(const TSharedStamps& stamps, std::vector<std::int64_t>& seen, long intervalUs) {
    TImpl& d = *FImpl;
    d.Stamper.Start(seen);
    QTimer tick;  // bounds each wait when an answer never comes
    tick.start(100);
    MeasureWhilePumping(
        d.Pty.Master(), stamps, intervalUs, [&] { return d.Stamper.Received() >= stamps.Count(); },
        [] { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); });
    d.Stamper.Stop();
}

}  // namespace tavrel::link::bench
