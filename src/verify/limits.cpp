#include "verify/limits.h"

#include "verify/json_fields.h"

namespace tavrel::verify {

using nlohmann::json;

RangeKey KeyOf(const TestPoint& point) {
    return {point.channel, point.layout, point.range, point.shunt};
}

std::string RangeKeyText(const RangeKey& key) {
    return "Канал " + std::to_string(key.channel) + ", " + LayoutText(key.layout) + ", " +
           detail::RangeText(key.range, key.shunt, key.layout);
}

void LimitStore::Set(const RangeKey& key, const Limit& limit) {
    limits_[key] = limit;
}

void LimitStore::Clear(const RangeKey& key) {
    limits_.erase(key);
}

std::optional<Limit> LimitStore::Find(const RangeKey& key) const {
    const auto it = limits_.find(key);
    if (it == limits_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string LimitStore::ToJson() const {
    json list = json::array();
    for (const auto& [key, limit] : limits_) {
        list.push_back({{"channel", key.channel},
                        {"layout", LayoutName(key.layout)},
                        {"range", key.range},
                        {"shunt", key.shunt},
                        {"limit", detail::LimitToJson(limit)}});
    }
    return json{{"limits", std::move(list)}}.dump(2);
}

std::optional<LimitStore> LimitStore::FromJson(std::string_view text, std::string* error) {
    std::string message;
    auto fail = [&](std::string m) -> std::optional<LimitStore> {
        if (error != nullptr) {
            *error = std::move(m);
        }
        return std::nullopt;
    };
    const json j = json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("limits") || !j["limits"].is_array()) {
        return fail("Сохранённые пределы повреждены: нет списка «limits».");
    }
    LimitStore store;
    const json& list = j["limits"];
    for (std::size_t i = 0; i < list.size(); ++i) {
        const json& e = list[i];
        const std::string path = "limits[" + std::to_string(i) + "]";
        if (!e.is_object() || !e.contains("channel") || !e["channel"].is_number_integer() || !e.contains("layout") ||
            !e["layout"].is_string() || !e.contains("range") || !e["range"].is_number() ||
            (e.contains("shunt") && !e["shunt"].is_number()) || !e.contains("limit")) {
            return fail(detail::FieldError(path, "запись должна содержать channel, layout, range и limit"));
        }
        const auto layout = LayoutFromName(e["layout"].get<std::string>());
        if (!layout) {
            return fail(detail::FieldError(path + ".layout", "неизвестный режим"));
        }
        const auto limit = detail::LimitFromJson(e["limit"], path + ".limit", message);
        if (!limit) {
            return fail(message);
        }
        const RangeKey key{e["channel"].get<int>(), *layout, e["range"].get<double>(), e.value("shunt", 0.0)};
        store.Set(key, *limit);
    }
    return store;
}

std::optional<Limit> EffectiveLimit(const TestPoint& point, const LimitStore& store) {
    if (point.limit) {
        return point.limit;
    }
    return store.Find(KeyOf(point));
}

}  // namespace tavrel::verify
