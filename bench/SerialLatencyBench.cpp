// Latency of the serial component: from an indicator writing a frame's last byte to OnReceiveData on the main
// thread. The indicator is a thread on the master side of a pseudo-terminal, paced like a 9600-baud line; the
// component sits on the slave side with the station's settings for Comm1.
#include "comm/TComm.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
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

double percentile(std::vector<double> sorted, double fraction) {
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// Frames received on the main thread: a frame counts as arrived with the chunk that holds its last byte.
struct Arrivals {
    std::size_t frameLength = 0;
    std::size_t bytes = 0;
    std::size_t chunks = 0;
    std::vector<double> latenciesMs;
};

void BM_ReceiveLatency(benchmark::State& state) {
    const auto frameCount = static_cast<std::size_t>(state.range(0));
    std::vector<std::string> frames;
    for (std::size_t n = 0; n < frameCount; ++n) {
        frames.push_back(toledoFrame(static_cast<int>(1500 + n % 40)));
    }
    const std::size_t expectedBytes = frameCount * frames.front().size();

    for (auto _ : state) {
        PseudoTerminal line;
        PacedIndicator indicator(line, frames);
        Arrivals arrivals{frames.front().size(), 0, 0, {}};
        QEventLoop loop;
        TComm comm;
        configureLikeComm1(comm, line.path());
        comm.OnReceiveData = [&](TComm*, const std::uint8_t*, std::uint16_t length) {
            const auto now = Clock::now();
            ++arrivals.chunks;
            arrivals.bytes += length;
            while (arrivals.latenciesMs.size() < arrivals.bytes / arrivals.frameLength) {
                const auto sent = indicator.lastByteSent(arrivals.latenciesMs.size());
                arrivals.latenciesMs.push_back(std::chrono::duration<double, std::milli>(now - sent).count());
            }
            if (arrivals.bytes >= expectedBytes) {
                loop.quit();
            }
        };
        comm.OpenPort();
        QTimer::singleShot(kFramePeriod * static_cast<int>(frameCount) + std::chrono::seconds(5), &loop,
                           [&loop] { loop.quit(); });
        indicator.start();
        loop.exec();
        indicator.stop();
        comm.ClosePort();

        if (indicator.failed() || arrivals.latenciesMs.size() != frameCount) {
            state.SkipWithError("not every frame arrived");
            return;
        }
        state.counters["p50_ms"] = percentile(arrivals.latenciesMs, 0.50);
        state.counters["p99_ms"] = percentile(arrivals.latenciesMs, 0.99);
        state.counters["max_ms"] = percentile(arrivals.latenciesMs, 1.0);
        state.counters["target_p99_ms"] = kReadIntervalTimeout + 2;
        state.counters["frames"] = static_cast<double>(frameCount);
        state.counters["chunks"] = static_cast<double>(arrivals.chunks);
    }
}

} // namespace

BENCHMARK(BM_ReceiveLatency)->Arg(500)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

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
