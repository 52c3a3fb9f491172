#include "tests/support/FakeStationHost.h"
#include "weighing/NumberText.h"
#include "weighing/WeighingCore.h"

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class RunControl : public ::testing::Test {
protected:
    void SetUp() override {
        core.initialize();
        host.texts[Control::LabeledEdit1] = "100";
        core.state().ProductCount = 5;
    }
    bool idle() const {
        return host.buttonOn(Button::BtnClear) && host.buttonOn(Button::BtnWordWrap) &&
               !host.buttonOn(Button::BtnSetTabs);
    }
    bool running() const {
        return !host.buttonOn(Button::BtnClear) && !host.buttonOn(Button::BtnWordWrap) &&
               host.buttonOn(Button::BtnSetTabs);
    }

    test::FakeStationHost host;
    WeighingCore core{host};
};

} // namespace

TEST_F(RunControl, CreationDisablesStopAndSetsTheReminderBit) {
    EXPECT_TRUE(idle());
    EXPECT_EQ(core.state().SignalFlags, 1);
    EXPECT_EQ(core.state().ZeroOffset, 0.0);
}

TEST_F(RunControl, StartWithoutAModelOnlyClearsTheLatch) {
    for (const char* name : {"", "   ", "\t \r\n"}) {
        host.texts[Control::ComboBox1] = name;
        core.state().CaptureLatch = 1;
        host.events.clear();
        core.BtnClearClick("BtnClear");
        EXPECT_EQ(core.state().CaptureLatch, 0);
        EXPECT_EQ(host.events.back(), "message 提示: 请选择型号或选择合法型号！");
        EXPECT_TRUE(idle());
        EXPECT_FALSE(host.portOpen);
        EXPECT_EQ(core.state().ProductCount, 5);
    }
}

TEST_F(RunControl, StartResetsTheCountContinueKeepsIt) {
    host.texts[Control::ComboBox1] = "型号A";
    core.BtnClearClick("BtnWordWrap");
    EXPECT_TRUE(running());
    EXPECT_TRUE(host.portOpen);
    EXPECT_EQ(host.text(Control::Edit3), "共100个产品，此产品是第5个");
    core.BtnSetTabsClick();
    EXPECT_TRUE(idle());
    EXPECT_FALSE(host.portOpen);
    core.BtnClearClick("BtnClear");
    EXPECT_EQ(core.state().ProductCount, 0);
    EXPECT_EQ(host.text(Control::Edit3), "共100个产品，此产品是第0个");
}

TEST_F(RunControl, OnlyTheExactStartButtonNameResetsTheCount) {
    host.texts[Control::ComboBox1] = "A";
    core.BtnClearClick("BtnClearX");
    EXPECT_EQ(core.state().ProductCount, 5);
}

TEST_F(RunControl, AFailedOpenLeavesTheRunningStateForStopToUndo) {
    host.texts[Control::ComboBox1] = "A";
    host.failOpen = true;
    EXPECT_THROW(core.BtnClearClick("BtnClear"), std::runtime_error);
    EXPECT_TRUE(running());
    EXPECT_EQ(core.state().ProductCount, 0);
    core.BtnSetTabsClick();
    EXPECT_TRUE(idle());
}

TEST_F(RunControl, StopNeverOpenedResetsTheButtonsAndSavesTheCount) {
    host.events.clear();
    core.BtnSetTabsClick();
    EXPECT_TRUE(idle());
    EXPECT_EQ(host.events, std::vector<std::string>{"count 5"});
}

TEST_F(RunControl, ZeroAddsTheShownWeightToTheOffsetHoweverOftenPressed) {
    const std::string reading = "\x02"
                                "ABC000250000000\r"; // 2.50 decoded
    auto receive = [&] { core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(reading.data()), 17); };
    receive();
    host.events.clear();
    core.BtnBulletsClick();
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 2.5);
    EXPECT_EQ(host.events, std::vector<std::string>{"zero 0.000 2.500"});
    receive();
    EXPECT_EQ(host.text(Control::Edit1), "0.000");
    core.BtnBulletsClick();
    receive();
    EXPECT_EQ(host.text(Control::Edit1), "0.000") << "a second press keeps the platform at zero";
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 2.5);

    core.state().ZeroOffset = 3.0; // zeroed too far: the platform shows -0.500
    receive();
    core.BtnBulletsClick();
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 2.5);
}

TEST_F(RunControl, ZeroIsRefusedWithAProductOnThePlatform) {
    core.state().ProductThreshold = 10.0;
    core.state().ZeroOffset = 0.2;
    host.texts[Control::Edit1] = "10.900";
    host.events.clear();
    core.BtnBulletsClick();
    EXPECT_EQ(host.events, std::vector<std::string>{"message 提示: 平台上有产品，不能清零"});
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 0.2);
    host.texts[Control::Edit1] = "10.000"; // at the threshold the platform counts as empty
    core.BtnBulletsClick();
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 10.2);
}

TEST_F(RunControl, TheCountIsSavedAtStopAndEveryTenSecondsOfCountedProducts) {
    host.texts[Control::ComboBox1] = "A";
    host.texts[Control::Et2] = "20.000";
    host.texts[Control::Et3] = "12.000";
    host.texts[Control::LabeledEdit2] = "1000";
    core.state().ProductThreshold = 10.0;
    core.BtnClearClick("BtnClear");
    auto product = [&](std::int64_t at) {
        host.advance(core, at);
        for (double x : {15.0, 15.0, 15.0, 15.0, 15.0, 5.0})
            core.CaptureWeight(x);
    };
    auto saves = [&] {
        std::vector<std::string> counts;
        for (const std::string& event : host.events)
            if (event.rfind("count ", 0) == 0)
                counts.push_back(event);
        return counts;
    };
    host.events.clear();
    product(1000);
    product(5000);
    product(10999);
    EXPECT_EQ(saves(), std::vector<std::string>{"count 1"}) << "the first, then not before 10 s have passed";
    product(11000);
    EXPECT_EQ(saves(), (std::vector<std::string>{"count 1", "count 4"}));
    core.BtnSetTabsClick();
    EXPECT_EQ(saves().back(), "count 4");
    EXPECT_EQ(saves().size(), 3u);
}

TEST_F(RunControl, ZeroBeforeAnyReadingFailsAndKeepsTheOffset) {
    core.state().ZeroOffset = 1.25;
    try {
        core.BtnBulletsClick();
        FAIL();
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'None' is not a valid floating point value");
    }
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 1.25);
}
