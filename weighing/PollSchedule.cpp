#include "weighing/PollSchedule.h"

#include <algorithm>

namespace kelvora {

void PollSchedule::start(std::int64_t now, std::int64_t intervalMs) {
    m_interval = intervalMs;
    m_next = intervalMs > 0 ? std::optional<std::int64_t>(now) : std::nullopt;
}

bool PollSchedule::due(std::int64_t now, std::optional<std::int64_t> nextOutput) {
    if (!m_next || now < *m_next) {
        return false;
    }
    if (nextOutput && *nextOutput > now && *nextOutput - now < kGuardMs) {
        m_next = *nextOutput; // after the copy, which is handed over first at that time
        return false;
    }
    // A late request does not make up for the ones missed: the next keeps its distance from this one.
    m_next = std::max(*m_next + m_interval, now + m_interval / 2);
    return true;
}

} // namespace kelvora
