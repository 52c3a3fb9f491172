// clang-format off
#include "comm/SerialPort.h"

#include "comm/CustomBaudRate.h"
// clang-format on

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace kelvora {

namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 20> kStandardRates{{
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
}};

std::optional<speed_t> standardRate(std::uint32_t rate) {
    for (const auto& [value, speed] : kStandardRates) {
        if (value == rate) {
            return speed;
        }
    }
    return std::nullopt;
}

tcflag_t characterSize(TByteSize size) {
    switch (size) {
    case TByteSize::_5:
        return CS5;
    case TByteSize::_6:
        return CS6;
    case TByteSize::_7:
        return CS7;
    case TByteSize::_8:
        break;
    }
    return CS8;
}

tcflag_t parityFlags(TParity parity) {
    switch (parity) {
    case TParity::Odd:
        return PARENB | PARODD;
    case TParity::Even:
        return PARENB;
    case TParity::Mark:
        return PARENB | CMSPAR | PARODD;
    case TParity::Space:
        return PARENB | CMSPAR;
    case TParity::None:
        break;
    }
    return 0;
}

// The modem-line ioctls are absent on pseudo-terminals and some adapters; a missing line is left alone.
void setModemLine(int handle, int line, bool on) {
    ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &line);
}

QueryStatus queryStatus(int error) {
    if (error == ENOTTY || error == EINVAL) {
        return QueryStatus::NotAvailable;
    }
    return error == EBADF ? QueryStatus::InvalidHandle : QueryStatus::Failed;
}

IoResult ioResult(ssize_t n) {
    if (n > 0) {
        return {IoStatus::Done, static_cast<std::size_t>(n)};
    }
    if (n == 0) {
        return {IoStatus::EndOfStream};
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return {IoStatus::WouldBlock};
    }
    return {errno == EBADF ? IoStatus::InvalidHandle : IoStatus::Failed};
}

class PosixSerialPort final : public SerialPort {
public:
    explicit PosixSerialPort(int handle) : m_handle(handle) {}
    ~PosixSerialPort() override;

    std::uint32_t handle() const override { return static_cast<std::uint32_t>(m_handle); }
    bool applySettings(const LineSettings& settings) override;
    void purge(bool input, bool output) override;
    IoResult read(std::uint8_t* buffer, std::size_t size) override;
    IoResult write(const std::uint8_t* data, std::size_t size) override;
    WaitResult wait(const WaitableEvent& stop, Direction direction, const WaitableEvent* event,
                    std::optional<std::chrono::steady_clock::time_point> deadline) override;
    QueryStatus counters(LineCounters& counters) const override;
    QueryStatus modemLines(ModemLines& lines) const override;

private:
    int m_handle;
};

} // namespace

std::shared_ptr<WaitableEvent> WaitableEvent::create() {
    const int handle = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (handle < 0) {
        return nullptr;
    }
    return std::shared_ptr<WaitableEvent>(new WaitableEvent(handle));
}

WaitableEvent::~WaitableEvent() {
    ::close(m_handle);
}

void WaitableEvent::set() {
    eventfd_write(m_handle, 1);
}

void WaitableEvent::reset() {
    eventfd_t value = 0;
    eventfd_read(m_handle, &value);
}

bool WaitableEvent::isSet() const {
    pollfd p{m_handle, POLLIN, 0};
    return poll(&p, 1, 0) != 0;
}

SerialPort::OpenStatus SerialPort::open(const std::string& path, std::shared_ptr<SerialPort>& port) {
    int handle = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        return OpenStatus::Unavailable;
    }
    if (handle == 0) { // 0 means "closed" to the component's users
        const int moved = fcntl(handle, F_DUPFD_CLOEXEC, 1);
        ::close(handle);
        if (moved < 0) {
            return OpenStatus::Unavailable;
        }
        handle = moved;
    }
    // The lock catches a second opener even where the exclusive mode does not (root ignores it).
    if (flock(handle, LOCK_EX | LOCK_NB) != 0) {
        ::close(handle);
        return OpenStatus::Unavailable;
    }
    if (!isatty(handle)) {
        ::close(handle);
        return OpenStatus::NotATerminal;
    }
    // Another program may hold the tty in exclusive mode without the lock; root gets in regardless.
    int exclusive = 0;
    if (ioctl(handle, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
        ::close(handle);
        return OpenStatus::Unavailable;
    }
    ioctl(handle, TIOCEXCL);
    port = std::make_shared<PosixSerialPort>(handle);
    return OpenStatus::Opened;
}

PosixSerialPort::~PosixSerialPort() {
    ioctl(m_handle, TIOCNXCL);
    ::close(m_handle);
}

