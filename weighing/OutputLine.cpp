#include "weighing/OutputLine.h"

#include <algorithm>

namespace kelvora {

std::size_t OutputLine::firstWaiting(std::int64_t now) const {
    std::size_t i = 0;
    // A first copy due now counts as started: it is handed over in this very step.
    while (i < m_copies.size() && !(m_copies[i].first && m_copies[i].time > now)) {
        ++i;
    }
    return i;
}

void OutputLine::dropWaiting(std::int64_t now) {
    const std::size_t waiting = firstWaiting(now);
    std::int64_t free = waiting == 0 ? now : m_copies[waiting - 1].time;
    std::size_t kept = waiting;
    for (std::size_t i = waiting; i + 1 < m_copies.size(); i += 2) {
        if (!m_copies[i].urgent) {
            ++m_superseded;
            continue;
        }
        // An earlier alarm's send moves up into the gap, keeping the line's spacing.
        if (kept != i) {
            m_copies[kept] = std::move(m_copies[i]);
            m_copies[kept + 1] = std::move(m_copies[i + 1]);
        }
        m_copies[kept].time = std::max(now, free);
        m_copies[kept + 1].time = m_copies[kept].time + kCopySpacingMs;
        free = m_copies[kept + 1].time;
        kept += 2;
    }
    m_copies.resize(kept);
}

void OutputLine::send(const std::string& frame, std::int64_t now, bool urgent) {
    if (urgent) {
        dropWaiting(now);
    } else {
        const std::size_t n = m_copies.size();
        const std::int64_t first = n == 0 ? now : std::max(now, m_copies.back().time);
        if (first - now > kBacklogMs && n >= 2 && m_copies[n - 2].first && m_copies[n - 2].time > now &&
            !m_copies[n - 2].urgent) {
            m_copies[n - 2].bytes = frame;
            m_copies[n - 1].bytes = frame;
            ++m_superseded;
            return;
        }
    }
    const std::int64_t first = m_copies.empty() ? now : std::max(now, m_copies.back().time);
    m_copies.push_back({first, frame, true, urgent});
    m_copies.push_back({first + kCopySpacingMs, frame, false, urgent});
}

std::vector<std::string> OutputLine::takeDue(std::int64_t now) {
    std::vector<std::string> due;
    while (!m_copies.empty() && m_copies.front().time <= now) {
        due.push_back(std::move(m_copies.front().bytes));
        m_copies.pop_front();
    }
    return due;
}

std::optional<std::int64_t> OutputLine::nextDue() const {
    if (m_copies.empty()) {
        return std::nullopt;
    }
    return m_copies.front().time;
}

} // namespace kelvora
