#include "app/verification_tab.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/protocol_pdf.h"
#include "app/trend_chart.h"
#include "app/ui_support.h"
#include "app/verification_dialogs.h"
#include "protocol/tavrel.h"
#include "protocol/tavrel_command.h"
#include "verify/arithmetic.h"

namespace tavrel::app {

namespace {

using protocol::TChannelProperties;
using protocol::TTavrelCommand;

const char* const kJournalFile = "journal.sqlite";
const char* const kLimitsFile = "limits.json";
const QSize kPictureSize(260, 150);

// "1 точка", "3 точки", "11 точек": a number of points in Russian plural forms.
QString PointsText(long long points) {
    const long long lastTwo = points % 100;
    const long long last = points % 10;
    const char* word = (lastTwo >= 11 && lastTwo <= 14) ? "точек"
                       : last == 1                      ? "точка"
                       : (last >= 2 && last <= 4)       ? "точки"
                                                        : "точек";
    return QStringLiteral("%1 %2").arg(points).arg(QString::fromUtf8(word));
}

QString PlanText(const QString& name, std::size_t points) {
    return QStringLiteral("%1 (%2)").arg(name, PointsText(static_cast<long long>(points)));
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

QString Now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// An optional number the engineer typed, with either decimal separator; false when it is not a number.
bool ParseOptional(const QString& text, std::optional<double>& value) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        value.reset();
        return true;
    }
    bool ok = false;
    const double parsed = QString(trimmed).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    if (ok) {
        value = parsed;
    }
    return ok;
}

QString PictureOf(const verify::TestPoint& point) {
    switch (point.layout) {
        case verify::Layout::Registrator:
            return QStringLiteral("reg%1").arg(point.channel);
        case verify::Layout::IppVoltage:
            return QStringLiteral("ipp_volt");
        case verify::Layout::IppCurrent:
            return QStringLiteral("ipp_ampere");
    }
    return {};
}

// Range code of the channel command for a range in volts.
std::uint8_t RangeCode(double range) {
    if (range > 50) {
        return '3';
    }
    if (range > 5) {
        return '2';
    }
    if (range > 0.5) {
        return '1';
    }
    return range > 0.05 ? '4' : '0';
}

QLabel* Caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QString VerdictStyle(verify::Verdict verdict) {
    switch (verdict) {
        case verify::Verdict::Pass:
            return QStringLiteral("color: white; background: #2e7d32; padding: 2px 10px;");
        case verify::Verdict::Fail:
            return QStringLiteral("color: white; background: #c62828; padding: 2px 10px;");
        case verify::Verdict::None:
            break;
    }
    return QStringLiteral("color: #555555; padding: 2px 10px;");
}

}  // namespace

TVerificationTab::TVerificationTab(const QString& dataDirectory, QWidget* parent)
    : QWidget(parent), FDataDirectory(dataDirectory) {
    setObjectName(QStringLiteral("TabSheetVerification"));
    FClock.start();
    BuildLayout();
    QDir().mkpath(FDataDirectory);
    LoadLimits();
    OpenJournalFile();
    UseBuiltInTemplate();
    ShowPoint();
}

TVerificationTab::~TVerificationTab() = default;

void TVerificationTab::SetHooks(THooks hooks) {
    FHooks = std::move(hooks);
}

