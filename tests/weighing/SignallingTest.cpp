#include "tests/support/FakeStationHost.h"
#include "weighing/NumberText.h"
#include "weighing/OutputLine.h"
#include "weighing/WeighingCore.h"

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class Signalling : public ::testing::Test {
protected:
    void SetUp() override {
        core.initialize();
        host.texts[Control::LabeledEdit1] = "0";
        host.texts[Control::LabeledEdit2] = "0";
        host.portOpen = true;
    }
    // An in-tolerance capture: counted, then the reminder.
    void countProduct() {
        host.frames.clear();
        core.CountGoodProduct();
        core.UpdateBatchReminder();
        host.drain(core);
    }

    test::FakeStationHost host;
    WeighingCore core{host};
};

} // namespace

TEST(OutputFrame, CarriesTheFlagsAsTheNinthByte) {
    const std::string five = WeighingCore::outputFrame(5);
    ASSERT_EQ(five.size(), 17u);
    EXPECT_EQ(five, std::string("\x02+000000"
                                "5"
                                "0000000\r"));
    EXPECT_EQ(WeighingCore::outputFrame(0)[8], '0');
    EXPECT_EQ(WeighingCore::outputFrame(4)[8], '4');
}

TEST_F(Signalling, EachSendPutsTheFrameOnTheLineTwice200msApartWithoutWaiting) {
    host.now = 1000;
    host.events.clear();
    core.SendSignalFrame(1);
    EXPECT_EQ(host.events, std::vector<std::string>{"frame 1"}) << "the first copy at once, nothing waits";
    ASSERT_EQ(host.wake, 1200);
    host.advance(core, 1199);
    EXPECT_EQ(host.frames.size(), 1u);
    host.advance(core, 1200);
    EXPECT_EQ(host.frameTimes, (std::vector<std::int64_t>{1000, 1200}));
    EXPECT_EQ(host.written, WeighingCore::outputFrame(1) + WeighingCore::outputFrame(1));
    EXPECT_FALSE(core.outputPending());
}

TEST_F(Signalling, BackToBackSendsKeepTheLinesSpacingAndTheirOwnFlags) {
    core.SendSignalFrame(1);
    core.SendSignalFrame(0);
    host.advance(core, 50);
    core.SendSignalFrame(5); // while the line is busy: after the previous send's second copy
    host.drain(core);
    EXPECT_EQ(host.frameTimes, (std::vector<std::int64_t>{0, 200, 200, 400, 400, 600}));
    EXPECT_EQ(host.sentFlags(), "105");
    host.advance(core, 2000);
    core.SendSignalFrame(4); // the line is idle again
    EXPECT_EQ(host.frameTimes.back(), 2000);
}

TEST_F(Signalling, SendsFasterThanTheLineCarriesThemNeverPileUp) {
    // A counted product with batch values 0/0 sends four times (800 ms of line); at a product every
    // 600 ms a send that would wait too long takes the place of the last one still waiting.
    for (std::int64_t product = 0; product < 100; ++product) {
        host.advance(core, product * 600);
        for (int flags : {1, 1, 0, 0})
            core.SendSignalFrame(flags);
    }
    const std::int64_t lastSend = 99 * 600;
    host.drain(core);
    EXPECT_LE(host.frameTimes.back() - lastSend, OutputLine::kBacklogMs + 2 * OutputLine::kCopySpacingMs)
        << "the line is never far behind";
    EXPECT_EQ(host.sentFlags().substr(0, 4), "1100") << "a burst at an idle line goes out whole";
    EXPECT_EQ(host.sentFlags().back(), '0') << "the newest flags reach the line";
    for (std::size_t i = 1; i < host.frameTimes.size(); ++i)
        EXPECT_TRUE(host.frameTimes[i] == host.frameTimes[i - 1] || host.frameTimes[i] - host.frameTimes[i - 1] >= 200)
            << "copies leave together or 200 ms apart: " << i;
}

TEST_F(Signalling, TheAlarmOvertakesTheSendsWaitingForTheLine) {
    for (int flags : {1, 1, 0, 0})
        core.SendSignalFrame(flags); // copies due until 800
    core.SignalOverLimit();
    host.advance(core, 100);
    core.Timer2Timer(); // the alarm delay has run out
    host.drain(core);
    // The alarm leaves at once, at 100, and its second send right after its own first; the batch copies
    // not yet on the line carried older flags and give way.
    EXPECT_EQ(host.frameTimes, (std::vector<std::int64_t>{0, 100, 300, 300, 500}));
    EXPECT_EQ(host.frames[1][8], '5');
    EXPECT_EQ(host.frames.back()[8], '5');
    host.frames.clear();
    host.frameTimes.clear();

    host.advance(core, 900);
    core.SendSignalFrame(1);
    host.advance(core, 1000);
    core.Timer1Timer(); // the end of the alarm is timed as well: before the 900 send's second copy
    host.drain(core);
    EXPECT_EQ(host.frameTimes, (std::vector<std::int64_t>{900, 1000, 1200, 1200, 1400}));
}

TEST_F(Signalling, FramesWhileThePortIsClosedAreDropped) {
    host.portOpen = false;
    core.SendSignalFrame(0);
    host.drain(core);
    EXPECT_TRUE(host.written.empty());
    EXPECT_EQ(host.frames.size(), 2u);
}

TEST_F(Signalling, DefaultBatchValuesSetAndClearTheReminderOnTheFirstProduct) {
    countProduct();
    EXPECT_EQ(host.sentFlags(), "1100");
    EXPECT_EQ(host.lamp(Lamp::Shape2), LampColor::Red);
    EXPECT_EQ(host.text(Control::Edit3), "共0个产品，此产品是第1个");
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
}

