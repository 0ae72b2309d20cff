#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The verification session below the application: plans, limits, readings, arithmetic, protocol content.
// Pure values and functions; nothing here talks to the port.
namespace tavrel::verify {

// Measuring layout of the instrument, in the order of the main window's WorkState (0, 1, 2).
enum class Layout : std::uint8_t { Registrator, IppVoltage, IppCurrent };

enum class Unit : std::uint8_t { V, mA, A };

// Range of channel 3 in the IPP current layout, as a plan writes it (milliamperes); the instrument
// reports it with the text 30, which the device model stores as 255.
inline constexpr double kCurrentRangeMilliamps = 30;

// Error limit: ±(percentOfNominal % of |nominal| + percentOfRange % of the range), or ±absolute in the
// point's unit.
struct Limit {
    enum class Form : std::uint8_t { Relative, Absolute };
    Form form = Form::Relative;
    double percentOfNominal = 0;
    double percentOfRange = 0;
    double absolute = 0;
    bool operator==(const Limit&) const = default;
};

struct TestPoint {
    int channel = 1;  // 1..3
    Layout layout = Layout::Registrator;
    double range = 1;  // volts (0.1, 1, 10, 100), or kCurrentRangeMilliamps in the IPP current layout
    double shunt = 0;  // channel 3 on 0.1 V: nominal current of its 75 mV shunt in amperes; 0 without a shunt
    double nominal = 0;
    Unit unit = Unit::V;         // V; mA or A for currents (IPP current layout, or through a shunt)
    std::optional<Limit> limit;  // empty: the limit entered for the range (LimitStore), if any
    int readings = 5;            // readings averaged once stable
    double band = 0;             // stability band, ± in `unit`
    bool operator==(const TestPoint&) const = default;
};

struct Plan {
    std::string name;
    std::vector<TestPoint> points;
    bool operator==(const Plan&) const = default;
};

// A plan read from JSON, or the Russian message naming the field that is wrong.
struct PlanResult {
    std::optional<Plan> plan;
    std::string error;
};

// Ranges the channel has in the layout (volts; mA for the IPP current range); empty when the layout
// does not show the channel.
std::vector<double> RangesOf(int channel, Layout layout);

// Nominal shunt currents channel 3 accepts on 0.1 V (the device model's shunt table without its 0).
std::vector<double> ShuntsAllowed();

// Reads and validates a plan (schema in docs/verification-plan.md).
PlanResult ParsePlan(std::string_view json);
// Checks a plan built in memory; empty text when it is valid.
std::string ValidatePlan(const Plan& plan);
std::string PlanToJson(const Plan& plan);

// Points at 10 %, 50 % and 90 % of every range, both polarities, for every channel and layout; no limits.
Plan BuiltInTemplate();

// Texts for the user: "Регистратор", "Uпп потенциал", "Iп ток"; "В", "мА", "А".
std::string LayoutText(Layout layout);
std::string UnitText(Unit unit);
// Stable names used in JSON: "registrator", "ipp_voltage", "ipp_current"; "V", "mA", "A".
std::string LayoutName(Layout layout);
std::optional<Layout> LayoutFromName(std::string_view name);
std::string UnitName(Unit unit);
std::optional<Unit> UnitFromName(std::string_view name);

}  // namespace tavrel::verify
