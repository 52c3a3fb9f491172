#include "simulator/IndicatorFrame.h"
#include "weighing/AsciiLineFormat.h"
#include "weighing/SicsFormat.h"
#include "weighing/ToledoFormat.h"
#include "weighing/YaohuaFormat.h"
#include "weighing/YaohuaReversedFormat.h"

#include <string>
#include <variant>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// The reading of one whole frame, or the reason it was refused.
std::variant<IndicatorReading, std::string> readFrame(const FrameFormat& format, const std::string& frame) {
    IndicatorReading reading;
    const char* reason = format.read(frame, reading);
    if (reason != nullptr) {
        return std::string(reason == FrameFormat::kNoReading ? "(no reading)" : reason);
    }
    return reading;
}

IndicatorReading reads(const FrameFormat& format, const std::string& frame) {
    auto result = readFrame(format, frame);
    if (auto* reason = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << "refused: " << *reason;
        return {};
    }
    return std::get<IndicatorReading>(result);
}

std::string refusal(const FrameFormat& format, const std::string& frame) {
    auto result = readFrame(format, frame);
    return std::holds_alternative<std::string>(result) ? std::get<std::string>(result) : "(read)";
}

// A Toledo frame with the given status words and digits, its checksum made to fit.
std::string toledo(char a, char b, const std::string& weight, const std::string& tare = "000000") {
    std::string frame = std::string("\x02") + a + b + '\x20' + weight + tare + '\r';
    return frame + ToledoFormat::checksum(frame);
}

// A Yaohua frame around the sign, digits and decimals given, with check characters that fit.
std::string yaohua(const std::string& checked) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::uint8_t check = IndicatorFrame::yaohuaCheck(checked);
    return "\x02" + checked + kHex[check >> 4] + kHex[check & 15] + "\x03";
}

} // namespace

TEST(ToledoFormat, ReadsThreeDecimalsUnitAndState) {
    // 12.345 kg gross, stable; the seven-bit sum of the bytes before the checksum is 0x5B.
    const std::string frame("\x02\x2D\x30\x20"
                            "012345000000\r\x25",
                            18);
    const IndicatorReading r = reads(ToledoFormat(true), frame);
    EXPECT_DOUBLE_EQ(r.value, 12.345);
    EXPECT_DOUBLE_EQ(r.division, 0.001);
    EXPECT_EQ(r.unit, MassUnit::Kilogram);
    EXPECT_EQ(r.stable, true);
    EXPECT_FALSE(r.net);
    EXPECT_EQ(r.state, ReadingState::Weight);
}

TEST(ToledoFormat, EveryDecimalPointPositionAndIncrement) {
    const ToledoFormat format(true);
    // code 0: XXXX00, increment x5 (bits 4..3 = 11)
    IndicatorReading r = reads(format, toledo(0x38, 0x30, "001234"));
    EXPECT_DOUBLE_EQ(r.value, 123400.0);
    EXPECT_DOUBLE_EQ(r.division, 500.0);
    EXPECT_DOUBLE_EQ(reads(format, toledo(0x2A, 0x30, "001234")).value, 1234.0);
    r = reads(format, toledo(0x37, 0x30, "001234")); // code 7: five decimals, increment x2
    EXPECT_DOUBLE_EQ(r.value, 0.01234);
    EXPECT_DOUBLE_EQ(r.division, 0.00002);
    EXPECT_DOUBLE_EQ(reads(format, toledo(0x2C, 0x30, "  1234")).value, 12.34); // blanked leading zeros
}

TEST(ToledoFormat, SignNetMotionPoundsAndRange) {
    const ToledoFormat format(true);
    IndicatorReading r = reads(format, toledo(0x2C, 0x20 | 0x01 | 0x02 | 0x08, "000350"));
    EXPECT_DOUBLE_EQ(r.value, -3.5);
    EXPECT_TRUE(r.net);
    EXPECT_EQ(r.stable, false);
    EXPECT_EQ(r.unit, MassUnit::Pound);
    EXPECT_EQ(reads(format, toledo(0x2C, 0x34, "999999")).state, ReadingState::Overload);
    EXPECT_EQ(reads(format, toledo(0x2C, 0x36, "999999")).state, ReadingState::Underload);
}

