#include "station/ReplayHost.h"
#include "tests/support/TestPaths.h"
#include "weighing/IndicatorFamilies.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// Replays a script given as text with the default configuration; returns the trace without Edit1 lines.
std::string replay(const std::string& script, const std::string& iniPath = "") {
    std::ostringstream trace;
    ReplayHost host(trace);
    host.runtime().load(iniPath);
    std::istringstream in(script);
    StationScript reader(in);
    host.run(reader);
    std::istringstream lines(trace.str());
    std::string result;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"ev\":\"Edit1\"") == std::string::npos) {
            result += line + "\n";
        }
    }
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

const std::string kToledo20 = "02 24 30 20 30 30 32 30 30 30 30 30 30 30 30 30 0D";

} // namespace

TEST(Replay, StartsFromTheLoadAndTracesAStartWithoutAModel) {
    std::string trace = replay("100 click BtnClear\n");
    EXPECT_EQ(trace, "{\"t\":0,\"ev\":\"Edit3\",\"text\":\"共0个产品，此产品是第0个\"}\n"
                     "{\"t\":100,\"ev\":\"message\",\"title\":\"提示\",\"text\":\"请选择型号或选择合法型号！\"}\n");
}

TEST(Replay, FramesGoOutOnTheirTimeWhileTheNextLinesAreHandledOnTheirs) {
    std::string trace = replay("10 select A 15 20 12\n20 click BtnClear\n");
    const std::string zero = "\"ev\":\"frame\",\"flags\":0";
    const std::size_t opened = trace.find("{\"t\":20,\"ev\":\"port\",\"open\":true}");
    ASSERT_NE(opened, std::string::npos) << "the click at 20 does not wait for the selection's sends:\n" << trace;
    EXPECT_LT(trace.find("{\"t\":10," + zero), opened);
    // Two sends back to back: 10 and 210, then 210 and 410 on the line.
    EXPECT_GT(trace.find("{\"t\":210," + zero), opened);
    EXPECT_EQ(count(trace, "{\"t\":210," + zero), 2u);
    EXPECT_NE(trace.find("{\"t\":410," + zero), std::string::npos);
    EXPECT_EQ(count(trace, zero), 4u);
}

TEST(Replay, AFrameDueWithALineGoesFirstAndTimesNeverDecrease) {
    // The selection's copies are due at 0, 200, 200, 400; the Zero line at 200 comes after those due then.
    std::string trace = replay("0 select A 15 20 12\n200 click BtnBullets\n");
    const std::size_t error = trace.find("\"ev\":\"error\"");
    ASSERT_NE(error, std::string::npos);
    EXPECT_EQ(count(trace.substr(0, error), "\"ev\":\"frame\""), 3u);
    std::int64_t last = 0;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);) {
        const std::int64_t t = std::stoll(line.substr(5));
        EXPECT_GE(t, last) << line;
        last = t;
    }
}

TEST(Replay, AlarmTimersRunOnTheVirtualClock) {
    // Threshold 10, limits 12..20: the level of 25 is over the upper limit from its fourth sample.
    std::string script = "0 select A 15 20 12\n400 click BtnClear\n";
    for (int i = 0; i < 6; ++i) {
        script += std::to_string(1000 + i * 50) + " chunk " + "02 24 30 20 30 30 32 35 30 30 30 30 30 30 30 30 0D\n";
    }
    std::string trace = replay(script);
    // The fourth sample is the first whose predecessor was read: 25 is captured at 1150, enabling Timer2;
    // the delay is 1000 ms.
    EXPECT_EQ(trace.find("\"verdict\":\"超低\""), std::string::npos) << "no verdict on a start-up zero";
    EXPECT_NE(trace.find("{\"t\":1150,\"ev\":\"timer\",\"name\":\"Timer2\",\"enabled\":true}"), std::string::npos);
    EXPECT_NE(trace.find("{\"t\":2150,\"ev\":\"timer\",\"name\":\"Timer1\",\"enabled\":true}"), std::string::npos);
    EXPECT_NE(trace.find("{\"t\":2150,\"ev\":\"frame\",\"flags\":4"), std::string::npos);
    // The selection cleared the reminder bit, so the alarm frames carry 4. Timer1 counts from 2150 and
    // nothing holds it back: it ends the alarm at 3150.
    EXPECT_NE(trace.find("{\"t\":3150,\"ev\":\"timer\",\"name\":\"Timer1\",\"enabled\":false}"), std::string::npos);
    EXPECT_NE(trace.find("{\"t\":3150,\"ev\":\"frame\",\"flags\":0"), std::string::npos);
    EXPECT_EQ(count(trace, "\"verdict\":\"超高\""), 3u);
}

