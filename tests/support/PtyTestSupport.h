#pragma once

#include "comm/TComm.h"
#include "station/PortSetup.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>

namespace kelvora::test {

/// The application object of the comm tests. It catches what would escape an event handler where the event
/// loop hands events out, and keeps the messages, so that a test can tell that nothing did.
class CatchingApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            caught.emplace_back(e.what());
            return true;
        }
    }

    std::vector<std::string> caught;
};

inline CatchingApplication& application() {
    static int argc = 1;
    static char name[] = "comm-test";
    static char* argv[] = {name, nullptr};
    static auto* app = new CatchingApplication(argc, argv);
    return *app;
}

/// Runs the event loop until done() holds or timeout passes; returns done().
template <typename Done>
bool spinUntil(Done done, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

inline void spinFor(std::chrono::milliseconds duration) {
    spinUntil([] { return false; }, duration);
}

/// A pseudo-terminal pair: the test holds the master side, as the device at the far end of the line;
/// the component opens the slave by its path.
class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        m_path = name;
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~PtyPair() {
        closeMaster();
        ::close(m_slave);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& path() const { return m_path; }

    void send(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                throw std::runtime_error("write to the pty master failed");
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    /// What arrives from the component until count bytes have come or timeout passes.
    std::string receive(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) const {
        std::string bytes;
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd p{m_master, POLLIN, 0};
            if (poll(&p, 1, 10) > 0) {
                char buffer[256];
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0) {
                    bytes.append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
        return bytes;
    }

    /// The same while the main thread's event loop runs, so that what the station sends later (the
    /// second copy of an output frame, an alarm) goes out meanwhile.
    std::string receiveSpinning(std::size_t count,
                                std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) const {
        std::string bytes;
        spinUntil(
            [&] {
                bytes += receive(count - bytes.size(), std::chrono::milliseconds(1));
                return bytes.size() >= count;
            },
            timeout);
        return bytes;
    }

    /// The far end goes away, as when a cable or an adapter is pulled.
    void closeMaster() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

/// Everything a component raised, with each chunk checked for its zero byte.
struct Recorder {
    std::vector<std::string> chunks;
    bool zeroAfterEveryChunk = true;
    std::vector<std::uint32_t> errors;
    std::vector<std::uint32_t> modemEvents;
    int hangups = 0;
    int sendEmpty = 0;

    void bind(TComm& comm) {
        comm.OnReceiveData = [this](TComm*, const std::uint8_t* buffer, std::uint16_t length) {
            chunks.emplace_back(reinterpret_cast<const char*>(buffer), length);
            zeroAfterEveryChunk = zeroAfterEveryChunk && buffer[length] == 0;
        };
        comm.OnReceiveError = [this](TComm*, std::uint32_t mask) { errors.push_back(mask); };
        comm.OnModemStateChange = [this](TComm*, std::uint32_t code) { modemEvents.push_back(code); };
        comm.OnRequestHangup = [this](TComm*) { ++hangups; };
        comm.OnSendDataEmpty = [this](TComm*) { ++sendEmpty; };
    }

    std::string joined() const {
        std::string all;
        for (const auto& chunk : chunks) {
            all += chunk;
        }
        return all;
    }
};

/// A component set up for a pseudo-terminal by the station's own port set-up (a station's default
/// settings), with a given interval time-out.
inline void configureLikeStation(TComm& comm, const std::string& path, std::uint32_t interval) {
    configureComm1(comm, StationSettings{}, path);
    comm.setReadIntervalTimeout(interval);
}

} // namespace kelvora::test
