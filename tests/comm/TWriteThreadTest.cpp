#include "comm/Block.h"
#include "comm/TComm.h"
#include "tests/support/PtyTestSupport.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::Recorder;
using test::spinFor;
using test::spinUntil;

const std::string kXoff = "\x13";
const std::string kXon = "\x11";

class SendTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::application();
        m_pty = std::make_unique<PtyPair>();
        test::configureLikeStation(m_comm, m_pty->path(), 16);
        m_recorder.bind(m_comm);
    }
    void TearDown() override { m_comm.ClosePort(); }

    void open() {
        m_comm.OpenPort();
        ASSERT_TRUE(spinUntil([&] { return m_recorder.sendEmpty == 1; }));
    }

    // The line discipline takes the flow-control byte asynchronously; give it a moment.
    void holdOutput() {
        m_pty->send(kXoff);
        std::this_thread::sleep_for(50ms);
    }

    std::unique_ptr<PtyPair> m_pty;
    TComm m_comm;
    Recorder m_recorder;
};

TEST_F(SendTest, WriteDataRefusesWhileClosedAndEmptyBlocks) {
    const std::uint8_t byte = 0x41;
    EXPECT_FALSE(m_comm.WriteData(&byte, 1));
    open();
    EXPECT_FALSE(m_comm.WriteData(&byte, 0));
    EXPECT_EQ(m_pty->receive(1, 100ms), "");
    m_comm.ClosePort();
    EXPECT_FALSE(m_comm.WriteData(&byte, 1));
}

TEST_F(SendTest, SeventeenOneByteWritesArriveInCallOrderFromAReusedBuffer) {
    open();
    std::string expected;
    std::uint8_t buffer = 0;
    for (int i = 0; i < 17; ++i) {
        buffer = static_cast<std::uint8_t>(0x30 + i);
        expected += static_cast<char>(buffer);
        ASSERT_TRUE(m_comm.WriteData(&buffer, 1));
    }
    buffer = 0;
    EXPECT_EQ(m_pty->receive(17), expected);
    EXPECT_EQ(m_recorder.hangups, 0);
}

TEST_F(SendTest, SendDataEmptyOnceAtStartAndOnceAfterABurst) {
    open();
    spinFor(100ms);
    EXPECT_EQ(m_recorder.sendEmpty, 1);

    holdOutput(); // the burst queues up behind the held first block
    for (char c : std::string("burst")) {
        ASSERT_TRUE(m_comm.WriteData(&c, 1));
    }
    spinFor(100ms);
    EXPECT_EQ(m_recorder.sendEmpty, 1);
    m_pty->send(kXon);
    EXPECT_EQ(m_pty->receive(5), "burst");
    ASSERT_TRUE(spinUntil([&] { return m_recorder.sendEmpty == 2; }));
    spinFor(100ms);
    EXPECT_EQ(m_recorder.sendEmpty, 2);
}

TEST_F(SendTest, XoffHoldsTheWriterUntilXon) {
    open();
    holdOutput();
    ASSERT_TRUE(m_comm.WriteData("held", 4));
    ASSERT_TRUE(m_comm.WriteData("+queued", 7));
    EXPECT_EQ(m_pty->receive(1, 200ms), "");
    m_pty->send(kXon);
    EXPECT_EQ(m_pty->receive(11), "held+queued");
    EXPECT_EQ(m_recorder.hangups, 0);
}

TEST_F(SendTest, ClosePortEndsAWriterHeldByXoffAndDropsItsQueue) {
    open();
    holdOutput();
    const long blocksBefore = Block::liveCount();
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(m_comm.WriteData("blocked", 7));
    }
    std::this_thread::sleep_for(50ms);
    const auto start = std::chrono::steady_clock::now();
    m_comm.ClosePort();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s); // ended by the stop, not left behind
    EXPECT_EQ(m_comm.ComHandle(), 0u);
    EXPECT_EQ(Block::liveCount(), blocksBefore);
    spinFor(50ms);
    EXPECT_EQ(m_recorder.hangups, 0);
    m_pty->send(kXon);
    EXPECT_EQ(m_pty->receive(1, 200ms), "");
}

TEST_F(SendTest, WriteTimeOutEndsTheWriterWithOneHangup) {
    m_comm.setWriteTotalTimeoutConstant(100);
    open();
    holdOutput();
    ASSERT_TRUE(m_comm.WriteData("late", 4));
    ASSERT_TRUE(spinUntil([&] { return m_recorder.hangups == 1; }));
    EXPECT_FALSE(m_comm.WriteData("more", 4));
    EXPECT_NE(m_comm.ComHandle(), 0u);
    spinFor(100ms);
    EXPECT_EQ(m_recorder.hangups, 1);
}

} // namespace
} // namespace kelvora
