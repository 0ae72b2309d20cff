#include "verify/report.h"

#include "verify/json_fields.h"

namespace tavrel::verify {

namespace {

constexpr const char* kDash = "—";

std::string RangeCell(const TestPoint& p) {
    const std::string range = detail::RangeText(p.range, p.shunt, p.layout);
    return p.shunt != 0 ? "0.1 В, " + range : range;
}

std::string WithUnit(const std::string& number, const TestPoint& p) {
    return number + " " + UnitText(p.unit);
}

ProtocolRow Row(std::size_t index, const TestPoint& p, const PointRecord& r) {
    ProtocolRow row;
    row.number = std::to_string(index + 1);
    row.channel = std::to_string(p.channel);
    row.layout = LayoutText(p.layout);
    row.range = RangeCell(p);
    row.nominal = NominalText(p);
    row.mean = row.deviation = row.error = row.errorPercent = row.limit = kDash;
    switch (r.status) {
        case PointRecord::Status::Pending:
            row.note = "не измерена";
            return row;
        case PointRecord::Status::Skipped:
            row.note = "пропущена: " + r.skipReason;
            return row;
        case PointRecord::Status::Accepted:
            break;
    }
    const Outcome& o = r.outcome;
    row.mean = WithUnit(FormatFixed(o.mean, o.decimals, true), p);
    row.deviation = WithUnit(FormatFixed(o.stdDev, o.decimals), p);
    row.error = WithUnit(FormatFixed(o.error, o.decimals, true), p);
    row.errorPercent = FormatFixed(o.errorPercent, o.percentDecimals, true) + " %";
    if (o.limit) {
        row.limit = "±" + WithUnit(FormatFixed(*o.limit, o.decimals), p);
    } else {
        row.limit = "не задан";
        row.note = "нет предела — без заключения";
    }
    row.verdict = VerdictText(o.verdict);
    return row;
}

std::string OverallText(Verdict overall, const std::vector<PointRecord>& records) {
    if (overall != Verdict::None) {
        return "Заключение: " + VerdictText(overall);
    }
    bool pending = false;
    bool skipped = false;
    for (const auto& r : records) {
        pending = pending || r.status == PointRecord::Status::Pending;
        skipped = skipped || r.status == PointRecord::Status::Skipped;
    }
    if (pending) {
        return "Заключение не вынесено: измерены не все точки";
    }
    if (skipped) {
        return "Заключение не вынесено: есть пропущенные точки";
    }
    return "Заключение не вынесено: не для всех точек заданы пределы";
}

std::string Optional(const std::optional<double>& value, const char* unit) {
    return value ? FormatFixed(*value, 1) + unit : std::string("не указана");
}

// One CSV cell: quoted when it holds the separator, a quote or a line break.
std::string CsvCell(const std::string& text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + "\"";
}

}  // namespace

ProtocolData BuildProtocol(const SessionInfo& info, const Sequence& sequence) {
    ProtocolData d;
    d.title = "Протокол поверки";
    std::string calibrator = info.calibratorType;
    if (!info.calibratorSerial.empty()) {
        calibrator += (calibrator.empty() ? "" : ", ") + std::string("зав. № ") + info.calibratorSerial;
    }
    d.fields = {
        {"Средство измерений", "Таврель, зав. № " + info.serial},
        {"Дата выпуска", info.production},
        {"Версия встроенного ПО", info.firmware},
        {"Калибратор", calibrator},
        {"Температура", Optional(info.temperature, " °C")},
        {"Влажность", Optional(info.humidity, " %")},
        {"Поверитель", info.operatorName},
        {"Дата и время", info.dateTime},
    };
    d.columns = {"№",        "Канал",       "Режим",
                 "Диапазон", "Номинал",     "Среднее",
                 "СКО",      "Погрешность", "Погрешность, % диапазона",
                 "Предел",   "Заключение",  "Примечание"};
    const auto& points = sequence.plan().points;
    const auto& records = sequence.records();
    for (std::size_t i = 0; i < points.size(); ++i) {
        d.rows.push_back(Row(i, points[i], records[i]));
    }
    d.overall = OverallVerdict(records);
    d.overallText = OverallText(d.overall, records);
    return d;
}

std::string ProtocolCsv(const ProtocolData& protocol) {
    std::string out;
    auto line = [&out](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            out += (i == 0 ? "" : ";") + CsvCell(cells[i]);
        }
        out += "\r\n";
    };
    line(protocol.columns);
    for (const auto& r : protocol.rows) {
        line({r.number, r.channel, r.layout, r.range, r.nominal, r.mean, r.deviation, r.error, r.errorPercent, r.limit,
              r.verdict, r.note});
    }
    return out;
}

}  // namespace tavrel::verify
