#include "tests/support/FakeStationHost.h"
#include "weighing/NumberText.h"
#include "weighing/WeighingCore.h"

#include <initializer_list>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// Threshold 10, limits 12.000 to 20.000, batch values large enough to keep the reminder quiet.
class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        host.texts[Control::Et2] = "20.000";
        host.texts[Control::Et3] = "12.000";
        host.texts[Control::LabeledEdit1] = "100";
        host.texts[Control::LabeledEdit2] = "90";
        core.state().ProductThreshold = 10.0;
    }
    void samples(std::initializer_list<double> values) {
        for (double value : values) {
            core.CaptureWeight(value);
        }
    }
    std::string edit2() const { return host.text(Control::Edit2); }

    test::FakeStationHost host;
    WeighingCore core{host};
};

} // namespace

TEST_F(Capture, TakesTheSampleBeforeThePeak) {
    samples({12, 15, 18, 16});
    EXPECT_TRUE(host.records.empty());
    samples({14});
    EXPECT_EQ(edit2(), "15.000");
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
    EXPECT_EQ(core.state().ProductCount, 1);
    EXPECT_EQ(core.state().CaptureLatch, 1);

    samples({13});
    EXPECT_EQ(host.records.size(), 1u) << "latched: no second capture";
    EXPECT_DOUBLE_EQ(core.state().SampleWindow[0], 13.0) << "but the window still shifts";

    samples({9});
    EXPECT_EQ(core.state().CaptureLatch, 0);
    EXPECT_DOUBLE_EQ(core.state().SampleWindow[0], 13.0) << "a low sample stays out of the window";
}

TEST_F(Capture, TheStartUpZerosAreNeverTakenForAWeight) {
    samples({20, 20, 20});
    EXPECT_TRUE(host.records.empty()) << "the window's fourth sample is still a start-up zero";
    EXPECT_EQ(edit2(), "None");
    samples({20});
    EXPECT_EQ(edit2(), "20.000");
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
    samples({20});
    EXPECT_EQ(host.records.size(), 1u);
}

TEST_F(Capture, AfterStopTheLeftoversOfACutOffProductAreNotJudged) {
    samples({20, 20, 20, 20, 5});
    ASSERT_EQ(host.records, std::vector<std::string>{"正常"});
    samples({25, 25});
    core.BtnSetTabsClick();
    core.state().CaptureLatch = 0;
    samples({25, 25, 25});
    EXPECT_EQ(host.records.size(), 1u) << "three new samples and two stale ones";
    samples({25});
    EXPECT_EQ(host.records.back(), "超高");
    EXPECT_EQ(edit2(), "25.000");
}

TEST_F(Capture, AnOutOfToleranceLevelIsJudgedAtEverySample) {
    samples({25, 25, 25, 25, 25, 25});
    EXPECT_EQ(host.records, (std::vector<std::string>{"超高", "超高", "超高"}));
    EXPECT_EQ(core.state().ProductCount, 0);
    EXPECT_EQ(host.lamp(Lamp::Shape1), LampColor::Red);
}

TEST_F(Capture, ASampleAtTheThresholdCountsAsBelowIt) {
    samples({12, 15, 18, 16, 14});
    samples({10});
    EXPECT_EQ(core.state().CaptureLatch, 0);
    EXPECT_DOUBLE_EQ(core.state().SampleWindow[0], 14.0);
}

TEST_F(Capture, WeightsEqualToALimitAreInTolerance) {
    samples({15, 20, 30, 25, 22});
    EXPECT_EQ(edit2(), "20.000");
    EXPECT_EQ(host.records.back(), "正常");
    samples({5, 11, 12, 13, 12, 11});
    EXPECT_EQ(edit2(), "12.000");
    EXPECT_EQ(host.records.back(), "正常");
}

TEST_F(Capture, CrossedLimitsRaiseBothAlarmsUpperFirst) {
    host.texts[Control::Et2] = "10.000";
    host.texts[Control::Et3] = "15.000";
    samples({11, 12, 18, 16, 14});
    EXPECT_EQ(host.records, (std::vector<std::string>{"超高", "超低"}));
    EXPECT_EQ(host.lamp(Lamp::Shape1), LampColor::Yellow);
    EXPECT_TRUE(host.timerOn(Timer::Timer2));
    EXPECT_EQ(core.state().SignalFlags & kToleranceAlarmBit, kToleranceAlarmBit);
}

TEST_F(Capture, AnEmptyLimitFailsTheJudgementAndLeavesTheLatchOpen) {
    host.texts[Control::Et2] = "";
    samples({12, 15, 18, 16});
    try {
        samples({14});
        FAIL() << "the empty limit must fail";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid floating point value");
    }
    EXPECT_EQ(edit2(), "15.000");
    EXPECT_EQ(core.state().ProductCount, 0);
    EXPECT_EQ(core.state().CaptureLatch, 0);
    host.texts[Control::Et2] = "20.000";
    samples({14, 14, 13});
    EXPECT_TRUE(host.records.empty());
    samples({12});
    EXPECT_EQ(edit2(), "14.000");
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"}) << "the next passing sample is judged again";
}

TEST_F(Capture, ABadLowerLimitFailsAfterTheUpperTestRan) {
    host.texts[Control::Et3] = "abc";
    samples({22, 25, 30, 28});
    EXPECT_THROW(samples({26}), ConversionError);
    EXPECT_EQ(host.records, std::vector<std::string>{"超高"});
}

TEST_F(Capture, ABadBatchValueCountsTheProductButLeavesTheLatchOpen) {
    host.texts[Control::LabeledEdit2] = "12.5";
    samples({12, 15, 18, 16});
    EXPECT_THROW(samples({14}), ConversionError);
    EXPECT_EQ(core.state().ProductCount, 1);
    EXPECT_EQ(core.state().CaptureLatch, 0);
    EXPECT_EQ(host.lamp(Lamp::Shape1), LampColor::Lime);
    EXPECT_TRUE(host.frames.empty());
}

TEST_F(Capture, ALowSampleEndsTheProduct) {
    samples({12});
    host.events.clear();
    samples({3});
    EXPECT_EQ(host.events, std::vector<std::string>{"productOver"});
}
