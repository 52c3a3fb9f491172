#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace kelvora {

/// The stable capture: weighs every product exactly once, by its own readings.
///
/// A product is a run of samples above the product threshold; the caller hands each such sample to
/// add() and the first sample at or below the threshold to end(). Stop and Start do not end a product
/// (no sample at or below the threshold came between them), so a product straddling them is still one.
///
/// The product has settled when its last kSettleReadings samples lie within kSettleBand divisions
/// (largest minus smallest); its weight is then their mean, and add() returns it once. Entry and exit
/// ramps, and the first swings of a ringing platform, lie outside such a window and so take no part.
/// A product that leaves without settling (too short, too noisy, never level) is weighed by end() on what
/// it has: around its most level stretch of kSettleReadings samples (the latest of equals; all its
/// samples when it has fewer), the mean of its samples that lie within twice that stretch's range, or
/// twice kSettleBand divisions when wider, of the stretch's mean. Pure and deterministic; holds at most kMaxReadings
/// samples of a product (the newest).
///
/// A run of fewer than minimumReadings() samples is a disturbance, not a product: it gets no weight, and
/// nothing settles before that many samples. A single sample more than kSpikeDivisions from both of its
/// neighbours, on the same side of both (a misread frame), is dropped once its next neighbour arrives.
class StableCapture {
public:
    static constexpr std::size_t kSettleReadings = 4;
    static constexpr double kSettleBand = 4.0;
    static constexpr std::size_t kMaxReadings = 4096;
    static constexpr double kSpikeDivisions = 20.0;
    static constexpr std::size_t kDefaultMinimumReadings = 3;

    /// The fewest samples a product has; at least 1.
    void setMinimumReadings(std::size_t readings) { m_minimumReadings = readings < 1 ? 1 : readings; }
    std::size_t minimumReadings() const { return m_minimumReadings; }

    /// A sample above the threshold; d is the indicator's division (0.01 Toledo, 0.1 Yaohua). The settled
    /// weight when the product has just settled and has no verdict yet; otherwise nothing. stable is the
    /// indicator's own motion state where its frames carry one: the product then settles only on a window
    /// of readings the indicator reported stable.
    std::optional<double> add(double x, double d, std::optional<bool> stable = std::nullopt);
    /// A sample at or below the threshold: the product in progress is over. Its weight when it had
    /// samples but no verdict yet; otherwise nothing (see disturbance()). The next add() starts a new
    /// product.
    std::optional<double> end(double d);
    /// The line went away (Stop, a lost port) in the middle of a product: one without a verdict yet gets
    /// none, and the rest of its samples are ignored until end(). Returns how many samples that product
    /// had (0 when there was none, or it had its verdict).
    std::size_t interrupt();
    /// The samples of the run that the last end() found too short to be a product, or interrupt() cut off
    /// (0 when that run was a product).
    std::size_t disturbance() const { return m_disturbance; }

    bool inProgress() const { return !m_samples.empty(); }
    bool judged() const { return m_judged; }
    /// How many readings the last weight returned by add() or end() is the mean of.
    std::size_t weightReadings() const { return m_weightReadings; }

    /// The weight of the samples as end() judges a product that did not settle; samples must not be empty.
    /// readings, when given, receives how many samples the weight is the mean of.
    static double levelWeight(const std::vector<double>& samples, double d, std::size_t* readings = nullptr);

private:
    /// Drops the sample before the newest when it is a lone spike.
    void dropSpike(double d);

    std::vector<double> m_samples;
    bool m_judged = false;
    std::size_t m_weightReadings = 0;
    std::size_t m_minimumReadings = kDefaultMinimumReadings;
    std::size_t m_readings = 0;  // samples of the run, dropped spikes included
    std::size_t m_stableRun = 0; // the latest readings the indicator reported stable, in a row
    std::size_t m_disturbance = 0;
};

} // namespace kelvora