TEST(Replay, ALineGoesBeforeATimerDueAtTheSameTime) {
    std::string script = "0 select A 15 20 12\n0 set Et2 1\n400 click BtnClear\n";
    for (int i = 0; i < 4; ++i) {
        script += std::to_string(950 + i * 50) + " chunk " + kToledo20 + "\n";
    }
    script += "2100 set Et2 30\n";
    script += "2100 click BtnSetTabs\n";
    std::string trace = replay(script);
    std::size_t closed = trace.find("\"port\",\"open\":false");
    std::size_t fired = trace.find("\"name\":\"Timer1\",\"enabled\":true");
    ASSERT_NE(closed, std::string::npos);
    ASSERT_NE(fired, std::string::npos);
    EXPECT_LT(closed, fired);
    EXPECT_NE(trace.find("{\"t\":2100,\"ev\":\"frame\",\"flags\":4,\"hex\":\"022B30303030303034303030303030300D\","
                         "\"sent\":false}"),
              std::string::npos)
        << trace;
}

TEST(Replay, CloseWritesTheCountAndEndsTheReplay) {
    std::string trace = replay("0 close\n5000 click BtnClear\n");
    EXPECT_NE(trace.find("{\"t\":0,\"ev\":\"ini\",\"section\":\"Word\",\"key\":\"SC_Num\",\"value\":\"0\"}"),
              std::string::npos);
    EXPECT_EQ(count(trace, "\"ev\":\"frame\""), 2u);
    EXPECT_EQ(trace.find("\"message\""), std::string::npos) << "nothing after the close is handled";
}

TEST(Replay, ErrorsShowTheErrorBoxText) {
    std::string trace = replay("0 click BtnBullets\n0 click OpenPort\n0 click OpenPort\n");
    EXPECT_NE(trace.find("\"text\":\"'None' is not a valid floating point value.\""), std::string::npos);
    EXPECT_NE(trace.find("\"text\":\"This serial port already opened.\""), std::string::npos);
}

TEST(Replay, SampleShiftsMatchTheirGoldenTraces) {
    const std::string samples = test::sourceDir() + "/tools/samples/";
    for (const char* name : {"toledo", "yaohua"}) {
        std::string ini = samples + (std::string(name) == "toledo" ? "Option.ini" : "Option-yaohua.ini");
        std::ifstream script(samples + name + "-shift.txt", std::ios::binary);
        std::ostringstream trace;
        ReplayHost host(trace);
        host.runtime().load(ini);
        StationScript reader(script);
        host.run(reader);
        EXPECT_EQ(trace.str(), readFile(samples + name + "-shift.trace.jsonl")) << name;

        // The shift shows what it says it shows.
        const ReplaySummary& summary = host.summary();
        std::int64_t counted = summary.verdicts.at("正常");
        EXPECT_EQ(counted, host.core().state().ProductCount) << name << ": Continue keeps the count";
        EXPECT_GT(counted, 200) << name << ": the batch value is passed";
        EXPECT_GT(summary.verdicts.at("超高"), 0) << name;
        EXPECT_GT(summary.verdicts.at("超低"), 0) << name;
        EXPECT_EQ(summary.errors, 0) << name;
    }
}

