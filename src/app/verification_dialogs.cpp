#include "app/verification_dialogs.h"

#include <set>

#include <QComboBox>
#include <QDate>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "app/protocol_pdf.h"
#include "app/ui_support.h"

namespace tavrel::app {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Number(double value) {
    return QString::number(value, 'g', 10);
}

enum TLimitColumn { colRange, colForm, colNominal, colRange2, colAbsolute, colCount };

}  // namespace

std::optional<verify::Sequence> SequenceOf(const journal::StoredSession& stored, QString& error) {
    verify::PlanResult plan = verify::ParsePlan(stored.header.planJson);
    if (!plan.plan) {
        error = QStringLiteral("План сеанса не прочитан: %1").arg(Q(plan.error));
        return std::nullopt;
    }
    verify::Sequence sequence(*plan.plan);
    for (const journal::PointEntry& entry : stored.points) {
        auto record = verify::RecordFromJson(entry.data);
        if (record && entry.index >= 0 && static_cast<std::size_t>(entry.index) < plan.plan->points.size()) {
            sequence.Restore(static_cast<std::size_t>(entry.index), *record);
        }
    }
    return sequence;
}

verify::SessionInfo InfoOf(const journal::SessionHeader& header) {
    verify::SessionInfo info;
    info.serial = header.serial;
    info.production = header.production;
    info.firmware = header.firmware;
    info.operatorName = header.operatorName;
    info.calibratorType = header.calibratorType;
    info.calibratorSerial = header.calibratorSerial;
    info.temperature = header.temperature;
    info.humidity = header.humidity;
    info.dateTime = ShownDateTime(header.startedAt);
    return info;
}

