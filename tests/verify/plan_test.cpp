#include "verify/plan.h"

#include <cmath>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "verify/arithmetic.h"
#include "verify/limits.h"

namespace tavrel::verify {
namespace {

// ---- Bad plans name the bad field ------------------------------------------------------------------------

struct BadPlan {
    const char* name;
    const char* json;
    const char* field;  // must appear in the message
};

class BadPlans : public testing::TestWithParam<BadPlan> {};

TEST_P(BadPlans, MessageNamesTheField) {
    const PlanResult r = ParsePlan(GetParam().json);
    EXPECT_FALSE(r.plan.has_value());
    EXPECT_NE(r.error.find(std::string("«") + GetParam().field + "»"), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadPlans,
    testing::Values(
        BadPlan{"NoPoints", R"({"name": "x"})", "points"}, BadPlan{"PointsNotArray", R"({"points": {}})", "points"},
        BadPlan{"EmptyPoints", R"({"points": []})", "points"},
        BadPlan{"MissingChannel", R"({"points": [{"range": 1, "nominal": 0.5}]})", "points[0].channel"},
        BadPlan{"MissingNominal", R"({"points": [{"channel": 1, "range": 1}]})", "points[0].nominal"},
        BadPlan{"MissingRange", R"({"points": [{"channel": 1, "nominal": 0.5}]})", "points[0].range"},
        BadPlan{"UnknownChannel", R"({"points": [{"channel": 4, "range": 1, "nominal": 0.5}]})", "points[0].channel"},
        BadPlan{"ChannelNotInteger", R"({"points": [{"channel": "1", "range": 1, "nominal": 0.5}]})",
                "points[0].channel"},
        // Channel 2 has no 100 V range; channel 1 has no 0.1 V range.
        BadPlan{
            "RangeChannelLacks",
            R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5}, {"channel": 2, "range": 100, "nominal": 50}]})",
            "points[1].range"},
        BadPlan{"RangeOfOtherChannel", R"({"points": [{"channel": 1, "range": 0.1, "nominal": 0.05}]})",
                "points[0].range"},
        BadPlan{"LayoutWithoutChannel",
                R"({"points": [{"channel": 1, "layout": "ipp_voltage", "range": 1, "nominal": 0.5}]})",
                "points[0].layout"},
        BadPlan{"UnknownLayout", R"({"points": [{"channel": 1, "layout": "ipp", "range": 1, "nominal": 0.5}]})",
                "points[0].layout"},
        BadPlan{"NonNumericNominal", R"({"points": [{"channel": 1, "range": 1, "nominal": "0.5"}]})",
                "points[0].nominal"},
        BadPlan{"NominalOutsideRange", R"({"points": [{"channel": 1, "range": 1, "nominal": 1.2}]})",
                "points[0].nominal"},
        BadPlan{"NegativeAbsoluteLimit",
                R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5, "limit": {"absolute": -0.001}}]})",
                "points[0].limit.absolute"},
        BadPlan{"NegativeRelativeLimit",
                R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5,
                                "limit": {"percent_of_nominal": 0.05, "percent_of_range": -0.01}}]})",
                "points[0].limit.percent_of_range"},
        BadPlan{"BothLimitForms",
                R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5,
                                "limit": {"absolute": 0.001, "percent_of_range": 0.01}}]})",
                "points[0].limit"},
        BadPlan{"ShuntOnChannelOne", R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5, "shunt": 5}]})",
                "points[0].shunt"},
        BadPlan{"ShuntNotInTable",
                R"({"points": [{"channel": 3, "range": 0.1, "nominal": 1, "shunt": 7, "unit": "A"}]})",
                "points[0].shunt"},
        BadPlan{"VoltsThroughShunt",
                R"({"points": [{"channel": 3, "range": 0.1, "nominal": 1, "shunt": 5, "unit": "V"}]})",
                "points[0].unit"},
        BadPlan{"ZeroReadings", R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5, "readings": 0}]})",
                "points[0].readings"},
        BadPlan{"NegativeBand", R"({"points": [{"channel": 1, "range": 1, "nominal": 0.5, "band": -1}]})",
                "points[0].band"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(ParsePlan, NotJsonSaysSo) {
    const PlanResult r = ParsePlan("{points: ");
    EXPECT_FALSE(r.plan);
    EXPECT_EQ(r.error, "Файл плана не является JSON.");
}

TEST(ParsePlan, DefaultsAndBothLimitForms) {
    const PlanResult r = ParsePlan(R"({"name": "Короткий", "points": [
        {"channel": 1, "range": 1, "nominal": 0.9, "limit": {"percent_of_nominal": 0.05, "percent_of_range": 0.01}},
        {"channel": 3, "range": 0.1, "shunt": 5, "unit": "A", "nominal": 2.5, "limit": {"absolute": 0.001}},
        {"channel": 3, "layout": "ipp_current", "range": 30, "nominal": -27, "readings": 3, "band": 0.002}]})");
    ASSERT_TRUE(r.plan) << r.error;
    const auto& pts = r.plan->points;
    ASSERT_EQ(pts.size(), 3u);
    EXPECT_EQ(pts[0].layout, Layout::Registrator);
    EXPECT_EQ(pts[0].unit, Unit::V);
    EXPECT_EQ(pts[0].readings, 5);
    EXPECT_DOUBLE_EQ(pts[0].band, 0.0005);  // five steps of 0.1 mV
    EXPECT_EQ(pts[0].limit, (Limit{Limit::Form::Relative, 0.05, 0.01, 0}));
    EXPECT_EQ(pts[1].limit, (Limit{Limit::Form::Absolute, 0, 0, 0.001}));
    EXPECT_EQ(pts[2].unit, Unit::mA);  // currents default to mA
    EXPECT_EQ(pts[2].readings, 3);
    EXPECT_FALSE(pts[2].limit);
}

