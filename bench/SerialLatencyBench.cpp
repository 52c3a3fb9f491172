// Latency of the serial component: from an indicator writing a frame's last byte to OnReceiveData on the main
// thread. The indicator is a thread on the master side of a pseudo-terminal, paced like a 9600-baud line; the
// component sits on the slave side with the station's settings for Comm1. The same line read by the barest
// of readers gives the platform's floor for comparison.
#include "comm/TComm.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

using namespace kelvora;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kReadIntervalTimeout = 16;
constexpr int kBaud = 9600;
// A start bit, seven data bits, a parity bit and a stop bit: 1.04 ms a character at 9600 baud.
constexpr auto kByteTime = std::chrono::nanoseconds(10'000'000'000LL / kBaud);
// Twenty readings a second, the usual rate of a streaming indicator: each 18-byte frame is followed by a
// pause longer than the interval time-out, so every frame ends a chunk.
constexpr auto kFramePeriod = std::chrono::milliseconds(50);

// A pseudo-terminal pair; the benchmark holds the master side and the slave, so that the line stays up
// while the component opens and closes the slave by its path.
class PseudoTerminal {
public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        m_path = name;
    }
    ~PseudoTerminal() {
        ::close(m_master);
        ::close(m_slave);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& path() const { return m_path; }

    void writeByte(std::uint8_t byte) const {
        while (::write(m_master, &byte, 1) != 1) {
            if (errno != EINTR && errno != EAGAIN) {
                throw std::runtime_error("write to the pseudo-terminal failed");
            }
        }
    }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

// Toledo continuous output: STX, status A/B/C, six weight digits, six tare digits, CR, checksum (the two's
// complement of the low seven bits of the sum of the bytes before it).
std::string toledoFrame(int hundredths) {
    char text[19];
    std::snprintf(text, sizeof text, "\x02\x2D\x30\x20%06d000000\r", hundredths % 1000000);
    std::string frame(text, 17);
    unsigned sum = 0;
    for (const char c : frame) {
        sum += static_cast<std::uint8_t>(c);
    }
    frame.push_back(static_cast<char>((0x80 - (sum & 0x7F)) & 0x7F));
    return frame;
}

// Comm1 as the main window sets it: XON/XOFF both ways, no hardware handshake, 16 ms interval time-out.
void configureLikeComm1(TComm& comm, const std::string& path) {
    comm.setCommName(path);
    comm.setBaudRate(kBaud);
    comm.setParityCheck(false);
    comm.setOutx_CtsFlow(false);
    comm.setOutx_DsrFlow(false);
    comm.setDtrControl(TDtrControl::DtrEnable);
    comm.setTxContinueOnXoff(true);
    comm.setOutx_XonXoffFlow(true);
    comm.setInx_XonXoffFlow(true);
    comm.setRtsControl(TRtsControl::RtsEnable);
    comm.setXonLimit(500);
    comm.setXoffLimit(500);
    comm.setReadIntervalTimeout(kReadIntervalTimeout);
}

// The indicator: writes the frames one byte at a time on the line's clock and notes, for each frame, the
// moment its last byte was handed to the line.
class PacedIndicator {
public:
    PacedIndicator(const PseudoTerminal& line, std::vector<std::string> frames)
        : m_line(line), m_frames(std::move(frames)), m_lastByteSent(m_frames.size()) {}
    ~PacedIndicator() { stop(); }
    PacedIndicator(const PacedIndicator&) = delete;
    PacedIndicator& operator=(const PacedIndicator&) = delete;

    void start() {
        m_thread = std::thread([this] { run(); });
    }
    void stop() {
        m_stopping = true;
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    Clock::time_point lastByteSent(std::size_t frame) const {
        return Clock::time_point(Clock::duration(m_lastByteSent[frame].load(std::memory_order_acquire)));
    }
    bool failed() const { return m_failed; }

private:
    void run() {
        try {
            const auto begin = Clock::now() + kFramePeriod;
            for (std::size_t n = 0; n < m_frames.size() && !m_stopping; ++n) {
                sendFrame(n, begin + n * kFramePeriod);
            }
        } catch (const std::runtime_error&) {
            m_failed = true;
        }
    }

    void sendFrame(std::size_t n, Clock::time_point frameStart) {
        const std::string& frame = m_frames[n];
        for (std::size_t i = 0; i < frame.size(); ++i) {
            std::this_thread::sleep_until(frameStart + i * kByteTime);
            // Noted before the write: the byte cannot reach the reader earlier.
            if (i + 1 == frame.size()) {
                m_lastByteSent[n].store(Clock::now().time_since_epoch().count(), std::memory_order_release);
            }
            m_line.writeByte(static_cast<std::uint8_t>(frame[i]));
        }
    }

    const PseudoTerminal& m_line;
    std::vector<std::string> m_frames;
    std::vector<std::atomic<Clock::rep>> m_lastByteSent;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_failed{false};
    std::thread m_thread;
};

// Hands each chunk's length to the benchmark on the main thread.
using ChunkHandler = std::function<void(std::size_t length)>;

// The station's way of reading the line: Comm1 raising OnReceiveData.
class CommReceiver {
public:
    CommReceiver(const std::string& path, ChunkHandler onChunk) {
        configureLikeComm1(m_comm, path);
        m_comm.OnReceiveData = [onChunk = std::move(onChunk)](TComm*, const std::uint8_t*, std::uint16_t length) {
            onChunk(length);
        };
        m_comm.OpenPort();
    }
    ~CommReceiver() { m_comm.ClosePort(); }
    CommReceiver(const CommReceiver&) = delete;
    CommReceiver& operator=(const CommReceiver&) = delete;

private:
    TComm m_comm;
};

// The least any reader has to do: one thread waiting on the slave with the same interval time-out and
// posting each chunk to the main thread's event loop. Its latency is the platform's share (pseudo-terminal,
// timer and thread wake-ups), against which the component's own share shows.
class BareReceiver {
public:
    BareReceiver(const std::string& path, ChunkHandler onChunk)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)), m_stop(eventfd(0, EFD_CLOEXEC)),
          m_onChunk(std::move(onChunk)) {
        termios settings{};
        if (m_fd < 0 || m_stop < 0 || tcgetattr(m_fd, &settings) != 0) {
            closeHandles();
            throw std::runtime_error("cannot open " + path);
        }
        cfmakeraw(&settings);
        tcsetattr(m_fd, TCSANOW, &settings);
        m_thread = std::thread([this] { run(); });
    }
    ~BareReceiver() {
        const std::uint64_t one = 1;
        while (::write(m_stop, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
        closeHandles();
    }
    BareReceiver(const BareReceiver&) = delete;
    BareReceiver& operator=(const BareReceiver&) = delete;

private:
    void run() {
        // The component's reader runs two steps above normal priority; so does this one.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), getpriority(PRIO_PROCESS, 0) - 2);
        constexpr std::size_t kChunkSize = 128;
        std::uint8_t buffer[kChunkSize];
        std::size_t pending = 0;
        const timespec interval{0, static_cast<long>(kReadIntervalTimeout) * 1'000'000L};
        for (;;) {
            pollfd waits[2] = {{m_stop, POLLIN, 0}, {m_fd, POLLIN, 0}};
            const int ready = ppoll(waits, 2, pending > 0 ? &interval : nullptr, nullptr);
            if (ready < 0 || waits[0].revents != 0) {
                return;
            }
            if (ready == 0) {
                post(std::exchange(pending, 0));
                continue;
            }
            const ssize_t count = ::read(m_fd, buffer, kChunkSize - pending);
            pending += count > 0 ? static_cast<std::size_t>(count) : 0;
            if (pending == kChunkSize) {
                post(std::exchange(pending, 0));
            }
        }
    }
    void post(std::size_t length) {
        QMetaObject::invokeMethod(
            &m_mainThread, [this, length] { m_onChunk(length); }, Qt::QueuedConnection);
    }
    void closeHandles() {
        for (const int handle : {m_fd, m_stop}) {
            if (handle >= 0) {
                ::close(handle);
            }
        }
    }

    int m_fd;
    int m_stop;
    ChunkHandler m_onChunk;
    QObject m_mainThread;
    std::thread m_thread;
};

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

std::vector<std::string> framesToSend(std::size_t count) {
    std::vector<std::string> frames;
    for (std::size_t n = 0; n < count; ++n) {
        frames.push_back(toledoFrame(static_cast<int>(1500 + n % 40)));
    }
    return frames;
}

template <typename Receiver> void measureLatency(benchmark::State& state) {
    const auto frameCount = static_cast<std::size_t>(state.range(0));
    const std::vector<std::string> frames = framesToSend(frameCount);
    const std::size_t frameLength = frames.front().size();

    for (auto _ : state) {
        PseudoTerminal line;
        PacedIndicator indicator(line, frames);
        QEventLoop loop;
        // A frame counts as arrived with the chunk that holds its last byte.
        std::size_t bytes = 0;
        std::size_t chunks = 0;
        std::vector<double> latenciesMs;
        Receiver receiver(line.path(), [&](std::size_t length) {
            const auto now = Clock::now();
            ++chunks;
            bytes += length;
            while (latenciesMs.size() < std::min(bytes / frameLength, frameCount)) {
                const auto sent = indicator.lastByteSent(latenciesMs.size());
                latenciesMs.push_back(std::chrono::duration<double, std::milli>(now - sent).count());
            }
            if (latenciesMs.size() == frameCount) {
                loop.quit();
            }
        });
        QTimer::singleShot(kFramePeriod * static_cast<int>(frameCount) + std::chrono::seconds(5), &loop,
                           [&loop] { loop.quit(); });
        indicator.start();
        loop.exec();
        indicator.stop();

        if (indicator.failed() || latenciesMs.size() != frameCount) {
            state.SkipWithError("not every frame arrived");
            return;
        }
        state.counters["p50_ms"] = percentile(latenciesMs, 0.50);
        state.counters["p99_ms"] = percentile(latenciesMs, 0.99);
        state.counters["max_ms"] = percentile(latenciesMs, 1.0);
        state.counters["target_p99_ms"] = kReadIntervalTimeout + 2;
        state.counters["frames"] = static_cast<double>(frameCount);
        state.counters["chunks"] = static_cast<double>(chunks);
    }
}

void BM_OnReceiveData(benchmark::State& state) {
    measureLatency<CommReceiver>(state);
}
void BM_PlatformFloor(benchmark::State& state) {
    measureLatency<BareReceiver>(state);
}

} // namespace

BENCHMARK(BM_OnReceiveData)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PlatformFloor)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The component raises its events through the main thread's Qt event loop, so the benchmarks run inside an
// application object.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    QCoreApplication application(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
