#pragma once

#include <cstdint>

namespace kelvora {

/// Count, mean, standard deviation, minimum, maximum and sum of a stream of values, updated one value
/// at a time in a numerically stable form (Welford's updates of the mean and of the sum of squared
/// deviations), so values with a large common offset keep their full precision. Any finite values give a
/// finite mean and standard deviation (the sums are kept on a scale that cannot overflow); only the
/// variance of values spread wider than about 1e154 and a sum past the largest double are infinite.
class RunningStatistics {
public:
    void add(double value);

    std::int64_t count() const { return m_count; }
    /// 0 without values.
    double mean() const;
    double sum() const { return m_sum; }
    /// The sample variance (divisor n − 1); 0 for fewer than two values.
    double variance() const;
    /// The sample standard deviation; 0 for fewer than two values.
    double standardDeviation() const;
    /// 0 without values.
    double minimum() const { return m_count ? m_min : 0.0; }
    double maximum() const { return m_count ? m_max : 0.0; }

private:
    std::int64_t m_count = 0;
    double m_halfMean = 0.0; // the mean of the values' halves
    double m_squares = 0.0;  // sum of squared deviations of the halves from their running mean, over m_scale²
    double m_scale = 1.0;    // a power of two, at least every deviation of a half
    double m_sum = 0.0;
    double m_min = 0.0;
    double m_max = 0.0;
};

} // namespace kelvora