bool PosixSerialPort::applySettings(const LineSettings& settings) {
    termios t{};
    if (tcgetattr(m_handle, &t) != 0) {
        return false;
    }
    if (settings.StopBits == TStopBits::_1_5 && settings.ByteSize != TByteSize::_5) {
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | characterSize(settings.ByteSize) | parityFlags(settings.Parity);
    if (settings.StopBits != TStopBits::_1) {
        t.c_cflag |= CSTOPB;
    }
    if (settings.Outx_CtsFlow || settings.RtsControl == TRtsControl::RtsHandshake) {
        t.c_cflag |= CRTSCTS;
    }
    // Errors are marked in the data stream (FF 00 c, break FF 00 00, a real FF doubled) for the reader.
    t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | INPCK | IXON | IXOFF | IXANY);
    t.c_iflag |= PARMRK;
    if (settings.ParityCheck) {
        t.c_iflag |= INPCK;
    }
    if (settings.Outx_XonXoffFlow) {
        t.c_iflag |= IXON;
    }
    if (settings.Inx_XonXoffFlow) {
        t.c_iflag |= IXOFF;
    }
    t.c_cc[VSTART] = settings.XonChar;
    t.c_cc[VSTOP] = settings.XoffChar;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const auto speed = standardRate(settings.BaudRate);
    if (speed) {
        cfsetispeed(&t, *speed);
        cfsetospeed(&t, *speed);
    }
    // The C library reports a failure when the driver did not take every flag (a pseudo-terminal drops
    // parity, for one); what it took stays in force, so programming goes on.
    bool applied = tcsetattr(m_handle, TCSANOW, &t) == 0;
    if (!speed) {
        applied = setCustomBaudRate(m_handle, settings.BaudRate) && applied;
    }
    if (settings.DtrControl != TDtrControl::DtrHandshake) {
        setModemLine(m_handle, TIOCM_DTR, settings.DtrControl == TDtrControl::DtrEnable);
    }
    if (settings.RtsControl == TRtsControl::RtsEnable || settings.RtsControl == TRtsControl::RtsDisable) {
        setModemLine(m_handle, TIOCM_RTS, settings.RtsControl == TRtsControl::RtsEnable);
    }
    storeReceiveOptions(settings);
    return applied;
}

void PosixSerialPort::purge(bool input, bool output) {
    if (input || output) {
        tcflush(m_handle, input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH));
    }
}

IoResult PosixSerialPort::read(std::uint8_t* buffer, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::read(m_handle, buffer, size);
    } while (n < 0 && errno == EINTR);
    return ioResult(n);
}

IoResult PosixSerialPort::write(const std::uint8_t* data, std::size_t size) {
    ssize_t n = 0;
    do {
        n = ::write(m_handle, data, size);
    } while (n < 0 && errno == EINTR);
    if (n == 0) {
        return {IoStatus::WouldBlock};
    }
    return ioResult(n);
}

WaitResult PosixSerialPort::wait(const WaitableEvent& stop, Direction direction, const WaitableEvent* event,
                                 std::optional<std::chrono::steady_clock::time_point> deadline) {
    std::array<pollfd, 3> fds{};
    nfds_t count = 0;
    fds[count++] = {stop.nativeHandle(), POLLIN, 0};
    const nfds_t portIndex = count;
    if (direction != Direction::None) {
        fds[count++] = {m_handle, static_cast<short>(direction == Direction::Read ? POLLIN : POLLOUT), 0};
    }
    const nfds_t eventIndex = count;
    if (event) {
        fds[count++] = {event->nativeHandle(), POLLIN, 0};
    }
    for (;;) {
        timespec limit{};
        timespec* timeout = nullptr;
        if (deadline) {
            const auto left = std::max(*deadline - std::chrono::steady_clock::now(), std::chrono::nanoseconds(0));
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            limit = {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
            timeout = &limit;
        }
        const int n = ppoll(fds.data(), count, timeout, nullptr);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return WaitResult::Failed;
        }
        if (n == 0) {
            return WaitResult::TimedOut;
        }
        if (fds[0].revents != 0) {
            return (fds[0].revents & POLLIN) ? WaitResult::Stopped : WaitResult::Failed;
        }
        if (direction != Direction::None && fds[portIndex].revents != 0) {
            return WaitResult::PortReady; // readiness, hang-up or error: the next transfer tells which
        }
        if (event && fds[eventIndex].revents != 0) {
            return WaitResult::EventSet;
        }
    }
}

QueryStatus PosixSerialPort::counters(LineCounters& counters) const {
    serial_icounter_struct icount{};
    if (ioctl(m_handle, TIOCGICOUNT, &icount) != 0) {
        return queryStatus(errno);
    }
    counters = {static_cast<std::uint32_t>(icount.frame),       static_cast<std::uint32_t>(icount.overrun),
                static_cast<std::uint32_t>(icount.parity),      static_cast<std::uint32_t>(icount.brk),
                static_cast<std::uint32_t>(icount.buf_overrun), static_cast<std::uint32_t>(icount.dcd),
                static_cast<std::uint32_t>(icount.rng)};
    return QueryStatus::Ok;
}

QueryStatus PosixSerialPort::modemLines(ModemLines& lines) const {
    int bits = 0;
    if (ioctl(m_handle, TIOCMGET, &bits) != 0) {
        return queryStatus(errno);
    }
    lines = {(bits & TIOCM_CD) != 0, (bits & TIOCM_RI) != 0, (bits & TIOCM_DSR) != 0};
    return QueryStatus::Ok;
}

void raiseCurrentThreadPriority(int steps) {
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), current - steps);
}

} // namespace kelvora
