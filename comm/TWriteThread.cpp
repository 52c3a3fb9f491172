#include "comm/TWriteThread.h"

#include "comm/CommTypes.h"

#include <chrono>
#include <optional>
#include <system_error>
#include <utility>

namespace kelvora {

namespace {

using Clock = std::chrono::steady_clock;

// After the port reported room that a write then did not find, the next look waits this long.
constexpr auto kRetryPause = std::chrono::milliseconds(2);

class Writer {
public:
    Writer(std::shared_ptr<SerialPort> port, std::shared_ptr<WaitableEvent> stop, std::shared_ptr<NotifyPoster> poster,
           std::shared_ptr<SendQueue> queue)
        : m_port(std::move(port)), m_stop(std::move(stop)), m_poster(std::move(poster)), m_queue(std::move(queue)) {}

    void run() {
        raiseCurrentThreadPriority(1);
        bool notifyPending = true;
        while (step(notifyPending)) {
        }
        m_queue->close();
        m_port->purge(false, true);
    }

private:
    bool step(bool& notifyPending) {
        m_queue->arrived().reset();
        std::optional<Block> block = m_queue->pop();
        if (!block) {
            if (notifyPending && !m_poster->post(MsgSendDataEmpty, 0)) {
                hangup();
                return false;
            }
            notifyPending = false;
            const WaitResult result = m_port->wait(*m_stop, SerialPort::Direction::None, &m_queue->arrived(), {});
            if (result == WaitResult::Failed) {
                hangup();
            }
            return result == WaitResult::EventSet;
        }
        if (m_stop->isSet() || !writeBlock(*block)) {
            return false;
        }
        notifyPending = true;
        return true;
    }

    // The whole block goes out, or the writer ends.
    bool writeBlock(const Block& block) {
        const PortTimeouts timeouts = m_port->timeouts();
        const std::uint64_t total =
            std::uint64_t{timeouts.WriteTotalTimeoutMultiplier} * block.size() + timeouts.WriteTotalTimeoutConstant;
        std::optional<Clock::time_point> deadline;
        if (total != 0) {
            deadline = Clock::now() + std::chrono::milliseconds(total);
        }
        std::size_t written = 0;
        bool portSaidReady = false;
        while (written < block.size()) {
            const IoResult result = m_port->write(block.data() + written, block.size() - written);
            if (result.status == IoStatus::Done) {
                written += result.count;
                continue;
            }
            if (result.status != IoStatus::WouldBlock) {
                if (result.status != IoStatus::InvalidHandle) {
                    hangup();
                }
                return false;
            }
            if (!waitForRoom(deadline, portSaidReady)) {
                return false;
            }
        }
        return true;
    }

    // False when the writer must end: a stop, the write time-out (fewer bytes written) or a failed wait.
    bool waitForRoom(const std::optional<Clock::time_point>& deadline, bool& portSaidReady) {
        std::optional<Clock::time_point> until = deadline;
        SerialPort::Direction direction = SerialPort::Direction::Write;
        if (portSaidReady) {
            // Some drivers report room while output is held; look again shortly instead of spinning.
            const auto retry = Clock::now() + kRetryPause;
            until = deadline ? std::min(*deadline, retry) : retry;
            direction = SerialPort::Direction::None;
        }
        const WaitResult result = m_port->wait(*m_stop, direction, nullptr, until);
        portSaidReady = result == WaitResult::PortReady;
        if (result == WaitResult::Stopped) {
            return false;
        }
        if (result == WaitResult::Failed || (result == WaitResult::TimedOut && deadline && Clock::now() >= *deadline)) {
            hangup();
            return false;
        }
        return true;
    }

    void hangup() { m_poster->post(MsgRequestHangup, 0); }

    std::shared_ptr<SerialPort> m_port;
    std::shared_ptr<WaitableEvent> m_stop;
    std::shared_ptr<NotifyPoster> m_poster;
    std::shared_ptr<SendQueue> m_queue;
};

} // namespace

TWriteThread::TWriteThread(std::shared_ptr<SerialPort> PortHandle, std::shared_ptr<WaitableEvent> StopEvent,
                           std::shared_ptr<NotifyPoster> NotifyWindow)
    : PortHandle(std::move(PortHandle)), StopEvent(std::move(StopEvent)), NotifyWindow(std::move(NotifyWindow)),
      m_queue(SendQueue::create()) {
    if (!m_queue) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
}

TWriteThread::~TWriteThread() {
    m_queue->close();
}

void TWriteThread::Start() {
    auto writer = std::make_shared<Writer>(PortHandle, StopEvent, NotifyWindow, m_queue);
    start([writer] { writer->run(); });
}

bool TWriteThread::Post(Block block) {
    return m_queue->push(std::move(block));
}

} // namespace kelvora
