#include "quality/RunningStatistics.h"

#include <cmath>

namespace kelvora {

void RunningStatistics::add(double value) {
    ++m_count;
    const double delta = value - m_mean;
    m_mean += delta / static_cast<double>(m_count);
    m_squares += delta * (value - m_mean);
    m_sum += value;
    if (m_count == 1 || value < m_min)
        m_min = value;
    if (m_count == 1 || value > m_max)
        m_max = value;
}

double RunningStatistics::variance() const {
    return m_count < 2 ? 0.0 : m_squares / static_cast<double>(m_count - 1);
}

double RunningStatistics::standardDeviation() const {
    return std::sqrt(variance());
}

} // namespace kelvora
