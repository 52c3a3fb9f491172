#include "comm/CommTypes.h"
#include "comm/NotifyPoster.h"
#include "comm/NotifyWindow.h"
#include "comm/TReadThread.h"
#include "comm/TWriteThread.h"
#include "tests/comm/FakeSerialPort.h"
#include "tests/support/PtyTestSupport.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;
using test::FakeSerialPort;
using test::spinFor;
using test::spinUntil;

struct Posted {
    std::uint32_t message;
    std::uint32_t value;
    std::string data;
    bool operator==(const Posted&) const = default;
};

// The reader and the writer on a port whose driver reports what real UARTs report and pseudo-terminals
// cannot: line-error counts, modem lines, failing calls.
class DriverEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::application();
        m_port->setTimeouts(PortTimeouts{});
        m_port->applySettings(LineSettings{});
    }
    void TearDown() override {
        m_stop->set();
        if (m_reader) {
            m_reader->WaitFor(2s);
        }
        if (m_writer) {
            m_writer->WaitFor(2s);
        }
    }

    void startReader() {
        m_reader = std::make_unique<TReadThread>(m_port, m_stop, m_poster);
        m_reader->Start();
        spinFor(30ms); // the reader takes the line state it compares with
    }
    void startWriter() {
        m_writer = std::make_unique<TWriteThread>(m_port, m_stop, m_poster);
        m_writer->Start();
    }
    bool received(const Posted& expected) {
        return spinUntil([&] { return std::find(m_posted.begin(), m_posted.end(), expected) != m_posted.end(); });
    }
    int count(std::uint32_t message) const {
        return static_cast<int>(
            std::count_if(m_posted.begin(), m_posted.end(), [&](const Posted& p) { return p.message == message; }));
    }

    std::shared_ptr<FakeSerialPort> m_port = std::make_shared<FakeSerialPort>();
    std::shared_ptr<WaitableEvent> m_stop = WaitableEvent::create();
    std::vector<Posted> m_posted;
    NotifyWindow m_window{[this](const Notification& n) {
        m_posted.push_back(
            {n.message(), n.value(), std::string(reinterpret_cast<const char*>(n.block().data()), n.block().size())});
    }};
    std::shared_ptr<NotifyPoster> m_poster = std::make_shared<NotifyPoster>(&m_window);
    std::unique_ptr<TReadThread> m_reader;
    std::unique_ptr<TWriteThread> m_writer;
};

TEST_F(DriverEventsTest, CounterChangesBecomeLineErrorAndModemNotificationsWhileDataFlows) {
    m_port->change([](LineCounters&, QueryStatus& counters, ModemLines&, QueryStatus&) { counters = QueryStatus::Ok; });
    startReader();
    m_port->change([](LineCounters& c, QueryStatus&, ModemLines&, QueryStatus&) {
        ++c.overrun;
        ++c.bufOverrun;
        ++c.dcd;
    });
    EXPECT_TRUE(received({MsgReceiveError, CE_OVERRUN | CE_RXOVER, ""}));
    EXPECT_TRUE(received({MsgModemStateChange, ModemCarrierDetect, ""}));
    m_port->change([](LineCounters& c, QueryStatus&, ModemLines&, QueryStatus&) {
        ++c.frame; // not marked in the data without parity checking: only the count tells
        ++c.rng;
        ++c.dcd;
    });
    EXPECT_TRUE(received({MsgReceiveError, CE_FRAME, ""}));
    EXPECT_TRUE(received({MsgModemStateChange, ModemRing | ModemCarrierDetect, ""}));
    m_port->feed("data");
    EXPECT_TRUE(received({MsgDataReceived, 4, "data"}));
    spinFor(150ms);
    EXPECT_EQ(count(MsgReceiveError), 2); // unchanged counts report nothing
    EXPECT_EQ(count(MsgModemStateChange), 2);
    EXPECT_EQ(count(MsgRequestHangup), 0);
}

TEST_F(DriverEventsTest, ModemLinesAloneGiveCarrierChangesAndRingEdges) {
    m_port->change([](LineCounters&, QueryStatus&, ModemLines& lines, QueryStatus& status) {
        status = QueryStatus::Ok;
        lines.dsr = true;
    });
    startReader();
    m_port->change([](LineCounters&, QueryStatus&, ModemLines& lines, QueryStatus&) { lines.carrierDetect = true; });
    EXPECT_TRUE(received({MsgModemStateChange, ModemCarrierDetect, ""}));
    m_port->change([](LineCounters&, QueryStatus&, ModemLines& lines, QueryStatus&) {
        lines.ring = true;
        lines.carrierDetect = false;
    });
    EXPECT_TRUE(received({MsgModemStateChange, ModemRing | ModemCarrierDetect, ""}));
    m_port->change([](LineCounters&, QueryStatus&, ModemLines& lines, QueryStatus&) { lines.ring = false; });
    spinFor(150ms);
    EXPECT_EQ(count(MsgModemStateChange), 2); // the ring's falling edge is no event
}

