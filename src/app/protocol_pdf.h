#pragma once

#include <functional>

#include <QString>

class QObject;

#include "verify/report.h"

namespace tavrel::app {

// Lays the protocol out on A4 landscape pages (the table needs the width) with "Страница N из M" at the
// foot of each page and writes it as PDF. Returns an empty string, or the Russian reason it failed.
QString WriteProtocolPdf(const verify::ProtocolData& protocol, const QString& path);

// The protocol as the rich text both the PDF and the journal's read-only view show.
QString ProtocolHtml(const verify::ProtocolData& protocol);

// The same table as CSV (UTF-8); empty string or the reason it failed.
QString WriteProtocolCsv(const verify::ProtocolData& protocol, const QString& path);

// The PDF at `pdfPath` and the CSV beside it (same name, .csv); empty or the reasons.
QString WriteProtocolFiles(const verify::ProtocolData& protocol, const QString& pdfPath);

// The same on a worker thread (a long protocol takes a good part of a second): `done` gets the result on
// `context`'s thread, and is not called once `context` is gone.
void WriteProtocolFilesLater(QObject* context, verify::ProtocolData protocol, const QString& pdfPath,
                             std::function<void(const QString&)> done);

}  // namespace tavrel::app
