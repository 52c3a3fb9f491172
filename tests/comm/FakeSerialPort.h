#pragma once

#include "comm/SerialPort.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace kelvora::test {

/// A port whose driver the test plays: scripted read results, line counters and modem lines that the test
/// changes while the reader runs, and a record of what was written and purged.
class FakeSerialPort : public SerialPort {
public:
    std::uint32_t handle() const override { return 7; }
    bool applySettings(const LineSettings& settings) override {
        storeReceiveOptions(settings);
        return true;
    }
    void purge(bool input, bool /*output*/) override {
        const std::lock_guard lock(m_mutex);
        m_inputPurges += input ? 1 : 0;
    }
    IoResult read(std::uint8_t* buffer, std::size_t size) override {
        const std::lock_guard lock(m_mutex);
        if (m_reads.empty()) {
            return {IoStatus::WouldBlock};
        }
        Read& next = m_reads.front();
        if (next.status != IoStatus::Done) {
            const IoStatus status = next.status;
            m_reads.pop_front();
            return {status};
        }
        const std::size_t n = std::min(size, next.bytes.size());
        next.bytes.copy(reinterpret_cast<char*>(buffer), n);
        next.bytes.erase(0, n);
        if (next.bytes.empty()) {
            m_reads.pop_front();
        }
        return {IoStatus::Done, n};
    }
    IoResult write(const std::uint8_t* data, std::size_t size) override {
        const std::lock_guard lock(m_mutex);
        if (m_writeStatus != IoStatus::Done) {
            return {m_writeStatus};
        }
        m_written.append(reinterpret_cast<const char*>(data), size);
        return {IoStatus::Done, size};
    }
    WaitResult wait(const WaitableEvent& stop, Direction direction, const WaitableEvent* event,
                    std::optional<std::chrono::steady_clock::time_point> deadline) override {
        for (;;) {
            if (stop.isSet()) {
                return WaitResult::Stopped;
            }
            {
                const std::lock_guard lock(m_mutex);
                if (direction == Direction::Read && !m_reads.empty()) {
                    return WaitResult::PortReady;
                }
            }
            if (event && event->isSet()) {
                return WaitResult::EventSet;
            }
            if (deadline && std::chrono::steady_clock::now() >= *deadline) {
                return WaitResult::TimedOut;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    QueryStatus counters(LineCounters& counters) const override {
        const std::lock_guard lock(m_mutex);
        counters = m_counters;
        return m_counterStatus;
    }
    QueryStatus modemLines(ModemLines& lines) const override {
        const std::lock_guard lock(m_mutex);
        lines = m_lines;
        return m_lineStatus;
    }

    void feed(const std::string& bytes) { script({IoStatus::Done, bytes}); }
    void feedFailure(IoStatus status) { script({status, {}}); }
    template <typename Change> void change(Change change) {
        const std::lock_guard lock(m_mutex);
        change(m_counters, m_counterStatus, m_lines, m_lineStatus);
    }
    void setWriteStatus(IoStatus status) {
        const std::lock_guard lock(m_mutex);
        m_writeStatus = status;
    }
    std::string written() const {
        const std::lock_guard lock(m_mutex);
        return m_written;
    }
    int inputPurges() const {
        const std::lock_guard lock(m_mutex);
        return m_inputPurges;
    }

private:
    struct Read {
        IoStatus status;
        std::string bytes;
    };
    void script(Read read) {
        const std::lock_guard lock(m_mutex);
        m_reads.push_back(std::move(read));
    }

    mutable std::mutex m_mutex;
    std::deque<Read> m_reads;
    LineCounters m_counters;
    QueryStatus m_counterStatus = QueryStatus::NotAvailable;
    ModemLines m_lines;
    QueryStatus m_lineStatus = QueryStatus::NotAvailable;
    IoStatus m_writeStatus = IoStatus::Done;
    std::string m_written;
    int m_inputPurges = 0;
};

} // namespace kelvora::test
