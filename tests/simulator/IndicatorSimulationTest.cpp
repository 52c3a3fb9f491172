#include "simulator/IndicatorSimulation.h"

#include "simulator/IndicatorFrame.h"
#include "simulator/OutputFrameReader.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) {
        text += static_cast<char>(v);
    }
    return text;
}

// The station's Toledo reading: the five characters after STX and four more, as hundredths.
double stationToledo(const std::string& frame) {
    return std::stod(frame.substr(5, 5)) / 100.0;
}
// The station's Yaohua reading: the six digits after STX and sign, as tenths.
double stationYaohua(const std::string& frame) {
    return (frame[1] == '-' ? -1 : 1) * std::stod(frame.substr(2, 6)) / 10.0;
}

TEST(IndicatorFrame, ToledoChecksumMatchesTheIndicatorsExample) {
    const std::string frame =
        bytes({0x02, 0x2D, 0x30, 0x20, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x0D});
    EXPECT_EQ(IndicatorFrame::toledoChecksum(frame), 0x25);
}

TEST(IndicatorFrame, ToledoFrameLayoutAndStatusBits) {
    const std::string frame = IndicatorFrame::toledo(123.45, false);
    ASSERT_EQ(frame.size(), 18u);
    EXPECT_EQ(frame.substr(0, 4), bytes({0x02, 0x2C, 0x30, 0x20}));
    EXPECT_EQ(frame.substr(4, 12), "012345000000");
    EXPECT_EQ(frame[16], 0x0D);
    EXPECT_EQ(static_cast<std::uint8_t>(frame[17]), IndicatorFrame::toledoChecksum(frame.substr(0, 17)));
    // Whatever the checksum, the sum of all 18 bytes is a multiple of 128.
    unsigned sum = 0;
    for (unsigned char c : frame) {
        sum += c;
    }
    EXPECT_EQ(sum % 128, 0u);
    EXPECT_DOUBLE_EQ(stationToledo(frame), 123.45);

    EXPECT_EQ(IndicatorFrame::toledo(-1.5, true)[2], 0x30 | 0x02 | 0x08);
    EXPECT_EQ(IndicatorFrame::toledo(-0.001, false)[2], 0x30); // rounds to zero: no sign
    const std::string over = IndicatorFrame::toledo(123456.0, false);
    EXPECT_EQ(over[2], 0x30 | 0x04);
    EXPECT_EQ(over.substr(4, 6), "999999");
}

TEST(IndicatorFrame, YaohuaFrameMatchesTheIndicatorsLayout) {
    const std::string frame = IndicatorFrame::yaohua(200.0);
    EXPECT_EQ(frame, bytes({0x02, '+', '0', '0', '2', '0', '0', '0', '1', '1', '8', 0x03}));
    EXPECT_EQ(IndicatorFrame::yaohuaCheck("+0020002"), 0x1B); // the indicator's own example
    const std::string negative = IndicatorFrame::yaohua(-12.3);
    EXPECT_EQ(negative.substr(1, 8), "-0001231");
    EXPECT_EQ(negative.size(), 12u);
    EXPECT_DOUBLE_EQ(stationYaohua(negative), -12.3);
    EXPECT_EQ(IndicatorFrame::yaohua(1e9).substr(2, 6), "999999");
}

TEST(IndicatorSimulation, PacingFollowsTheBaudRateAndCapsTheRate) {
    SimulationSettings settings;
    settings.baud = 9600;
    settings.rate = 20;
    IndicatorSimulation slow(settings);
    EXPECT_EQ(slow.byteNanos(), 1041667);    // 10 bit times at 9600 baud
    EXPECT_EQ(slow.periodNanos(), 50000000); // 20 readings a second fit on the line
    settings.rate = 1000;                    // more than the line carries: frames back to back
    IndicatorSimulation full(settings);
    EXPECT_EQ(full.periodNanos(), 18 * 1041667);
    settings.indicator = IndicatorKind::Yaohua;
    IndicatorSimulation yaohua(settings);
    EXPECT_EQ(yaohua.periodNanos(), 12 * 1041667);
    settings.baud = 1200;
    settings.productsPerMinute = 10;
    EXPECT_EQ(IndicatorSimulation(settings).byteNanos(), 8333333);
}

TEST(IndicatorSimulation, RejectsSettingsThatCannotWork) {
    SimulationSettings settings;
    settings.rate = 10;
    settings.productsPerMinute = 60; // 10 readings a cycle, 6 on the platform: a plateau of 4
    EXPECT_THROW(IndicatorSimulation{settings}, std::invalid_argument);
    settings.productsPerMinute = 50; // 12 readings, 7 on the platform: a plateau of 5
    EXPECT_NO_THROW(IndicatorSimulation{settings});
    for (auto change : std::vector<void (*)(SimulationSettings&)>{
             [](SimulationSettings& s) { s.baud = 0; }, [](SimulationSettings& s) { s.rate = -1; },
             [](SimulationSettings& s) { s.sd = -0.1; }, [](SimulationSettings& s) { s.count = -1; },
             [](SimulationSettings& s) { s.productsPerMinute = 0; }}) {
        SimulationSettings bad;
        change(bad);
        EXPECT_THROW(IndicatorSimulation{bad}, std::invalid_argument);
    }
}

