#include "quality/RunningStatistics.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace kelvora {

void RunningStatistics::add(double value) {
    ++m_count;
    // Halves: the difference of two halves of finite values is always finite.
    const double half = value * 0.5;
    const double delta = half - m_halfMean;
    m_halfMean += delta / static_cast<double>(m_count);
    const double after = half - m_halfMean;
    // The squared deviations are summed on a power-of-two scale at least as large as any deviation, so
    // that they never overflow; a larger deviation rescales the sum (exactly, by a power of two).
    const double largest = std::fmax(std::fabs(delta), std::fabs(after));
    if (largest > m_scale) {
        const double scale = std::ldexp(1.0, std::min(std::ilogb(largest) + 1, 1023));
        const double ratio = m_scale / scale;
        m_squares *= ratio * ratio;
        m_scale = scale;
    }
    m_squares += (delta / m_scale) * (after / m_scale);
    m_sum += value;
    if (m_count == 1 || value < m_min)
        m_min = value;
    if (m_count == 1 || value > m_max)
        m_max = value;
}

double RunningStatistics::mean() const {
    // Twice the halves' mean overflows only past the largest double, which no mean of finite values is.
    return std::fmin(std::fmax(m_halfMean * 2.0, -DBL_MAX), DBL_MAX);
}

double RunningStatistics::variance() const {
    const double sd = standardDeviation();
    return sd * sd;
}

double RunningStatistics::standardDeviation() const {
    if (m_count < 2)
        return 0.0;
    return std::sqrt(m_squares / static_cast<double>(m_count - 1)) * 2.0 * m_scale;
}

} // namespace kelvora
