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
    if (!(division > 0.0) || !std::isfinite(division))
        throw std::invalid_argument("the division must be above zero");
}

void Histogram::addCount(std::int64_t index, std::int64_t count) {
    m_counts[index] += count;
    m_count += count;
}

std::int64_t Histogram::divisionIndex(double weight) const {
    // Weights beyond the outermost index count there (and a NaN at the top), so every weight has one.
    const double index = weight / m_division;
    if (!(index < static_cast<double>(kOutermost)))
        return kOutermost;
    if (index <= -static_cast<double>(kOutermost))
        return -kOutermost;
    return std::llround(index);
}

std::vector<Histogram::Bin> Histogram::bins(std::size_t maxBins) const {
    std::vector<Bin> bins;
    if (m_counts.empty())
        return bins;
    const auto most = static_cast<std::int64_t>(std::clamp<std::size_t>(maxBins, 1, kMostBins));
    const std::int64_t low = m_counts.begin()->first;
    const std::int64_t high = m_counts.rbegin()->first;
    const std::int64_t span = high - low; // at most 2·kOutermost: no overflow
    // Bins on whole multiples of k (edges at round weights) where that fits in a few tries; else bins
    // from the lowest weight on, which fit with the least k.
    const std::int64_t least = span / most + 1;
    std::int64_t k = least, first = 0;
    bool aligned = false;
    for (int tries = 0; tries < 64 && most > 1; ++tries, ++k) {
        if (floorDiv(high, k) - floorDiv(low, k) + 1 <= most) {
            aligned = true;
            break;
        }
    }
    if (aligned) {
        first = floorDiv(low, k) * k;
    } else {
        k = least;
        first = low;
    }
    bins.resize(static_cast<std::size_t>((high - first) / k + 1));
    for (std::size_t i = 0; i < bins.size(); ++i) {
        const double start = static_cast<double>(first) + static_cast<double>(i) * static_cast<double>(k);
        bins[i].lower = (start - 0.5) * m_division;
        bins[i].upper = (start + static_cast<double>(k) - 0.5) * m_division;
    }
    for (const auto& [index, count] : m_counts)
        bins[static_cast<std::size_t>((index - first) / k)].count += count;
    return bins;
}

std::int64_t Histogram::countStep(std::int64_t highest) {
    for (std::int64_t scale = 1;; scale *= 10)
        for (std::int64_t factor : {1, 2, 5})
            if (highest <= 5 * factor * scale || factor * scale > INT64_MAX / 50)
                return factor * scale;
}

} // namespace kelvora
