#include "comm/Block.h"
#include "comm/TComm.h"
#include "tests/support/PtyTestSupport.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::Recorder;
using test::spinFor;
using test::spinUntil;

std::string pattern(std::size_t size) {
    std::string bytes;
    for (std::size_t i = 0; i < size; ++i) {
        bytes += static_cast<char>('A' + i % 26);
    }
    return bytes;
}

class ReceiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::application();
        m_pty = std::make_unique<PtyPair>();
        test::configureLikeStation(m_comm, m_pty->path(), 40);
        m_recorder.bind(m_comm);
        m_comm.OpenPort();
        ASSERT_TRUE(spinUntil([&] { return m_recorder.sendEmpty == 1; }));
    }
    void TearDown() override { m_comm.ClosePort(); }

    std::unique_ptr<PtyPair> m_pty;
    TComm m_comm;
    Recorder m_recorder;
};

TEST_F(ReceiveTest, UnbrokenStreamIsCutEvery128BytesAndAtTheEnd) {
    const std::string sent = pattern(300);
    m_pty->send(sent);
    ASSERT_TRUE(spinUntil([&] { return m_recorder.joined().size() == 300; }));
    spinFor(100ms);
    ASSERT_EQ(m_recorder.chunks.size(), 3u);
    EXPECT_EQ(m_recorder.chunks[0].size(), 128u);
    EXPECT_EQ(m_recorder.chunks[1].size(), 128u);
    EXPECT_EQ(m_recorder.chunks[2].size(), 44u);
    EXPECT_EQ(m_recorder.joined(), sent);
    EXPECT_TRUE(m_recorder.zeroAfterEveryChunk);
}

TEST_F(ReceiveTest, PauseLongerThanTheIntervalEndsAChunkAShortOneDoesNot) {
    m_pty->send("ST,GS,+0012.345kg");
    std::this_thread::sleep_for(150ms);
    m_pty->send("\r\n");
    ASSERT_TRUE(spinUntil([&] { return m_recorder.chunks.size() == 2; }));
    EXPECT_EQ(m_recorder.chunks[0], "ST,GS,+0012.345kg");
    EXPECT_EQ(m_recorder.chunks[1], "\r\n");

    m_pty->send("ST,GS,");
    std::this_thread::sleep_for(3ms);
    m_pty->send("+0015.000kg");
    ASSERT_TRUE(spinUntil([&] { return m_recorder.chunks.size() >= 3; }));
    spinFor(100ms);
    ASSERT_EQ(m_recorder.chunks.size(), 3u);
    EXPECT_EQ(m_recorder.chunks[2], "ST,GS,+0015.000kg");
}

TEST_F(ReceiveTest, ZeroBytesAndFFBytesAreDataAndTheLengthCountsThemAll) {
    const std::string sent("ab\0cd\xFF\xFF"
                           "e\xFF",
                           9);
    m_pty->send(sent);
    ASSERT_TRUE(spinUntil([&] { return m_recorder.joined().size() >= sent.size(); }));
    EXPECT_EQ(m_recorder.joined(), sent);
    EXPECT_TRUE(m_recorder.zeroAfterEveryChunk);
    EXPECT_TRUE(m_recorder.errors.empty());
}

TEST_F(ReceiveTest, ThrowingHandlerGoesThroughTheRunnerLosesNoBlockAndTheNextChunkArrives) {
    const long blocksBefore = Block::liveCount();
    std::vector<std::string> shown;
    m_comm.HandlerRunner = [&](const std::function<void()>& handler) {
        try {
            handler();
        } catch (const std::exception& error) {
            shown.emplace_back(error.what());
        }
    };
    int calls = 0;
    m_comm.OnReceiveData = [&](TComm*, const std::uint8_t* buffer, std::uint16_t length) {
        if (++calls == 1) {
            throw std::runtime_error("bad frame");
        }
        m_recorder.chunks.emplace_back(reinterpret_cast<const char*>(buffer), length);
    };
    auto& app = test::application();
    app.caught.clear();
    m_pty->send("first");
    ASSERT_TRUE(spinUntil([&] { return calls == 1; }));
    EXPECT_EQ(shown, std::vector<std::string>{"bad frame"});
    EXPECT_TRUE(app.caught.empty()) << "an exception left the event handler";
    EXPECT_EQ(Block::liveCount(), blocksBefore);

    m_pty->send("second");
    ASSERT_TRUE(spinUntil([&] { return m_recorder.chunks.size() == 1; }));
    EXPECT_EQ(m_recorder.chunks[0], "second");
    EXPECT_EQ(Block::liveCount(), blocksBefore);
}

