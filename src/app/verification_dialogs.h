#pragma once

#include <optional>

#include <QDialog>
#include <QString>

#include "journal/journal.h"
#include "verify/limits.h"
#include "verify/report.h"
#include "verify/sequence.h"

class QLineEdit;
class QTableWidget;
class QTextBrowser;

namespace tavrel::app {

// A session read back from the journal: its plan with every recorded point restored; empty and the
// reason in `error` when the stored plan cannot be read.
std::optional<verify::Sequence> SequenceOf(const journal::StoredSession& stored, QString& error);
verify::SessionInfo InfoOf(const journal::SessionHeader& header);
// "2026-12-10 12:30:05" as the protocol shows it: "10.12.2026 12:30".
std::string ShownDateTime(const std::string& stamp);

// The limits the engineer enters per range of the plan: none, ±(a % of nominal + b % of range) or ±absolute.
class TLimitsDialog : public QDialog {
    Q_OBJECT

  public:
    TLimitsDialog(const verify::Plan& plan, const verify::LimitStore& limits, QWidget* parent = nullptr);
    // The store with the rows as they are now; a row whose numbers do not read keeps its earlier limit.
    verify::LimitStore Result() const;

    QTableWidget* Table;

  private:
    std::vector<verify::RangeKey> FKeys;
    verify::LimitStore FLimits;
};

// "Журнал": sessions by serial number and date, one opened read-only, its protocol exported again.
class TJournalDialog : public QDialog {
    Q_OBJECT

  public:
    TJournalDialog(const QString& journalPath, const QString& exportDirectory, QWidget* parent = nullptr);

    // Fills the list; empty or the reason.
    QString Search(const QString& serial, const QString& dateFrom, const QString& dateTo);
    // Shows one session's protocol; empty or the reason.
    QString Open(std::int64_t session);
    // Writes the opened session's protocol (PDF and CSV beside it); empty or the reason.
    QString Export(const QString& pdfPath);

    QLineEdit* EditSerial;
    QLineEdit* EditFrom;
    QLineEdit* EditTo;
    QTableWidget* Table;
    QTextBrowser* View;

  private:
    void ExportAs();

    QString FJournalPath;
    QString FExportDirectory;
    std::optional<verify::ProtocolData> FOpened;
};

}  // namespace tavrel::app
