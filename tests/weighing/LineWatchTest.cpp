// The indicator falling silent, the port failing, and the alarm bit that tells the outside device.
#include "tests/support/FakeStationHost.h"
#include "weighing/WeighingCore.h"

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class LineWatch : public ::testing::Test {
protected:
    void SetUp() override {
        core.initialize();
        host.texts[Control::ComboBox1] = "A";
        host.texts[Control::Et2] = "20.000";
        host.texts[Control::Et3] = "12.000";
        host.texts[Control::LabeledEdit1] = "100";
        host.texts[Control::LabeledEdit2] = "90";
        core.state().SilenceLimitMs = 3000;
    }
    // A Toledo frame whose weight field reads `weight`.
    void reading(double weight) {
        char frame[32];
        std::snprintf(frame, sizeof frame,
                      "\x02"
                      "ABC%06d000000\r",
                      static_cast<int>(weight * 100 + 0.5));
        core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(frame), 17);
    }
    bool happened(const std::string& event) const {
        return std::find(host.events.begin(), host.events.end(), event) != host.events.end();
    }

    test::FakeStationHost host;
    WeighingCore core{host};
};

} // namespace

TEST_F(LineWatch, ThreeSecondsWithoutAReadingRaiseTheAlarmBitUntilReadingsReturn) {
    core.BtnClearClick("BtnClear");
    host.advance(core, 2000);
    reading(0.0);
    host.advance(core, 4999);
    EXPECT_FALSE(core.indicatorSilent()) << "each reading starts the three seconds again";
    host.frames.clear();
    host.advance(core, 5000);
    EXPECT_TRUE(core.indicatorSilent());
    EXPECT_TRUE(happened("silent on"));
    EXPECT_EQ(core.state().SignalFlags & kToleranceAlarmBit, kToleranceAlarmBit);
    host.drain(core);
    EXPECT_EQ(host.sentFlags(), "5") << "sent at once: the outside device stops the line";

    host.advance(core, 60000);
    EXPECT_EQ(host.sentFlags(), "5") << "raised once, not again and again";
    host.events.clear();
    reading(0.0);
    EXPECT_EQ(host.events.at(1), "silent off");
    host.drain(core);
    EXPECT_EQ(host.sentFlags(), "51");
    EXPECT_EQ(core.state().SignalFlags, 1);
}

TEST_F(LineWatch, AToleranceAlarmUnderWayKeepsItsBitWhenReadingsReturn) {
    core.BtnClearClick("BtnClear");
    host.advance(core, 3000);
    ASSERT_TRUE(core.indicatorSilent());
    core.SignalOverLimit(); // a verdict from a chunk that was still queued
    reading(0.0);
    EXPECT_FALSE(core.indicatorSilent());
    EXPECT_EQ(core.state().SignalFlags & kToleranceAlarmBit, kToleranceAlarmBit);
    core.Timer2Timer();
    core.Timer1Timer();
    EXPECT_EQ(core.state().SignalFlags & kToleranceAlarmBit, 0);
}

TEST_F(LineWatch, NothingIsWatchedWhileStoppedOrWhenSwitchedOff) {
    host.advance(core, 10000);
    EXPECT_FALSE(core.indicatorSilent()) << "the port was never opened";
    core.BtnClearClick("BtnClear");
    core.BtnSetTabsClick();
    host.advance(core, 20000);
    EXPECT_FALSE(core.indicatorSilent());

    core.state().SilenceLimitMs = 0;
    core.BtnClearClick("BtnWordWrap");
    host.advance(core, 60000);
    EXPECT_FALSE(core.indicatorSilent());
    EXPECT_FALSE(host.wake.has_value());
}

TEST_F(LineWatch, StopEndsTheSilenceAlarm) {
    core.BtnClearClick("BtnClear");
    host.advance(core, 3000);
    ASSERT_TRUE(core.indicatorSilent());
    core.BtnSetTabsClick();
    EXPECT_FALSE(core.indicatorSilent());
    EXPECT_TRUE(happened("silent off"));
    EXPECT_EQ(core.state().SignalFlags & kToleranceAlarmBit, 0);
}

TEST_F(LineWatch, AFailedPortStopsTheRunRaisesTheAlarmAtOnceAndIsReportedOnce) {
    core.state().ProductCount = 12;
    core.BtnClearClick("BtnWordWrap");
    host.advance(core, 500);
    host.events.clear();
    EXPECT_THROW(core.PortFailed(), std::runtime_error);
    EXPECT_TRUE(core.indicatorSilent());
    EXPECT_FALSE(host.portOpen);
    EXPECT_TRUE(host.buttonOn(Button::BtnWordWrap)) << "继续 opens the port again";
    EXPECT_FALSE(host.buttonOn(Button::BtnSetTabs));
    EXPECT_TRUE(happened("count 12"));
    EXPECT_NO_THROW(core.PortFailed()) << "the writer's report of the same failure";

    core.BtnClearClick("BtnWordWrap");
    EXPECT_TRUE(host.portOpen);
    EXPECT_TRUE(core.indicatorSilent()) << "until the indicator speaks again";
    reading(0.0);
    EXPECT_FALSE(core.indicatorSilent());
    EXPECT_EQ(core.state().ProductCount, 12);
}

TEST_F(LineWatch, AProductCutOffByALostLineIsNoRow) {
    core.state().SamplingChoice = Sampling::Stable;
    core.BtnClearClick("BtnClear");
    reading(16.0);
    reading(16.0);
    host.events.clear();
    EXPECT_THROW(core.PortFailed(), std::runtime_error);
    EXPECT_TRUE(happened("glitch 2"));
    core.BtnClearClick("BtnWordWrap");
    for (int i = 0; i < 5; ++i)
        reading(16.0);
    reading(0.0);
    EXPECT_TRUE(host.records.empty());
}
