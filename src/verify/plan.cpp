#include "verify/plan.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "protocol/tavrel.h"
#include "verify/arithmetic.h"
#include "verify/json_fields.h"

namespace tavrel::verify {

namespace {

using nlohmann::json;

bool Near(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

bool IsCurrentPoint(const TestPoint& p) {
    return p.layout == Layout::IppCurrent || p.shunt != 0;
}

std::string PointPath(std::size_t i, const char* field) {
    return "points[" + std::to_string(i) + "]." + field;
}

// Checks one point; `i` names it in the message.
std::string ValidatePoint(const TestPoint& p, std::size_t i) {
    if (p.channel < 1 || p.channel > 3) {
        return detail::FieldError(PointPath(i, "channel"),
                                  "канал должен быть 1, 2 или 3, а не " + std::to_string(p.channel));
    }
    const auto ranges = RangesOf(p.channel, p.layout);
    if (ranges.empty()) {
        return detail::FieldError(PointPath(i, "layout"), "в режиме «" + LayoutText(p.layout) + "» канал " +
                                                              std::to_string(p.channel) + " не измеряет");
    }
    if (std::none_of(ranges.begin(), ranges.end(), [&](double r) { return Near(r, p.range); })) {
        return detail::FieldError(PointPath(i, "range"), "у канала " + std::to_string(p.channel) + " в режиме «" +
                                                             LayoutText(p.layout) + "» нет диапазона " +
                                                             detail::RangeText(p.range, 0, p.layout));
    }
    if (p.shunt != 0) {
        const auto shunts = ShuntsAllowed();
        const bool known = std::any_of(shunts.begin(), shunts.end(), [&](double s) { return Near(s, p.shunt); });
        if (p.channel != 3 || p.layout != Layout::Registrator || !Near(p.range, 0.1)) {
            return detail::FieldError(PointPath(i, "shunt"), "шунт подключается только к каналу 3 на диапазоне 0.1 В");
        }
        if (!known) {
            return detail::FieldError(PointPath(i, "shunt"),
                                      "такого шунта нет в списке прибора: " + detail::NumberText(p.shunt) + " А");
        }
    }
    if (IsCurrentPoint(p) ? p.unit == Unit::V : p.unit != Unit::V) {
        return detail::FieldError(PointPath(i, "unit"),
                                  IsCurrentPoint(p) ? "ток задаётся в мА или А" : "напряжение задаётся в В");
    }
    if (!std::isfinite(p.nominal) || std::fabs(p.nominal) > RangeInUnit(p) * 1.1) {
        return detail::FieldError(PointPath(i, "nominal"), "номинал вне диапазона");
    }
    if (p.limit) {
        const Limit& l = *p.limit;
        const bool bad = l.form == Limit::Form::Absolute
                             ? !(std::isfinite(l.absolute) && l.absolute >= 0)
                             : !(std::isfinite(l.percentOfNominal) && l.percentOfNominal >= 0 &&
                                 std::isfinite(l.percentOfRange) && l.percentOfRange >= 0);
        if (bad) {
            return detail::FieldError(PointPath(i, "limit"), "предел не может быть отрицательным");
        }
    }
    if (p.readings < 1 || p.readings > 1000) {
        return detail::FieldError(PointPath(i, "readings"), "число отсчётов должно быть от 1 до 1000");
    }
    if (!std::isfinite(p.band) || p.band <= 0) {
        return detail::FieldError(PointPath(i, "band"), "полоса стабильности должна быть больше нуля");
    }
    return {};
}

// Reads one field of a point object; on a fault writes the message and returns empty.
class PointReader {
  public:
    PointReader(const json& obj, std::size_t index, std::string& error) : obj_(obj), index_(index), error_(error) {}

    std::optional<double> Number(const char* field, std::optional<double> fallback) {
        const auto it = obj_.find(field);
        if (it == obj_.end() || it->is_null()) {
            if (!fallback) {
                Fail(field, "поле обязательно");
            }
            return fallback;
        }
        if (!it->is_number()) {
            Fail(field, "должно быть числом");
            return std::nullopt;
        }
        return it->get<double>();
    }

    std::optional<int> Integer(const char* field, std::optional<int> fallback) {
        const auto it = obj_.find(field);
        if (it == obj_.end() || it->is_null()) {
            if (!fallback) {
                Fail(field, "поле обязательно");
            }
            return fallback;
        }
        if (!it->is_number_integer()) {
            Fail(field, "должно быть целым числом");
            return std::nullopt;
        }
        const auto v = it->get<std::int64_t>();
        if (v < -1000000 || v > 1000000) {
            Fail(field, "число вне допустимых пределов");
            return std::nullopt;
        }
        return static_cast<int>(v);
    }

    std::optional<std::string> Text(const char* field, std::optional<std::string> fallback) {
        const auto it = obj_.find(field);
        if (it == obj_.end() || it->is_null()) {
            if (!fallback) {
                Fail(field, "поле обязательно");
            }
            return fallback;
        }
        if (!it->is_string()) {
            Fail(field, "должно быть строкой");
            return std::nullopt;
        }
        return it->get<std::string>();
    }

    void Fail(const char* field, const std::string& what) {
        if (error_.empty()) {
            error_ = detail::FieldError(PointPath(index_, field), what);
        }
    }

    const json& obj() const { return obj_; }
    bool failed() const { return !error_.empty(); }

  private:
    const json& obj_;
    std::size_t index_;
    std::string& error_;
};

std::optional<TestPoint> ReadPoint(const json& obj, std::size_t i, std::string& error) {
    if (!obj.is_object()) {
        error = detail::FieldError("points[" + std::to_string(i) + "]", "точка должна быть объектом");
        return std::nullopt;
    }
    PointReader r(obj, i, error);
    TestPoint p;
    const auto channel = r.Integer("channel", std::nullopt);
    const auto layoutName = r.Text("layout", std::string("registrator"));
    const auto range = r.Number("range", std::nullopt);
    const auto shunt = r.Number("shunt", 0.0);
    const auto nominal = r.Number("nominal", std::nullopt);
    if (r.failed()) {
        return std::nullopt;
    }
    const auto layout = LayoutFromName(*layoutName);
    if (!layout) {
        r.Fail("layout", "неизвестный режим «" + *layoutName + "»; допустимы registrator, ipp_voltage, ipp_current");
        return std::nullopt;
    }
    p.channel = *channel;
    p.layout = *layout;
    p.range = *range;
    p.shunt = *shunt;
    p.nominal = *nominal;
    const auto unitName = r.Text("unit", UnitName(IsCurrentPoint(p) ? Unit::mA : Unit::V));
    if (r.failed()) {
        return std::nullopt;
    }
    const auto unit = UnitFromName(*unitName);
    if (!unit) {
        r.Fail("unit", "неизвестная единица «" + *unitName + "»; допустимы V, mA, A");
        return std::nullopt;
    }
    p.unit = *unit;
    if (const auto it = obj.find("limit"); it != obj.end() && !it->is_null()) {
        p.limit = detail::LimitFromJson(*it, PointPath(i, "limit"), error);
        if (!p.limit) {
            return std::nullopt;
        }
    }
    const auto readings = r.Integer("readings", 5);
    if (r.failed()) {
        return std::nullopt;
    }
    p.readings = *readings;
    // The band defaults to five steps of the reading: narrow enough to mean "settled", wide enough for the
    // last digit's flicker.
    const auto band = r.Number("band", 5 * Resolution(p));
    if (r.failed()) {
        return std::nullopt;
    }
    p.band = *band;
    error = ValidatePoint(p, i);
    if (!error.empty()) {
        return std::nullopt;
    }
    return p;
}

}  // namespace

namespace detail {

std::string FieldError(const std::string& path, const std::string& what) {
    return "Поле «" + path + "»: " + what + ".";
}

std::string NumberText(double value) {
    // Shortest text that reads back, plain for ranges and shunts ("10", not "1e+01"), '.' in any locale.
    char buf[400];
    const bool plain = value == 0 || (std::fabs(value) >= 1e-6 && std::fabs(value) < 1e15);
    const auto end = plain ? std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed).ptr
                           : std::to_chars(buf, buf + sizeof buf, value).ptr;
    return std::string(buf, end);
}

std::string RangeText(double range, double shunt, Layout layout) {
    if (shunt != 0) {
        return "шунт " + (shunt <= 1 ? NumberText(shunt * 1000) + " мА" : NumberText(shunt) + " А");
    }
    return NumberText(range) + (layout == Layout::IppCurrent ? " мА" : " В");
}

json LimitToJson(const Limit& limit) {
    if (limit.form == Limit::Form::Absolute) {
        return json{{"absolute", limit.absolute}};
    }
    return json{{"percent_of_nominal", limit.percentOfNominal}, {"percent_of_range", limit.percentOfRange}};
}

std::optional<Limit> LimitFromJson(const json& j, const std::string& path, std::string& error) {
    if (!j.is_object()) {
        error = FieldError(path, "предел должен быть объектом");
        return std::nullopt;
    }
    const bool hasAbsolute = j.contains("absolute");
    const bool hasRelative = j.contains("percent_of_nominal") || j.contains("percent_of_range");
    if (hasAbsolute == hasRelative) {
        error = FieldError(path, "укажите либо absolute, либо percent_of_nominal и percent_of_range");
        return std::nullopt;
    }
    Limit limit;
    auto read = [&](const char* field, double& out) {
        const auto it = j.find(field);
        if (it == j.end()) {
            return true;
        }
        if (!it->is_number()) {
            error = FieldError(path + "." + field, "должно быть числом");
            return false;
        }
        out = it->get<double>();
        if (!std::isfinite(out) || out < 0) {
            error = FieldError(path + "." + field, "предел не может быть отрицательным");
            return false;
        }
        return true;
    };
    if (hasAbsolute) {
        limit.form = Limit::Form::Absolute;
        if (!read("absolute", limit.absolute)) {
            return std::nullopt;
        }
    } else if (!read("percent_of_nominal", limit.percentOfNominal) || !read("percent_of_range", limit.percentOfRange)) {
        return std::nullopt;
    }
    return limit;
}

}  // namespace detail

std::vector<double> RangesOf(int channel, Layout layout) {
    switch (layout) {
        case Layout::Registrator:
            if (channel == 1) {
                return {1, 10, 100};
            }
            if (channel == 2) {
                return {1, 10};
            }
            if (channel == 3) {
                return {0.1, 1};
            }
            return {};
        case Layout::IppVoltage:
            return channel == 2 ? std::vector<double>{1, 10} : std::vector<double>{};
        case Layout::IppCurrent:
            return channel == 3 ? std::vector<double>{kCurrentRangeMilliamps} : std::vector<double>{};
    }
    return {};
}

std::vector<double> ShuntsAllowed() {
    const auto& table = protocol::TTavrel::ShuntTable();
    return {table.begin() + 1, table.end()};
}

std::string ValidatePlan(const Plan& plan) {
    if (plan.points.empty()) {
        return detail::FieldError("points", "в плане нет ни одной точки");
    }
    for (std::size_t i = 0; i < plan.points.size(); ++i) {
        if (auto error = ValidatePoint(plan.points[i], i); !error.empty()) {
            return error;
        }
    }
    return {};
}

PlanResult ParsePlan(std::string_view text) {
    PlanResult result;
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        result.error = "Файл плана не является JSON.";
        return result;
    }
    if (!j.is_object()) {
        result.error = "План должен быть объектом JSON с полями «name» и «points».";
        return result;
    }
    Plan plan;
    if (const auto it = j.find("name"); it != j.end()) {
        if (!it->is_string()) {
            result.error = detail::FieldError("name", "должно быть строкой");
            return result;
        }
        plan.name = it->get<std::string>();
    }
    const auto points = j.find("points");
    if (points == j.end() || !points->is_array()) {
        result.error = detail::FieldError("points", points == j.end() ? "поле обязательно" : "должно быть массивом");
        return result;
    }
    for (std::size_t i = 0; i < points->size(); ++i) {
        auto point = ReadPoint((*points)[i], i, result.error);
        if (!point) {
            return result;
        }
        plan.points.push_back(*point);
    }
    result.error = ValidatePlan(plan);
    if (result.error.empty()) {
        result.plan = std::move(plan);
    }
    return result;
}