TEST(ParsePlan, RoundTripThroughJson) {
    const Plan plan = BuiltInTemplate();
    const PlanResult back = ParsePlan(PlanToJson(plan));
    ASSERT_TRUE(back.plan) << back.error;
    EXPECT_EQ(*back.plan, plan);
}

// ---- The built-in template -------------------------------------------------------------------------------

TEST(Template, TenFiftyNinetyPercentOfEveryRangeBothPolaritiesNoLimits) {
    const Plan plan = BuiltInTemplate();
    EXPECT_EQ(ValidatePlan(plan), "");
    std::map<RangeKey, std::multiset<double>> shares;
    for (const auto& p : plan.points) {
        EXPECT_FALSE(p.limit.has_value()) << "a template point carries a limit";
        shares[KeyOf(p)].insert(p.nominal / p.range);
    }
    std::size_t ranges = 0;
    for (const Layout layout : {Layout::Registrator, Layout::IppVoltage, Layout::IppCurrent}) {
        for (int channel = 1; channel <= 3; ++channel) {
            for (const double range : RangesOf(channel, layout)) {
                ++ranges;
                const auto it = shares.find(RangeKey{channel, layout, range, 0});
                ASSERT_NE(it, shares.end()) << channel << " " << range;
                std::vector<double> got(it->second.begin(), it->second.end());
                const std::vector<double> want{-0.9, -0.5, -0.1, 0.1, 0.5, 0.9};
                ASSERT_EQ(got.size(), want.size());
                for (std::size_t i = 0; i < want.size(); ++i) {
                    EXPECT_NEAR(got[i], want[i], 1e-9);
                }
            }
        }
    }
    EXPECT_EQ(shares.size(), ranges);
    EXPECT_EQ(plan.points.size(), 6 * ranges);
}

// ---- Limits per range ------------------------------------------------------------------------------------

TEST(LimitStore, RoundTripAndPointLimitFirst) {
    LimitStore store;
    const RangeKey oneVolt{1, Layout::Registrator, 1, 0};
    const RangeKey shunt{3, Layout::Registrator, 0.1, 0.075};
    store.Set(oneVolt, Limit{Limit::Form::Relative, 0.05, 0.01, 0});
    store.Set(shunt, Limit{Limit::Form::Absolute, 0, 0, 0.02});
    std::string error;
    const auto back = LimitStore::FromJson(store.ToJson(), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(*back, store);

    TestPoint p;
    p.range = 1;
    p.nominal = 0.5;
    EXPECT_EQ(EffectiveLimit(p, store), store.Find(oneVolt));
    p.limit = Limit{Limit::Form::Absolute, 0, 0, 0.1};
    EXPECT_EQ(EffectiveLimit(p, store), p.limit);
    p.limit.reset();
    p.range = 10;
    EXPECT_FALSE(EffectiveLimit(p, store)) << "no limit entered for 10 V";
    EXPECT_EQ(RangeKeyText(shunt), "Канал 3, Регистратор, шунт 75 мА");
}

TEST(LimitStore, DamagedTextIsAMessage) {
    std::string error;
    EXPECT_FALSE(LimitStore::FromJson(R"({"limits": [{"channel": 1, "layout": "registrator", "range": 1,
                                          "limit": {"absolute": -1}}]})",
                                      &error));
    EXPECT_NE(error.find("«limits[0].limit.absolute»"), std::string::npos) << error;
    EXPECT_FALSE(LimitStore::FromJson("[]", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace tavrel::verify
