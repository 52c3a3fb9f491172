#include "comm/TComm.h"

#include "comm/CustomBaudRate.h"
#include "tests/support/PtyTestSupport.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;
using test::PtyPair;
using test::Recorder;
using test::spinUntil;

const std::string kNotOpened = "没有打开串口,原因可能是串口被某个程序打开或者不存在";

std::string openFailure(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& e) {
        return e.what();
    }
    return "opened";
}

speed_t outputSpeed(std::uint32_t handle) {
    termios t{};
    tcgetattr(static_cast<int>(handle), &t);
    return cfgetospeed(&t);
}

class CommTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::application();
        test::configureLikeStation(m_comm, m_pty.path(), 16);
    }

    PtyPair m_pty;
    TComm m_comm;
};

TEST(CommNames, LegacyNamesMapToTtySAndBareNamesLiveUnderDev) {
    EXPECT_EQ(TComm::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(TComm::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(TComm::DevicePath("Com3"), "/dev/ttyS2");
    EXPECT_EQ(TComm::DevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(TComm::DevicePath("COMX"), "/dev/COMX");
    EXPECT_EQ(TComm::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(TComm::DevicePath("/tmp/ttyV0"), "/tmp/ttyV0");
}

TEST_F(CommTest, OpeningTwiceFailsAndTheOpenPortKeepsWorking) {
    Recorder recorder;
    recorder.bind(m_comm);
    m_comm.OpenPort();
    const auto handle = m_comm.ComHandle();
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(openFailure(m_comm), "This serial port already opened");
    EXPECT_EQ(m_comm.ComHandle(), handle);
    m_pty.send("still");
    ASSERT_TRUE(spinUntil([&] { return recorder.joined() == "still"; }));
}

TEST_F(CommTest, PortHeldByAnotherOpenerGivesTheChineseMessageUntilItIsFree) {
    m_comm.OpenPort();
    TComm second;
    second.setCommName(m_pty.path());
    EXPECT_EQ(openFailure(second), kNotOpened);
    EXPECT_EQ(second.ComHandle(), 0u);
    m_comm.ClosePort();
    EXPECT_EQ(openFailure(second), "opened");
}

TEST_F(CommTest, ProgramHoldingTheTtyExclusivelyOrLockedKeepsThePortClosed) {
    const int other = ::open(m_pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    ASSERT_EQ(ioctl(other, TIOCEXCL), 0); // root gets past this mode on its own: the component must not
    EXPECT_EQ(openFailure(m_comm), kNotOpened);
    ioctl(other, TIOCNXCL);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(openFailure(m_comm), kNotOpened);
    ::close(other);
    EXPECT_EQ(openFailure(m_comm), "opened");
}

TEST_F(CommTest, MissingDeviceAndNonTerminalFailWithTheirMessages) {
    m_comm.setCommName("/dev/kelvora-no-such-port");
    EXPECT_EQ(openFailure(m_comm), kNotOpened);
    EXPECT_EQ(m_comm.ComHandle(), 0u);
    char file[] = "/tmp/kelvora-comm-XXXXXX";
    const int fd = mkstemp(file);
    ASSERT_GE(fd, 0);
    m_comm.setCommName(file);
    EXPECT_EQ(openFailure(m_comm), "File handle is not a comm handle ");
    EXPECT_EQ(m_comm.ComHandle(), 0u);
    // The handle was closed: nothing holds the file's lock.
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    std::remove(file);
    m_comm.setCommName(m_pty.path());
    EXPECT_EQ(openFailure(m_comm), "opened");
}

// Runs opening with the process allowed only `spare` descriptors beyond the one the device takes.
std::string openWithSpareDescriptors(TComm& comm, int spare) {
    const int lowestFree = dup(0);
    ::close(lowestFree);
    rlimit saved{};
    getrlimit(RLIMIT_NOFILE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree + 1 + spare);
    setrlimit(RLIMIT_NOFILE, &tight);
    const std::string result = openFailure(comm);
    setrlimit(RLIMIT_NOFILE, &saved);
    return result;
}

TEST_F(CommTest, FailedStartsLeaveTheComponentClosedAndThePortFree) {
    EXPECT_EQ(openWithSpareDescriptors(m_comm, 0), "Unable to create event");
    EXPECT_EQ(m_comm.ComHandle(), 0u);
    EXPECT_EQ(openWithSpareDescriptors(m_comm, 1), "Unable to create write thread");
    EXPECT_EQ(m_comm.ComHandle(), 0u);
    EXPECT_FALSE(m_comm.WriteData("x", 1));
    EXPECT_EQ(openFailure(m_comm), "opened");
}

TEST_F(CommTest, ClosingTwiceIsHarmlessAndReopeningGetsFreshThreads) {
    m_comm.ClosePort();
    Recorder recorder;
    recorder.bind(m_comm);
    for (int round = 1; round <= 3; ++round) {
        m_comm.OpenPort();
        ASSERT_TRUE(spinUntil([&] { return recorder.sendEmpty == 1; })); // a new writer each time
        const std::string text = "round" + std::to_string(round);
        m_pty.send(text);
        ASSERT_TRUE(spinUntil([&] { return recorder.chunks.size() == static_cast<std::size_t>(round); }));
        EXPECT_EQ(recorder.chunks.back(), text);
        ASSERT_TRUE(m_comm.WriteData(text.data(), static_cast<std::uint16_t>(text.size())));
        EXPECT_EQ(m_pty.receive(text.size()), text);
        m_comm.ClosePort();
        m_comm.ClosePort();
        EXPECT_EQ(m_comm.ComHandle(), 0u);
        test::spinFor(std::chrono::milliseconds(30)); // what the closed writer posted
        recorder.sendEmpty = 0;
    }
    EXPECT_EQ(recorder.hangups, 0);
}

TEST_F(CommTest, CommNameChangesOnlyTheNextOpening) {
    m_comm.OpenPort();
    PtyPair other;
    m_comm.setCommName(other.path());
    ASSERT_TRUE(m_comm.WriteData("a", 1));
    EXPECT_EQ(m_pty.receive(1), "a");
    m_comm.ClosePort();
    m_comm.OpenPort();
    ASSERT_TRUE(m_comm.WriteData("b", 1));
    EXPECT_EQ(other.receive(1), "b");
}

TEST_F(CommTest, SettersReprogramAnOpenPortOnlyOnAChange) {
    m_comm.OpenPort();
    const int handle = static_cast<int>(m_comm.ComHandle());
    EXPECT_EQ(outputSpeed(m_comm.ComHandle()), B9600);

    termios t{};
    tcgetattr(handle, &t);
    cfsetospeed(&t, B1200);
    tcsetattr(handle, TCSANOW, &t);
    m_comm.setBaudRate(9600);        // unchanged value: the port is not touched
    m_comm.setParity(TParity::Even); // stored only
    EXPECT_EQ(outputSpeed(m_comm.ComHandle()), B1200);

    m_comm.setXoffLimit(400); // any other change rebuilds the whole setting
    EXPECT_EQ(outputSpeed(m_comm.ComHandle()), B9600);
    m_comm.setBaudRate(19200);
    EXPECT_EQ(outputSpeed(m_comm.ComHandle()), B19200);
    m_comm.setBaudRate(250000); // no standard constant for this one
    EXPECT_EQ(currentBaudRate(handle), 250000u);
}

TEST_F(CommTest, RejectedStopBitsLeaveThePreviousSettingsAndThePortOpen) {
    m_comm.setStopBits(TStopBits::_2);
    m_comm.OpenPort();
    termios t{};
    tcgetattr(static_cast<int>(m_comm.ComHandle()), &t);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    m_comm.setStopBits(TStopBits::_1_5); // only with 5 data bits
    m_comm.setBaudRate(4800);
    tcgetattr(static_cast<int>(m_comm.ComHandle()), &t);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_NE(m_comm.ComHandle(), 0u);
}

TEST_F(CommTest, DestroyingAnOpenComponentClosesThePort) {
    {
        TComm first;
        first.setCommName(m_pty.path());
        first.setOutx_CtsFlow(false);
        first.OpenPort();
        ASSERT_TRUE(first.WriteData("bye", 3));
        EXPECT_EQ(m_pty.receive(3), "bye");
    }
    EXPECT_EQ(openFailure(m_comm), "opened");
}

} // namespace
} // namespace kelvora