void TVerificationTab::BuildLayout() {
    setFont(SansFont(12));
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(6, 4, 6, 4);
    root->setSpacing(4);

    // The session: who, with what, under which conditions, after which plan.
    auto* session = new QGroupBox(QStringLiteral("Сеанс поверки"), this);
    auto* grid = new QGridLayout(session);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setVerticalSpacing(3);
    LabelIdentity = new QLabel(QStringLiteral("Прибор: не подключён"), session);
    LabelIdentity->setObjectName(QStringLiteral("LabelIdentity"));
    QFont bold = SansFont(12);
    bold.setBold(true);
    LabelIdentity->setFont(bold);
    grid->addWidget(LabelIdentity, 0, 0, 1, 4);
    const auto edit = [session](const char* name, const QString& hint) {
        auto* e = new QLineEdit(session);
        e->setObjectName(QString::fromLatin1(name));
        e->setPlaceholderText(hint);
        return e;
    };
    EditOperator = edit("EditOperator", QStringLiteral("фамилия, инициалы"));
    EditCalibratorType = edit("EditCalibratorType", QStringLiteral("тип"));
    EditCalibratorSerial = edit("EditCalibratorSerial", QStringLiteral("зав. №"));
    EditTemperature = edit("EditTemperature", QStringLiteral("°C"));
    EditHumidity = edit("EditHumidity", QStringLiteral("% (необязательно)"));
    grid->addWidget(Caption(QStringLiteral("Поверитель:"), session), 1, 0);
    grid->addWidget(EditOperator, 1, 1);
    grid->addWidget(Caption(QStringLiteral("Калибратор:"), session), 1, 2);
    auto* calibrator = new QHBoxLayout();
    calibrator->addWidget(EditCalibratorType, 2);
    calibrator->addWidget(EditCalibratorSerial, 1);
    grid->addLayout(calibrator, 1, 3);
    grid->addWidget(Caption(QStringLiteral("Температура:"), session), 2, 0);
    auto* conditions = new QHBoxLayout();
    conditions->addWidget(EditTemperature);
    conditions->addWidget(new QLabel(QStringLiteral("Влажность:"), session));
    conditions->addWidget(EditHumidity);
    grid->addLayout(conditions, 2, 1);
    grid->addWidget(Caption(QStringLiteral("План:"), session), 2, 2);
    auto* planRow = new QHBoxLayout();
    LabelPlan = new QLabel(session);
    LabelPlan->setObjectName(QStringLiteral("LabelPlan"));
    LabelPlan->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    planRow->addWidget(LabelPlan, 1);
    auto* buttonTemplate = new QPushButton(QStringLiteral("Шаблон"), session);
    auto* buttonFile = new QPushButton(QStringLiteral("Файл…"), session);
    auto* buttonLimits = new QPushButton(QStringLiteral("Пределы…"), session);
    planRow->addWidget(buttonTemplate);
    planRow->addWidget(buttonFile);
    planRow->addWidget(buttonLimits);
    grid->addLayout(planRow, 2, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 3);
    auto* sessionButtons = new QHBoxLayout();
    ButtonStart = new QPushButton(QStringLiteral("Начать поверку"), session);
    ButtonStart->setObjectName(QStringLiteral("ButtonStart"));
    ButtonContinue = new QPushButton(session);
    ButtonContinue->setObjectName(QStringLiteral("ButtonContinue"));
    ButtonContinue->hide();
    auto* buttonJournal = new QPushButton(QStringLiteral("Журнал…"), session);
    buttonJournal->setObjectName(QStringLiteral("ButtonJournal"));
    sessionButtons->addWidget(ButtonStart);
    sessionButtons->addWidget(ButtonContinue);
    sessionButtons->addStretch(1);
    sessionButtons->addWidget(buttonJournal);
    grid->addLayout(sessionButtons, 0, 3);
    root->addWidget(session);

    LabelMessage = new QLabel(this);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    LabelMessage->setWordWrap(true);
    LabelMessage->hide();
    root->addWidget(LabelMessage);

    // The current point: what to set, how to wire it, what the instrument reads, the trend.
    auto* pointRow = new QHBoxLayout();
    auto* left = new QVBoxLayout();
    LabelInstruction = new QLabel(this);
    LabelInstruction->setObjectName(QStringLiteral("LabelInstruction"));
    QFont big = SansFont(22);
    big.setBold(true);
    LabelInstruction->setFont(big);
    LabelInstruction->setWordWrap(true);
    LabelInstruction->setMinimumHeight(64);
    left->addWidget(LabelInstruction);
    auto* pictureAndLive = new QHBoxLayout();
    ImageWiring = new QLabel(this);
    ImageWiring->setObjectName(QStringLiteral("ImageWiring"));
    ImageWiring->setFixedSize(kPictureSize);
    ImageWiring->setAlignment(Qt::AlignCenter);
    pictureAndLive->addWidget(ImageWiring);
    auto* liveColumn = new QVBoxLayout();
    LabelLive = new QLabel(QStringLiteral("—"), this);
    LabelLive->setObjectName(QStringLiteral("LabelLive"));
    LabelLive->setFont(MonoFont(34));
    LabelLive->setAlignment(Qt::AlignCenter);
    liveColumn->addWidget(LabelLive, 1);
    LabelMismatch = new QLabel(this);
    LabelMismatch->setObjectName(QStringLiteral("LabelMismatch"));
    LabelMismatch->setWordWrap(true);
    LabelMismatch->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    liveColumn->addWidget(LabelMismatch);
    ButtonChange = new QPushButton(this);
    ButtonChange->setObjectName(QStringLiteral("ButtonChange"));
    ButtonChange->hide();
    liveColumn->addWidget(ButtonChange);
    pictureAndLive->addLayout(liveColumn, 1);
    left->addLayout(pictureAndLive);
    LabelState = new QLabel(this);
    LabelState->setObjectName(QStringLiteral("LabelState"));
    left->addWidget(LabelState);
    pointRow->addLayout(left, 5);
    Chart = new TTrendChart(this);
    Chart->setMinimumWidth(360);
    pointRow->addWidget(Chart, 4);
    root->addLayout(pointRow, 3);

    // The last result and the way through the plan.
    auto* resultRow = new QHBoxLayout();
    auto* resultColumn = new QVBoxLayout();
    LabelResult = new QLabel(this);
    LabelResult->setObjectName(QStringLiteral("LabelResult"));
    LabelResult->setWordWrap(true);
    resultColumn->addWidget(LabelResult);
    LabelOverall = new QLabel(this);
    LabelOverall->setObjectName(QStringLiteral("LabelOverall"));
    LabelOverall->setFont(bold);
    resultColumn->addWidget(LabelOverall);
    resultRow->addLayout(resultColumn, 1);
    LabelVerdict = new QLabel(this);
    LabelVerdict->setObjectName(QStringLiteral("LabelVerdict"));
    QFont verdictFont = SansFont(20);
    verdictFont.setBold(true);
    LabelVerdict->setFont(verdictFont);
    resultRow->addWidget(LabelVerdict);
    root->addLayout(resultRow);

    auto* buttons = new QHBoxLayout();
    const auto button = [this, buttons](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(b);
        return b;
    };
    ButtonMeasure = button(QStringLiteral("Измерить"), "ButtonMeasure");
    QFont measureFont = SansFont(14);
    measureFont.setBold(true);
    ButtonMeasure->setFont(measureFont);
    ButtonBack = button(QStringLiteral("◀ Назад"), "ButtonBack");
    ButtonNext = button(QStringLiteral("Далее ▶"), "ButtonNext");
    ButtonRepeat = button(QStringLiteral("Повторить"), "ButtonRepeat");
    EditSkipReason = new QLineEdit(this);
    EditSkipReason->setObjectName(QStringLiteral("EditSkipReason"));
    EditSkipReason->setPlaceholderText(QStringLiteral("причина пропуска"));
    EditSkipReason->setMinimumWidth(220);
    buttons->addWidget(EditSkipReason, 1);
    ButtonSkip = button(QStringLiteral("Пропустить"), "ButtonSkip");
    buttons->addStretch(1);
    ButtonSave = button(QStringLiteral("Сохранить протокол"), "ButtonSave");
    root->addLayout(buttons);

    TablePoints = new QTableWidget(this);
    TablePoints->setObjectName(QStringLiteral("TablePoints"));
    TablePoints->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TablePoints->setSelectionMode(QAbstractItemView::NoSelection);
    TablePoints->verticalHeader()->hide();
    TablePoints->horizontalHeader()->setStretchLastSection(true);
    TablePoints->setFont(SansFont(11));
    root->addWidget(TablePoints, 2);

    connect(buttonTemplate, &QPushButton::clicked, this, &TVerificationTab::UseBuiltInTemplate);
    connect(buttonFile, &QPushButton::clicked, this, &TVerificationTab::ChoosePlanFile);
    connect(buttonLimits, &QPushButton::clicked, this, &TVerificationTab::EditLimits);
    connect(buttonJournal, &QPushButton::clicked, this, &TVerificationTab::OpenJournalWindow);
    connect(ButtonStart, &QPushButton::clicked, this, [this] { StartSession(); });
    connect(ButtonContinue, &QPushButton::clicked, this,
            [this] { ContinueSession(ButtonContinue->property("Session").toLongLong()); });
    connect(ButtonMeasure, &QPushButton::clicked, this, &TVerificationTab::Measure);
    connect(ButtonBack, &QPushButton::clicked, this, &TVerificationTab::Back);
    connect(ButtonNext, &QPushButton::clicked, this, &TVerificationTab::Next);
    connect(ButtonRepeat, &QPushButton::clicked, this, &TVerificationTab::Repeat);
    connect(ButtonSkip, &QPushButton::clicked, this, [this] { Skip(EditSkipReason->text()); });
    connect(EditSkipReason, &QLineEdit::textChanged, this, &TVerificationTab::UpdateButtons);
    connect(ButtonChange, &QPushButton::clicked, this, &TVerificationTab::ConfirmInstrumentChange);
    connect(ButtonSave, &QPushButton::clicked, this, &TVerificationTab::SaveProtocolAs);
}

