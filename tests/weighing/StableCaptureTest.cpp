#include "tests/support/FakeStationHost.h"
#include "weighing/NumberText.h"
#include "weighing/WeighingCore.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// The stable capture on a Toledo (d = 0.01), threshold 10, limits 12.000 to 20.000, quiet batch values.
class StableCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.texts[Control::Et2] = "20.000";
        host.texts[Control::Et3] = "12.000";
        host.texts[Control::LabeledEdit1] = "100";
        host.texts[Control::LabeledEdit2] = "90";
        host.texts[Control::ComboBox1] = "A";
        core.state().ProductThreshold = 10.0;
        core.state().SamplingChoice = Sampling::Stable;
    }
    void samples(std::initializer_list<double> values) {
        for (double value : values) {
            core.CaptureWeight(value);
        }
    }
    std::string edit2() const { return host.text(Control::Edit2); }
    // Position of an event in the host's log, or -1.
    long eventAt(const std::string& event) const {
        auto at = std::find(host.events.begin(), host.events.end(), event);
        return at == host.events.end() ? -1 : static_cast<long>(at - host.events.begin());
    }

    test::FakeStationHost host;
    WeighingCore core{host};
};

} // namespace

TEST_F(StableCaptureTest, ASteadyProductIsJudgedOnceWhenSettledAndTheNextByItsOwnReadings) {
    samples({16, 16, 16});
    EXPECT_TRUE(host.records.empty()) << "three readings are not yet settled";
    samples({16});
    EXPECT_EQ(edit2(), "16.000");
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
    EXPECT_EQ(core.state().ProductCount, 1);
    samples({16, 16, 16, 16, 3});
    EXPECT_EQ(host.records.size(), 1u) << "no second verdict, neither on the plateau nor at the exit";

    samples({25, 25, 25, 25, 25, 25, 25, 3});
    EXPECT_EQ(host.records, (std::vector<std::string>{"正常", "超高"})) << "an overweight product once, too";
    EXPECT_EQ(edit2(), "25.000");
    samples({11, 11, 11, 11, 3});
    EXPECT_EQ(host.records.back(), "超低") << "judged by its own weight, not the product before it";
    EXPECT_EQ(edit2(), "11.000");
    EXPECT_EQ(core.state().SampleWindow, (std::array<double, 5>{})) << "the peak capture's window is not used";
}

TEST_F(StableCaptureTest, RampsAndRingingStayOutOfTheSettledWeight) {
    samples({12.0, 15.5, 16.02, 16.00, 15.99});
    EXPECT_TRUE(host.records.empty());
    samples({15.99});
    EXPECT_EQ(edit2(), "16.000") << "the mean of the four level readings, the entry ramp left out";
    samples({12.0, 3});
    EXPECT_EQ(host.records.size(), 1u);

    // An overshoot of 5 d swinging down to 1 d: settled once four readings lie within 4 d.
    samples({16.05, 15.97, 16.03, 15.98, 16.02, 15.99});
    EXPECT_EQ(host.records.size(), 1u);
    samples({16.01});
    EXPECT_EQ(edit2(), "16.000");
    EXPECT_EQ(host.records.size(), 2u);
}

TEST_F(StableCaptureTest, ANoisyProductIsWeighedAtTheExitByItsLevelReadings) {
    samples({12.0, 16.00, 16.06, 15.95, 16.04, 15.97, 16.05});
    EXPECT_TRUE(host.records.empty()) << "no four readings within 4 d";
    host.events.clear();
    samples({3});
    // Around the most level stretch (15.95 .. 16.05, range 10 d) every plateau reading counts, the ramp
    // reading far outside it not.
    EXPECT_EQ(edit2(), "16.012");
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
    EXPECT_LT(eventAt("record 正常"), eventAt("productOver")) << "the verdict belongs to the product that ends";
    EXPECT_EQ(core.state().CaptureLatch, 0);
}

TEST_F(StableCaptureTest, AShortProductIsJudgedOnWhatItHas) {
    samples({14, 14.02, 14.01, 3});
    EXPECT_EQ(edit2(), "14.010");
    ASSERT_EQ(host.records, std::vector<std::string>{"正常"});
    samples({25, 25, 25, 10});
    EXPECT_EQ(host.records.back(), "超高") << "a sample at the threshold ends the product";
    samples({3, 3});
    EXPECT_EQ(host.records.size(), 2u) << "an empty platform is no product";
}

TEST_F(StableCaptureTest, AProductThatNeverSettlesIsWeighedAroundItsLastLevelStretch) {
    samples({11, 12, 13, 14, 15, 16, 17, 18, 19});
    EXPECT_TRUE(host.records.empty());
    samples({3});
    // Every stretch of four rises by 3: the last one (16 .. 19, mean 17.5) is taken, with 12 .. 19 within
    // twice its range.
    EXPECT_EQ(edit2(), "15.500");
    EXPECT_EQ(host.records.size(), 1u);
}

TEST_F(StableCaptureTest, TheDivisionFollowsTheIndicator) {
    samples({16.0, 16.3, 15.9, 16.2});
    EXPECT_TRUE(host.records.empty()) << "40 d on a Toledo";
    samples({3});
    core.state().IndicatorType = 2;
    samples({16.0, 16.3, 15.9, 16.2});
    EXPECT_EQ(host.records.size(), 2u) << "4 d on a Yaohua: settled";
    EXPECT_EQ(edit2(), "16.100");
}

