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

TEST_F(RunControl, StopNeverOpenedOnlyResetsTheButtons) {
    host.events.clear();
    core.BtnSetTabsClick();
    EXPECT_TRUE(idle());
    EXPECT_TRUE(host.events.empty());
}

TEST_F(RunControl, ZeroTakesTheShownWeightAndTogglesBack) {
    host.texts[Control::Edit1] = "2.500";
    core.BtnBulletsClick();
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 2.5);
    const std::string reading = "\x02"
                                "ABC000250000000\r";
    core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(reading.data()), 17);
    EXPECT_EQ(host.text(Control::Edit1), "0.000");
    core.BtnBulletsClick();
    core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(reading.data()), 17);
    EXPECT_EQ(host.text(Control::Edit1), "2.500");
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