// ---- Journal and remembered limits ----

void TVerificationTab::OpenJournalFile() {
    const QString path = QDir(FDataDirectory).filePath(QString::fromLatin1(kJournalFile));
    auto opened = journal::Journal::Open(path.toStdString());
    if (!opened) {
        FJournal.reset();
        ShowMessage(QStringLiteral("Журнал недоступен: %1 Сеанс ведётся в памяти, протокол можно сохранить.")
                        .arg(Q(opened.error())),
                    true);
        return;
    }
    FJournal = std::move(opened.value());
    ButtonContinue->hide();
    const auto unfinished = FJournal->Unfinished();
    if (unfinished && !unfinished.value().empty()) {
        const journal::SessionSummary& last = unfinished.value().front();
        ButtonContinue->setProperty("Session", static_cast<qlonglong>(last.id));
        ButtonContinue->setText(QStringLiteral("Продолжить сеанс: № %1 от %2 (%3)")
                                    .arg(Q(last.serial), Q(last.startedAt), PointsText(last.points)));
        ButtonContinue->show();
    }
}

void TVerificationTab::LoadLimits() {
    QFile file(QDir(FDataDirectory).filePath(QString::fromLatin1(kLimitsFile)));
    if (!file.exists()) {
        return;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QStringLiteral("Не удалось прочитать пределы: %1").arg(file.errorString()), true);
        return;
    }
    const QByteArray text = file.readAll();
    std::string error;
    auto store =
        verify::LimitStore::FromJson(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), &error);
    if (!store) {
        ShowMessage(QStringLiteral("Пределы из «%1» не прочитаны: %2").arg(file.fileName(), Q(error)), true);
        return;
    }
    FLimits = std::move(*store);
}

