#include "station/ReplayHost.h"

#include <limits>
#include <stdexcept>

namespace kelvora {

void ReplayHost::run(StationScript& script) {
    while (std::optional<ScriptCommand> command = script.next()) {
        fireDueBefore(command->time);
        m_now = std::max(m_now, command->time);
        if (command->verb == ScriptVerb::Chunk) {
            ++m_summary.chunks;
        }
        apply(*command);
        if (command->verb == ScriptVerb::Close) {
            finishOutput();
            m_summary.endTime = m_now;
            return;
        }
    }
    fireDueBefore(std::numeric_limits<std::int64_t>::max());
    m_summary.endTime = m_now;
}

void ReplayHost::fireDueBefore(std::int64_t limit) {
    m_timers.runDue(
        limit, m_now, [this](Timer timer) { return timerInterval(timer); }, [this] { wake(); },
        [this](Timer timer) { fireTimer(timer); });
}

void ReplayHost::finishOutput() {
    m_timers.runWakes(
        m_now, [this] { return core().outputPending(); }, [this] { wake(); });
}

void ReplayHost::timerChanged(Timer timer, bool enabled, int interval) {
    if (enabled && interval > 0) {
        m_timers.schedule(timer, m_now + interval);
    } else {
        m_timers.cancel(timer);
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

void ReplayHost::glitch(std::size_t readings) {
    ++m_summary.glitches;
    TraceHost::glitch(readings);
}

void ReplayHost::showError(const std::string& text) {
    ++m_summary.errors;
    TraceHost::showError(text);
}

} // namespace kelvora
