#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace kelvora {

/// Counts of weights on the scale's division d. A weight counts at its nearest multiple of d; a bin
/// holds k whole consecutive multiples (k·d wide, k as small as the number of bins allows), its edges
/// half a division outside them, so no shown weight ever lies on a bin edge.
class Histogram {
public:
    /// The outermost multiple of d counted: weights beyond it count at it (the work stays bounded
    /// whatever the weights).
    static constexpr std::int64_t kOutermost = std::int64_t{1} << 60;
    /// The most bins bins() returns.
    static constexpr std::size_t kMostBins = 10000;

    /// Throws std::invalid_argument for a division that is not above zero or not finite.
    explicit Histogram(double division);

    struct Bin {
        double lower = 0.0; ///< edge below the bin's first multiple of d
        double upper = 0.0; ///< edge above its last
        std::int64_t count = 0;
    };

    void add(double weight) { addCount(divisionIndex(weight), 1); }
    /// `count` weights at the multiple `index`·d (from aggregates).
    void addCount(std::int64_t index, std::int64_t count);
    /// The multiple of d nearest to the weight, within ±kOutermost.
    std::int64_t divisionIndex(double weight) const;

    double division() const { return m_division; }
    std::int64_t count() const { return m_count; }
    /// The bins from the lowest to the highest weight, at most maxBins (1 to kMostBins) of them, empty
    /// ones between included; none without weights. The bins start at a multiple of k·d where a few
    /// widths k allow it, else at the lowest weight.
    std::vector<Bin> bins(std::size_t maxBins = 40) const;

    /// The step of a count axis whose highest bin holds `highest`: 1, 2 or 5 × 10^k, at most 5 steps to
    /// the top, so every label is a whole count and none repeats.
    static std::int64_t countStep(std::int64_t highest);

private:
    double m_division;
    std::map<std::int64_t, std::int64_t> m_counts;
    std::int64_t m_count = 0;
};

} // namespace kelvora