TEST_F(DriverEventsTest, DsrSensitivityDropsDataWhileDsrIsOff) {
    LineSettings settings;
    settings.DsrSensitivity = true;
    m_port->applySettings(settings);
    m_port->change([](LineCounters&, QueryStatus&, ModemLines& lines, QueryStatus& status) {
        status = QueryStatus::Ok;
        lines.dsr = false;
    });
    startReader();
    m_port->feed("lost");
    spinFor(100ms);
    m_port->change([](LineCounters&, QueryStatus&, ModemLines& lines, QueryStatus&) { lines.dsr = true; });
    spinFor(100ms);
    m_port->feed("kept");
    EXPECT_TRUE(received({MsgDataReceived, 4, "kept"}));
    EXPECT_EQ(count(MsgDataReceived), 1);
}

TEST_F(DriverEventsTest, ParityErrorIsReportedBeforeItsChunkAndReplaced) {
    LineSettings settings;
    settings.Parity = TParity::Even;
    settings.ParityCheck = true;
    settings.ReplaceWhenParityError = true;
    settings.ReplacedChar = '?';
    m_port->applySettings(settings);
    startReader();
    m_port->feed(std::string("ab\xFF\x00"
                             "cd",
                             6));
    EXPECT_TRUE(received({MsgDataReceived, 4, "ab?d"}));
    ASSERT_EQ(m_posted.size(), 2u);
    EXPECT_EQ(m_posted[0], (Posted{MsgReceiveError, CE_RXPARITY, ""}));
}

TEST_F(DriverEventsTest, FailingReadDeliversWhatCameAndAsksOnceForAHangup) {
    startReader();
    m_port->feed("tail");
    m_port->feedFailure(IoStatus::Failed);
    EXPECT_TRUE(received({MsgRequestHangup, 0, ""}));
    EXPECT_TRUE(m_reader->WaitFor(1s));
    ASSERT_EQ(m_posted.size(), 2u);
    EXPECT_EQ(m_posted[0], (Posted{MsgDataReceived, 4, "tail"}));
    EXPECT_EQ(m_port->inputPurges(), 1);
}

TEST_F(DriverEventsTest, ClosedHandleEndsTheReaderSilently) {
    startReader();
    m_port->feedFailure(IoStatus::InvalidHandle);
    EXPECT_TRUE(m_reader->WaitFor(1s));
    spinFor(50ms);
    EXPECT_TRUE(m_posted.empty());
}

TEST_F(DriverEventsTest, LineStateQueryFailingEndsTheReaderWithAHangup) {
    m_port->change([](LineCounters&, QueryStatus& counters, ModemLines&, QueryStatus&) { counters = QueryStatus::Ok; });
    startReader();
    m_port->change(
        [](LineCounters&, QueryStatus& counters, ModemLines&, QueryStatus&) { counters = QueryStatus::Failed; });
    EXPECT_TRUE(m_reader->WaitFor(1s));
    spinFor(50ms);
    EXPECT_EQ(count(MsgRequestHangup), 1);
}

TEST_F(DriverEventsTest, TotalTimeOutEndsAChunkAndAnEmptyReadIsIssuedAgain) {
    PortTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutConstant = 60;
    m_port->setTimeouts(timeouts);
    startReader();
    spinFor(200ms); // several empty time-outs
    EXPECT_FALSE(m_reader->Finished());
    m_port->feed("ab");
    EXPECT_TRUE(received({MsgDataReceived, 2, "ab"}));
    m_port->feed("cd");
    EXPECT_TRUE(received({MsgDataReceived, 2, "cd"}));
    EXPECT_EQ(count(MsgRequestHangup), 0);
}

TEST_F(DriverEventsTest, StopEndsTheReaderSilentlyAndDropsAPartialChunk) {
    PortTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 0; // a chunk would wait for 128 bytes
    m_port->setTimeouts(timeouts);
    startReader();
    m_port->feed("partial");
    spinFor(50ms);
    m_stop->set();
    EXPECT_TRUE(m_reader->WaitFor(1s));
    spinFor(50ms);
    EXPECT_TRUE(m_posted.empty());
}

TEST_F(DriverEventsTest, FailedWriteAsksOnceForAHangupAndTheWriterRefusesMore) {
    startWriter();
    EXPECT_TRUE(received({MsgSendDataEmpty, 0, ""}));
    m_port->setWriteStatus(IoStatus::Failed);
    EXPECT_TRUE(m_writer->Post(Block("x", 1)));
    EXPECT_TRUE(received({MsgRequestHangup, 0, ""}));
    EXPECT_TRUE(m_writer->WaitFor(1s));
    EXPECT_FALSE(m_writer->Post(Block("y", 1)));
    EXPECT_EQ(count(MsgRequestHangup), 1);
}

TEST_F(DriverEventsTest, WriteOnAClosedHandleEndsTheWriterSilently) {
    startWriter();
    m_port->setWriteStatus(IoStatus::InvalidHandle);
    EXPECT_TRUE(m_writer->Post(Block("x", 1)));
    EXPECT_TRUE(m_writer->WaitFor(1s));
    spinFor(50ms);
    EXPECT_EQ(count(MsgRequestHangup), 0);
}

} // namespace
} // namespace kelvora