QString TVerificationTab::SaveLimits() {
    QSaveFile file(QDir(FDataDirectory).filePath(QString::fromLatin1(kLimitsFile)));
    const std::string json = FLimits.ToJson();
    if (!file.open(QIODevice::WriteOnly) || file.write(json.data(), static_cast<qint64>(json.size())) < 0 ||
        !file.commit()) {
        return QStringLiteral("Пределы не сохранены до следующего сеанса: %1").arg(file.errorString());
    }
    return {};
}

void TVerificationTab::SetLimit(const verify::RangeKey& key, const std::optional<verify::Limit>& limit) {
    if (limit) {
        FLimits.Set(key, *limit);
    } else {
        FLimits.Clear(key);
    }
    if (const QString error = SaveLimits(); !error.isEmpty()) {
        ShowMessage(error, true);
    }
    FillTable();
}

void TVerificationTab::ShowMessage(const QString& text, bool error) {
    LabelMessage->setText(text);
    LabelMessage->setStyleSheet(error ? QStringLiteral("background: #ffebee; color: #b71c1c; padding: 3px;")
                                      : QStringLiteral("background: #e3f2fd; color: #0d47a1; padding: 3px;"));
    LabelMessage->setVisible(!text.isEmpty());
}

// ---- Plan and session ----

void TVerificationTab::UseBuiltInTemplate() {
    FPlan = verify::BuiltInTemplate();
    LabelPlan->setText(PlanText(Q(FPlan.name), FPlan.points.size()));
    LabelPlan->setToolTip(LabelPlan->text());
}

QString TVerificationTab::LoadPlanFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("Не удалось открыть план «%1»: %2").arg(path, file.errorString());
    }
    const QByteArray text = file.readAll();
    verify::PlanResult result =
        verify::ParsePlan(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
    if (!result.plan) {
        return QStringLiteral("План «%1» не принят. %2").arg(QFileInfo(path).fileName(), Q(result.error));
    }
    FPlan = std::move(*result.plan);
    LabelPlan->setText(PlanText(FPlan.name.empty() ? QFileInfo(path).fileName() : Q(FPlan.name), FPlan.points.size()));
    LabelPlan->setToolTip(path);
    return {};
}

void TVerificationTab::ChoosePlanFile() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("План поверки"), FDataDirectory,
                                                      QStringLiteral("План поверки (*.json)"));
    if (path.isEmpty()) {
        return;
    }
    const QString error = LoadPlanFile(path);
    ShowMessage(error, true);
}

void TVerificationTab::EditLimits() {
    TLimitsDialog dialog(FPlan, FLimits, this);
    if (dialog.exec() == QDialog::Accepted) {
        FLimits = dialog.Result();
        if (const QString error = SaveLimits(); !error.isEmpty()) {
            ShowMessage(error, true);
        }
        FillTable();
    }
}

verify::SessionInfo TVerificationTab::Info() const {
    verify::SessionInfo info;
    info.serial = FSerial.toStdString();
    info.production = FProduction.toStdString();
    info.firmware = FFirmware.toStdString();
    info.operatorName = EditOperator->text().trimmed().toStdString();
    info.calibratorType = EditCalibratorType->text().trimmed().toStdString();
    info.calibratorSerial = EditCalibratorSerial->text().trimmed().toStdString();
    ParseOptional(EditTemperature->text(), info.temperature);
    ParseOptional(EditHumidity->text(), info.humidity);
    info.dateTime = ShownDateTime(FStartedAt.toStdString());
    return info;
}

bool TVerificationTab::StartSession() {
    if (FDeviceSerial.isEmpty()) {
        ShowMessage(QStringLiteral("Подключите прибор: заводской номер и версия ПО читаются из него."), true);
        return false;
    }
    std::optional<double> value;
    QString missing;
    if (EditOperator->text().trimmed().isEmpty()) {
        missing = QStringLiteral("Укажите поверителя.");
    } else if (EditCalibratorType->text().trimmed().isEmpty()) {
        missing = QStringLiteral("Укажите тип калибратора.");
    } else if (!ParseOptional(EditTemperature->text(), value)) {
        missing = QStringLiteral("Температура «%1» — не число.").arg(EditTemperature->text());
    } else if (!ParseOptional(EditHumidity->text(), value)) {
        missing = QStringLiteral("Влажность «%1» — не число.").arg(EditHumidity->text());
    } else if (FPlan.points.empty()) {
        missing = QStringLiteral("В плане нет точек.");
    }
    if (!missing.isEmpty()) {
        ShowMessage(missing, true);
        return false;
    }
    FSequence.emplace(FPlan);
    FMeasurer.reset();
    FSessionId.reset();
    FStartedAt = Now();
    FSerial = FDeviceSerial;
    FProduction = FDeviceProduction;
    FFirmware = FDeviceFirmware;
    FOtherInstrument = false;
    ShowMessage({}, false);
    if (FJournal) {
        const verify::SessionInfo info = Info();
        journal::SessionHeader header{info.serial,
                                      info.production,
                                      info.firmware,
                                      info.operatorName,
                                      info.calibratorType,
                                      info.calibratorSerial,
                                      info.temperature,
                                      info.humidity,
                                      verify::PlanToJson(FPlan),
                                      FStartedAt.toStdString()};
        auto id = FJournal->BeginSession(header);
        if (id) {
            FSessionId = id.value();
        } else {
            ShowMessage(QStringLiteral("Сеанс не записан в журнал: %1 Поверка продолжается в памяти, протокол можно "
                                       "сохранить.")
                            .arg(Q(id.error())),
                        true);
        }
    }
    ButtonContinue->hide();
    LabelResult->clear();
    LabelVerdict->clear();
    ShowPoint();
    return true;
}

