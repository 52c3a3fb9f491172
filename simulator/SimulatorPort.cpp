#include "simulator/SimulatorPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace kelvora {

namespace {

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

speed_t speedFor(int baud) {
    switch (baud) {
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        throw std::runtime_error("baud rate " + std::to_string(baud) + " is not a standard rate of a device");
    }
}

timespec toTimespec(std::int64_t nanos) {
    return timespec{static_cast<time_t>(nanos / 1000000000), static_cast<long>(nanos % 1000000000)};
}

} // namespace

SimulatorPort::SimulatorPort(int fd, std::string stationPath, bool pseudoTerminal)
    : m_fd(fd), m_stationPath(std::move(stationPath)), m_pseudoTerminal(pseudoTerminal) {}

SimulatorPort::SimulatorPort(SimulatorPort&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_stationPath(std::move(other.m_stationPath)),
      m_pseudoTerminal(other.m_pseudoTerminal) {}

SimulatorPort::~SimulatorPort() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

SimulatorPort SimulatorPort::openPseudoTerminal() {
    termios raw{};
    cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
        fail("cannot open a pseudo-terminal");
    }
    // Without a slave opener the master reports a hang-up; that is how the simulator sees the station.
    ::close(slave);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    if (::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        const int saved = errno;
        ::close(master);
        errno = saved;
        fail("cannot make the pseudo-terminal non-blocking");
    }
    return SimulatorPort(master, name, true);
}

SimulatorPort SimulatorPort::openDevice(const std::string& path, int baud, bool sevenEven) {
    const speed_t speed = speedFor(baud);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail("cannot open " + path);
    }
    SimulatorPort port(fd, path, false);
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        fail(path + " is not a serial port");
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
    settings.c_cflag |= sevenEven ? (CS7 | PARENB) : CS8;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        fail("cannot set the line of " + path);
    }
    return port;
}

bool SimulatorPort::stationPresent() const {
    if (!m_pseudoTerminal) {
        return true;
    }
    pollfd entry{m_fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) >= 0 && (entry.revents & POLLHUP) == 0;
}

SimulatorPort::WaitResult SimulatorPort::wait(std::int64_t timeoutNanos) const {
    const timespec timeout = toTimespec(std::max<std::int64_t>(timeoutNanos, 0));
    if (!stationPresent()) {
        // A hung-up master polls readable all the time: sleep instead of spinning.
        ::nanosleep(&timeout, nullptr);
        return WaitResult::Timeout;
    }
    pollfd entry{m_fd, POLLIN, 0};
    const int ready = ::ppoll(&entry, 1, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) {
        fail("cannot wait on " + m_stationPath);
    }
    if (ready > 0 && (entry.revents & (POLLERR | POLLHUP)) != 0 && !m_pseudoTerminal) {
        throw std::runtime_error(m_stationPath + " went away");
    }
    return ready > 0 ? WaitResult::Readable : WaitResult::Timeout;
}

std::size_t SimulatorPort::write(const char* data, std::size_t length) {
    const ssize_t written = ::write(m_fd, data, length);
    if (written >= 0) {
        return static_cast<std::size_t>(written);
    }
    if (errno == EAGAIN || errno == EINTR || (m_pseudoTerminal && errno == EIO)) {
        return 0;
    }
    fail("cannot write to " + m_stationPath);
}

std::string SimulatorPort::read() {
    std::string bytes;
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got == 0 || errno == EAGAIN || errno == EINTR || (m_pseudoTerminal && errno == EIO)) {
            return bytes;
        }
        fail("cannot read from " + m_stationPath);
    }
}

} // namespace kelvora
