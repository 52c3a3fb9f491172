#include "simulator/IndicatorFrame.h"
#include "tests/support/FakeStationHost.h"
#include "weighing/IndicatorFamilies.h"
#include "weighing/WeighingCore.h"

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// The stable capture with the checked decoding, threshold 10, limits 12 to 20 (the line in kg).
class CheckedDecodingTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.texts[Control::Et2] = "20.000";
        host.texts[Control::Et3] = "12.000";
        host.texts[Control::LabeledEdit1] = "100";
        host.texts[Control::LabeledEdit2] = "90";
        core.state().ProductThreshold = 10.0;
        core.state().SamplingChoice = Sampling::Stable;
        use("toledo");
    }
    void use(std::string_view family) { core.state().IndicatorFormat = IndicatorFamilies::format(family); }
    void feed(const std::string& bytes) {
        core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              static_cast<std::uint16_t>(bytes.size()));
    }
    std::string edit1() const { return host.text(Control::Edit1); }
    long count(const std::string& event) const { return std::count(host.events.begin(), host.events.end(), event); }

    test::FakeStationHost host;
    WeighingCore core{host};
};

} // namespace

TEST_F(CheckedDecodingTest, AFrameCutByAReadIsReadWholeAndNeverBecomesAProduct) {
    // Each frame arrives in two reads, cut after its four leading bytes (the fixed decoder read the weight
    // digits of the first part's neighbour and once stored a 250 kg product).
    std::vector<double> weights{0, 0, 5, 15, 15, 15, 15, 15, 5, 0, 0};
    for (double w : weights) {
        const std::string frame = IndicatorFrame::toledo(w, false);
        feed(frame.substr(0, 4));
        feed(frame.substr(4));
    }
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
    EXPECT_EQ(host.text(Control::Edit2), "15.000");
    EXPECT_EQ(edit1(), "0.000");
    EXPECT_EQ(count("badframe checksum"), 0);
}

TEST_F(CheckedDecodingTest, ADamagedFrameIsCountedAndShowsNothing) {
    feed(IndicatorFrame::toledo(3.0, false));
    std::string damaged = IndicatorFrame::toledo(250.0, false);
    damaged[6] = '9'; // the checksum no longer fits
    feed(damaged);
    EXPECT_EQ(edit1(), "3.000");
    EXPECT_EQ(count("badframe checksum"), 1);
    EXPECT_EQ(core.checkedFrames()->badFrames(), 1U);
    EXPECT_TRUE(host.records.empty());
}

TEST_F(CheckedDecodingTest, SignDecimalsAndTheZeroOffsetAreApplied) {
    use("ascii-line");
    core.state().ZeroOffset = 0.5;
    feed("ST,GS,-0001.234kg\r\n");
    EXPECT_EQ(edit1(), "-1.734");
    use("yaohua-reversed");
    feed("=50.0010");
    EXPECT_EQ(edit1(), "99.550");
}

TEST_F(CheckedDecodingTest, UnitsAreConvertedIntoTheLinesUnit) {
    core.state().LineUnit = MassUnit::Gram;
    use("ascii-line");
    feed("ST,GS,+0001.250kg\r\n");
    EXPECT_EQ(edit1(), "1250.000");
    feed("ST,GS,+0000.500lb\r\n");
    EXPECT_EQ(edit1(), "226.796");
    feed("ST,GS,+0007.000\r\n"); // no unit: the line's
    EXPECT_EQ(edit1(), "7.000");
}

TEST_F(CheckedDecodingTest, OverloadIsShownInsteadOfAWeightAndNeverJudged) {
    feed(IndicatorFrame::toledo(3.0, false));
    feed(IndicatorFrame::toledo(20000.0, false)); // beyond six digits: out of range
    EXPECT_EQ(edit1(), "超载");
    feed(IndicatorFrame::toledo(-20000.0, false));
    EXPECT_EQ(edit1(), "欠载");
    EXPECT_FALSE(core.stableCapture().inProgress());
    EXPECT_TRUE(host.records.empty());
    core.BtnBulletsClick();
    EXPECT_EQ(host.events.back(), "message 提示: 仪表欠载，不能清零");
    EXPECT_DOUBLE_EQ(core.state().ZeroOffset, 0.0);
}

TEST_F(CheckedDecodingTest, TheStableCaptureSettlesOnlyOnReadingsTheIndicatorCallsStable) {
    use("ascii-line");
    for (int i = 0; i < 6; ++i) {
        feed(IndicatorFrame::asciiLine(15.0, true)); // level, but the indicator says it is moving
    }
    EXPECT_TRUE(host.records.empty());
    for (int i = 0; i < 3; ++i) {
        feed(IndicatorFrame::asciiLine(15.0, false));
    }
    EXPECT_TRUE(host.records.empty()) << "three stable readings are not yet settled";
    feed(IndicatorFrame::asciiLine(15.0, false));
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
}

TEST_F(CheckedDecodingTest, TheDivisionIsTheFramesOwn) {
    // Yaohua frames with three decimals: a spread of 0.004 is within four divisions of 0.001.
    use("yaohua");
    for (double w : {15.001, 15.004, 15.002, 15.003}) {
        char frame[16];
        std::snprintf(frame, sizeof frame, "+%06d3", static_cast<int>(w * 1000 + 0.5));
        const std::uint8_t check = IndicatorFrame::yaohuaCheck(frame);
        static constexpr char kHex[] = "0123456789ABCDEF";
        feed(std::string("\x02") + frame + kHex[check >> 4] + kHex[check & 15] + "\x03");
    }
    EXPECT_EQ(host.records, std::vector<std::string>{"正常"});
    EXPECT_EQ(host.text(Control::Edit2), "15.003"); // the mean 15.0025, as shown
}

namespace {

// Notes each request of a polled indicator apart from the output frames.
class PollingHost : public test::FakeStationHost {
public:
    bool writeData(const std::uint8_t* data, std::uint16_t length) override {
        if (std::string(reinterpret_cast<const char*>(data), length) == "SI\r\n") {
            events.push_back("poll " + std::to_string(now));
            return true;
        }
        return FakeStationHost::writeData(data, length);
    }
};

} // namespace

TEST(CheckedDecodingPolls, ThePolledIndicatorIsAskedAtItsRateAndNeverJustBeforeAnOutputCopy) {
    PollingHost host;
    WeighingCore core(host);
    core.state().IndicatorFormat = IndicatorFamilies::format("sics");
    core.state().PollIntervalMs = 100;
    core.state().SilenceLimitMs = 0;
    core.OpenPort();
    host.advance(core, 220);
    EXPECT_EQ(host.events, (std::vector<std::string>{"port open", "poll 0", "poll 100", "poll 200"}));
    host.events.clear();
    core.SendSignalFrame(1); // copies at 220 and 420: the poll due at 400 waits until the copy is out
    host.advance(core, 650);
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"frame 1", "poll 300", "frame 1", "poll 420", "poll 520", "poll 620"}));
    core.ClosePort();
    host.events.clear();
    host.advance(core, 1000);
    EXPECT_TRUE(host.events.empty());
}