TEST(ToledoFormat, RefusesDamagedFrames) {
    const ToledoFormat format(true);
    std::string good = toledo(0x2C, 0x30, "001234");
    std::string bad = good;
    bad[17] = static_cast<char>(bad[17] ^ 0x01);
    EXPECT_EQ(refusal(format, bad), "checksum");
    bad = good;
    bad[7] = '5'; // one digit changed: the checksum no longer fits
    EXPECT_EQ(refusal(format, bad), "checksum");
    EXPECT_EQ(refusal(format, toledo(0x0C, 0x30, "001234")), "status word");
    EXPECT_EQ(refusal(format, toledo(0x2C, 0x30, "0012A4")), "digits");
    EXPECT_EQ(refusal(format, toledo(0x2C, 0x30, "001 34")), "digits");
    EXPECT_EQ(refusal(format, toledo(0x2C, static_cast<char>(0xB0), "001234")), "eighth bit set");
    bad = good;
    bad[16] = '0';
    EXPECT_EQ(refusal(format, bad), "no CR at the frame's end");
}

TEST(ToledoFormat, WithoutChecksumTheSeventeenBytesAreRead) {
    const ToledoFormat format(false);
    EXPECT_EQ(format.shape().length, 17U);
    EXPECT_DOUBLE_EQ(reads(format, IndicatorFrame::toledo(-7.25, false, false)).value, -7.25);
}

TEST(YaohuaFormat, ReadsSignDecimalsAndChecksTheCharacters) {
    const YaohuaFormat format;
    const std::string plus("\x02+002000"
                           "21B\x03",
                           12);
    IndicatorReading r = reads(format, plus);
    EXPECT_DOUBLE_EQ(r.value, 20.0);
    EXPECT_DOUBLE_EQ(r.division, 0.01);
    EXPECT_FALSE(r.stable.has_value());
    EXPECT_EQ(r.unit, MassUnit::Unknown);
    EXPECT_DOUBLE_EQ(reads(format, IndicatorFrame::yaohua(-12.3)).value, -12.3);
    std::string lower = IndicatorFrame::yaohua(15.0);
    EXPECT_DOUBLE_EQ(reads(format, lower).value, 15.0);

    std::string bad = plus;
    bad[4] = '3';
    EXPECT_EQ(refusal(format, bad), "check characters");
    bad = plus;
    bad[1] = ' ';
    EXPECT_EQ(refusal(format, bad), "sign");
    EXPECT_EQ(refusal(format, yaohua("+0020005")), "decimals");
    EXPECT_EQ(refusal(format, yaohua("+00 0002")), "digits");
    EXPECT_EQ(refusal(format, yaohua("+0020002").substr(0, 11) + "\x04"), "(read)") << "the assembler checks the end";
}

TEST(YaohuaReversedFormat, ReadsTheDisplayLastCharacterFirst) {
    const YaohuaReversedFormat format;
    IndicatorReading r = reads(format, "=50.0010");
    EXPECT_DOUBLE_EQ(r.value, 100.05);
    EXPECT_DOUBLE_EQ(r.division, 0.01);
    EXPECT_DOUBLE_EQ(reads(format, "=5.2100-").value, -12.5);
    EXPECT_DOUBLE_EQ(reads(format, "=0000000").value, 0.0);
    EXPECT_DOUBLE_EQ(reads(format, IndicatorFrame::yaohuaReversed(-3.25)).value, -3.25);
    EXPECT_EQ(refusal(format, "=5.2.000"), "decimal point");
    EXPECT_EQ(refusal(format, "=5.21-00"), "display characters");
    EXPECT_EQ(refusal(format, "=5.21A00"), "display characters");
    EXPECT_EQ(refusal(format, "=.520000"), "decimal point");
}