TEST(Replay, TheStableCaptureJudgesEveryProductOfTheSampleShiftOnce) {
    const std::string samples = test::sourceDir() + "/tools/samples/";
    std::ifstream script(samples + "toledo-shift.txt", std::ios::binary);
    std::ostringstream trace;
    ReplayHost host(trace);
    host.runtime().load(samples + "Option-stable.ini");
    EXPECT_EQ(host.core().state().SamplingChoice, Sampling::Stable);
    StationScript reader(script);
    host.run(reader);
    EXPECT_EQ(trace.str(), readFile(samples + "toledo-shift-stable.trace.jsonl"));

    const ReplaySummary& summary = host.summary();
    std::int64_t verdicts = 0;
    for (const auto& [text, n] : summary.verdicts) {
        verdicts += n;
    }
    EXPECT_EQ(verdicts, 300) << "the shift's 300 products, one verdict each";
    EXPECT_EQ(summary.verdicts.at("正常"), host.core().state().ProductCount);
    EXPECT_EQ(summary.errors, 0);
}

TEST(Replay, TheCheckedDecodingWeighsADamagedShiftWithoutAReadingFromADamagedFrame) {
    const std::string samples = test::sourceDir() + "/tools/samples/";
    const auto run = [&](const std::string& script, std::ostringstream& trace) {
        ReplayHost host(trace);
        host.runtime().load(samples + "Option-checked.ini");
        EXPECT_NE(host.core().state().IndicatorFormat, nullptr);
        std::ifstream in(samples + script, std::ios::binary);
        StationScript reader(in);
        host.run(reader);
        return host.summary();
    };
    std::ostringstream damaged;
    const ReplaySummary summary = run("toledo-shift-damaged.txt", damaged);
    EXPECT_EQ(damaged.str(), readFile(samples + "toledo-shift-damaged.trace.jsonl"));
    std::int64_t verdicts = 0;
    for (const auto& [text, n] : summary.verdicts) {
        verdicts += n;
    }
    EXPECT_EQ(verdicts, 300) << "every product judged once, however the reads cut the frames";
    EXPECT_EQ(summary.errors, 0);
    // The same shift undamaged: every reading the damaged one showed is one of its readings, and only the
    // frames refused for their checksum are missing.
    std::ostringstream clean;
    run("toledo-shift.txt", clean);
    const std::size_t refused = count(damaged.str(), "\"reason\":\"checksum\"");
    EXPECT_GT(refused, 0U);
    EXPECT_EQ(count(damaged.str(), "\"ev\":\"Edit1\""), count(clean.str(), "\"ev\":\"Edit1\"") - refused);
    EXPECT_EQ(count(clean.str(), "badframe"), 0U);
}

TEST(Replay, APolledIndicatorsRequestsAreNoOutputFrames) {
    std::ostringstream trace;
    ReplayHost host(trace);
    host.runtime().load("");
    host.core().state().IndicatorFormat = IndicatorFamilies::format("sics");
    host.core().state().PollIntervalMs = 100;
    std::istringstream in("0 select A 15 20 12\n10 click BtnClear\n1000 click BtnSetTabs\n");
    StationScript reader(in);
    host.run(reader);
    // The selection's two sends, four frames: the requests made meanwhile are not among them.
    EXPECT_EQ(count(trace.str(), "\"ev\":\"frame\""), 4U) << trace.str();
    EXPECT_EQ(count(trace.str(), "\"hex\":\"02"), 4U);
    EXPECT_EQ(host.summary().errors, 0);
}

TEST(ReplayCommand, ABadLineStopsWithStatusTwoNamingTheLine) {
    test::TempDir dir;
    std::ofstream(dir.file("bad.txt")) << "# header\n0 click BtnClear\n5 chunk 0Z\n";
    std::string command = test::binDir() + "/kelvora-tool replay " + dir.file("bad.txt") + " 2>" + dir.file("err");
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(readFile(dir.file("err")).find("line 3"), std::string::npos) << readFile(dir.file("err"));
}
