#include "verify/arithmetic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "protocol/tavrel.h"

namespace tavrel::verify {

namespace {

// Products like 0.00045 × 10^4 land a hair below the half; a nudge far below one step of any reading keeps
// halves going away from zero.
constexpr double kNudge = 1e-7;

double Pow10(int n) {
    return std::pow(10.0, n);
}

bool ThroughShunt(const TestPoint& p) {
    return p.layout == Layout::Registrator && p.channel == 3 && p.shunt != 0;
}

// Multiplier from the unit the instrument shows a current in to the point's unit.
double CurrentScale(Unit shown, Unit wanted) {
    if (shown == wanted) {
        return 1;
    }
    return shown == Unit::A ? 1000 : 0.001;
}

// The unit the instrument shows a current through the shunt in.
Unit ShuntDisplayUnit(double shunt) {
    return shunt <= 1 ? Unit::mA : Unit::A;
}

int DecimalShift(Unit shown, Unit wanted) {
    if (shown == wanted) {
        return 0;
    }
    return shown == Unit::A ? -3 : 3;  // 0.001 A shown is 1 mA
}

}  // namespace

double RangeInUnit(const TestPoint& p) {
    if (p.layout == Layout::IppCurrent) {
        return p.range * CurrentScale(Unit::mA, p.unit);
    }
    if (ThroughShunt(p)) {
        return p.range * p.shunt / kShuntDropVolts * CurrentScale(Unit::A, p.unit);
    }
    return p.range;
}

int ValueDecimals(const TestPoint& p) {
    if (p.layout == Layout::IppCurrent) {
        return 4 + DecimalShift(Unit::mA, p.unit);  // "0.0000 мА"
    }
    if (ThroughShunt(p)) {
        return protocol::TTavrel::ShuntCurrentDecimals(p.shunt) + DecimalShift(ShuntDisplayUnit(p.shunt), p.unit);
    }
    // The display: 0.1 V as "00.00 мВ", 1 V as "000.0 мВ", 10 V as "0.000 В", 100 V as "00.00 В".
    if (p.range < 0.5) {
        return 5;
    }
    if (p.range < 5) {
        return 4;
    }
    if (p.range < 50) {
        return 3;
    }
    return 2;
}

double Resolution(const TestPoint& p) {
    return Pow10(-ValueDecimals(p));
}

int PercentDecimals(const TestPoint& p) {
    const double step = Resolution(p) / RangeInUnit(p) * 100;
    return std::max(0, static_cast<int>(std::floor(-std::log10(step) + 1e-9)));
}

double ToPointUnit(const TestPoint& p, double reported) {
    if (p.layout == Layout::IppCurrent) {
        return reported * CurrentScale(Unit::mA, p.unit);
    }
    if (ThroughShunt(p)) {
        return reported * p.shunt / kShuntDropVolts * CurrentScale(Unit::A, p.unit);
    }
    return reported;
}

double NominalReported(const TestPoint& p) {
    if (ThroughShunt(p)) {
        return p.nominal / CurrentScale(Unit::A, p.unit) * kShuntDropVolts / p.shunt;
    }
    return p.nominal;
}

double Mean(std::span<const double> values) {
    if (values.empty()) {
        return 0;
    }
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

double StdDev(std::span<const double> values) {
    if (values.size() < 2) {
        return 0;
    }
    const double mean = Mean(values);
    double sum = 0;
    for (const double v : values) {
        sum += (v - mean) * (v - mean);
    }
    return std::sqrt(sum / static_cast<double>(values.size() - 1));
}

bool IsStable(std::span<const double> values, double band) {
    const double mean = Mean(values);
    const double slack = 1e-9 * std::max(band, std::fabs(mean) * 1e-6);
    return std::all_of(values.begin(), values.end(), [&](double v) { return std::fabs(v - mean) <= band + slack; });
}

double LimitHalfWidth(const Limit& limit, double nominal, double rangeInUnit) {
    if (limit.form == Limit::Form::Absolute) {
        return limit.absolute;
    }
    return std::fabs(nominal) * limit.percentOfNominal / 100 + rangeInUnit * limit.percentOfRange / 100;
}

double RoundTo(double value, int decimals) {
    const double scaled = value * Pow10(decimals);
    return std::round(scaled + std::copysign(kNudge, scaled)) / Pow10(decimals);
}

Outcome Evaluate(const TestPoint& p, std::span<const double> values, const std::optional<Limit>& limit) {
    Outcome o;
    o.count = static_cast<int>(values.size());
    o.decimals = ValueDecimals(p);
    o.percentDecimals = PercentDecimals(p);
    const double range = RangeInUnit(p);
    o.mean = RoundTo(Mean(values), o.decimals);
    o.stdDev = RoundTo(StdDev(values), o.decimals);
    // The error is taken from the mean as shown, so the protocol's columns agree with each other.
    o.error = RoundTo(o.mean - p.nominal, o.decimals);
    o.errorPercent = RoundTo(o.error / range * 100, o.percentDecimals);
    if (limit) {
        // Truncated to the reading's step: the tool never accepts an error the instrument would show as
        // beyond the stated limit.
        const double scale = Pow10(o.decimals);
        const double steps = std::floor(LimitHalfWidth(*limit, p.nominal, range) * scale + kNudge);
        o.limit = steps / scale;
        const double errorSteps = std::round(std::fabs(o.error) * scale);
        o.verdict = errorSteps <= steps ? Verdict::Pass : Verdict::Fail;
    }
    return o;
}

std::string FormatFixed(double value, int decimals, bool sign) {
    const int shown = std::max(0, decimals);
    double v = RoundTo(value, decimals);
    if (v == 0) {
        v = 0;  // no "-0.000"
    }
    // to_chars: a '.' whatever locale the application has set.
    char buf[400];
    const auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, shown).ptr;
    std::string text(buf, end);
    return sign && v >= 0 ? "+" + text : text;
}

std::string NominalText(const TestPoint& p) {
    return FormatFixed(p.nominal, ValueDecimals(p), true) + " " + UnitText(p.unit);
}

std::string InstructionText(const TestPoint& p) {
    return "Установите на калибраторе " + NominalText(p) + " и подключите к каналу " + std::to_string(p.channel);
}

std::string VerdictText(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "годен";
        case Verdict::Fail:
            return "не годен";
        case Verdict::None:
            return {};
    }
    return {};
}

}  // namespace tavrel::verify
