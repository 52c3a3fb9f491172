#pragma once

#include <cstdint>

namespace kelvora {

/// Count, mean, standard deviation, minimum, maximum and sum of a stream of values, updated one value
/// at a time in a numerically stable form (Welford's updates of the mean and of the sum of squared
/// deviations), so values with a large common offset keep their full precision.
class RunningStatistics {
public:
    void add(double value);

    std::int64_t count() const { return m_count; }
    /// 0 without values.
    double mean() const { return m_mean; }
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
    double m_mean = 0.0;
    double m_squares = 0.0; // sum of squared deviations from the running mean
    double m_sum = 0.0;
    double m_min = 0.0;
    double m_max = 0.0;
};

} // namespace kelvora
