#include "verify/sequence.h"

#include <string>

#include <gtest/gtest.h>

#include "verify/report.h"

namespace tavrel::verify {
namespace {

Plan ThreePoints() {
    Plan plan;
    for (const double nominal : {0.1, 0.5, 0.9}) {
        TestPoint p;
        p.range = 1;
        p.nominal = nominal;
        p.band = 0.0005;
        plan.points.push_back(p);
    }
    return plan;
}

Outcome WithVerdict(Verdict v, double error = 0.0001) {
    Outcome o;
    o.count = 5;
    o.mean = 0.9 + error;
    o.error = error;
    o.errorPercent = error * 100;
    o.decimals = 4;
    o.percentDecimals = 2;
    if (v != Verdict::None) {
        o.limit = 0.0005;
    }
    o.verdict = v;
    return o;
}

TEST(Sequence, AcceptSkipBackAndRepeat) {
    Sequence s(ThreePoints());
    EXPECT_EQ(s.current(), 0u);
    EXPECT_FALSE(s.Back());
    s.Accept(WithVerdict(Verdict::Pass), "12:00");
    EXPECT_EQ(s.current(), 1u);
    EXPECT_FALSE(s.Skip("   ", "12:01")) << "a skip needs a reason";
    EXPECT_EQ(s.current(), 1u);
    EXPECT_TRUE(s.Skip("калибратор не выдаёт", "12:01"));
    EXPECT_EQ(s.records()[1].status, PointRecord::Status::Skipped);
    EXPECT_EQ(s.current(), 2u);
    // Repeat returns to the point recorded last; its record stays until a new result replaces it.
    EXPECT_TRUE(s.Repeat());
    EXPECT_EQ(s.current(), 1u);
    EXPECT_EQ(s.records()[1].status, PointRecord::Status::Skipped);
    s.Accept(WithVerdict(Verdict::Fail), "12:02");
    EXPECT_EQ(s.records()[1].status, PointRecord::Status::Accepted);
    EXPECT_EQ(s.current(), 2u);
    EXPECT_TRUE(s.Back());
    EXPECT_EQ(s.current(), 1u);
    EXPECT_TRUE(s.Next());
    s.Accept(WithVerdict(Verdict::Pass), "12:03");
    EXPECT_TRUE(s.finished());
    EXPECT_FALSE(s.Next());
}

TEST(Sequence, AcceptMovesToTheNextPendingPointWrappingRound) {
    Sequence s(ThreePoints());
    s.Next();
    s.Next();
    s.Accept(WithVerdict(Verdict::Pass), "t");
    EXPECT_EQ(s.current(), 0u) << "points 0 and 1 are still pending";
    s.Accept(WithVerdict(Verdict::Pass), "t");
    EXPECT_EQ(s.current(), 1u);
}

TEST(Sequence, RestoredFromRecordsContinuesAtTheFirstPendingPoint) {
    Sequence s(ThreePoints());
    s.Restore(0, PointRecord{PointRecord::Status::Accepted, WithVerdict(Verdict::Pass), {}, "t"});
    s.Restore(1, PointRecord{PointRecord::Status::Skipped, {}, "нет калибратора", "t"});
    EXPECT_EQ(s.current(), 2u);
    s.Restore(7, PointRecord{});  // beyond the plan: ignored
    EXPECT_EQ(s.current(), 2u);
}

TEST(PointRecordJson, RoundTrip) {
    for (const PointRecord& r :
         {PointRecord{PointRecord::Status::Accepted, WithVerdict(Verdict::Fail, -0.0007), {}, "x"},
          PointRecord{PointRecord::Status::Accepted, WithVerdict(Verdict::None), {}, "y"},
          PointRecord{PointRecord::Status::Skipped, {}, "причина; с \"кавычками\"", "z"}}) {
        const auto back = RecordFromJson(RecordToJson(r));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, r);
    }
    EXPECT_FALSE(RecordFromJson("{\"status\": \"accepted\"}"));
    EXPECT_FALSE(RecordFromJson("not json"));
}

// ---- Overall verdict -------------------------------------------------------------------------------------

struct OverallCase {
    const char* name;
    std::vector<PointRecord> records;
    Verdict verdict;
    const char* text;
};

PointRecord Accepted(Verdict v) {
    return PointRecord{PointRecord::Status::Accepted, WithVerdict(v), {}, "t"};
}

const PointRecord kSkipped{PointRecord::Status::Skipped, {}, "r", "t"};
const PointRecord kPending{};

class Overall : public testing::TestWithParam<OverallCase> {};

TEST_P(Overall, VerdictAndItsText) {
    Plan plan = ThreePoints();
    plan.points.resize(GetParam().records.size(), plan.points[0]);
    Sequence s(plan);
    for (std::size_t i = 0; i < GetParam().records.size(); ++i) {
        s.Restore(i, GetParam().records[i]);
    }
    EXPECT_EQ(OverallVerdict(s.records()), GetParam().verdict);
    EXPECT_EQ(BuildProtocol({}, s).overallText, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Overall,
    testing::Values(
        OverallCase{"AllPass", {Accepted(Verdict::Pass), Accepted(Verdict::Pass)}, Verdict::Pass, "Заключение: годен"},
        OverallCase{
            "OneFail", {Accepted(Verdict::Pass), Accepted(Verdict::Fail)}, Verdict::Fail, "Заключение: не годен"},
        OverallCase{"FailWinsOverMissingLimit",
                    {Accepted(Verdict::None), Accepted(Verdict::Fail)},
                    Verdict::Fail,
                    "Заключение: не годен"},
        OverallCase{"MissingLimit",
                    {Accepted(Verdict::Pass), Accepted(Verdict::None)},
                    Verdict::None,
                    "Заключение не вынесено: не для всех точек заданы пределы"},
        OverallCase{"Skipped",
                    {Accepted(Verdict::Pass), kSkipped},
                    Verdict::None,
                    "Заключение не вынесено: есть пропущенные точки"},
        OverallCase{"NotAllMeasured",
                    {Accepted(Verdict::Pass), kPending},
                    Verdict::None,
                    "Заключение не вынесено: измерены не все точки"}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- Protocol content ------------------------------------------------------------------------------------

TEST(Protocol, RowsShowTheRoundedValuesAndCsvQuotesWhereNeeded) {
    Sequence s(ThreePoints());
    Outcome o;
    o.count = 5;
    o.mean = 0.1003;
    o.stdDev = 0.0001;
    o.error = 0.0003;
    o.errorPercent = 0.03;
    o.limit = 0.0002;
    o.verdict = Verdict::Fail;
    o.decimals = 4;
    o.percentDecimals = 2;
    s.Accept(o, "t");
    o.limit.reset();
    o.verdict = Verdict::None;
    s.Accept(o, "t");
    s.Skip("нет; калибратора", "t");

    SessionInfo info;
    info.serial = "1234";
    info.calibratorType = "Fluke 5522A";
    info.calibratorSerial = "987";
    info.temperature = 21.45;
    const ProtocolData d = BuildProtocol(info, s);
    ASSERT_EQ(d.rows.size(), 3u);
    const ProtocolRow& r = d.rows[0];
    EXPECT_EQ(r.nominal, "+0.1000 В");
    EXPECT_EQ(r.mean, "+0.1003 В");
    EXPECT_EQ(r.deviation, "0.0001 В");
    EXPECT_EQ(r.error, "+0.0003 В");
    EXPECT_EQ(r.errorPercent, "+0.03 %");
    EXPECT_EQ(r.limit, "±0.0002 В");
    EXPECT_EQ(r.verdict, "не годен");
    EXPECT_EQ(d.rows[1].limit, "не задан");
    EXPECT_EQ(d.rows[1].verdict, "");
    EXPECT_EQ(d.rows[2].note, "пропущена: нет; калибратора");
    EXPECT_EQ(d.overall, Verdict::Fail);

    const auto field = [&d](const std::string& name) {
        for (const auto& [k, v] : d.fields) {
            if (k == name) {
                return v;
            }
        }
        return std::string("<absent>");
    };
    EXPECT_EQ(field("Средство измерений"), "Таврель, зав. № 1234");
    EXPECT_EQ(field("Калибратор"), "Fluke 5522A, зав. № 987");
    EXPECT_EQ(field("Температура"), "21.5 °C");
    EXPECT_EQ(field("Влажность"), "не указана");

    const std::string csv = ProtocolCsv(d);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
              "№;Канал;Режим;Диапазон;Номинал;Среднее;СКО;Погрешность;Погрешность, % диапазона;Предел;"
              "Заключение;Примечание");
    EXPECT_NE(csv.find("1;1;Регистратор;1 В;+0.1000 В;+0.1003 В;0.0001 В;+0.0003 В;+0.03 %;±0.0002 В;не годен;\r\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find(";\"пропущена: нет; калибратора\"\r\n"), std::string::npos) << csv;
}

}  // namespace
}  // namespace tavrel::verify