std::vector<Reading> play(const SimulationSettings& settings) {
    IndicatorSimulation simulation(settings);
    std::vector<Reading> readings;
    while (!simulation.finished()) {
        readings.push_back(simulation.next());
    }
    EXPECT_EQ(static_cast<std::int64_t>(readings.size()), simulation.totalReadings());
    return readings;
}

SimulationSettings busySettings() {
    SimulationSettings settings;
    settings.rate = 20;
    settings.productsPerMinute = 90;
    settings.mean = 15;
    settings.sd = 2;
    settings.noise = 0.05;
    settings.count = 7;
    settings.seed = 42;
    return settings;
}

TEST(IndicatorSimulation, SameSeedSameStreamOtherSeedOtherWeights) {
    const auto first = play(busySettings());
    const auto again = play(busySettings());
    ASSERT_EQ(first.size(), again.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].frame, again[i].frame);
        EXPECT_EQ(first[i].startNanos, again[i].startNanos);
    }
    SimulationSettings other = busySettings();
    other.seed = 43;
    const auto third = play(other);
    int differing = 0;
    for (std::size_t i = 0; i < first.size(); ++i) {
        differing += first[i].frame != third[i].frame;
    }
    EXPECT_GT(differing, 0);
}

TEST(IndicatorSimulation, EachProductRisesSettlesAndFallsBackToAnEmptyPlatform) {
    SimulationSettings settings = busySettings();
    settings.noise = 0;
    const auto readings = play(settings);
    IndicatorSimulation shape(settings);
    const int onPlatform = shape.readingsPerProduct(); // floor(20 * 60 / 90 * 0.6) = 8
    ASSERT_EQ(onPlatform, 8);
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < readings.size(); ++i) {
        EXPECT_EQ(readings[i].startNanos, static_cast<std::int64_t>(i) * 50000000);
        if (readings[i].product) {
            EXPECT_EQ(readings[i].product->n, static_cast<int>(starts.size()) + 1);
            starts.push_back(i);
        }
    }
    ASSERT_EQ(starts.size(), 7u);
    EXPECT_EQ(starts[0], 20u); // one second of empty platform first
    for (std::size_t n = 0; n < starts.size(); ++n) {
        const std::size_t s = starts[n];
        const double weight = readings[s].product->weight;
        EXPECT_DOUBLE_EQ(stationToledo(readings[s].frame), 5.0);
        EXPECT_NE(readings[s].frame[2] & 0x08, 0); // in motion while entering
        for (int k = 1; k < onPlatform - 1; ++k) {
            EXPECT_NEAR(stationToledo(readings[s + k].frame), weight, 1e-9);
        }
        EXPECT_DOUBLE_EQ(stationToledo(readings[s + onPlatform - 1].frame), 5.0);
        EXPECT_DOUBLE_EQ(stationToledo(readings[s + onPlatform].frame), 0.0);
    }
    // Three seconds of empty platform after the last product.
    EXPECT_EQ(readings.size() - (starts.back() + onPlatform), 60u);
}

TEST(IndicatorSimulation, WeightsFollowMeanAndSpreadAtTheIndicatorsResolution) {
    SimulationSettings settings;
    settings.indicator = IndicatorKind::Yaohua;
    settings.rate = 50;
    settings.productsPerMinute = 200;
    settings.mean = 100;
    settings.sd = 5;
    settings.count = 2000;
    settings.tailSeconds = 0;
    IndicatorSimulation simulation(settings);
    double sum = 0;
    double squares = 0;
    int n = 0;
    while (!simulation.finished()) {
        const Reading reading = simulation.next();
        if (reading.product) {
            const double w = reading.product->weight;
            EXPECT_NEAR(w * 10, std::round(w * 10), 1e-6);
            sum += w;
            squares += w * w;
            ++n;
        }
    }
    ASSERT_EQ(n, 2000);
    const double mean = sum / n;
    EXPECT_NEAR(mean, 100, 0.5);
    EXPECT_NEAR(std::sqrt(squares / n - mean * mean), 5, 0.3);
}