bool TVerificationTab::ContinueSession(std::int64_t session) {
    if (!FJournal) {
        return false;
    }
    auto stored = FJournal->Load(session);
    if (!stored) {
        ShowMessage(Q(stored.error()), true);
        return false;
    }
    const journal::StoredSession& s = stored.value();
    if (!FSerial.isEmpty() && FSerial.toStdString() != s.header.serial) {
        ShowMessage(
            QStringLiteral("Подключён прибор № %1, а сеанс начат с прибором № %2.").arg(FSerial, Q(s.header.serial)),
            true);
        return false;
    }
    QString error;
    std::optional<verify::Sequence> sequence = SequenceOf(s, error);
    if (!sequence) {
        ShowMessage(error, true);
        return false;
    }
    FPlan = sequence->plan();
    FSequence = std::move(sequence);
    FSessionId = s.id;
    FStartedAt = Q(s.header.startedAt);
    FSerial = Q(s.header.serial);
    FProduction = Q(s.header.production);
    FFirmware = Q(s.header.firmware);
    EditOperator->setText(Q(s.header.operatorName));
    EditCalibratorType->setText(Q(s.header.calibratorType));
    EditCalibratorSerial->setText(Q(s.header.calibratorSerial));
    EditTemperature->setText(s.header.temperature ? QString::number(*s.header.temperature) : QString());
    EditHumidity->setText(s.header.humidity ? QString::number(*s.header.humidity) : QString());
    LabelPlan->setText(PlanText(Q(FPlan.name), FPlan.points.size()));
    ButtonContinue->hide();
    ShowMessage(QStringLiteral("Сеанс продолжен с точки %1.").arg(FSequence->current() + 1), false);
    CheckInstrument();
    ShowPoint();
    return true;
}

// ---- The way through the plan ----

void TVerificationTab::Measure() {
    if (!FSequence || FSequence->finished()) {
        return;
    }
    FMeasurer.emplace(FSequence->currentPoint());
    LabelState->setText(QStringLiteral("Ожидание устойчивых показаний…"));
    UpdateButtons();
}

void TVerificationTab::Repeat() {
    if (FSequence && FSequence->Repeat()) {
        FMeasurer.reset();
        ShowPoint();
    }
}

bool TVerificationTab::Skip(const QString& reason) {
    if (!FSequence || FSequence->finished()) {
        return false;
    }
    const std::size_t index = FSequence->current();
    if (!FSequence->Skip(reason.trimmed().toStdString(), Now().toStdString())) {
        ShowMessage(QStringLiteral("Укажите причину пропуска."), true);
        return false;
    }
    FMeasurer.reset();
    EditSkipReason->clear();
    Record(index);
    ShowPoint();
    return true;
}

void TVerificationTab::Back() {
    if (FSequence && FSequence->Back()) {
        FMeasurer.reset();
        ShowPoint();
    }
}

void TVerificationTab::Next() {
    if (FSequence && FSequence->Next()) {
        FMeasurer.reset();
        ShowPoint();
    }
}

void TVerificationTab::Record(std::size_t index) {
    if (!FJournal || !FSessionId) {
        return;
    }
    const journal::PointEntry entry{static_cast<int>(index), verify::RecordToJson(FSequence->records()[index])};
    if (auto saved = FJournal->SavePoint(*FSessionId, entry); !saved) {
        ShowMessage(QStringLiteral("Точка %1 не записана в журнал: %2 Поверка продолжается в памяти, протокол можно "
                                   "сохранить.")
                        .arg(index + 1)
                        .arg(Q(saved.error())),
                    true);
    }
    FinishIfDone();
}

// Written again whenever the last pending point is recorded, so a point repeated after the end updates the verdict.
void TVerificationTab::FinishIfDone() {
    if (!FSequence || !FSequence->finished() || !FJournal || !FSessionId) {
        return;
    }
    const verify::ProtocolData protocol = Protocol();
    if (auto done = FJournal->FinishSession(*FSessionId, Now().toStdString(), protocol.overallText); !done) {
        ShowMessage(QStringLiteral("Завершение сеанса не записано в журнал: %1").arg(Q(done.error())), true);
    }
}

// ---- From the instrument ----

