#include "tests/support/FakeStationHost.h"
#include "weighing/NumberText.h"
#include "weighing/WeighingCore.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class Decoding : public ::testing::Test {
protected:
    void feed(const std::string& chunk) {
        core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(chunk.data()),
                              static_cast<std::uint16_t>(chunk.size()));
    }
    std::string edit1() const { return host.text(Control::Edit1); }
    double lastSample() const { return core.state().SampleWindow[0]; }

    test::FakeStationHost host;
    WeighingCore core{host};
};

class ToledoDecoding : public Decoding {
protected:
    void SetUp() override { core.state().IndicatorType = 1; }
};

class YaohuaDecoding : public Decoding {
protected:
    void SetUp() override { core.state().IndicatorType = 2; }
};

const std::string kToledoFrame = "\x02"
                                 "ABC012345000000\r";

} // namespace

TEST_F(ToledoDecoding, ReadsFiveDigitsAfterTheStatusAsHundredths) {
    EXPECT_EQ(edit1(), "None");
    feed(kToledoFrame);
    EXPECT_EQ(edit1(), "123.450");
    EXPECT_DOUBLE_EQ(lastSample(), 123.45);
}

TEST_F(ToledoDecoding, SubtractsTheZeroOffset) {
    core.state().ZeroOffset = 1.5;
    feed(kToledoFrame);
    EXPECT_EQ(edit1(), "121.950");
}

TEST_F(ToledoDecoding, TakesTheFrameAtTheFirstStx) {
    feed("xx" + kToledoFrame +
         "\x02"
         "ABC099999000000\r");
    EXPECT_EQ(edit1(), "123.450");
}

TEST_F(ToledoDecoding, ShortAndBadFields) {
    feed("\x02"
         "ABC00");
    EXPECT_EQ(edit1(), "0.000");
    feed("\x02"
         "ABC012A45000000\r");
    EXPECT_EQ(edit1(), "0.000") << "a field that does not convert leaves Edit1 alone";
    EXPECT_DOUBLE_EQ(lastSample(), 0.0) << "and runs no capture";
    feed("\x02"
         "ABC0");
    EXPECT_EQ(edit1(), "0.000") << "an empty field does not convert";
}

TEST_F(ToledoDecoding, WithoutStxTheFieldStartsAtTheFifthCharacter) {
    feed("ABCD01234xyz");
    EXPECT_EQ(edit1(), "12.340");
}

TEST_F(ToledoDecoding, AZeroByteEndsTheText) {
    feed(std::string("\x02"
                     "ABC0123",
                     8) +
         std::string(1, '\0') + "45000000\r");
    EXPECT_EQ(edit1(), "1.230");
}

TEST_F(ToledoDecoding, ADoubleByteCharacterBeforeTheMarkerShiftsTheField) {
    // The marker is found by byte, the field copied by character: one GBK character ahead of the STX moves
    // the field one character to the right.
    feed("\xD6\xD0" + kToledoFrame);
    EXPECT_EQ(edit1(), "234.500");
}

TEST_F(YaohuaDecoding, ReadsSixDigitsAfterTheSignAsTenths) {
    feed("\x02+0012341AB\x03");
    EXPECT_EQ(edit1(), "123.400");
    feed("0");
    EXPECT_EQ(edit1(), "123.400") << "the frame one chunk back is still in the joined text";
}

TEST_F(YaohuaDecoding, MinusFrameGivesANegativeWeight) {
    feed("\x02-0001501AB\x03");
    EXPECT_EQ(edit1(), "-15.000");
    EXPECT_EQ(core.state().ChunkHistory[1], "\x02-0001501AB\x03");
}

TEST_F(YaohuaDecoding, OfBothMarkersTheOneThatStartsLaterWins) {
    feed("\x02-0001501AB\x03\x02+0012341AB\x03");
    EXPECT_EQ(edit1(), "123.400");
}

TEST_F(YaohuaDecoding, PlusBeforeMinusUsesTheMinusFrame) {
    feed("\x02+0012341AB\x03\x02-0001501AB\x03");
    EXPECT_EQ(edit1(), "-15.000");
}

TEST_F(YaohuaDecoding, NoMarkerFailsButTheHistoryStillTurns) {
    feed("ABCDEFGH");
    EXPECT_EQ(edit1(), "None");
    EXPECT_EQ(core.state().ChunkHistory[1], "ABCDEFGH");
    feed("X00012");
    EXPECT_EQ(core.state().ChunkHistory[0], "ABCDEFGH");
    EXPECT_EQ(core.state().ChunkHistory[1], "X00012");
}

TEST_F(YaohuaDecoding, NoMarkerReadsCharactersTwoToSevenAsNegative) {
    feed("x0001505");
    EXPECT_EQ(edit1(), "-15.000");
}

TEST_F(YaohuaDecoding, AFrameSplitOverChunksIsReadFromTheOldestChunkThatHoldsAMarker) {
    feed("\x02+001");
    EXPECT_EQ(edit1(), "0.100");
    feed("2341AB\x03");
    EXPECT_EQ(edit1(), "123.400");
    feed("\x02+0099991AB\x03");
    EXPECT_EQ(edit1(), "123.400") << "the first chunk is still in the joined text";
    feed("\x02+0055551AB\x03");
    EXPECT_EQ(edit1(), "999.900");
}

TEST_F(YaohuaDecoding, HistorySurvivesStopAndStart) {
    host.texts[Control::ComboBox1] = "A";
    feed("\x02+001");
    core.BtnClearClick("BtnClear");
    core.BtnSetTabsClick();
    feed("2341AB\x03");
    EXPECT_EQ(edit1(), "123.400");
}

TEST_F(YaohuaDecoding, AnOverflowingWeightShowsInfinityAsAWordAndZeroRefusesIt) {
    core.state().ZeroOffset = -std::numeric_limits<double>::max();
    core.state().ProductThreshold = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 3; ++i) {
        try {
            feed("\x02+9e307 1AB\x03");
        } catch (const ConversionError&) {
            // the capture cannot read the word back: that chunk ends with the error box
        }
    }
    EXPECT_EQ(edit1(), "INF");
    try {
        core.BtnBulletsClick();
        FAIL() << "an infinite weight is no offset";
    } catch (const std::exception& error) {
        EXPECT_NE(std::string(error.what()).find("is not a valid floating point value"), std::string::npos);
    }
    EXPECT_EQ(core.state().ZeroOffset, -std::numeric_limits<double>::max());
}
