#include "station/IndicatorDetector.h"

#include "simulator/IndicatorFrame.h"
#include "simulator/IndicatorSimulation.h"
#include "simulator/SimulatorPort.h"
#include "simulator/SimulatorSession.h"
#include "station/SerialLineListener.h"

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// A line as a receiving UART hears it: the indicator's characters go out as bits at its own setting
// (start bit, data bits from the least significant, parity, stop bit, back to back), and the receiver
// samples them at the choice's baud rate in the middle of each of its bit times, re-synchronising on
// every start edge after a high stop bit; frames are two characters apart. A byte with a parity or framing
// error is heard as 0xFF, as SerialLineListener hands it on. At a wrong rate or parity the receiver hears what a real
// port would: other bytes.
class UartLine : public LineListener {
public:
    UartLine(LineChoice sender, IndicatorKind kind) : m_sender(sender), m_kind(kind) {}

    void listen(const LineChoice& choice, std::chrono::milliseconds window,
                const std::function<bool(std::string_view)>& bytes) override {
        tried.push_back(choice.text());
        if (silent) {
            return;
        }
        const std::vector<bool> bits = senderBits(window);
        const double senderBit = 1.0 / m_sender.baud;
        const double bit = 1.0 / choice.baud;
        const auto level = [&](double t) {
            const auto index = static_cast<std::size_t>(t / senderBit);
            return index >= bits.size() || bits[index];
        };
        std::string heard;
        const double end = static_cast<double>(bits.size()) * senderBit;
        // Start in the middle of the stream's first character, as a port opened at any moment does.
        for (double t = 7.3 * senderBit; t < end;) {
            if (level(t)) {
                t += senderBit / 16; // looking for a start edge
                continue;
            }
            unsigned value = 0;
            int ones = 0;
            for (int k = 0; k < choice.dataBits; ++k) {
                const bool one = level(t + (k + 1.5) * bit);
                value |= (one ? 1U : 0U) << k;
                ones += one;
            }
            bool error = false;
            if (choice.parity != ParityChoice::None) {
                const bool parity = level(t + (choice.dataBits + 1.5) * bit);
                error = ((ones + parity) % 2 == 0) != (choice.parity == ParityChoice::Even);
            }
            t += (choice.dataBits + (choice.parity == ParityChoice::None ? 1.5 : 2.5)) * bit; // to the stop bit
            error = error || !level(t);
            // The listener turns a byte with a parity or framing error into 0xFF, which no frame holds.
            heard += static_cast<char>(error ? 0xFF : value);
            while (t < end && !level(t)) {
                t += senderBit / 16; // a framing error: the next start needs the line to rise first
            }
            if (heard.size() == 32) {
                if (bytes(heard)) {
                    return;
                }
                heard.clear();
            }
        }
        bytes(heard);
    }

    std::vector<std::string> tried;
    bool silent = false;

private:
    std::vector<bool> senderBits(std::chrono::milliseconds window) const {
        std::vector<bool> bits;
        const auto total = static_cast<std::size_t>(window.count() * m_sender.baud / 1000);
        for (int n = 0; bits.size() < total; ++n) {
            for (unsigned char c : IndicatorFrame::make(m_kind, 10.0 + n % 7, n % 2 == 0)) {
                bits.push_back(false);
                int ones = 0;
                for (int k = 0; k < m_sender.dataBits; ++k) {
                    const bool one = (c >> k) & 1U;
                    ones += one;
                    bits.push_back(one);
                }
                if (m_sender.parity != ParityChoice::None) {
                    bits.push_back((ones % 2 == 1) == (m_sender.parity == ParityChoice::Even));
                }
                bits.push_back(true);
            }
            bits.insert(bits.end(), 20, true); // a pause of two characters between frames
        }
        return bits;
    }

    LineChoice m_sender;
    IndicatorKind m_kind;
};

const std::vector<LineChoice> kChoices = IndicatorDetector::lineChoices(9600);

} // namespace