std::string ShownDateTime(const std::string& stamp) {
    const QDateTime time = QDateTime::fromString(Q(stamp), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return time.toString(QStringLiteral("dd.MM.yyyy HH:mm")).toStdString();
}

// ---- Limits ----

TLimitsDialog::TLimitsDialog(const verify::Plan& plan, const verify::LimitStore& limits, QWidget* parent)
    : QDialog(parent), FLimits(limits) {
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(QStringLiteral("Пределы допускаемой погрешности"));
    setFont(SansFont(12));
    resize(820, 480);
    std::set<verify::RangeKey> keys;
    for (const verify::TestPoint& point : plan.points) {
        keys.insert(verify::KeyOf(point));
    }
    FKeys.assign(keys.begin(), keys.end());

    auto* root = new QVBoxLayout(this);
    auto* note = new QLabel(
        QStringLiteral("Программа не знает пределов прибора: введите их по документации для каждого диапазона. "
                       "Пока предел не задан, погрешность показывается без заключения. Введённое запоминается."),
        this);
    note->setWordWrap(true);
    root->addWidget(note);
    Table = new QTableWidget(static_cast<int>(FKeys.size()), colCount, this);
    Table->setObjectName(QStringLiteral("TableLimits"));
    Table->setHorizontalHeaderLabels({QStringLiteral("Диапазон"), QStringLiteral("Вид предела"),
                                      QStringLiteral("a, % номинала"), QStringLiteral("b, % диапазона"),
                                      QStringLiteral("Абсолютный")});
    Table->verticalHeader()->hide();
    for (int row = 0; row < static_cast<int>(FKeys.size()); ++row) {
        const verify::RangeKey& key = FKeys[static_cast<std::size_t>(row)];
        auto* name = new QTableWidgetItem(Q(verify::RangeKeyText(key)));
        name->setFlags(name->flags() & ~Qt::ItemIsEditable);
        Table->setItem(row, colRange, name);
        auto* form = new QComboBox(Table);
        form->addItems(
            {QStringLiteral("не задан"), QStringLiteral("±(a % ном. + b % диап.)"), QStringLiteral("± абсолютный")});
        const std::optional<verify::Limit> limit = limits.Find(key);
        form->setCurrentIndex(!limit ? 0 : limit->form == verify::Limit::Form::Relative ? 1 : 2);
        Table->setCellWidget(row, colForm, form);
        Table->setItem(row, colNominal, new QTableWidgetItem(limit ? Number(limit->percentOfNominal) : QString()));
        Table->setItem(row, colRange2, new QTableWidgetItem(limit ? Number(limit->percentOfRange) : QString()));
        Table->setItem(row, colAbsolute, new QTableWidgetItem(limit ? Number(limit->absolute) : QString()));
    }
    Table->resizeColumnsToContents();
    Table->horizontalHeader()->setStretchLastSection(true);
    root->addWidget(Table, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Запомнить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    root->addWidget(buttons);
}

verify::LimitStore TLimitsDialog::Result() const {
    verify::LimitStore store = FLimits;
    const auto number = [this](int row, int column, double& value) {
        const QTableWidgetItem* item = Table->item(row, column);
        QString text = item == nullptr ? QString() : item->text().trimmed();
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = text.isEmpty();
        value = ok ? 0 : text.toDouble(&ok);
        return ok && value >= 0;
    };
    for (int row = 0; row < static_cast<int>(FKeys.size()); ++row) {
        const verify::RangeKey& key = FKeys[static_cast<std::size_t>(row)];
        const int form = static_cast<QComboBox*>(Table->cellWidget(row, colForm))->currentIndex();
        verify::Limit limit;
        if (form == 0) {
            store.Clear(key);
            continue;
        }
        bool ok = false;
        if (form == 1) {
            limit.form = verify::Limit::Form::Relative;
            ok = number(row, colNominal, limit.percentOfNominal) && number(row, colRange2, limit.percentOfRange) &&
                 (limit.percentOfNominal > 0 || limit.percentOfRange > 0);
        } else {
            limit.form = verify::Limit::Form::Absolute;
            ok = number(row, colAbsolute, limit.absolute) && limit.absolute > 0;
        }
        if (ok) {
            store.Set(key, limit);
        }
    }
    return store;
}

// ---- Journal ----

TJournalDialog::TJournalDialog(const QString& journalPath, const QString& exportDirectory, QWidget* parent)
    : QDialog(parent), FJournalPath(journalPath), FExportDirectory(exportDirectory) {
    setObjectName(QStringLiteral("JournalDialog"));
    setWindowTitle(QStringLiteral("Журнал поверок"));
    setFont(SansFont(12));
    resize(960, 640);
    auto* root = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout();
    searchRow->addWidget(new QLabel(QStringLiteral("Зав. №:"), this));
    EditSerial = new QLineEdit(this);
    searchRow->addWidget(EditSerial);
    searchRow->addWidget(new QLabel(QStringLiteral("с"), this));
    EditFrom = new QLineEdit(this);
    EditFrom->setPlaceholderText(QStringLiteral("ГГГГ-ММ-ДД"));
    searchRow->addWidget(EditFrom);
    searchRow->addWidget(new QLabel(QStringLiteral("по"), this));
    EditTo = new QLineEdit(this);
    EditTo->setPlaceholderText(QStringLiteral("ГГГГ-ММ-ДД"));
    searchRow->addWidget(EditTo);
    auto* find = new QPushButton(QStringLiteral("Найти"), this);
    searchRow->addWidget(find);
    root->addLayout(searchRow);
    auto* message = new QLabel(this);
    message->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    message->setWordWrap(true);
    root->addWidget(message);
    Table = new QTableWidget(0, 6, this);
    Table->setHorizontalHeaderLabels({QStringLiteral("Зав. №"), QStringLiteral("Поверитель"), QStringLiteral("Начат"),
                                      QStringLiteral("Завершён"), QStringLiteral("Точек"),
                                      QStringLiteral("Заключение")});
    Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Table->setSelectionBehavior(QAbstractItemView::SelectRows);
    Table->setSelectionMode(QAbstractItemView::SingleSelection);
    Table->verticalHeader()->hide();
    Table->horizontalHeader()->setStretchLastSection(true);
    root->addWidget(Table, 1);
    View = new QTextBrowser(this);
    root->addWidget(View, 2);
    auto* buttons = new QHBoxLayout();
    auto* exportButton = new QPushButton(QStringLiteral("Экспорт протокола (PDF и CSV)…"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    buttons->addWidget(exportButton);
    buttons->addStretch(1);
    buttons->addWidget(close);
    root->addLayout(buttons);

    const auto search = [this, message] {
        message->setText(Search(EditSerial->text(), EditFrom->text(), EditTo->text()));
    };
    connect(find, &QPushButton::clicked, this, search);
    connect(EditSerial, &QLineEdit::returnPressed, this, search);
    connect(Table, &QTableWidget::itemSelectionChanged, this, [this, message] {
        const QList<QTableWidgetItem*> items = Table->selectedItems();
        if (!items.isEmpty()) {
            message->setText(Open(Table->item(items.front()->row(), 0)->data(Qt::UserRole).toLongLong()));
        }
    });
    connect(exportButton, &QPushButton::clicked, this, &TJournalDialog::ExportAs);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    search();
}

QString TJournalDialog::Search(const QString& serial, const QString& dateFrom, const QString& dateTo) {
    for (const QString& date : {dateFrom, dateTo}) {
        if (!date.trimmed().isEmpty() && !QDate::fromString(date.trimmed(), QStringLiteral("yyyy-MM-dd")).isValid()) {
            return QStringLiteral("Дата «%1» не в виде ГГГГ-ММ-ДД.").arg(date);
        }
    }
    auto opened = journal::Journal::Open(FJournalPath.toStdString(), journal::Journal::Mode::ReadOnly);
    if (!opened) {
        return Q(opened.error());
    }
    journal::SearchQuery query;
    query.serialPrefix = serial.trimmed().toStdString();
    query.dateFrom = dateFrom.trimmed().toStdString();
    query.dateTo = dateTo.trimmed().toStdString();
    auto found = opened.value()->Search(query);
    if (!found) {
        return Q(found.error());
    }
    Table->setRowCount(static_cast<int>(found.value().size()));
    int row = 0;
    for (const journal::SessionSummary& s : found.value()) {
        const QStringList cells = {Q(s.serial),
                                   Q(s.operatorName),
                                   Q(s.startedAt),
                                   s.finishedAt.empty() ? QStringLiteral("не завершён") : Q(s.finishedAt),
                                   QString::number(s.points),
                                   Q(s.verdict)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setData(Qt::UserRole, static_cast<qlonglong>(s.id));
            Table->setItem(row, c, item);
        }
        ++row;
    }
    Table->resizeColumnsToContents();
    return found.value().empty() ? QStringLiteral("Ничего не найдено.") : QString();
}

QString TJournalDialog::Open(std::int64_t session) {
    auto opened = journal::Journal::Open(FJournalPath.toStdString(), journal::Journal::Mode::ReadOnly);
    if (!opened) {
        return Q(opened.error());
    }
    auto stored = opened.value()->Load(session);
    if (!stored) {
        return Q(stored.error());
    }
    QString error;
    const auto sequence = SequenceOf(stored.value(), error);
    if (!sequence) {
        return error;
    }
    FOpened = verify::BuildProtocol(InfoOf(stored.value().header), *sequence);
    View->setHtml(ProtocolHtml(*FOpened));
    return {};
}

QString TJournalDialog::Export(const QString& pdfPath) {
    if (!FOpened) {
        return QStringLiteral("Выберите сеанс в списке.");
    }
    return WriteProtocolFiles(*FOpened, pdfPath);
}

void TJournalDialog::ExportAs() {
    if (!FOpened) {
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт протокола"),
                                                      QDir(FExportDirectory).filePath(QStringLiteral("Протокол.pdf")),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty()) {
        WriteProtocolFilesLater(this, *FOpened, path, [this](const QString& error) {
            if (!error.isEmpty()) {
                ShowMessage(this, error, true);
            }
        });
    }
}

}  // namespace tavrel::app