TEST_F(StableCaptureTest, AProductCutOffByStopBeforeItSettledIsADisturbanceNotARow) {
    samples({16, 16});
    host.events.clear();
    core.BtnSetTabsClick();
    EXPECT_NE(eventAt("glitch 2"), -1);
    core.BtnClearClick("BtnWordWrap");
    samples({16, 16, 16, 16, 3});
    EXPECT_TRUE(host.records.empty()) << "what is left of it after the start gets no verdict either";
    samples({17, 17, 17, 17});
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"}) << "the next product is weighed as usual";
    EXPECT_EQ(edit2(), "17.000");

    samples({3, 18, 18, 18, 18});
    EXPECT_EQ(host.records.size(), 2u);
    core.BtnSetTabsClick();
    core.BtnClearClick("BtnWordWrap");
    samples({18, 18, 3});
    EXPECT_EQ(host.records.size(), 2u) << "judged before the stop: no second verdict after the start";
    EXPECT_EQ(core.state().ProductCount, 2);
}

TEST_F(StableCaptureTest, AFailedJudgementIsNotRepeatedForTheSameProduct) {
    host.texts[Control::Et2] = "";
    samples({16, 16, 16});
    EXPECT_THROW(samples({16}), ConversionError);
    host.texts[Control::Et2] = "20.000";
    samples({16, 16});
    EXPECT_TRUE(host.records.empty()) << "one attempt per product";
    samples({3});
    EXPECT_TRUE(host.records.empty());

    host.texts[Control::Et3] = "abc";
    samples({25, 25, 25});
    host.events.clear();
    EXPECT_THROW(samples({3}), ConversionError);
    EXPECT_EQ(host.records, std::vector<std::string>{"超高"});
    EXPECT_NE(eventAt("productOver"), -1) << "the product is over even when its judgement fails";
    host.texts[Control::Et3] = "12.000";
    samples({15, 15, 15, 15});
    EXPECT_EQ(host.records.back(), "正常") << "the next product is judged as usual";
}

TEST_F(StableCaptureTest, ARunOfFewerThanTheLeastReadingsIsADisturbance) {
    samples({14, 14, 3});
    EXPECT_TRUE(host.records.empty());
    EXPECT_NE(eventAt("glitch 2"), -1);
    samples({14, 14, 14, 3});
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"}) << "three readings make a product";

    core.state().MinimumReadings = 6;
    host.events.clear();
    samples({15, 15, 15, 15, 15});
    EXPECT_EQ(host.records.size(), 1u) << "nothing settles before the least number of readings";
    samples({3});
    EXPECT_NE(eventAt("glitch 5"), -1);
    samples({15, 15, 15, 15, 15, 15});
    EXPECT_EQ(host.records.size(), 2u);
}

TEST_F(StableCaptureTest, ALoneMisreadNeitherDelaysNorSkewsTheSettledWeight) {
    samples({16, 16, 25, 16, 16});
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"}) << "settled at the fourth good reading";
    EXPECT_EQ(edit2(), "16.000");
    samples({3, 16, 16, 12, 16, 16});
    EXPECT_EQ(host.records.size(), 2u) << "a misread downwards, too";
    EXPECT_EQ(edit2(), "16.000");
    samples({3, 16, 16, 16.15, 16, 16, 16});
    EXPECT_EQ(host.records.size(), 2u) << "15 d off is no misread: the product has not settled yet";
    samples({16});
    EXPECT_EQ(host.records.size(), 3u);
    EXPECT_EQ(edit2(), "16.000");

    samples({3, 11, 13, 15, 15, 15, 15});
    EXPECT_EQ(edit2(), "15.000") << "a ramp's readings are no misreads";
}

TEST(StableCapture, ReportsHowManyReadingsAWeightStandsOnAndKeepsALongProductBounded) {
    StableCapture capture;
    for (double x : {16.0, 16.0, 16.0}) {
        EXPECT_FALSE(capture.add(x, 0.01));
    }
    EXPECT_DOUBLE_EQ(capture.add(16.0, 0.01).value(), 16.0);
    EXPECT_EQ(capture.weightReadings(), StableCapture::kSettleReadings);
    EXPECT_FALSE(capture.end(0.01)) << "judged already";
    EXPECT_FALSE(capture.inProgress());

    // A product that swings by 10 d for longer than the capture keeps: judged at the exit on its newest
    // readings, all of them within the band.
    for (std::size_t i = 0; i < StableCapture::kMaxReadings + 100; ++i) {
        EXPECT_FALSE(capture.add(i % 2 == 0 ? 16.0 : 16.1, 0.01));
    }
    EXPECT_NEAR(capture.end(0.01).value(), 16.05, 1e-9);
    EXPECT_EQ(capture.weightReadings(), StableCapture::kMaxReadings);
}

TEST(StableCapture, ReadingsNearTheLargestDoubleGiveAFiniteWeight) {
    // A misread exponent ("1e18 ") once summed four such readings to infinity, and the exit's mean
    // divided 0 by 0.
    StableCapture settled;
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(settled.add(4.86e307, 0.01));
    }
    EXPECT_DOUBLE_EQ(settled.add(4.86e307, 0.01).value(), 4.86e307);
    StableCapture unsettled;
    for (double x : {1.7e308, -1.7e308, 1.7e308, 1.0}) {
        EXPECT_FALSE(unsettled.add(x, 0.01));
    }
    const auto weight = unsettled.end(0.01);
    ASSERT_TRUE(weight);
    EXPECT_TRUE(std::isfinite(*weight));
    EXPECT_GE(unsettled.weightReadings(), 1u);
}
