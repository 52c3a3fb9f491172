// The simulator's session on a real pseudo-terminal, with the test as the station.
#include "simulator/SimulatorSession.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;

// Everything that arrives on fd within the given time.
std::string readFor(int fd, std::chrono::milliseconds duration) {
    std::string bytes;
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
        } else {
            std::this_thread::sleep_for(2ms);
        }
    }
    return bytes;
}

TEST(SimulatorSession, WaitsForTheStationPacesTheLineHonoursXonXoffAndReportsWhatComesBack) {
    SimulationSettings settings;
    settings.rate = 20;
    settings.productsPerMinute = 60;
    settings.count = 1;
    settings.leadSeconds = 0.2;
    settings.tailSeconds = 1.5;
    IndicatorSimulation simulation(settings);
    SimulatorPort port = SimulatorPort::openPseudoTerminal();
    const std::string path = port.stationPath();
    std::ostringstream out;
    std::thread session([&] { SimulatorSession(simulation, port, out).run(); });

    std::this_thread::sleep_for(300ms); // nobody on the line yet: nothing is sent meanwhile
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFor(fd, 0ms), "");

    // 20 readings a second: about ten 18-byte frames in half a second, starting with STX.
    const std::string stream = readFor(fd, 500ms);
    EXPECT_GE(stream.size(), 6u * 18u);
    EXPECT_LE(stream.size(), 12u * 18u);
    ASSERT_FALSE(stream.empty());
    EXPECT_EQ(stream[0], 0x02);

    ASSERT_EQ(::write(fd, "\x13", 1), 1);
    readFor(fd, 100ms); // the frame in progress when XOFF arrived
    EXPECT_EQ(readFor(fd, 300ms), "");
    ASSERT_EQ(::write(fd, "\x11", 1), 1);
    EXPECT_GE(readFor(fd, 300ms).size(), 3u * 18u);

    const std::string frame = "\x02+00000050000000\r";
    ASSERT_EQ(frame.size(), 17u);
    ASSERT_EQ(::write(fd, frame.data(), frame.size()), 17);
    ASSERT_EQ(::write(fd, "??", 2), 2);
    std::this_thread::sleep_for(100ms);
    ::close(fd);
    session.join();

    const std::string report = out.str();
    EXPECT_EQ(report.rfind("{\"ev\":\"port\",\"path\":\"" + path + "\"}\n", 0), 0u);
    EXPECT_NE(report.find("{\"ev\":\"product\",\"n\":1,\"weight\":"), std::string::npos);
    const auto xoff = report.find("{\"ev\":\"xoff\"");
    const auto xon = report.find("{\"ev\":\"xon\"");
    const auto received = report.find("\"hex\":\"022B30303030303035303030303030300D\"}");
    const auto stray = report.find("{\"ev\":\"stray\"");
    EXPECT_LT(xoff, xon);
    EXPECT_LT(xon, received);
    EXPECT_LT(received, stray);
    EXPECT_NE(stray, std::string::npos);
    EXPECT_NE(report.find("\"hex\":\"3F3F\"}"), std::string::npos);
    EXPECT_TRUE(report.ends_with("{\"ev\":\"done\",\"products\":1}\n"));
    EXPECT_EQ(report.find("\"ev\":\"reading\""), std::string::npos); // only when asked for
    EXPECT_EQ(report.find("\"ev\":\"clock\""), std::string::npos);
}

// Every reading's line carries the bytes the station got, in order, and a monotonic time between the
// session's start and the moment the station had read them.
TEST(SimulatorSession, ReportsEachReadingWrittenWithItsMonotonicTimeWhenAsked) {
    SimulationSettings settings;
    settings.count = 1;
    settings.leadSeconds = 0.1;
    settings.tailSeconds = 0.3;
    IndicatorSimulation simulation(settings);
    SimulatorPort port = SimulatorPort::openPseudoTerminal();
    const std::string path = port.stationPath();
    std::ostringstream out;
    const auto monotonicNanos = [] {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                .count());
    };
    const long long before = monotonicNanos();
    std::thread session([&] {
        SimulatorSession run(simulation, port, out);
        run.reportReadings(true);
        run.run();
    });
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    std::string stream;
    for (int i = 0; i < 100 && stream.size() < 4u * 18u; ++i) {
        stream += readFor(fd, 10ms);
    }
    const long long fourRead = monotonicNanos();
    stream += readFor(fd, 2000ms);
    ::close(fd);
    session.join();

    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line.rfind("{\"ev\":\"port\"", 0), 0u);
    std::getline(lines, line);
    long long clock = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "{\"ev\":\"clock\",\"monotonic_ns\":%lld}", &clock), 1) << line;
    EXPECT_GE(clock, before);
    std::vector<long long> times;
    std::string hex;
    while (std::getline(lines, line)) {
        long long at = 0;
        char frame[64] = {};
        if (std::sscanf(line.c_str(), "{\"ev\":\"reading\",\"monotonic_ns\":%lld,\"hex\":\"%63[0-9A-F]\"}", &at,
                        frame) == 2) {
            EXPECT_EQ(std::strlen(frame), 2u * 18u) << line;
            EXPECT_GE(at, times.empty() ? clock : times.back());
            times.push_back(at);
            hex += frame;
        }
    }
    ASSERT_EQ(times.size(), 20u); // 0.1 s lead, 12 readings on the platform, 0.3 s tail at 20 a second
    EXPECT_LE(times[3], fourRead);
    std::string expected;
    for (unsigned char c : stream) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        expected += kHex[c >> 4];
        expected += kHex[c & 0x0F];
    }
    EXPECT_EQ(hex, expected);
}

} // namespace
} // namespace kelvora

namespace kelvora {
namespace {

TEST(SimulatorSession, APolledIndicatorAnswersEachRequestWithItsLatestReadingAndNothingElse) {
    SimulationSettings settings;
    settings.indicator = IndicatorKind::Sics;
    settings.count = 0; // an empty platform: every answer is the same
    settings.leadSeconds = 1.0;
    settings.tailSeconds = 0.5;
    IndicatorSimulation simulation(settings);
    SimulatorPort port = SimulatorPort::openPseudoTerminal();
    const std::string path = port.stationPath();
    std::ostringstream out;
    std::thread session([&] { SimulatorSession(simulation, port, out).run(); });
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(readFor(fd, 200ms), "") << "it speaks only when asked";
    ASSERT_EQ(::write(fd, "SI\r\n", 4), 4);
    EXPECT_EQ(readFor(fd, 100ms), "S S      0.000 kg\r\n");
    // A request cut in two writes, and two in one: one answer each.
    ASSERT_EQ(::write(fd, "S", 1), 1);
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(::write(fd, "I\r\nSI\r\n", 7), 7);
    const std::string two = readFor(fd, 150ms);
    EXPECT_EQ(two, "S S      0.000 kg\r\nS S      0.000 kg\r\n");
    ::close(fd);
    session.join();
    EXPECT_EQ(out.str().find("\"ev\":\"stray\""), std::string::npos) << "requests are not stray bytes";
}

} // namespace
} // namespace kelvora
