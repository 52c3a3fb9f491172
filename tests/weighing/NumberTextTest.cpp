#include "weighing/NumberText.h"

#include <limits>

#include <gtest/gtest.h>

using kelvora::ConversionError;
using kelvora::NumberText;

TEST(NumberText, AcceptsTheNumberForms) {
    EXPECT_EQ(NumberText::parseFloat("12"), 12.0);
    EXPECT_EQ(NumberText::parseFloat("  12  "), 12.0);
    EXPECT_EQ(NumberText::parseFloat("+1.5"), 1.5);
    EXPECT_EQ(NumberText::parseFloat("  -1.5"), -1.5);
    EXPECT_EQ(NumberText::parseFloat("1e3"), 1000.0);
    EXPECT_EQ(NumberText::parseFloat("1.5E-2"), 0.015);
    EXPECT_EQ(NumberText::parseFloat(".5"), 0.5);
    EXPECT_EQ(NumberText::parseFloat("5."), 5.0);
    EXPECT_EQ(NumberText::parseFloat("-000150"), -150.0);
}

TEST(NumberText, RejectsEverythingElse) {
    for (const char* text : {"", " ", "- 1", "1 2", "abc", "1e", "1e+", "12A45", "1,5", "0x10", "\t1", "+", ".", "--1",
                             "1e999", "-BCDEFG"}) {
        EXPECT_FALSE(NumberText::parseFloat(text).has_value()) << '"' << text << '"';
    }
}

TEST(NumberText, WholeNumbersFitIn32Bits) {
    EXPECT_EQ(NumberText::parseInteger(" -7 "), -7);
    EXPECT_EQ(NumberText::parseInteger("2147483647"), 2147483647);
    EXPECT_EQ(NumberText::parseInteger("-2147483648"), -2147483647 - 1);
    for (const char* text : {"12.5", "", "2147483648", "-2147483649", "1e3", "- 3", "99999999999999999999"}) {
        EXPECT_FALSE(NumberText::parseInteger(text).has_value()) << '"' << text << '"';
    }
}

TEST(NumberText, FailuresCarryTheTextInTheirMessage) {
    try {
        NumberText::toFloat("None");
        FAIL();
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'None' is not a valid floating point value");
    }
    try {
        NumberText::toInteger("12.5");
        FAIL();
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'12.5' is not a valid integer value");
    }
    EXPECT_THROW(NumberText::toFloat(""), ConversionError);
}

TEST(NumberText, FormatsWeightsWithThreeRoundedDecimals) {
    EXPECT_EQ(NumberText::formatWeight(123.45), "123.450");
    EXPECT_EQ(NumberText::formatWeight(123.45 - 1.5), "121.950");
    EXPECT_EQ(NumberText::formatWeight(0.0), "0.000");
    EXPECT_EQ(NumberText::formatWeight(-15.0), "-15.000");
    EXPECT_EQ(NumberText::formatWeight(0.0005), "0.001");
    EXPECT_EQ(NumberText::formatWeight(1.0005), "1.001"); // rounded on the decimal form, not the binary one
    EXPECT_EQ(NumberText::formatWeight(9.9995), "10.000");
    EXPECT_EQ(NumberText::formatWeight(-2.0005), "-2.001");
    EXPECT_EQ(NumberText::formatWeight(-0.0004), "0.000");
    EXPECT_EQ(NumberText::formatWeight(-0.0), "0.000");
    EXPECT_EQ(NumberText::formatWeight(1234567.1234), "1234567.123");
    EXPECT_EQ(NumberText::formatWeight(0.00012), "0.000");
}

TEST(NumberText, FormatsInfinitiesAndNaNAsWordsInsteadOfFailing) {
    EXPECT_EQ(NumberText::formatWeight(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(NumberText::formatWeight(-std::numeric_limits<double>::infinity()), "-INF");
    EXPECT_EQ(NumberText::formatWeight(std::numeric_limits<double>::quiet_NaN()), "NAN");
    EXPECT_EQ(NumberText::formatWeight(std::numeric_limits<double>::max()).size(), 313u); // 309 digits ".000"
}

TEST(NumberText, ErrorBoxAppendsAPointAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(NumberText::errorBoxText(""), "");
    EXPECT_EQ(NumberText::errorBoxText("'None' is not a valid floating point value"),
              "'None' is not a valid floating point value.");
    EXPECT_EQ(NumberText::errorBoxText("出错了!"), "出错了!");
    EXPECT_EQ(NumberText::errorBoxText("(see above)"), "(see above)");
    EXPECT_EQ(NumberText::errorBoxText("done."), "done.");
    EXPECT_EQ(NumberText::errorBoxText("没有打开串口"), "没有打开串口.");
    EXPECT_EQ(NumberText::errorBoxText("code 5"), "code 5.");
}
