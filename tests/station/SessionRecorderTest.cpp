#include "station/SessionRecorder.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// Every command the monitor records reads back as the same command.
TEST(SessionRecorder, RecordedLinesParseBackToTheSameCommands) {
    const char* lines[] = {
        "0 click OpenPort",        "12 set LabeledEdit1 批次 12 ", "12 set Et2 ", "40 select 型号 A 15.5 20.125 0.1",
        "41 chunk 022C30200D00FF", "99 click BtnSetTabs",          "100 close",
    };
    std::ostringstream out;
    SessionRecorder recorder(&out);
    recorder.comment("recorded by a test");
    for (const char* text : lines) {
        const ScriptCommand command = StationScript::parseLine(text, 1);
        EXPECT_EQ(SessionRecorder::line(command.time, command), text);
        recorder.record(command.time, command);
    }
    std::istringstream in(out.str());
    StationScript script(in);
    int n = 0;
    while (auto command = script.next()) {
        EXPECT_EQ(SessionRecorder::line(command->time, *command), lines[n++]);
    }
    EXPECT_EQ(n, 7);
    EXPECT_EQ(out.str().rfind("# recorded by a test\n0 click OpenPort\n", 0), 0u);

    SessionRecorder none(nullptr);
    none.record(5, StationScript::parseLine("5 close", 1)); // without a file nothing is written
}

} // namespace
} // namespace kelvora
