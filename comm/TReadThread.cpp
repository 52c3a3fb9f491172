#include "comm/TReadThread.h"

#include "comm/CommTypes.h"
#include "comm/LineDecoder.h"

#include <array>
#include <chrono>
#include <new>
#include <optional>
#include <utility>

namespace kelvora {

namespace {

using Clock = std::chrono::steady_clock;

// Line state that has no wake-up of its own is looked at this often, where the driver offers it.
constexpr auto kStatusPollPeriod = std::chrono::milliseconds(50);
// An interval time-out of this value means "return what has arrived" rather than a gap.
constexpr std::uint32_t kReturnImmediately = 0xFFFFFFFF;

class Reader {
public:
    Reader(std::shared_ptr<SerialPort> port, std::shared_ptr<WaitableEvent> stop, std::shared_ptr<NotifyPoster> poster)
        : m_port(std::move(port)), m_stop(std::move(stop)), m_poster(std::move(poster)) {}

    void run() {
        raiseCurrentThreadPriority(2);
        if (probeLineState()) {
            startTotalTimeout();
            while (step()) {
            }
        }
        m_port->purge(true, false);
    }

private:
    enum class Outcome { Continue, End };

    // Which line state the driver offers; false when the reader must end.
    bool probeLineState() {
        const QueryStatus counters = m_port->counters(m_counters);
        const QueryStatus lines = m_port->modemLines(m_lines);
        for (const QueryStatus status : {counters, lines}) {
            if (status == QueryStatus::Failed) {
                hangup();
            }
            if (status == QueryStatus::Failed || status == QueryStatus::InvalidHandle) {
                return false;
            }
        }
        m_haveCounters = counters == QueryStatus::Ok;
        m_haveLines = lines == QueryStatus::Ok;
        m_dsrOn = !m_haveLines || m_lines.dsr;
        if (m_haveCounters || m_haveLines) {
            m_nextStatusPoll = Clock::now() + kStatusPollPeriod;
        }
        return true;
    }

    bool step() {
        const WaitResult result = m_port->wait(*m_stop, SerialPort::Direction::Read, nullptr, nextDeadline());
        switch (result) {
        case WaitResult::Stopped:
            return false;
        case WaitResult::PortReady:
            if (readAvailable() == Outcome::End) {
                return false;
            }
            break;
        case WaitResult::TimedOut:
        case WaitResult::EventSet:
            break;
        case WaitResult::Failed:
            hangup();
            return false;
        }
        return checkDeadlines() == Outcome::Continue;
    }

    std::optional<Clock::time_point> nextDeadline() const {
        std::optional<Clock::time_point> deadline;
        for (const auto& candidate : {m_intervalDeadline, m_totalDeadline, m_nextStatusPoll}) {
            if (candidate && (!deadline || *candidate < *deadline)) {
                deadline = candidate;
            }
        }
        return deadline;
    }

    Outcome readAvailable() {
        const IoResult result = m_port->read(m_raw.data(), kReadChunkSize - m_length);
        if (result.status == IoStatus::WouldBlock) {
            return Outcome::Continue;
        }
        if (result.status != IoStatus::Done) {
            // The device has gone or failed: what was read is still delivered, then the reader ends.
            if (result.status != IoStatus::InvalidHandle && (m_length == 0 || deliverChunk())) {
                hangup();
            }
            return Outcome::End;
        }
        const PortTimeouts timeouts = m_port->timeouts();
        std::uint32_t errors = 0;
        m_length += m_decoder.decode(m_raw.data(), result.count, m_chunk.data() + m_length, m_port->receiveOptions(),
                                     m_dsrOn, errors);
        if (errors != 0 && !post(MsgReceiveError, errors)) {
            return Outcome::End;
        }
        if (m_length > 0 && timeouts.ReadIntervalTimeout != 0) {
            const auto gap = timeouts.ReadIntervalTimeout == kReturnImmediately
                                 ? Clock::duration::zero()
                                 : std::chrono::milliseconds(timeouts.ReadIntervalTimeout);
            m_intervalDeadline = Clock::now() + gap;
        }
        if (m_length == kReadChunkSize) {
            return deliverChunk() ? Outcome::Continue : Outcome::End;
        }
        return Outcome::Continue;
    }

    // Each read has its own total time-out, counted from its start.
    void startTotalTimeout() {
        const PortTimeouts timeouts = m_port->timeouts();
        m_totalDeadline.reset();
        const std::uint64_t total =
            std::uint64_t{timeouts.ReadTotalTimeoutMultiplier} * kReadChunkSize + timeouts.ReadTotalTimeoutConstant;
        if (total != 0) {
            m_totalDeadline = Clock::now() + std::chrono::milliseconds(total);
        }
    }

