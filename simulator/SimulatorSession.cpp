#include "simulator/SimulatorSession.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace kelvora {

namespace {

constexpr std::int64_t kIdleWaitNanos = 20'000'000;

std::string hexText(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        text += kHex[c >> 4];
        text += kHex[c & 0x0F];
    }
    return text;
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

long long monotonicNanos(std::chrono::steady_clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

std::string weightText(double weight) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", weight);
    return text;
}

} // namespace

SimulatorSession::SimulatorSession(IndicatorSimulation& simulation, SimulatorPort& port, std::ostream& out)
    : m_simulation(simulation), m_port(port), m_out(out), m_start(Clock::now()) {}

std::int64_t SimulatorSession::nanosSinceStart() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - m_start).count();
}

int SimulatorSession::run() {
    m_out << "{\"ev\":\"port\",\"path\":" << jsonString(m_port.stationPath()) << "}" << std::endl;
    if (m_reportReadings) {
        m_out << "{\"ev\":\"clock\",\"monotonic_ns\":" << monotonicNanos(m_start) << "}" << std::endl;
    }
    while (!m_port.stationPresent()) {
        m_port.wait(kIdleWaitNanos);
    }
    m_streamStart = nanosSinceStart();
    loadNextReading(m_streamStart);
    const std::int64_t end = m_streamStart + m_simulation.totalReadings() * m_simulation.periodNanos();
    while (m_current) {
        const std::int64_t now = nanosSinceStart();
        if (m_held && (now >= end || !m_port.stationPresent())) {
            // A station that never sends XON, or closes its side, does not keep the indicator forever.
            m_held = false;
            m_frameStart += now - m_heldAt;
            if (now >= end) {
                break;
            }
        }
        if (polled()) {
            answerRequests(now);
        } else if (!m_held) {
            sendDueBytes(now);
        }
        std::int64_t wake = now + kIdleWaitNanos;
        if (polled()) {
            wake = std::min(m_current ? m_frameStart : wake,
                            m_answer.empty() ? wake
                                             : m_answerStart + static_cast<std::int64_t>(m_answerSent + 1) *
                                                                   m_simulation.byteNanos());
        } else if (m_current && !m_held) {
            wake = m_frameStart + static_cast<std::int64_t>(m_sent + 1) * m_simulation.byteNanos();
        }
        if (m_port.wait(wake - nanosSinceStart()) == SimulatorPort::WaitResult::Readable) {
            readStation();
        }
    }
    readStation();
    for (const StationOutput& output : m_reader.finish()) {
        report(output);
    }
    if (m_lost > 0) {
        m_out << "{\"ev\":\"lost\",\"bytes\":" << m_lost << "}" << std::endl;
    }
    m_out << "{\"ev\":\"done\",\"products\":" << m_products << "}" << std::endl;
    return m_products;
}

bool SimulatorSession::loadNextReading(std::int64_t lineFreeNanos) {
    m_current.reset();
    while (!m_simulation.finished()) {
        Reading reading = m_simulation.next();
        const std::int64_t start = m_streamStart + reading.startNanos;
        if (reading.product) {
            announceProduct(*reading.product, start);
        }
        // A reading that should have started while the line was still busy (held by XOFF) is skipped.
        if (start >= lineFreeNanos) {
            m_current = std::move(reading);
            m_frameStart = start;
            m_sent = 0;
            return true;
        }
    }
    return false;
}

void SimulatorSession::announceProduct(const ProductStart& product, std::int64_t startNanos) {
    ++m_products;
    m_out << "{\"ev\":\"product\",\"n\":" << product.n << ",\"weight\":" << weightText(product.weight)
          << ",\"t\":" << startNanos / 1000000 << "}" << std::endl;
}

