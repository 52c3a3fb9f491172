#include "weighing/UserFormat.h"

#include "weighing/FrameAssembler.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

IndicatorReading readOne(const UserFormat& format, const std::string& frame) {
    IndicatorReading reading;
    const char* reason = format.read(frame, reading);
    EXPECT_EQ(reason, nullptr) << (reason ? reason : "");
    return reading;
}

std::string refusalOf(const std::string& definition) {
    try {
        UserFormat::parse(definition, "仪表格式.ini");
    } catch (const UserFormat::Error& error) {
        return error.what();
    }
    return "(accepted)";
}

// A fixed-position format: STX, state, sign, six digits (two decimals), unit-less, ETX.
const char* const kPositional = "; a scale of our own\n"
                                "[格式]\n"
                                "起始=<STX>\n"
                                "结束=\\x03\n"
                                "长度=10\n"
                                "状态=2,1\n"
                                "稳定=S\n"
                                "超载=O\n"
                                "欠载=U\n"
                                "符号=3,1\n"
                                "负号=-\n"
                                "重量=4,6\n"
                                "小数位=2\n";

} // namespace

TEST(UserFormat, ReadsFieldsByPosition) {
    const UserFormat format = UserFormat::parse(kPositional, "仪表格式.ini");
    EXPECT_EQ(format.shape().start, "\x02");
    EXPECT_EQ(format.shape().end, "\x03");
    IndicatorReading r = readOne(format, "\x02S-001234\x03");
    EXPECT_DOUBLE_EQ(r.value, -12.34);
    EXPECT_DOUBLE_EQ(r.division, 0.01);
    EXPECT_EQ(r.stable, true);
    r = readOne(format, "\x02M+000050\x03");
    EXPECT_DOUBLE_EQ(r.value, 0.5);
    EXPECT_EQ(r.stable, false);
    EXPECT_EQ(readOne(format, "\x02O+999999\x03").state, ReadingState::Overload);
    EXPECT_EQ(readOne(format, "\x02U-999999\x03").state, ReadingState::Underload);
    IndicatorReading ignored;
    EXPECT_STREQ(format.read("\x02S+00A234\x03", ignored), "weight");
}

TEST(UserFormat, ReadsFieldsByPatternWithAScaleAndUnit) {
    const UserFormat format = UserFormat::parse("[格式]\n"
                                                "结束=\\r\\n\n"
                                                "模式=^W:([ 0-9.]+)/(S|D)\\r\\n$\n"
                                                "重量=$1\n"
                                                "状态=$2\n"
                                                "稳定=S\n"
                                                "比例=0.5\n"
                                                "单位=lb\n",
                                                "仪表格式.ini");
    const IndicatorReading r = readOne(format, "W:  24.60/D\r\n");
    EXPECT_DOUBLE_EQ(r.value, 12.3);
    EXPECT_DOUBLE_EQ(r.division, 0.005);
    EXPECT_EQ(r.unit, MassUnit::Pound);
    EXPECT_EQ(r.stable, false);
    IndicatorReading ignored;
    EXPECT_STREQ(format.read("X:  24.60/D\r\n", ignored), "pattern");
}

TEST(UserFormat, AFrameTooShortForItsFieldsIsRefused) {
    const UserFormat format = UserFormat::parse("[格式]\n结束=<CR>\n重量=3,5\n", "仪表格式.ini");
    IndicatorReading ignored;
    EXPECT_STREQ(format.read("ab12\r", ignored), "length");
    EXPECT_EQ(format.read("ab12345\r", ignored), nullptr);
    EXPECT_DOUBLE_EQ(ignored.value, 12345.0);
}

TEST(UserFormat, WorksWithTheAssemblerAcrossReads) {
    const auto format = std::make_shared<const UserFormat>(UserFormat::parse(kPositional, "仪表格式.ini"));
    struct Sink : FrameSink {
        void reading(const IndicatorReading& r) override { values.push_back(r.value); }
        void badFrame(std::string_view) override { ++bad; }
        std::vector<double> values;
        int bad = 0;
    } sink;
    FrameAssembler assembler(format);
    assembler.feed("\x02S+0012", sink);
    assembler.feed("34\x03\x02S+00", sink);
    assembler.feed("0100\x03", sink);
    EXPECT_EQ(sink.values, (std::vector<double>{12.34, 1.0}));
    EXPECT_EQ(sink.bad, 0);
}

TEST(UserFormat, ABadDefinitionIsRefusedNamingItsLine) {
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n颜色=红\n重量=1,2\n"), "仪表格式.ini 第3行：未知的键“颜色”");
    EXPECT_EQ(refusalOf("\n[格式]\n结束=<CR>\n"), "仪表格式.ini 第2行：缺少“重量”字段");
    EXPECT_EQ(refusalOf("[格式]\n重量=1,2\n"), "仪表格式.ini 第1行：需要“结束”或“长度”之一，才能分出一帧");
    EXPECT_EQ(refusalOf("[格式]\n长度=8\n重量=5,6\n"), "仪表格式.ini 第3行：重量应为“位置,长度”，且在帧的长度 8 之内");
    EXPECT_EQ(refusalOf("[格式]\n长度=8\n重量=abc\n"), "仪表格式.ini 第3行：重量应为“位置,长度”，且在帧的长度 8 之内");
    EXPECT_EQ(refusalOf("[格式]\n长度=x8\n重量=1,2\n"), "仪表格式.ini 第2行：长度应为 1 到 1024 的整数");
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n模式=(a\n重量=$1\n").find("仪表格式.ini 第3行：模式不是有效的正则表达式"),
              0U);
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n模式=(a)(b)\n重量=$3\n"), "仪表格式.ini 第4行：重量“$3”不是模式中的分组");
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n重量=1,2\n负号=-\n"), "仪表格式.ini 第4行：负号需要同时给出“符号”字段");
    EXPECT_EQ(refusalOf("[格式]\n结束=<BEL>\n重量=1,2\n"), "仪表格式.ini 第2行：无法识别的标记“<BEL>”");
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n重量=1,2\n重量=3,2\n"), "仪表格式.ini 第4行：键“重量”重复");
    EXPECT_EQ(refusalOf("[其他]\n结束=<CR>\n"), "仪表格式.ini 第2行：不在 [格式] 节内：结束=<CR>");
    EXPECT_EQ(refusalOf("; empty\n"), "仪表格式.ini 第1行：缺少 [格式] 节");
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n重量=1,2\n比例=-1\n"), "仪表格式.ini 第4行：比例应为正数");
    EXPECT_EQ(refusalOf("[格式]\n结束=<CR>\n重量=1,2\n单位=oz\n"), "仪表格式.ini 第4行：单位应为 kg、g 或 lb");
}
