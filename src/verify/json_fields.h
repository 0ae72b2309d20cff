#pragma once

#include "verify/plan.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

// JSON pieces shared by the plan and the limit store; the library's own, not part of its interface.
namespace tavrel::verify::detail {

nlohmann::json LimitToJson(const Limit& limit);
// Reads a limit object at `path`; on a fault returns empty and writes the Russian message to `error`.
std::optional<Limit> LimitFromJson(const nlohmann::json& j, const std::string& path, std::string& error);
// "Поле «path»: what" — every message about a bad field has this form.
std::string FieldError(const std::string& path, const std::string& what);
// Writes a number the way a plan shows it: shortest text that reads back to the same value.
std::string NumberText(double value);

}  // namespace tavrel::verify::detail