std::string PlanToJson(const Plan& plan) {
    json points = json::array();
    for (const auto& p : plan.points) {
        json o{{"channel", p.channel},     {"layout", LayoutName(p.layout)}, {"range", p.range}, {"nominal", p.nominal},
               {"unit", UnitName(p.unit)}, {"readings", p.readings},         {"band", p.band}};
        if (p.shunt != 0) {
            o["shunt"] = p.shunt;
        }
        o["limit"] = p.limit ? detail::LimitToJson(*p.limit) : json(nullptr);
        points.push_back(std::move(o));
    }
    return json{{"name", plan.name}, {"points", std::move(points)}}.dump(2);
}

Plan BuiltInTemplate() {
    Plan plan;
    plan.name = "Шаблон: 10 %, 50 % и 90 % каждого диапазона, обе полярности";
    for (const Layout layout : {Layout::Registrator, Layout::IppVoltage, Layout::IppCurrent}) {
        for (int channel = 1; channel <= 3; ++channel) {
            for (const double range : RangesOf(channel, layout)) {
                for (const double sign : {1.0, -1.0}) {
                    for (const double share : {0.1, 0.5, 0.9}) {
                        TestPoint p;
                        p.channel = channel;
                        p.layout = layout;
                        p.range = range;
                        p.unit = layout == Layout::IppCurrent ? Unit::mA : Unit::V;
                        p.nominal = RoundTo(sign * share * range, ValueDecimals(p));
                        p.band = 5 * Resolution(p);
                        plan.points.push_back(p);
                    }
                }
            }
        }
    }
    return plan;
}

