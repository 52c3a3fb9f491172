#pragma once

#include "quality/RunningStatistics.h"
#include "quality/Verdict.h"

#include <cstdint>
#include <deque>

namespace kelvora {

/// The running figures of a batch, one product (its one stored verdict) at a time: the weight
/// statistics, the counts per verdict and the throughput. Times are seconds on any steady scale (the
/// verdicts' local times as seconds since an epoch) and never decrease.
class BatchStatistics {
public:
    void add(double weight, Verdict verdict, double timeSeconds);

    const RunningStatistics& weights() const { return m_weights; }
    std::int64_t count() const { return m_weights.count(); }
    std::int64_t over() const { return m_over; }
    std::int64_t normal() const { return m_normal; }
    std::int64_t under() const { return m_under; }

    /// Mean − nominal, in the weight's unit; 0 without products.
    double giveaway(double nominal) const { return count() ? m_weights.mean() - nominal : 0.0; }
    /// The giveaway in % of the nominal; 0 without products or for a nominal of 0.
    double giveawayPercent(double nominal) const;

    /// Products whose time lies in the minute that ends with the last product (later than 60 s before
    /// it), the last one included: the rate over the last minute.
    std::int64_t perMinuteLastMinute() const { return static_cast<std::int64_t>(m_lastMinute.size()); }
    /// Products per minute over the batch: the intervals between the first and the last product over
    /// their span; 0 until the span is longer than zero.
    double perMinuteBatch() const;

private:
    RunningStatistics m_weights;
    std::int64_t m_over = 0;
    std::int64_t m_normal = 0;
    std::int64_t m_under = 0;
    double m_firstTime = 0.0;
    double m_lastTime = 0.0;
    std::deque<double> m_lastMinute;
};

} // namespace kelvora
