#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "verify/plan.h"

// JSON pieces shared by the plan and the limit store; the library's own, not part of its interface.
namespace tavrel::verify::detail {

nlohmann::json LimitToJson(const Limit& limit);
// Reads a limit object at `path`; on a fault returns empty and writes the Russian message to `error`.
std::optional<Limit> LimitFromJson(const nlohmann::json& j, const std::string& path, std::string& error);
// "Поле «path»: what" — every message about a bad field has this form.
std::string FieldError(const std::string& path, const std::string& what);
// Writes a number the way a plan shows it: shortest text that reads back to the same value.
std::string NumberText(double value);
// "1 В", "30 мА", or the shunt for channel 3 on 0.1 V: "шунт 75 мА", "шунт 5 А".
std::string RangeText(double range, double shunt, Layout layout);

}  // namespace tavrel::verify::detail