TEST_F(Signalling, ReminderThreeOfFive) {
    host.texts[Control::LabeledEdit1] = "5";
    host.texts[Control::LabeledEdit2] = "3";
    const char* expected[] = {"00", "00", "11", "11", "11", "1100"};
    for (int product = 1; product <= 6; ++product) {
        countProduct();
        EXPECT_EQ(host.sentFlags(), expected[product - 1]) << "product " << product;
        EXPECT_EQ(host.lamp(Lamp::Shape2), product < 3 ? LampColor::Lime : LampColor::Red) << "product " << product;
    }
    EXPECT_EQ(host.text(Control::Edit3), "共5个产品，此产品是第6个");
}

TEST_F(Signalling, APendingAlarmRidesAlongInBatchFrames) {
    core.SignalOverLimit();
    EXPECT_TRUE(host.timerOn(Timer::Timer2));
    EXPECT_EQ(host.records, std::vector<std::string>{"超高"});
    EXPECT_TRUE(host.frames.empty()) << "the verdict itself sends nothing";
    countProduct();
    EXPECT_EQ(host.sentFlags(), "5544");
}

TEST_F(Signalling, AFrameCarriesTheFlagsOfTheMomentOfItsSend) {
    core.SignalOverLimit();
    core.SendSignalFrame(core.state().SignalFlags);
    core.SendSignalFrame(core.state().SignalFlags);
    core.state().SignalFlags = 1; // bit 2 off before the second send's copies are due
    host.drain(core);
    EXPECT_EQ(host.sentFlags(), "55");
}

TEST_F(Signalling, AlarmDelayThenDuration) {
    core.SignalUnderLimit();
    EXPECT_EQ(host.lamp(Lamp::Shape1), LampColor::Yellow);
    host.events.clear();
    core.Timer2Timer();
    EXPECT_EQ(host.events[0], "Timer1=on") << "the duration counts from before the frames";
    EXPECT_EQ(host.events[1], "Timer2=off");
    host.drain(core);
    EXPECT_EQ(host.sentFlags(), "55") << "the reminder bit from creation rides along";
    host.frames.clear();
    core.Timer1Timer();
    host.drain(core);
    EXPECT_FALSE(host.timerOn(Timer::Timer1));
    EXPECT_EQ(host.sentFlags(), "11");
    EXPECT_EQ(core.state().SignalFlags, 1);
}

TEST_F(Signalling, AnAlarmRaisedDuringAnEarlierOnesOutputStillGoesOutAfterItsDelay) {
    core.SignalOverLimit(); // pack A
    host.advance(core, 1000);
    core.Timer2Timer(); // A's output begins
    host.advance(core, 1500);
    core.SignalUnderLimit(); // pack B, while A's output is on: Timer2 runs again
    host.advance(core, 2000);
    core.Timer1Timer(); // A's output ends and clears the bit: its copies at 2000, 2200, 2200, 2400
    EXPECT_EQ(core.state().SignalFlags & kToleranceAlarmBit, 0);
    host.frames.clear();
    host.frameTimes.clear();
    host.advance(core, 2100);
    core.Timer2Timer(); // B reaches the rejector while A's end is still on the line
    host.drain(core);
    EXPECT_EQ(host.frameTimes, (std::vector<std::int64_t>{2100, 2300, 2300, 2500}))
        << "the later alarm step overtakes the earlier one's copies";
    EXPECT_EQ(host.sentFlags(), "55") << "B's alarm goes out, not the flags A's end left behind";
    host.frames.clear();
    core.Timer1Timer();
    host.drain(core);
    EXPECT_EQ(host.sentFlags(), "11");
}

TEST_F(Signalling, ASecondAlarmDoesNotRestartTheDelay) {
    core.SignalOverLimit();
    host.events.clear();
    core.SignalOverLimit();
    EXPECT_EQ(host.events, (std::vector<std::string>{"Shape1=red", "record 超高"}));
}

TEST_F(Signalling, ModelSelectionClearsAllBitsAndSendsZeroTwice) {
    core.SignalOverLimit();
    host.events.clear();
    core.ModelSelected();
    host.drain(core);
    EXPECT_EQ(core.state().SignalFlags, 0);
    EXPECT_EQ(host.sentFlags(), "00");
    EXPECT_TRUE(host.timerOn(Timer::Timer2)) << "the timers are left alone";
    EXPECT_EQ(host.lamp(Lamp::Shape1), LampColor::Red) << "and so are the lamps";
}

TEST_F(Signalling, CloseSavesTheCountThenSendsOneClearedFrame) {
    core.state().ProductCount = 7;
    host.events.clear();
    core.FormClose();
    host.drain(core);
    EXPECT_EQ(host.events, (std::vector<std::string>{"productOver", "count 7", "frame 0", "frame 0"}));
}

TEST_F(Signalling, ACloseThatCannotSaveSendsNoFrame) {
    host.failSaveCount = true;
    EXPECT_THROW(core.FormClose(), std::runtime_error);
    EXPECT_TRUE(host.frames.empty());
    EXPECT_EQ(core.state().SignalFlags, 1);
}

TEST_F(Signalling, ABadBatchCountFailsAfterTheReminderFrames) {
    host.texts[Control::LabeledEdit1] = "";
    host.texts[Control::LabeledEdit2] = "1";
    core.CountGoodProduct();
    try {
        core.UpdateBatchReminder();
        FAIL();
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid integer value");
    }
    host.drain(core);
    EXPECT_EQ(host.sentFlags(), "11");
    EXPECT_EQ(host.lamp(Lamp::Shape2), LampColor::Red);
}
