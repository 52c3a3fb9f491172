#include "app/config/TextCodec.h"

#include <string>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(TextCodecTest, ConvertsBothWaysIncludingTheEuroSign) {
    EXPECT_EQ(TextCodec::utf8ToGbk("串行口 Com1 €"), "\xB4\xAE\xD0\xD0\xBF\xDA Com1 \x80");
    EXPECT_EQ(TextCodec::gbkToUtf8("\xB4\xAE\xD0\xD0\xBF\xDA Com1 \x80"), "串行口 Com1 €");
    EXPECT_EQ(TextCodec::gbkToUtf8(""), "");
}

TEST(TextCodecTest, LongTextsGrowTheBuffer) {
    std::string utf8;
    std::string gbk;
    for (int i = 0; i < 5000; ++i) {
        utf8 += "软件a";
        gbk += "\xC8\xED\xBC\xFE"
               "a";
    }
    EXPECT_EQ(TextCodec::utf8ToGbk(utf8), gbk);
    EXPECT_EQ(TextCodec::gbkToUtf8(gbk), utf8);
}

TEST(TextCodecTest, InvalidOrTruncatedInputFails) {
    EXPECT_FALSE(TextCodec::gbkToUtf8("ab\xC8"));           // ends inside a character
    EXPECT_FALSE(TextCodec::gbkToUtf8("\xFF\xFF"));         // no such character
    EXPECT_FALSE(TextCodec::utf8ToGbk("\xF0\x9F\x98\x80")); // not in GBK
    EXPECT_FALSE(TextCodec::utf8ToGbk("\xE8\xBD"));         // cut UTF-8
}

TEST(TextCodecTest, Utf8Validation) {
    EXPECT_TRUE(TextCodec::isValidUtf8("plain 软件 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(TextCodec::isValidUtf8("\xC0\xAF"));         // overlong
    EXPECT_FALSE(TextCodec::isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(TextCodec::isValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_FALSE(TextCodec::isValidUtf8("\xC8\xED\xBC\xFE")); // GBK bytes
    EXPECT_FALSE(TextCodec::hasNonAscii("ComName=Com1"));
    EXPECT_TRUE(TextCodec::hasNonAscii("\x80"));
}

} // namespace
} // namespace kelvora
