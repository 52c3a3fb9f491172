#include "station/ReplayHost.h"

#include <limits>
#include <stdexcept>

namespace kelvora {

void ReplayHost::run(StationScript& script) {
    while (std::optional<ScriptCommand> command = script.next()) {
        fireTimersBefore(command->time);
        m_now = std::max(m_now, command->time);
        if (command->verb == ScriptVerb::Chunk) {
            ++m_summary.chunks;
        }
        apply(*command);
        if (command->verb == ScriptVerb::Close) {
            m_summary.endTime = m_now;
            return;
        }
    }
    fireTimersBefore(std::numeric_limits<std::int64_t>::max());
    m_summary.endTime = m_now;
}

void ReplayHost::fireTimersBefore(std::int64_t limit) {
    for (;;) {
        std::optional<std::size_t> next;
        for (std::size_t i = 0; i < m_due.size(); ++i) {
            if (m_due[i] && m_due[i]->time < limit &&
                (!next || m_due[i]->time < m_due[*next]->time ||
                 (m_due[i]->time == m_due[*next]->time && m_due[i]->order < m_due[*next]->order))) {
                next = i;
            }
        }
        if (!next) {
            return;
        }
        auto timer = static_cast<Timer>(*next);
        m_now = std::max(m_now, m_due[*next]->time);
        // A window timer repeats until its handler disables it.
        m_due[*next] = Due{m_now + timerInterval(timer), m_due[*next]->order};
        fireTimer(timer);
    }
}

void ReplayHost::timerChanged(Timer timer, bool enabled, int interval) {
    auto index = static_cast<std::size_t>(timer);
    if (enabled && interval > 0) {
        m_due[index] = Due{m_now + interval, m_nextOrder++};
    } else {
        m_due[index].reset();
    }
}

void ReplayHost::portOpen() {
    if (m_portOpen) {
        throw std::runtime_error("This serial port already opened");
    }
    m_portOpen = true;
}

void ReplayHost::recordResult(const std::string& verdict) {
    ++m_summary.verdicts[verdict];
    TraceHost::recordResult(verdict);
}

void ReplayHost::showError(const std::string& text) {
    ++m_summary.errors;
    TraceHost::showError(text);
}

} // namespace kelvora
