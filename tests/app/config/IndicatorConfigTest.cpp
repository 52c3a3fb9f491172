#include "app/config/StationConfig.h"
#include "app/config/TextCodec.h"
#include "tests/support/TempDirTest.h"
#include "weighing/IndicatorFamilies.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// Which decoding and family the station loads from [仪表], and the user's format beside Option.ini.
class IndicatorConfigTest : public test::TempDirTest {
protected:
    StationSettings load() {
        m_state = WeighingState{};
        return StationConfig::loadMainWindow(m_ini, m_state);
    }
    std::string refusal() {
        try {
            load();
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "(loaded)";
    }
    void writeFormat(const std::string& utf8) const { writeBytes(StationConfig::userFormatPath(m_ini), utf8); }

    WeighingState m_state;
};

TEST_F(IndicatorConfigTest, WithoutTheDecodingKeyTheFixedDecodersStay) {
    writeBytes("[仪表]\r\n1=0\r\n2=1\r\n");
    const StationSettings settings = load();
    EXPECT_EQ(m_state.IndicatorFormat, nullptr);
    EXPECT_EQ(m_state.IndicatorType, 2);
    EXPECT_EQ(settings.dataBits, 8);
    writeBytes("[仪表]\r\n型号=yaohua\r\n解码=固定\r\n");
    load();
    EXPECT_EQ(m_state.IndicatorFormat, nullptr) << "toledo and yaohua need 解码=完整帧 for whole frames";
}

TEST_F(IndicatorConfigTest, WholeFramesReadTheFamilyOfKeysOneAndTwoOrOfTheModelKey) {
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n1=0\r\n2=1\r\n解码=完整帧\r\n[串行口]\r\nParity=Even\r\n").value());
    const StationSettings settings = load();
    EXPECT_EQ(m_state.IndicatorFormat, IndicatorFamilies::format("yaohua"));
    EXPECT_EQ(settings.dataBits, 7) << "7E1, as indicators send it";
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n型号=ascii-line\r\n[统计]\r\n重量单位=g\r\n").value());
    load();
    EXPECT_EQ(m_state.IndicatorFormat, IndicatorFamilies::format("ascii-line")) << "a further family needs no 解码";
    EXPECT_EQ(m_state.LineUnit, MassUnit::Gram);
}

TEST_F(IndicatorConfigTest, ThePolledFamilysRateBecomesItsInterval) {
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n型号=sics\r\n查询频率=4\r\n").value());
    load();
    EXPECT_EQ(m_state.PollIntervalMs, 250);
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n型号=sics\r\n查询频率=0\r\n").value());
    load();
    EXPECT_EQ(m_state.PollIntervalMs, 0);
}

TEST_F(IndicatorConfigTest, AnUnknownFamilyOrABadUserFormatIsRefusedAtTheStart) {
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n型号=mettler\r\n").value());
    EXPECT_EQ(refusal(), "Option.ini [仪表] 型号=mettler 不是已知的仪表型号");
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n型号=user\r\n").value());
    EXPECT_EQ(refusal().rfind("找不到仪表格式文件：", 0), 0U) << refusal();
    writeFormat("[格式]\n结束=<CR>\n重量=3,5\n颜色=红\n");
    EXPECT_EQ(refusal(), "仪表格式.ini 第4行：未知的键“颜色”");
    // Everything else is loaded, and no frame is taken for a weight until the file is mended.
    EXPECT_EQ(m_state.SilenceLimitMs, 3000);
    ASSERT_NE(m_state.IndicatorFormat, nullptr);
    IndicatorReading reading;
    EXPECT_NE(m_state.IndicatorFormat->read("ab12345\r", reading), nullptr);
}

TEST_F(IndicatorConfigTest, TheUserFormatIsReadInUtf8OrGbk) {
    writeBytes(TextCodec::utf8ToGbk("[仪表]\r\n型号=user\r\n").value());
    const std::string definition = "; 秤\n[格式]\n结束=<CR>\n重量=1,6\n";
    writeFormat(TextCodec::utf8ToGbk(definition).value());
    load();
    ASSERT_NE(m_state.IndicatorFormat, nullptr);
    EXPECT_EQ(m_state.IndicatorFormat->shape().end, "\r");
    writeFormat(definition);
    load();
    EXPECT_NE(m_state.IndicatorFormat, nullptr);
}

} // namespace
} // namespace kelvora