TEST(AsciiLineFormat, ReadsStateKindSignValueAndUnit) {
    const AsciiLineFormat format;
    IndicatorReading r = reads(format, "ST,GS,+0012.345kg\r\n");
    EXPECT_DOUBLE_EQ(r.value, 12.345);
    EXPECT_EQ(r.unit, MassUnit::Kilogram);
    EXPECT_EQ(r.stable, true);
    EXPECT_FALSE(r.net);
    r = reads(format, "US,NT,-  1.20 lb\r\n");
    EXPECT_DOUBLE_EQ(r.value, -1.2);
    EXPECT_DOUBLE_EQ(r.division, 0.01);
    EXPECT_EQ(r.unit, MassUnit::Pound);
    EXPECT_EQ(r.stable, false);
    EXPECT_TRUE(r.net);
    EXPECT_EQ(reads(format, "ST,GS,+001250g\r\n").unit, MassUnit::Gram);
    EXPECT_EQ(reads(format, "OL,GS,+9999.999kg\r\n").state, ReadingState::Overload);
    EXPECT_EQ(reads(format, "OL,GS,-------kg\r\n").state, ReadingState::Underload);
}

TEST(AsciiLineFormat, RefusesLinesOfAnotherShape) {
    const AsciiLineFormat format;
    EXPECT_EQ(refusal(format, "SX,GS,+0012.345kg\r\n"), "state or kind");
    EXPECT_EQ(refusal(format, "ST;GS,+0012.345kg\r\n"), "line layout");
    EXPECT_EQ(refusal(format, "ST,GS,+0012.345oz\r\n"), "unit");
    EXPECT_EQ(refusal(format, "ST,GS,+00a2.345kg\r\n"), "number");
    EXPECT_EQ(refusal(format, "ST,GS,+0012..45kg\r\n"), "number");
    EXPECT_EQ(refusal(format, "ST,GS,kg\r\n"), "number");
}

TEST(SicsFormat, ReadsStableAndDynamicAnswersAndTheRangeStates) {
    const SicsFormat format;
    EXPECT_EQ(format.request(), "SI\r\n");
    IndicatorReading r = reads(format, "S S      12.345 kg\r\n");
    EXPECT_DOUBLE_EQ(r.value, 12.345);
    EXPECT_EQ(r.stable, true);
    r = reads(format, "S D     -120.5 g\r\n");
    EXPECT_DOUBLE_EQ(r.value, -120.5);
    EXPECT_EQ(r.unit, MassUnit::Gram);
    EXPECT_EQ(r.stable, false);
    EXPECT_EQ(reads(format, "S +\r\n").state, ReadingState::Overload);
    EXPECT_EQ(reads(format, "S -\r\n").state, ReadingState::Underload);
    EXPECT_EQ(refusal(format, "S I\r\n"), "(no reading)");
    EXPECT_EQ(refusal(format, "ES\r\n"), "(no reading)");
    EXPECT_EQ(refusal(format, "S X 1.0 kg\r\n"), "answer");
    EXPECT_EQ(refusal(format, "S S 1.0\r\n"), "unit");
    EXPECT_EQ(refusal(format, "S S 1.0.0 kg\r\n"), "number");
}

TEST(IndicatorFrames, EverySimulatedFamilyReadsBackItsWeight) {
    const struct {
        IndicatorKind kind;
        std::shared_ptr<FrameFormat> format;
    } families[] = {{IndicatorKind::Toledo, std::make_shared<ToledoFormat>(true)},
                    {IndicatorKind::ToledoPlain, std::make_shared<ToledoFormat>(false)},
                    {IndicatorKind::Yaohua, std::make_shared<YaohuaFormat>()},
                    {IndicatorKind::YaohuaReversed, std::make_shared<YaohuaReversedFormat>()},
                    {IndicatorKind::AsciiLine, std::make_shared<AsciiLineFormat>()},
                    {IndicatorKind::Sics, std::make_shared<SicsFormat>()}};
    for (const auto& family : families) {
        const double step = IndicatorFrame::resolution(family.kind);
        for (double weight : {0.0, 15.0, -2.5, 123.4}) {
            SCOPED_TRACE(std::string(IndicatorFrame::id(family.kind)) + " " + std::to_string(weight));
            const std::string frame = IndicatorFrame::make(family.kind, weight, weight < 0);
            EXPECT_EQ(frame.size(), IndicatorFrame::length(family.kind));
            const IndicatorReading r = reads(*family.format, frame);
            EXPECT_NEAR(r.value, weight, step / 2);
            if (r.stable) {
                EXPECT_EQ(*r.stable, weight >= 0);
            }
        }
    }
}
