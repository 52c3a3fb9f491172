#include "weighing/OutputLine.h"

#include <algorithm>

namespace kelvora {

void OutputLine::dropForAlarm(std::int64_t now, std::uint64_t group) {
    std::deque<Copy> kept;
    std::int64_t free = now;
    for (Copy& copy : m_copies) {
        if (copy.group != group) {
            continue;
        }
        // An earlier send of this alarm step moves up into the gap; a copy of one under way keeps its time.
        if (copy.first) {
            copy.time = std::max(now, free);
        } else if (!kept.empty() && kept.back().first) {
            copy.time = kept.back().time + kCopySpacingMs;
        }
        free = copy.time;
        kept.push_back(std::move(copy));
    }
    m_copies = std::move(kept);
}

void OutputLine::send(const std::string& frame, std::int64_t now, std::uint64_t alarmGroup) {
    if (alarmGroup != 0) {
        dropForAlarm(now, alarmGroup);
    }
    const std::size_t n = m_copies.size();
    const std::int64_t first = n == 0 ? now : std::max(now, m_copies.back().time);
    const bool lastWaits = n >= 2 && m_copies[n - 2].first && m_copies[n - 2].time > now && m_copies[n - 2].group == 0;
    if (alarmGroup == 0 && first - now > kBacklogMs && lastWaits) {
        // The last send has not started: the newer flags go out in its place, on its times.
        m_copies[n - 2].bytes = frame;
        m_copies[n - 1].bytes = frame;
        return;
    }
    m_copies.push_back({first, frame, true, alarmGroup});
    m_copies.push_back({first + kCopySpacingMs, frame, false, alarmGroup});
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