void SimulatorSession::sendDueBytes(std::int64_t now) {
    while (m_current) {
        const std::string& frame = m_current->frame;
        const std::int64_t byteNanos = m_simulation.byteNanos();
        const std::int64_t dueNanos = now - m_frameStart;
        const std::size_t due =
            dueNanos < byteNanos ? 0
                                 : std::min<std::size_t>(frame.size(), static_cast<std::size_t>(dueNanos / byteNanos));
        if (due <= m_sent) {
            return;
        }
        if (m_port.stationPresent()) {
            const std::size_t written = m_port.write(frame.data() + m_sent, due - m_sent);
            m_lost += due - m_sent - written;
            if (m_reportReadings && due == frame.size()) {
                reportReading(frame);
            }
        }
        m_sent = due;
        if (m_sent < frame.size()) {
            return;
        }
        loadNextReading(m_frameStart + static_cast<std::int64_t>(frame.size()) * byteNanos);
    }
}

void SimulatorSession::answerRequests(std::int64_t now) {
    while (m_current && m_frameStart <= now) {
        m_latest = m_current->frame;
        loadNextReading(m_frameStart + 1);
    }
    const std::int64_t byteNanos = m_simulation.byteNanos();
    if (m_answer.empty() && m_requests > 0 && !m_latest.empty()) {
        --m_requests;
        m_answer = m_latest;
        m_answerStart = now;
        m_answerSent = 0;
    }
    if (m_answer.empty()) {
        return;
    }
    const auto due =
        std::min<std::size_t>(m_answer.size(), static_cast<std::size_t>((now - m_answerStart) / byteNanos));
    if (due > m_answerSent && m_port.stationPresent()) {
        const std::size_t written = m_port.write(m_answer.data() + m_answerSent, due - m_answerSent);
        m_lost += due - m_answerSent - written;
    }
    m_answerSent = std::max(m_answerSent, due);
    if (m_answerSent == m_answer.size()) {
        if (m_reportReadings) {
            reportReading(m_answer);
        }
        m_answer.clear();
    }
}

std::string SimulatorSession::takeRequests(const std::string& bytes) {
    static constexpr std::string_view kRequest = "SI\r\n";
    std::string text = m_requestTail + bytes;
    m_requestTail.clear();
    for (std::size_t at = text.find(kRequest); at != std::string::npos; at = text.find(kRequest, at)) {
        ++m_requests;
        text.erase(at, kRequest.size());
    }
    // A request cut by the read: its first bytes wait for the rest (no output frame holds them).
    for (std::size_t keep = kRequest.size() - 1; keep > 0; --keep) {
        if (text.size() >= keep && text.compare(text.size() - keep, keep, kRequest.substr(0, keep)) == 0) {
            m_requestTail = text.substr(text.size() - keep);
            text.resize(text.size() - keep);
            break;
        }
    }
    return text;
}

void SimulatorSession::reportReading(const std::string& frame) {
    m_out << "{\"ev\":\"reading\",\"monotonic_ns\":" << monotonicNanos(Clock::now()) << ",\"hex\":\"" << hexText(frame)
          << "\"}" << std::endl;
}

void SimulatorSession::readStation() {
    const std::string read = m_port.read();
    const std::string bytes = polled() ? takeRequests(read) : read;
    if (bytes.empty()) {
        return;
    }
    for (const StationOutput& output : m_reader.feed(bytes)) {
        report(output);
    }
}

void SimulatorSession::report(const StationOutput& output) {
    const long long t = millisSinceStart();
    switch (output.kind) {
    case StationOutput::Kind::Frame:
        m_out << "{\"ev\":\"frame\",\"t\":" << t << ",\"hex\":\"" << hexText(output.bytes) << "\"}" << std::endl;
        break;
    case StationOutput::Kind::Stray:
        m_out << "{\"ev\":\"stray\",\"t\":" << t << ",\"hex\":\"" << hexText(output.bytes) << "\"}" << std::endl;
        break;
    case StationOutput::Kind::Xoff:
        if (!m_held) {
            m_held = true;
            m_heldAt = nanosSinceStart();
            m_out << "{\"ev\":\"xoff\",\"t\":" << t << "}" << std::endl;
        }
        break;
    case StationOutput::Kind::Xon:
        if (m_held) {
            m_held = false;
            // The interrupted frame goes on from here; its remaining bytes are paced from now.
            m_frameStart += nanosSinceStart() - m_heldAt;
            m_out << "{\"ev\":\"xon\",\"t\":" << t << "}" << std::endl;
        }
        break;
    }
}

} // namespace kelvora
