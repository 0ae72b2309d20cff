#include "app/protocol_pdf.h"

#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>
#include <QtConcurrent/QtConcurrentRun>

namespace tavrel::app {

namespace {

constexpr int kResolution = 300;
constexpr double kFooterPoints = 18;

QString Html(const std::string& text) {
    return QString::fromStdString(text).toHtmlEscaped();
}

QString VerdictCell(const std::string& verdict) {
    const verify::Verdict pass = verify::Verdict::Pass;
    const QString colour = verdict == verify::VerdictText(pass) ? QStringLiteral("#1b7a1b") : QStringLiteral("#c62828");
    return verdict.empty() ? QString() : QStringLiteral("<b style=\"color:%1\">%2</b>").arg(colour, Html(verdict));
}

QString FieldValue(const verify::ProtocolData& p, const std::string& name) {
    for (const auto& [field, value] : p.fields) {
        if (field == name) {
            return Html(value);
        }
    }
    return {};
}

}  // namespace

QString ProtocolHtml(const verify::ProtocolData& p) {
    QString html;
    html += QStringLiteral("<h2 align=\"center\">%1</h2>").arg(Html(p.title));
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"2\">");
    for (const auto& [name, value] : p.fields) {
        html += QStringLiteral("<tr><td>%1:</td><td>&nbsp;<b>%2</b></td></tr>").arg(Html(name), Html(value));
    }
    html += QStringLiteral("</table><p></p>");
    html += QStringLiteral(
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" style=\"border-collapse:collapse\">"
        "<thead><tr>");
    for (const auto& column : p.columns) {
        html += QStringLiteral("<th bgcolor=\"#e8e8e8\">%1</th>").arg(Html(column));
    }
    html += QStringLiteral("</tr></thead>");
    for (const auto& r : p.rows) {
        html += QStringLiteral("<tr>");
        for (const std::string* cell : {&r.number, &r.channel, &r.layout, &r.range, &r.nominal, &r.mean, &r.deviation,
                                        &r.error, &r.errorPercent, &r.limit}) {
            html += QStringLiteral("<td align=\"center\">%1</td>").arg(Html(*cell));
        }
        html +=
            QStringLiteral("<td align=\"center\">%1</td><td>%2</td></tr>").arg(VerdictCell(r.verdict), Html(r.note));
    }
    html += QStringLiteral("</table>");
    const QString overallColour = p.overall == verify::Verdict::Pass   ? QStringLiteral("#1b7a1b")
                                  : p.overall == verify::Verdict::Fail ? QStringLiteral("#c62828")
                                                                       : QStringLiteral("#000000");
    html += QStringLiteral("<p style=\"font-size:12pt\"><b style=\"color:%1\">%2</b></p>")
                .arg(overallColour, Html(p.overallText));
    html += QStringLiteral("<p><br>Поверитель: ____________________ / %1 /</p>").arg(FieldValue(p, "Поверитель"));
    return html;
}

QString WriteProtocolPdf(const verify::ProtocolData& protocol, const QString& path) {
    QPdfWriter writer(path);
    writer.setResolution(kResolution);
    writer.setTitle(QString::fromStdString(protocol.title));
    writer.setCreator(QStringLiteral("tavrel-check"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(15, 12, 15, 12),
                                     QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer)) {
        return QStringLiteral("Не удалось записать протокол в файл «%1»").arg(path);
    }
    const QRectF page = writer.pageLayout().paintRectPixels(kResolution).toRectF();
    const double footer = kFooterPoints * kResolution / 72.0;
    const double bodyHeight = page.height() - footer;

    QTextDocument document;
    document.documentLayout()->setPaintDevice(&writer);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(8);
    document.setDefaultFont(font);
    document.setHtml(ProtocolHtml(protocol));
    document.setPageSize(QSizeF(page.width(), bodyHeight));

    const int pages = document.pageCount();
    QFont footerFont = font;
    footerFont.setPointSizeF(8);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            writer.newPage();
        }
        painter.save();
        painter.translate(0, -i * bodyHeight);
        document.drawContents(&painter, QRectF(0, i * bodyHeight, page.width(), bodyHeight));
        painter.restore();
        painter.setFont(footerFont);
        painter.drawText(QRectF(0, bodyHeight, page.width(), footer), Qt::AlignRight | Qt::AlignBottom,
                         QStringLiteral("Страница %1 из %2").arg(i + 1).arg(pages));
    }
    if (!painter.end()) {
        return QStringLiteral("Не удалось записать протокол в файл «%1»").arg(path);
    }
    return {};
}

QString WriteProtocolCsv(const verify::ProtocolData& protocol, const QString& path) {
    QSaveFile file(path);
    const std::string csv = verify::ProtocolCsv(protocol);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv.data(), static_cast<qint64>(csv.size())) < 0 ||
        !file.commit()) {
        return QStringLiteral("Не удалось записать таблицу в файл «%1»: %2").arg(path, file.errorString());
    }
    return {};
}

QString WriteProtocolFiles(const verify::ProtocolData& protocol, const QString& pdfPath) {
    QString error = WriteProtocolPdf(protocol, pdfPath);
    const QFileInfo info(pdfPath);
    const QString csvPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".csv"));
    if (const QString csvError = WriteProtocolCsv(protocol, csvPath); !csvError.isEmpty()) {
        error += (error.isEmpty() ? QString() : QStringLiteral(" ")) + csvError;
    }
    return error;
}

void WriteProtocolFilesLater(QObject* context, verify::ProtocolData protocol, const QString& pdfPath,
                             std::function<void(const QString&)> done) {
    auto* watcher = new QFutureWatcher<QString>(context);
    QObject::connect(watcher, &QFutureWatcher<QString>::finished, context, [watcher, done = std::move(done)] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(
        QtConcurrent::run([protocol = std::move(protocol), pdfPath] { return WriteProtocolFiles(protocol, pdfPath); }));
}

}  // namespace tavrel::app