std::string LayoutText(Layout layout) {
    switch (layout) {
        case Layout::Registrator:
            return "Регистратор";
        case Layout::IppVoltage:
            return "Uпп потенциал";
        case Layout::IppCurrent:
            return "Iп ток";
    }
    return {};
}

std::string UnitText(Unit unit) {
    switch (unit) {
        case Unit::V:
            return "В";
        case Unit::mA:
            return "мА";
        case Unit::A:
            return "А";
    }
    return {};
}

std::string LayoutName(Layout layout) {
    switch (layout) {
        case Layout::Registrator:
            return "registrator";
        case Layout::IppVoltage:
            return "ipp_voltage";
        case Layout::IppCurrent:
            return "ipp_current";
    }
    return {};
}

std::optional<Layout> LayoutFromName(std::string_view name) {
    for (const Layout l : {Layout::Registrator, Layout::IppVoltage, Layout::IppCurrent}) {
        if (name == LayoutName(l)) {
            return l;
        }
    }
    return std::nullopt;
}

std::string UnitName(Unit unit) {
    switch (unit) {
        case Unit::V:
            return "V";
        case Unit::mA:
            return "mA";
        case Unit::A:
            return "A";
    }
    return {};
}

std::optional<Unit> UnitFromName(std::string_view name) {
    for (const Unit u : {Unit::V, Unit::mA, Unit::A}) {
        if (name == UnitName(u)) {
            return u;
        }
    }
    return std::nullopt;
}

}  // namespace tavrel::verify
