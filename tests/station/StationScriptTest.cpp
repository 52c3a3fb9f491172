#include "station/StationScript.h"

#include <sstream>

#include <gtest/gtest.h>

using namespace kelvora;

TEST(StationScript, ParsesEachVerb) {
    ScriptCommand chunk = StationScript::parseLine("120 chunk 02 2b30 31", 1);
    EXPECT_EQ(chunk.time, 120);
    EXPECT_EQ(chunk.verb, ScriptVerb::Chunk);
    EXPECT_EQ(chunk.bytes, "\x02+01");

    ScriptCommand set = StationScript::parseLine("5 set Et2 12.5 kg ", 2);
    EXPECT_EQ(set.control, Control::Et2);
    EXPECT_EQ(set.text, "12.5 kg ") << "everything after the blank that follows the name";
    EXPECT_EQ(StationScript::parseLine("5 set ComboBox1 ", 3).text, "");
    EXPECT_EQ(StationScript::parseLine("5 set ComboBox1", 3).text, "");

    ScriptCommand select = StationScript::parseLine("9 select 大 号 A 15 20.5 12", 4);
    EXPECT_EQ(select.text, "大 号 A");
    EXPECT_EQ(select.standard, 15.0);
    EXPECT_EQ(select.upper, 20.5);
    EXPECT_EQ(select.lower, 12.0);

    EXPECT_EQ(StationScript::parseLine("0 click OpenPort", 5).text, "OpenPort");
    EXPECT_EQ(StationScript::parseLine("7 close", 6).verb, ScriptVerb::Close);
    EXPECT_EQ(StationScript::parseLine("1000000000000 close", 7).time, kMaxScriptTime);
}

TEST(StationScript, BadLinesNameTheirLineNumber) {
    for (const char* line : {"x chunk 02", "-5 chunk 02", "1 chunk 0", "1 chunk 0g", "1 chunk", "1 set Edit1 x",
                             "1 click BtnExit", "1 click", "1 jump", "1 select A 1 2", "1 select A 1 2 x",
                             "9223372036854775807 select A 15 16 14", "1000000000001 close"}) {
        try {
            StationScript::parseLine(line, 42);
            ADD_FAILURE() << "accepted: " << line;
        } catch (const ScriptError& error) {
            EXPECT_NE(std::string(error.what()).find("line 42"), std::string::npos) << error.what();
        }
    }
}

TEST(StationScript, SkipsCommentsAndBlankLinesAndRejectsTimeGoingBack) {
    std::istringstream in("# a shift\n\n10 chunk 02\r\n   \n# more\n10 click BtnClear\n9 close\n");
    StationScript script(in);
    EXPECT_EQ(script.next()->time, 10);
    EXPECT_EQ(script.next()->verb, ScriptVerb::Click);
    try {
        script.next();
        FAIL();
    } catch (const ScriptError& error) {
        EXPECT_NE(std::string(error.what()).find("line 7"), std::string::npos) << error.what();
    }
}

TEST(StationScript, AByteOrderMarkBeforeTheFirstLineIsSkipped) {
    std::istringstream in("\xEF\xBB\xBF"
                          "5 close\n");
    StationScript script(in);
    EXPECT_EQ(script.next()->time, 5);
}

TEST(StationScript, HexRoundTrip) {
    const std::string bytes("\x00\x7f\x80\xff", 4);
    EXPECT_EQ(StationScript::toHex(bytes), "007F80FF");
    EXPECT_EQ(StationScript::parseLine("0 chunk " + StationScript::toHex(bytes), 1).bytes, bytes);
}
