#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "verify/plan.h"

namespace tavrel::verify {

// One measuring range of the instrument: channel, layout, range and (channel 3 on 0.1 V) shunt.
struct RangeKey {
    int channel = 1;
    Layout layout = Layout::Registrator;
    double range = 1;
    double shunt = 0;
    auto operator<=>(const RangeKey&) const = default;
};

RangeKey KeyOf(const TestPoint& point);
// "Канал 1, Регистратор, 1 В" / "Канал 3, Регистратор, шунт 5 А" / "Канал 3, Iп ток, 30 мА".
std::string RangeKeyText(const RangeKey& key);

// Limits the engineer entered per range; remembered between sessions as JSON. Nothing in it comes from
// the tool itself.
class LimitStore {
  public:
    void Set(const RangeKey& key, const Limit& limit);
    void Clear(const RangeKey& key);
    std::optional<Limit> Find(const RangeKey& key) const;
    const std::map<RangeKey, Limit>& All() const { return limits_; }

    std::string ToJson() const;
    // Empty optional and a Russian message in `error` when the text is not a store.
    static std::optional<LimitStore> FromJson(std::string_view json, std::string* error);

    bool operator==(const LimitStore&) const = default;

  private:
    std::map<RangeKey, Limit> limits_;
};

// The point's own limit, else the one entered for its range, else none.
std::optional<Limit> EffectiveLimit(const TestPoint& point, const LimitStore& store);

}  // namespace tavrel::verify