    Outcome checkDeadlines() {
        const auto now = Clock::now();
        const bool intervalPassed = m_intervalDeadline && *m_intervalDeadline <= now;
        const bool totalPassed = m_totalDeadline && *m_totalDeadline <= now;
        if (intervalPassed || totalPassed) {
            // A read that times out empty is issued again rather than ending the reader.
            if (m_length > 0 && !deliverChunk()) {
                return Outcome::End;
            }
            m_intervalDeadline.reset();
            startTotalTimeout();
        }
        if (m_nextStatusPoll && *m_nextStatusPoll <= now) {
            m_nextStatusPoll = now + kStatusPollPeriod;
            return pollLineState();
        }
        return Outcome::Continue;
    }

    // Error counts and modem lines that changed since the last look become notifications.
    Outcome pollLineState() {
        std::uint32_t errors = 0;
        std::uint32_t modem = 0;
        if (m_haveCounters) {
            LineCounters now;
            const QueryStatus status = m_port->counters(now);
            if (status != QueryStatus::Ok) {
                return queryFailed(status);
            }
            errors |= now.overrun != m_counters.overrun ? CE_OVERRUN : 0u;
            errors |= now.bufOverrun != m_counters.bufOverrun ? CE_RXOVER : 0u;
            // Without parity checking the driver does not mark framing errors in the data: only counts tell.
            errors |= !m_port->receiveOptions().parityCheck && now.frame != m_counters.frame ? CE_FRAME : 0u;
            modem |= now.dcd != m_counters.dcd ? ModemCarrierDetect : 0u;
            modem |= now.rng != m_counters.rng ? ModemRing : 0u;
            m_counters = now;
        }
        if (m_haveLines) {
            ModemLines now;
            const QueryStatus status = m_port->modemLines(now);
            if (status != QueryStatus::Ok) {
                return queryFailed(status);
            }
            if (!m_haveCounters) {
                modem |= now.carrierDetect != m_lines.carrierDetect ? ModemCarrierDetect : 0u;
                modem |= now.ring && !m_lines.ring ? ModemRing : 0u;
            }
            m_dsrOn = now.dsr;
            m_lines = now;
        }
        if (errors != 0 && !post(MsgReceiveError, errors)) {
            return Outcome::End;
        }
        if (modem != 0 && !post(MsgModemStateChange, modem)) {
            return Outcome::End;
        }
        return Outcome::Continue;
    }

    Outcome queryFailed(QueryStatus status) {
        if (status != QueryStatus::InvalidHandle) {
            hangup();
        }
        return Outcome::End;
    }

    bool deliverChunk() {
        const auto length = m_length;
        m_length = 0;
        m_intervalDeadline.reset();
        startTotalTimeout();
        try {
            return post(MsgDataReceived, static_cast<std::uint32_t>(length), Block(m_chunk.data(), length));
        } catch (const std::bad_alloc&) {
            hangup();
            return false;
        }
    }

    // A failed post is answered with a hang-up request, itself posted without checking.
    bool post(std::uint32_t message, std::uint32_t value, Block block = {}) {
        if (m_poster->post(message, value, std::move(block))) {
            return true;
        }
        hangup();
        return false;
    }

    void hangup() { m_poster->post(MsgRequestHangup, 0); }

    std::shared_ptr<SerialPort> m_port;
    std::shared_ptr<WaitableEvent> m_stop;
    std::shared_ptr<NotifyPoster> m_poster;
    std::array<std::uint8_t, kReadChunkSize> m_raw{};
    std::array<std::uint8_t, kReadChunkSize + 1> m_chunk{};
    std::size_t m_length = 0;
    LineDecoder m_decoder;
    std::optional<Clock::time_point> m_intervalDeadline;
    std::optional<Clock::time_point> m_totalDeadline;
    std::optional<Clock::time_point> m_nextStatusPoll;
    bool m_haveCounters = false;
    bool m_haveLines = false;
    LineCounters m_counters;
    ModemLines m_lines;
    bool m_dsrOn = true;
};

} // namespace

TReadThread::TReadThread(std::shared_ptr<SerialPort> PortHandle, std::shared_ptr<WaitableEvent> StopEvent,
                         std::shared_ptr<NotifyPoster> NotifyWindow)
    : PortHandle(std::move(PortHandle)), StopEvent(std::move(StopEvent)), NotifyWindow(std::move(NotifyWindow)) {}

void TReadThread::Start() {
    auto reader = std::make_shared<Reader>(PortHandle, StopEvent, NotifyWindow);
    start([reader] { reader->run(); });
}

} // namespace kelvora