void TVerificationTab::DeviceIdentity(const protocol::TTavrel& model) {
    FDeviceSerial = QString::number(model.NumberDevice());
    FDeviceProduction = Q(model.GetMonthAndYearDevice(""));
    FDeviceFirmware = Q(model.FirmwareDevice());
    LabelIdentity->setText(QStringLiteral("Прибор: Таврель, зав. № %1, выпуск %2, ПО %3")
                               .arg(FDeviceSerial, FDeviceProduction, FDeviceFirmware));
    CheckInstrument();
    UpdateButtons();
}

void TVerificationTab::CheckInstrument() {
    // A session belongs to one instrument: another one's readings never go into it.
    FOtherInstrument = FSequence && FDeviceSerial != FSerial;
    if (FOtherInstrument && !FDeviceSerial.isEmpty()) {
        FMeasurer.reset();
        ShowMessage(QStringLiteral("Подключён прибор № %1, а сеанс ведётся с прибором № %2: его показания не "
                                   "используются. Подключите прибор № %2 или начните новый сеанс.")
                        .arg(FDeviceSerial, FSerial),
                    true);
    }
}

std::optional<verify::Reading> TVerificationTab::ReadingOf(const protocol::TTavrel& model, std::uint8_t workState,
                                                           int channel) const {
    const auto& dic = model.DicChannel();
    const auto value = dic.find(static_cast<TChannelProperties>(channel - 1));
    const auto range = dic.find(static_cast<TChannelProperties>(channel + 2));
    if (value == dic.end() || range == dic.end()) {
        return std::nullopt;
    }
    verify::Reading reading;
    reading.time = static_cast<double>(FClock.elapsed()) / 1000.0;
    reading.channel = channel;
    reading.value = value->second;
    reading.range = range->second;
    if (workState <= 2) {
        reading.layout = static_cast<verify::Layout>(workState);
    }
    const auto shunt = dic.find(TChannelProperties::chpCh3Shunt);
    reading.shunt = shunt == dic.end() ? 0 : shunt->second;
    return reading;
}

void TVerificationTab::DeviceMeasure(const protocol::TTavrel& model, std::uint8_t workState) {
    FDeviceLayout = workState <= 2 ? std::optional(static_cast<verify::Layout>(workState)) : std::nullopt;
    for (int channel = 1; channel <= 3; ++channel) {
        if (const auto reading = ReadingOf(model, workState, channel)) {
            FDeviceRange[channel - 1] = reading->range;
            FDeviceShunt = reading->shunt;
        }
    }
    if (!FSequence || FSequence->finished() || FOtherInstrument) {
        return;
    }
    const verify::TestPoint& point = FSequence->currentPoint();
    const auto reading = ReadingOf(model, workState, point.channel);
    if (!reading) {
        return;
    }
    const bool matches = verify::Matches(point, *reading);
    if (matches) {
        const double value = verify::ToPointUnit(point, reading->value);
        LabelLive->setText(
            Q(verify::FormatFixed(value, verify::ValueDecimals(point), true) + " " + verify::UnitText(point.unit)));
        Chart->AddReading(reading->time, value);
        LabelMismatch->clear();
        ButtonChange->hide();
    } else {
        LabelLive->setText(Q(model.GetChannelProperties(static_cast<TChannelProperties>(point.channel - 1))));
        const QString need = Q(verify::RangeKeyText(verify::KeyOf(point)));
        if (reading->layout != point.layout) {
            LabelMismatch->setText(
                QStringLiteral("Прибор не в режиме точки (нужно: %1). Показания не используются.").arg(need));
            ButtonChange->setText(QStringLiteral("Переключить режим на «%1»").arg(Q(verify::LayoutText(point.layout))));
        } else {
            LabelMismatch->setText(QStringLiteral("Канал %1 прибора на другом диапазоне (нужно: %2). Показания не "
                                                  "используются.")
                                       .arg(point.channel)
                                       .arg(need));
            ButtonChange->setText(QStringLiteral("Переключить диапазон"));
        }
        ButtonChange->show();
    }
    if (!FMeasurer) {
        return;
    }
    switch (FMeasurer->Feed(*reading)) {
        case verify::PointMeasurer::Fed::Mismatch:
            LabelState->setText(
                QStringLiteral("Показания не используются: прибор не на диапазоне или в режиме точки."));
            break;
        case verify::PointMeasurer::Fed::Waiting:
            LabelState->setText(FMeasurer->state() == verify::PointMeasurer::State::Averaging
                                    ? QStringLiteral("Показания устойчивы, усреднение: 0 из %1").arg(point.readings)
                                    : QStringLiteral("Ожидание устойчивых показаний…"));
            break;
        case verify::PointMeasurer::Fed::Restarted:
            LabelState->setText(QStringLiteral("Показание вышло из полосы — ожидание устойчивости заново."));
            break;
        case verify::PointMeasurer::Fed::Averaged:
            LabelState->setText(
                QStringLiteral("Усреднение: %1 из %2").arg(FMeasurer->averaged().size()).arg(point.readings));
            break;
        case verify::PointMeasurer::Fed::Complete: {
            const verify::TestPoint measured = point;
            const std::size_t index = FSequence->current();
            const verify::Outcome outcome =
                verify::Evaluate(measured, FMeasurer->averaged(), verify::EffectiveLimit(measured, FLimits));
            FMeasurer.reset();
            FSequence->Accept(outcome, Now().toStdString());
            Record(index);
            ShowResult(FSequence->records()[index], measured);
            LabelResult->setText(QStringLiteral("Точка %1: ").arg(index + 1) + LabelResult->text());
            ShowPoint();
            return;
        }
        default:
            break;
    }
    const std::vector<double>& window =
        FMeasurer->state() == verify::PointMeasurer::State::Averaging ? FMeasurer->averaged() : FMeasurer->window();
    std::optional<double> centre = FMeasurer->bandCentre();
    if (!centre && !window.empty()) {
        centre = verify::Mean(window);
    }
    Chart->SetBand(centre, point.band);
}

