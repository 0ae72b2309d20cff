#include "verify/measurement.h"

#include <vector>

#include <gtest/gtest.h>

#include "test_points.h"
#include "verify/arithmetic.h"

namespace tavrel::verify {
namespace {

// Channel 1, 1 V, nominal 0.9 V, three readings averaged, band ±0.0002 V.
class Measurer : public testing::Test {
  protected:
    static TestPoint Point() {
        TestPoint p;
        p.channel = 1;
        p.range = 1;
        p.nominal = 0.9;
        p.readings = 3;
        p.band = 0.0002;
        return p;
    }

    Reading At(double value, double range = 1, Layout layout = Layout::Registrator, int channel = 1) {
        t_ += 1;
        return Reading{t_, channel, value, range, layout, 0};
    }

    PointMeasurer m_{Point()};
    double t_ = 0;
};

TEST_F(Measurer, WaitsForStabilityThenAveragesTheNextReadings) {
    EXPECT_EQ(m_.Feed(At(0.95)), PointMeasurer::Fed::Waiting);
    EXPECT_EQ(m_.Feed(At(0.9001)), PointMeasurer::Fed::Waiting);
    EXPECT_EQ(m_.Feed(At(0.9003)), PointMeasurer::Fed::Waiting);
    EXPECT_EQ(m_.state(), PointMeasurer::State::WaitingStable) << "0.95 is still in the last three";
    EXPECT_EQ(m_.Feed(At(0.9002)), PointMeasurer::Fed::Waiting);
    ASSERT_EQ(m_.state(), PointMeasurer::State::Averaging);
    EXPECT_NEAR(*m_.bandCentre(), 0.9002, 1e-12);
    EXPECT_EQ(m_.Feed(At(0.9004)), PointMeasurer::Fed::Averaged);
    EXPECT_EQ(m_.Feed(At(0.9000)), PointMeasurer::Fed::Averaged);
    EXPECT_EQ(m_.Feed(At(0.9002)), PointMeasurer::Fed::Complete);
    EXPECT_EQ(m_.state(), PointMeasurer::State::Done);
    EXPECT_EQ(m_.averaged(), (std::vector<double>{0.9004, 0.9000, 0.9002}));
    EXPECT_EQ(m_.Feed(At(0.8)), PointMeasurer::Fed::AlreadyDone);
    EXPECT_EQ(m_.averaged().size(), 3u);
}

TEST_F(Measurer, NeverStableWhileDrifting) {
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(m_.Feed(At(0.9 + 0.0003 * i)), PointMeasurer::Fed::Waiting);
    }
    EXPECT_EQ(m_.state(), PointMeasurer::State::WaitingStable);
}

TEST_F(Measurer, OtherChannelsAreIgnored) {
    for (int i = 0; i < 3; ++i) {
        m_.Feed(At(0.9));
    }
    ASSERT_EQ(m_.state(), PointMeasurer::State::Averaging);
    EXPECT_EQ(m_.Feed(At(5.0, 10, Layout::Registrator, 2)), PointMeasurer::Fed::OtherChannel);
    EXPECT_EQ(m_.state(), PointMeasurer::State::Averaging);
    EXPECT_TRUE(m_.averaged().empty());
}

struct MismatchCase {
    const char* name;
    double range;
    Layout layout;
};

class MeasurerMismatch : public Measurer, public testing::WithParamInterface<MismatchCase> {};

TEST_P(MeasurerMismatch, ReadingUnderAnotherRangeOrLayoutIsNotUsed) {
    for (int i = 0; i < 4; ++i) {
        m_.Feed(At(0.9));
    }
    ASSERT_EQ(m_.averaged().size(), 1u);
    EXPECT_EQ(m_.Feed(At(0.9, GetParam().range, GetParam().layout)), PointMeasurer::Fed::Mismatch);
    EXPECT_EQ(m_.state(), PointMeasurer::State::WaitingStable);
    EXPECT_TRUE(m_.averaged().empty());
    EXPECT_TRUE(m_.window().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, MeasurerMismatch,
                         testing::Values(MismatchCase{"Range10V", 10, Layout::Registrator},
                                         MismatchCase{"ChannelOff", 0, Layout::Registrator},
                                         MismatchCase{"IppVoltage", 1, Layout::IppVoltage}),
                         [](const auto& c) { return std::string(c.param.name); });

TEST_F(Measurer, NoConfirmedLayoutIsAMismatch) {
    Reading r = At(0.9);
    r.layout.reset();
    EXPECT_EQ(m_.Feed(r), PointMeasurer::Fed::Mismatch);
}

TEST_F(Measurer, LeavingTheBandWhileAveragingStartsAgain) {
    for (int i = 0; i < 4; ++i) {
        m_.Feed(At(0.9));
    }
    EXPECT_EQ(m_.Feed(At(0.9003)), PointMeasurer::Fed::Restarted);
    EXPECT_EQ(m_.state(), PointMeasurer::State::WaitingStable);
    EXPECT_TRUE(m_.averaged().empty());
    EXPECT_EQ(m_.window(), std::vector<double>{0.9003}) << "the reading that left opens the next run";
}

TEST_F(Measurer, DisconnectDiscardsAnIncompleteAverage) {
    for (int i = 0; i < 5; ++i) {
        m_.Feed(At(0.9));
    }
    ASSERT_EQ(m_.averaged().size(), 2u);
    EXPECT_TRUE(m_.Disconnect());
    EXPECT_EQ(m_.state(), PointMeasurer::State::WaitingStable);
    EXPECT_TRUE(m_.averaged().empty());
    EXPECT_FALSE(m_.Disconnect()) << "nothing left to discard";
    // Measured again from scratch after the line is back.
    for (int i = 0; i < 6; ++i) {
        m_.Feed(At(0.9001));
    }
    EXPECT_EQ(m_.state(), PointMeasurer::State::Done);
}

TEST_F(Measurer, DisconnectKeepsACompletedPoint) {
    for (int i = 0; i < 6; ++i) {
        m_.Feed(At(0.9));
    }
    ASSERT_EQ(m_.state(), PointMeasurer::State::Done);
    EXPECT_FALSE(m_.Disconnect());
    EXPECT_EQ(m_.averaged().size(), 3u);
}

// ---- Matching what the instrument reports ----------------------------------------------------------------

TEST(Matches, ShuntIsPartOfChannelThreesLowRange) {
    TestPoint p = test::Shunt(5, Unit::A);
    EXPECT_TRUE(Matches(p, Reading{0, 3, 0.03, 0.1, Layout::Registrator, 5.0004}));
    EXPECT_FALSE(Matches(p, Reading{0, 3, 0.03, 0.1, Layout::Registrator, 10}));
    EXPECT_FALSE(Matches(p, Reading{0, 3, 0.03, 0.1, Layout::Registrator, 0})) << "shows volts, not amperes";
    p.shunt = 0;
    p.unit = Unit::V;
    EXPECT_TRUE(Matches(p, Reading{0, 3, 0.03, 0.1, Layout::Registrator, 0}));
    EXPECT_FALSE(Matches(p, Reading{0, 3, 0.03, 0.1, Layout::Registrator, 0.075}));
}

TEST(Matches, CurrentRangeIsReportedAs255) {
    const TestPoint p = test::IppCurrent(0);
    EXPECT_TRUE(Matches(p, Reading{0, 3, 12.5, 255, Layout::IppCurrent, 0}));
    EXPECT_FALSE(Matches(p, Reading{0, 3, 12.5, 255, Layout::Registrator, 0}));
    EXPECT_FALSE(Matches(p, Reading{0, 3, 12.5, 1, Layout::IppCurrent, 0}));
    EXPECT_DOUBLE_EQ(ToPointUnit(p, 12.5), 12.5);
}

TEST(Matches, ShuntReadingsAreAveragedAsCurrents) {
    TestPoint p = test::Shunt(5, Unit::A);
    p.readings = 2;
    p.band = 0.001;
    PointMeasurer m(p);
    // 0.0375 V across a 5 A shunt is 2.5 A.
    for (int i = 0; i < 5; ++i) {
        m.Feed(Reading{static_cast<double>(i), 3, 0.0375, 0.1, Layout::Registrator, 5});
    }
    ASSERT_EQ(m.state(), PointMeasurer::State::Done);
    EXPECT_NEAR(m.averaged()[0], 2.5, 1e-12);
}

}  // namespace
}  // namespace tavrel::verify