TEST(IndicatorDetector, FindsEachFamilyAtItsOwnRateAndParity) {
    const struct {
        IndicatorKind kind;
        LineChoice line;
    } cases[] = {{IndicatorKind::Toledo, {2400, ParityChoice::Even, 7}},
                 {IndicatorKind::ToledoPlain, {4800, ParityChoice::Odd, 7}},
                 {IndicatorKind::Yaohua, {19200, ParityChoice::None, 8}},
                 {IndicatorKind::YaohuaReversed, {1200, ParityChoice::None, 8}},
                 {IndicatorKind::AsciiLine, {115200, ParityChoice::None, 8}},
                 {IndicatorKind::Toledo, {9600, ParityChoice::Even, 7}}};
    const IndicatorDetector detector(IndicatorDetector::knownFormats());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(IndicatorFrame::id(c.kind)) + " at " + c.line.text());
        UartLine line(c.line, c.kind);
        const auto found = detector.detect(line, kChoices);
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->family, IndicatorFrame::id(c.kind));
        EXPECT_EQ(found->line.text(), c.line.text());
        EXPECT_GE(found->frames, IndicatorDetector::kFramesNeeded);
        EXPECT_EQ(line.tried.back(), c.line.text()) << "stops at the first convincing setting";
    }
}

TEST(IndicatorDetector, ASilentLineProposesNothingAfterEveryCommonSetting) {
    UartLine line({9600, ParityChoice::None, 8}, IndicatorKind::Yaohua);
    line.silent = true;
    EXPECT_FALSE(IndicatorDetector(IndicatorDetector::knownFormats()).detect(line, kChoices).has_value());
    EXPECT_EQ(line.tried.size(), 8U * 3U);
    EXPECT_EQ(line.tried.front(), "9600 8N1");
    EXPECT_EQ(line.tried.back(), "115200 7O1");
}

TEST(IndicatorDetector, TheCurrentRateIsTriedFirstAndNoRateTwice) {
    const auto choices = IndicatorDetector::lineChoices(2400);
    EXPECT_EQ(choices.front().text(), "2400 8N1");
    EXPECT_EQ(choices.size(), 24U);
    EXPECT_EQ(IndicatorDetector::lineChoices(600).front().text(), "9600 8N1") << "outside the common range";
}

TEST(IndicatorDetector, FindsTheSimulatorOnAPortWithoutWritingToIt) {
    for (IndicatorKind kind : {IndicatorKind::Yaohua, IndicatorKind::AsciiLine}) {
        SimulationSettings settings;
        settings.indicator = kind;
        settings.count = 0;
        settings.leadSeconds = 0.5;
        settings.tailSeconds = 1.0;
        IndicatorSimulation simulation(settings);
        SimulatorPort port = SimulatorPort::openPseudoTerminal();
        std::ostringstream events;
        SimulatorSession session(simulation, port, events);
        std::thread indicator([&] { session.run(); });
        SerialLineListener listener(port.stationPath());
        const auto found = IndicatorDetector(IndicatorDetector::knownFormats())
                               .detect(listener, IndicatorDetector::lineChoices(9600), std::chrono::milliseconds(1500));
        indicator.join();
        ASSERT_TRUE(found.has_value()) << IndicatorFrame::id(kind);
        EXPECT_EQ(found->family, IndicatorFrame::id(kind));
        EXPECT_EQ(events.str().find("\"ev\":\"stray\""), std::string::npos) << events.str();
        EXPECT_EQ(events.str().find("\"ev\":\"frame\""), std::string::npos);
    }
}

TEST(SerialLineListener, TheDriversErrorMarksBecomeOneInvalidByteEvenWhenCutByARead) {
    std::string pending;
    const std::string marked("a\xFF\0xb\xFF\xFF"
                             "c",
                             8);
    EXPECT_EQ(SerialLineListener::unmark(marked, pending), "a\xFF"
                                                            "b\xFF"
                                                            "c");
    EXPECT_EQ(SerialLineListener::unmark("d\xFF", pending), "d");
    EXPECT_EQ(SerialLineListener::unmark(std::string("\0", 1), pending), "");
    EXPECT_EQ(SerialLineListener::unmark("ze", pending), "\xFF"
                                                         "e");
    EXPECT_TRUE(pending.empty());
}
