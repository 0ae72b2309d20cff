#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "verify/limits.h"
#include "verify/sequence.h"

namespace tavrel::verify {

// Who and what took part in the session.
struct SessionInfo {
    std::string serial;      // instrument's serial number as read from it
    std::string production;  // month and year of production, "07.2021"
    std::string firmware;
    std::string operatorName;
    std::string calibratorType;
    std::string calibratorSerial;
    std::optional<double> temperature;  // °C
    std::optional<double> humidity;     // %
    std::string dateTime;               // as shown: "10.12.2026 12:30"
};

// The protocol's content, every cell already rounded and written out; the application only lays it out.
struct ProtocolRow {
    std::string number, channel, layout, range, nominal, mean, deviation, error, errorPercent, limit, verdict, note;
};

struct ProtocolData {
    std::string title;                                        // "Протокол поверки"
    std::vector<std::pair<std::string, std::string>> fields;  // identity, conditions, calibrator, operator, date
    std::vector<std::string> columns;                         // headers of the table, one per ProtocolRow cell
    std::vector<ProtocolRow> rows;
    Verdict overall = Verdict::None;
    std::string overallText;  // "Заключение: годен" / "… не годен" / "… не вынесено: …"
};

ProtocolData BuildProtocol(const SessionInfo& info, const Sequence& sequence);
// The table as CSV (";" separated, UTF-8, CRLF line ends), a header line first.
std::string ProtocolCsv(const ProtocolData& protocol);

}  // namespace tavrel::verify