TEST_F(ReceiveTest, WithoutARunnerAThrowingHandlerStillNeverLeavesTheEventLoop) {
    int calls = 0;
    m_comm.OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t) {
        ++calls;
        throw 42; // not even a std::exception
    };
    auto& app = test::application();
    app.caught.clear();
    m_pty->send("first");
    ASSERT_TRUE(spinUntil([&] { return calls == 1; }));
    spinFor(100ms);
    m_pty->send("second");
    ASSERT_TRUE(spinUntil([&] { return calls == 2; }));
    EXPECT_TRUE(app.caught.empty());
}

TEST_F(ReceiveTest, UnboundReceiveEventDropsChunksAndFreesThem) {
    const long blocksBefore = Block::liveCount();
    m_comm.OnReceiveData = nullptr;
    m_pty->send(pattern(200));
    spinFor(200ms);
    EXPECT_EQ(Block::liveCount(), blocksBefore);
    EXPECT_EQ(m_recorder.hangups, 0);
}

TEST_F(ReceiveTest, ChunksReadBeforeClosePortAreStillDelivered) {
    m_pty->send("12345");
    std::this_thread::sleep_for(200ms); // read and posted, not yet handed out
    m_comm.ClosePort();
    EXPECT_TRUE(m_recorder.chunks.empty());
    spinFor(50ms);
    ASSERT_EQ(m_recorder.chunks.size(), 1u);
    EXPECT_EQ(m_recorder.chunks[0], "12345");
    EXPECT_EQ(m_recorder.hangups, 0);
}

TEST_F(ReceiveTest, DeviceGoneGivesOneHangupAndStopStartOnANewDeviceWorks) {
    m_pty->send("last");
    ASSERT_TRUE(spinUntil([&] { return m_recorder.chunks.size() == 1; }));
    m_pty->closeMaster();
    ASSERT_TRUE(spinUntil([&] { return m_recorder.hangups == 1; }));
    spinFor(200ms);
    EXPECT_EQ(m_recorder.hangups, 1);
    EXPECT_EQ(m_recorder.chunks.size(), 1u);
    EXPECT_NE(m_comm.ComHandle(), 0u); // open, with the reader ended, until Stop

    // The writer meets the dead line on its first block, asks once for a hang-up and ends.
    EXPECT_TRUE(m_comm.WriteData("x", 1));
    ASSERT_TRUE(spinUntil([&] { return m_recorder.hangups == 2; }));
    EXPECT_FALSE(m_comm.WriteData("y", 1));

    m_comm.ClosePort();
    PtyPair replacement;
    m_comm.setCommName(replacement.path());
    m_comm.OpenPort();
    replacement.send("again");
    ASSERT_TRUE(spinUntil([&] { return m_recorder.chunks.size() == 2; }));
    EXPECT_EQ(m_recorder.chunks[1], "again");
    EXPECT_TRUE(m_comm.WriteData("ok", 2));
    EXPECT_EQ(replacement.receive(2), "ok");
    EXPECT_EQ(m_recorder.hangups, 2);
}

TEST_F(ReceiveTest, ChunksKeepArrivingInOrderInsideAModalLoop) {
    std::vector<std::string> order;
    bool inModal = false;
    m_comm.OnReceiveData = [&](TComm*, const std::uint8_t* buffer, std::uint16_t length) {
        order.emplace_back(reinterpret_cast<const char*>(buffer), length);
        if (order.size() == 1) { // the first chunk opens a "message box" with its own loop
            inModal = true;
            QEventLoop modal;
            m_pty->send("two");
            std::this_thread::sleep_for(100ms);
            m_pty->send("three");
            QTimer::singleShot(400, &modal, &QEventLoop::quit);
            modal.exec();
            inModal = false;
            EXPECT_EQ(order.size(), 3u);
        }
    };
    m_pty->send("one");
    ASSERT_TRUE(spinUntil([&] { return order.size() == 3 && !inModal; }));
    EXPECT_EQ(order, (std::vector<std::string>{"one", "two", "three"}));
}

} // namespace
} // namespace kelvora