TEST(IndicatorSimulation, RampsRiseAndFallLinearlyAroundThePlateau) {
    SimulationSettings settings;
    settings.rate = 20;
    settings.productsPerMinute = 40; // 30 readings a cycle, 18 on the platform (900 ms)
    settings.rampMs = 200;
    settings.sd = 0;
    settings.mean = 16;
    settings.count = 2;
    const auto readings = play(settings);
    IndicatorSimulation shape(settings);
    ASSERT_EQ(shape.readingsPerProduct(), 18);
    EXPECT_EQ(shape.plateauReadings(), 18 - 8); // four readings on each ramp of 200 ms
    std::size_t s = 0;
    while (!readings[s].product) {
        ++s;
    }
    const double expected[] = {2, 6, 10, 14}; // 16 kg at 25, 75, 125, 175 ms of 200
    for (int k = 0; k < 4; ++k) {
        EXPECT_DOUBLE_EQ(stationToledo(readings[s + k].frame), expected[k]) << k;
        EXPECT_DOUBLE_EQ(stationToledo(readings[s + 17 - k].frame), expected[k]) << k;
        EXPECT_NE(readings[s + k].frame[2] & 0x08, 0) << "in motion on the ramp";
    }
    for (int k = 4; k < 14; ++k) {
        EXPECT_DOUBLE_EQ(stationToledo(readings[s + k].frame), 16.0) << k;
        EXPECT_EQ(readings[s + k].frame[2] & 0x08, 0);
    }
    EXPECT_DOUBLE_EQ(stationToledo(readings[s + 18].frame), 0.0);

    settings.rampMs = 400; // leaves two plateau readings
    EXPECT_THROW(IndicatorSimulation{settings}, std::invalid_argument);
}

TEST(IndicatorSimulation, RingingOvershootsAndDecaysOnThePlateau) {
    SimulationSettings settings;
    settings.productsPerMinute = 40;
    settings.sd = 0;
    settings.mean = 16;
    settings.ring = 0.05; // 5 d on a Toledo
    settings.count = 1;
    const auto readings = play(settings);
    std::size_t s = 0;
    while (!readings[s].product) {
        ++s;
    }
    // The first plateau reading carries the whole amplitude, 5 d; then 5 d * e^(-s/0.1) * cos(2 pi 4 s)
    // every 50 ms: 0.94, -1.49, -0.90, 0.21 d, rounded to the indicator's 0.01.
    const double expected[] = {16.05, 16.01, 15.99, 15.99, 16.0, 16.0};
    for (int k = 0; k < 6; ++k) {
        EXPECT_DOUBLE_EQ(stationToledo(readings[s + 1 + k].frame), expected[k]) << k;
    }
}

TEST(IndicatorSimulation, NoiseIsOnEveryReadingAndAGapShortensTheStay) {
    SimulationSettings settings;
    settings.indicator = IndicatorKind::Yaohua;
    settings.noise = 0.3;
    settings.count = 3;
    settings.leadSeconds = 2;
    const auto readings = play(settings);
    int nonZeroEmpty = 0;
    for (std::size_t i = 0; i < 40; ++i) { // the empty platform before the first product
        nonZeroEmpty += stationYaohua(readings[i].frame) != 0.0;
    }
    EXPECT_GT(nonZeroEmpty, 10);

    settings.noise = 0;
    settings.productsPerMinute = 100; // 12 readings a cycle
    settings.gapMs = 100;             // two empty readings: ten on the platform instead of seven
    EXPECT_EQ(IndicatorSimulation(settings).readingsPerProduct(), 10);
    settings.productsPerMinute = 150; // 8 readings: six on the platform, a plateau of four
    EXPECT_THROW(IndicatorSimulation{settings}, std::invalid_argument);
    settings.gapMs = 0; // still one empty reading
    EXPECT_EQ(IndicatorSimulation(settings).readingsPerProduct(), 7);
    settings.gapMs = -1;
    EXPECT_THROW(IndicatorSimulation{settings}, std::invalid_argument);
}

TEST(OutputFrameReader, FramesAcrossReadsFlowControlAndStrayBytes) {
    const std::string frame =
        bytes({0x02, 0x2B, '0', '0', '0', '0', '0', '0', '5', '0', '0', '0', '0', '0', '0', '0', 0x0D});
    OutputFrameReader reader;
    EXPECT_TRUE(reader.feed(frame.substr(0, 5)).empty());
    auto out = reader.feed(frame.substr(5) + "\x13" + frame.substr(0, 3) + "\x11" + frame.substr(3));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].kind, StationOutput::Kind::Frame);
    EXPECT_EQ(out[0].bytes, frame);
    EXPECT_EQ(out[1].kind, StationOutput::Kind::Xoff);
    EXPECT_EQ(out[2].kind, StationOutput::Kind::Xon); // flow control inside a frame does not break it
    EXPECT_EQ(out[3].bytes, frame);

    out = reader.feed("xy" + frame.substr(0, 10) + frame);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].kind, StationOutput::Kind::Stray);
    EXPECT_EQ(out[0].bytes, "xy" + frame.substr(0, 10));
    EXPECT_EQ(out[1].bytes, frame);

    out = reader.feed(frame.substr(0, 16) + "0"); // 17 bytes without CR: not a frame
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].kind, StationOutput::Kind::Stray);

    EXPECT_TRUE(reader.feed(frame.substr(0, 9)).empty());
    out = reader.finish(); // a frame cut short by the end
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, frame.substr(0, 9));
}

} // namespace
} // namespace kelvora