void TVerificationTab::LineClosed() {
    FDeviceSerial.clear();
    FOtherInstrument = FSequence.has_value();
    FDeviceLayout.reset();
    if (FMeasurer && FMeasurer->Disconnect()) {
        ShowMessage(QStringLiteral("Связь с прибором потеряна: незавершённое усреднение отброшено. Точку можно "
                                   "измерить снова после подключения."),
                    true);
    }
    FMeasurer.reset();
    LabelLive->setText(QStringLiteral("—"));
    LabelState->setText(QStringLiteral("Прибор не подключён."));
    UpdateButtons();
}

void TVerificationTab::DeviceReadingsOutdated() {
    if (FSequence && !FSequence->finished()) {  // without a session the label shows no reading anyway
        LabelLive->setText(QStringLiteral("Нет данных"));
    }
}

void TVerificationTab::ConfirmInstrumentChange() {
    if (!FSequence || FSequence->finished()) {
        return;
    }
    const verify::TestPoint& point = FSequence->currentPoint();
    if (FDeviceLayout != point.layout) {
        if (FHooks.SwitchLayout) {
            FHooks.SwitchLayout(point.layout);
        }
        ShowMessage(QStringLiteral("Прибору отправлена команда: режим «%1».").arg(Q(verify::LayoutText(point.layout))),
                    false);
        return;
    }
    std::vector<TTavrelCommand::TChannelOption> options(3);
    for (int i = 0; i < 3; ++i) {
        options[static_cast<std::size_t>(i)].ChannelName = static_cast<TTavrelCommand::TChannelName>(i);
        options[static_cast<std::size_t>(i)].Range =
            i + 1 == point.channel ? RangeCode(point.range) : RangeCode(FDeviceRange[i]);
    }
    options[2].ShuntValue = point.channel == 3 ? point.shunt : FDeviceShunt;
    const std::vector<std::uint8_t> frame = TTavrelCommand::setChannelParameters(options);
    if (frame.empty() || !FHooks.SendCommand) {
        ShowMessage(QStringLiteral("Команда смены диапазона не составлена."), true);
        return;
    }
    FHooks.SendCommand(frame);
    ShowMessage(QStringLiteral("Прибору отправлена команда: %1.").arg(Q(verify::RangeKeyText(verify::KeyOf(point)))),
                false);
}

// ---- Showing ----

