#pragma once

#include <optional>
#include <span>
#include <string>

#include "verify/plan.h"

namespace tavrel::verify {

// Voltage drop of every shunt of the device model's table at its nominal current.
inline constexpr double kShuntDropVolts = 0.075;

// The point's range expressed in its unit (through the shunt: 0.1 V × shunt / 75 mV).
double RangeInUnit(const TestPoint& point);

// Decimals the instrument shows for this point's reading, expressed in the point's unit; may be negative
// (a 1000 A shunt read in mA). The step of the last digit is 10^-decimals.
int ValueDecimals(const TestPoint& point);
double Resolution(const TestPoint& point);
// Decimals of an error in % of the range: never finer than one step of the reading.
int PercentDecimals(const TestPoint& point);

// A value as the instrument reports it (volts; mA on the IPP current range) in the point's unit.
double ToPointUnit(const TestPoint& point, double reported);
// Nominal in volts across the shunt for a current point on 0.1 V; the nominal itself otherwise.
double NominalReported(const TestPoint& point);

double Mean(std::span<const double> values);
// Sample standard deviation (n − 1); 0 for fewer than two values.
double StdDev(std::span<const double> values);
// Every value lies within ±band of the values' mean.
bool IsStable(std::span<const double> values, double band);

// Half-width of the limit in the point's unit.
double LimitHalfWidth(const Limit& limit, double nominal, double rangeInUnit);

// Rounds to a multiple of 10^-decimals, halves away from zero.
double RoundTo(double value, int decimals);

enum class Verdict : std::uint8_t { None, Pass, Fail };

// The numbers of one accepted point, rounded as they are shown.
struct Outcome {
    int count = 0;
    double mean = 0;              // rounded to the reading's resolution
    double stdDev = 0;            // same
    double error = 0;             // mean − nominal, same
    double errorPercent = 0;      // error in % of the range, PercentDecimals
    std::optional<double> limit;  // half-width, truncated towards zero to the resolution
    Verdict verdict = Verdict::None;
    int decimals = 0;         // ValueDecimals of the point
    int percentDecimals = 0;  // PercentDecimals of the point
    bool operator==(const Outcome&) const = default;
};

// Mean, deviation, error and verdict of the readings (in the point's unit) against the limit;
// no verdict without a limit. `values` must not be empty.
Outcome Evaluate(const TestPoint& point, std::span<const double> values, const std::optional<Limit>& limit);

// Fixed-point text with '.'; `sign` writes "+" before positive values and zero.
std::string FormatFixed(double value, int decimals, bool sign = false);
// "+0.9000 В": the nominal at the reading's resolution with its unit.
std::string NominalText(const TestPoint& point);
// "Установите на калибраторе +0.9000 В и подключите к каналу 1".
std::string InstructionText(const TestPoint& point);
// "годен", "не годен", or empty.
std::string VerdictText(Verdict verdict);

}  // namespace tavrel::verify
