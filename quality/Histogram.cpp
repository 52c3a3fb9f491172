#include "quality/Histogram.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace kelvora {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

} // namespace

Histogram::Histogram(double division) : m_division(division) {
    if (!(division > 0.0))
        throw std::invalid_argument("the division must be above zero");
}

void Histogram::addCount(std::int64_t index, std::int64_t count) {
    m_counts[index] += count;
    m_count += count;
}

std::int64_t Histogram::divisionIndex(double weight) const {
    return std::llround(weight / m_division);
}

std::vector<Histogram::Bin> Histogram::bins(std::size_t maxBins) const {
    std::vector<Bin> bins;
    if (m_counts.empty())
        return bins;
    maxBins = std::max<std::size_t>(maxBins, 1);
    const std::int64_t low = m_counts.begin()->first;
    const std::int64_t high = m_counts.rbegin()->first;
    std::int64_t k = std::max<std::int64_t>(1, (high - low + 1) / static_cast<std::int64_t>(maxBins));
    while (floorDiv(high, k) - floorDiv(low, k) + 1 > static_cast<std::int64_t>(maxBins))
        ++k;
    const std::int64_t first = floorDiv(low, k);
    bins.resize(static_cast<std::size_t>(floorDiv(high, k) - first + 1));
    for (std::size_t i = 0; i < bins.size(); ++i) {
        const std::int64_t start = (first + static_cast<std::int64_t>(i)) * k;
        bins[i].lower = (static_cast<double>(start) - 0.5) * m_division;
        bins[i].upper = (static_cast<double>(start + k) - 0.5) * m_division;
    }
    for (const auto& [index, count] : m_counts)
        bins[static_cast<std::size_t>(floorDiv(index, k) - first)].count += count;
    return bins;
}

} // namespace kelvora