void TVerificationTab::ShowPoint() {
    Chart->Clear();
    LabelMismatch->clear();
    ButtonChange->hide();
    if (!FSequence) {
        LabelInstruction->setText(QStringLiteral("Заполните поля сеанса и нажмите «Начать поверку»."));
        UpdateButtons();
        return;
    }
    if (FSequence->finished()) {
        LabelInstruction->setText(QStringLiteral("Все точки плана пройдены. Сохраните протокол."));
        ImageWiring->clear();
        LabelState->clear();
    } else {
        const verify::TestPoint& point = FSequence->currentPoint();
        LabelInstruction->setText(Q(verify::InstructionText(point)));
        ImageWiring->setPixmap(QPixmap::fromImage(
            LoadPicture(PictureOf(point)).scaled(kPictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        Chart->SetUnit(Q(verify::UnitText(point.unit)));
        LabelState->setText(QStringLiteral("Точка %1 из %2 · %3 · полоса устойчивости ±%4 %5")
                                .arg(FSequence->current() + 1)
                                .arg(FSequence->plan().points.size())
                                .arg(Q(verify::RangeKeyText(verify::KeyOf(point))))
                                .arg(Q(verify::FormatFixed(point.band, verify::ValueDecimals(point))))
                                .arg(Q(verify::UnitText(point.unit))));
    }
    FillTable();
    UpdateButtons();
}

void TVerificationTab::ShowResult(const verify::PointRecord& record, const verify::TestPoint& point) {
    const verify::Outcome& o = record.outcome;
    const QString unit = Q(verify::UnitText(point.unit));
    const auto fixed = [&](double v, bool sign) {
        return Q(verify::FormatFixed(v, o.decimals, sign)) + QLatin1Char(' ') + unit;
    };
    QString text = QStringLiteral("среднее %1, СКО %2, погрешность %3 (%4 % диапазона), предел %5")
                       .arg(fixed(o.mean, true), fixed(o.stdDev, false), fixed(o.error, true),
                            Q(verify::FormatFixed(o.errorPercent, o.percentDecimals, true)),
                            o.limit ? QStringLiteral("±") + fixed(*o.limit, false) : QStringLiteral("не задан"));
    LabelResult->setText(text);
    LabelVerdict->setText(o.verdict == verify::Verdict::None ? QStringLiteral("без заключения")
                                                             : Q(verify::VerdictText(o.verdict)));
    LabelVerdict->setStyleSheet(VerdictStyle(o.verdict));
}

verify::ProtocolData TVerificationTab::Protocol() const {
    if (!FSequence) {
        return {};
    }
    return verify::BuildProtocol(Info(), *FSequence);
}

void TVerificationTab::FillTable() {
    if (!FSequence) {
        TablePoints->setRowCount(0);
        return;
    }
    const verify::ProtocolData protocol = Protocol();
    TablePoints->setColumnCount(static_cast<int>(protocol.columns.size()));
    QStringList headers;
    for (const auto& column : protocol.columns) {
        headers << Q(column);
    }
    TablePoints->setHorizontalHeaderLabels(headers);
    TablePoints->setRowCount(static_cast<int>(protocol.rows.size()));
    for (int i = 0; i < static_cast<int>(protocol.rows.size()); ++i) {
        const verify::ProtocolRow& r = protocol.rows[static_cast<std::size_t>(i)];
        const std::string* cells[] = {&r.number,    &r.channel, &r.layout,       &r.range, &r.nominal, &r.mean,
                                      &r.deviation, &r.error,   &r.errorPercent, &r.limit, &r.verdict, &r.note};
        for (int c = 0; c < 12 && c < TablePoints->columnCount(); ++c) {
            auto* item = new QTableWidgetItem(Q(*cells[c]));
            if (static_cast<std::size_t>(i) == FSequence->current()) {
                item->setBackground(QColor(0xff, 0xf5, 0xc4));
            }
            if (c == 10 && !r.verdict.empty()) {
                item->setForeground(r.verdict == verify::VerdictText(verify::Verdict::Pass) ? QColor(0x2e, 0x7d, 0x32)
                                                                                            : QColor(0xc6, 0x28, 0x28));
            }
            TablePoints->setItem(i, c, item);
        }
    }
    TablePoints->resizeColumnsToContents();
    if (!FSequence->finished()) {
        TablePoints->scrollToItem(TablePoints->item(static_cast<int>(FSequence->current()), 0));
    }
    const bool anyRecorded = std::any_of(FSequence->records().begin(), FSequence->records().end(), [](const auto& r) {
        return r.status != verify::PointRecord::Status::Pending;
    });
    LabelOverall->setText(anyRecorded || FSequence->finished() ? Q(protocol.overallText) : QString());
    LabelOverall->setStyleSheet(protocol.overall == verify::Verdict::Pass   ? QStringLiteral("color: #2e7d32;")
                                : protocol.overall == verify::Verdict::Fail ? QStringLiteral("color: #c62828;")
                                                                            : QString());
}

void TVerificationTab::UpdateButtons() {
    const bool active = FSequence && !FSequence->finished();
    ButtonStart->setEnabled(!FMeasurer);
    ButtonMeasure->setEnabled(active && !FMeasurer);
    ButtonMeasure->setText(FMeasurer ? QStringLiteral("Измерение…") : QStringLiteral("Измерить"));
    ButtonBack->setEnabled(FSequence && FSequence->current() > 0);
    ButtonNext->setEnabled(active);
    const bool anyRecorded =
        FSequence && std::any_of(FSequence->records().begin(), FSequence->records().end(),
                                 [](const auto& r) { return r.status != verify::PointRecord::Status::Pending; });
    ButtonRepeat->setEnabled(anyRecorded && !FMeasurer);
    ButtonSkip->setEnabled(active && !EditSkipReason->text().trimmed().isEmpty());
    ButtonSave->setEnabled(anyRecorded);
}

// ---- Protocol and journal windows ----

QString TVerificationTab::SaveProtocol(const QString& pdfPath) {
    return WriteProtocolFiles(Protocol(), pdfPath);
}

void TVerificationTab::SaveProtocolAs() {
    const QString suggested =
        QDir(FDataDirectory)
            .filePath(QStringLiteral("Протокол %1 %2.pdf")
                          .arg(FSerial, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm"))));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить протокол"), suggested,
                                                      QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty()) {
        return;
    }
    ButtonSave->setEnabled(false);
    ShowMessage(QStringLiteral("Протокол сохраняется…"), false);
    WriteProtocolFilesLater(this, Protocol(), path, [this, path](const QString& error) {
        ShowMessage(
            error.isEmpty() ? QStringLiteral("Протокол сохранён: %1 (таблица — рядом, в CSV).").arg(path) : error,
            !error.isEmpty());
        UpdateButtons();
    });
}

void TVerificationTab::OpenJournalWindow() {
    const QString path = QDir(FDataDirectory).filePath(QString::fromLatin1(kJournalFile));
    TJournalDialog dialog(path, FDataDirectory, this);
    dialog.exec();
}

}  // namespace tavrel::app
