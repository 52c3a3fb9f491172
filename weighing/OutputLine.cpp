#include "weighing/OutputLine.h"

#include <algorithm>

namespace kelvora {

void OutputLine::send(const std::string& frame, std::int64_t now) {
    const std::int64_t first = m_copies.empty() ? now : std::max(now, m_copies.back().time);
    m_copies.push_back({first, frame});
    m_copies.push_back({first + kCopySpacingMs, frame});
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
