// The monitor's host on a pseudo-terminal: real timers, output frames on the real clock, the port and the
// recording.
#include "station/MonitorHost.h"

#include "simulator/IndicatorFrame.h"
#include "simulator/SimulatorPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;

std::vector<QJsonObject> traceLines(const std::string& trace, const QString& ev) {
    std::vector<QJsonObject> lines;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        if (object["ev"].toString() == ev) {
            lines.push_back(object);
        }
    }
    return lines;
}

void runEventLoopFor(std::chrono::milliseconds duration) {
    QTimer::singleShot(duration, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

class MonitorHostTest : public ::testing::Test {
protected:
    int argc = 1;
    char name[16] = "MonitorHostTest";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

TEST_F(MonitorHostTest, AnAlarmGoesOutAfterTheDelayAndEndsAfterTheDurationWithTheFramesOnTheirTime) {
    SimulatorPort indicator = SimulatorPort::openPseudoTerminal();
    std::ostringstream trace;
    std::ostringstream recording;
    MonitorHost host(trace, &recording);
    host.runtime().load("");
    host.setTimerInterval(Timer::Timer2, 300);
    host.setTimerInterval(Timer::Timer1, 500); // after the alarm's four copies, which it would overtake
    host.configurePort(indicator.stationPath());
    ASSERT_TRUE(host.openAtStart());
    host.applyCommand(StationScript::parseLine("0 select M1 15 20 12", 1));

    // One product of 25 (over the upper limit) after an empty platform, a frame every 40 ms.
    std::atomic<bool> done{false};
    std::thread line([&] {
        std::vector<double> readings{0, 0, 25, 25, 25, 25, 25, 0, 0};
        for (double reading : readings) {
            const std::string frame = IndicatorFrame::toledo(reading, false);
            indicator.write(frame.data(), frame.size());
            std::this_thread::sleep_for(40ms);
        }
        done = true;
    });
    runEventLoopFor(1800ms);
    line.join();
    ASSERT_TRUE(done);
    host.finish();
    const std::string received = indicator.read();

    // No verdict on the window's start-up zeros; from the fourth sample every level sample of 25 is over:
    // no latch.
    std::vector<std::string> verdicts;
    for (const QJsonObject& record : traceLines(trace.str(), "record")) {
        verdicts.push_back((record["verdict"].toString() + " " + record["weight"].toString()).toStdString());
    }
    EXPECT_EQ(verdicts, (std::vector<std::string>{"超高 25.000", "超高 25.000"}));

    const auto timers = traceLines(trace.str(), "timer");
    ASSERT_EQ(timers.size(), 4u);
    EXPECT_EQ(timers[0]["name"].toString(), "Timer2");
    EXPECT_EQ(timers[1]["name"].toString(), "Timer1");
    EXPECT_EQ(timers[2]["name"].toString(), "Timer2");
    EXPECT_FALSE(timers[2]["enabled"].toBool());
    EXPECT_EQ(timers[3]["name"].toString(), "Timer1");
    EXPECT_FALSE(timers[3]["enabled"].toBool());
    const int alarmAt = timers[0]["t"].toInt();
    EXPECT_GE(timers[1]["t"].toInt() - alarmAt, 299);

    // Model selection: 4 frames with 0; Timer2: 4 frames with the alarm bit, each pair 200 ms apart;
    // Timer1: 4 frames without it. All reached the line.
    const auto frames = traceLines(trace.str(), "frame");
    ASSERT_EQ(frames.size(), 12u);
    std::string flags;
    for (const QJsonObject& frame : frames) {
        flags += std::to_string(frame["flags"].toInt());
        EXPECT_TRUE(frame["sent"].toBool());
    }
    EXPECT_EQ(flags, "000044440000");
    EXPECT_GE(frames[5]["t"].toInt() - frames[4]["t"].toInt(), 199);
    EXPECT_GE(frames[8]["t"].toInt() - timers[1]["t"].toInt(), 499);
    EXPECT_EQ(received.size(), 12u * 17u);
    EXPECT_EQ(received.substr(4 * 17, 17), std::string("\x02+00000040000000\r"));

    // The recording holds the opening, the selection, each chunk and the closing, in order.
    const std::string script = recording.str();
    const auto open = script.find(" click OpenPort\n");
    const auto select = script.find(" select M1 15 20 12\n");
    const auto chunk = script.find(" chunk 022C3020303030303030303030303030");
    const auto close = script.find(" click ClosePort\n");
    EXPECT_LT(open, select);
    EXPECT_LT(select, chunk);
    EXPECT_LT(chunk, close);
    EXPECT_NE(close, std::string::npos);
}

TEST_F(MonitorHostTest, AReadingArrivingWhileAFrameWaitsForItsSecondCopyIsHandledAtOnce) {
    SimulatorPort indicator = SimulatorPort::openPseudoTerminal();
    std::ostringstream trace;
    MonitorHost host(trace, nullptr);
    host.runtime().load("");
    host.configurePort(indicator.stationPath());
    ASSERT_TRUE(host.openAtStart());
    host.applyCommand(StationScript::parseLine("0 set LabeledEdit1 100", 1));
    host.applyCommand(StationScript::parseLine("0 set LabeledEdit2 90", 1));
    host.applyCommand(StationScript::parseLine("0 select M1 15 20 12", 1));

    // After the selection's frames, one product of 15 at a reading every 40 ms: counted at its fourth
    // reading, whose two sends put four copies on the line over 400 ms.
    std::thread line([&] {
        std::this_thread::sleep_for(600ms);
        for (double reading : {0.0, 15.0, 15.0, 15.0, 15.0, 15.5, 15.6, 15.7, 0.0}) {
            const std::string frame = IndicatorFrame::toledo(reading, false);
            indicator.write(frame.data(), frame.size());
            std::this_thread::sleep_for(40ms);
        }
    });
    runEventLoopFor(1500ms);
    line.join();
    host.finish();

    std::vector<QJsonObject> lines;
    std::istringstream in(trace.str());
    for (std::string text; std::getline(in, text);)
        lines.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(text)).object());
    const auto record =
        std::find_if(lines.begin(), lines.end(), [](const QJsonObject& l) { return l["ev"] == "record"; });
    ASSERT_NE(record, lines.end());
    const int judged = (*record)["t"].toInt();
    std::vector<int> frames;
    std::vector<QString> shownAfter;
    for (auto l = record; l != lines.end(); ++l) {
        if ((*l)["ev"] == "frame")
            frames.push_back((*l)["t"].toInt());
        if ((*l)["ev"] == "Edit1" && frames.size() < 2)
            shownAfter.push_back((*l)["text"].toString());
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_LE(frames[0] - judged, 5) << "the first copy at once";
    EXPECT_GE(frames[1] - frames[0], 199);
    // The readings 15.5, 15.6 and 15.7 came 40, 80 and 120 ms after the verdict: shown before the second
    // copy was due, not after the sends.
    EXPECT_GE(shownAfter.size(), 2u);
    EXPECT_EQ(shownAfter.front(), "15.500");
}

} // namespace
} // namespace kelvora
