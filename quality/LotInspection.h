#pragma once

#include "quality/NetContentRules.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace kelvora {

/// A lot's packs as weights in grams with their counts (weights on the scale's division repeat, so a
/// lot of any size is held in as many entries as it has distinct weights).
class LotWeights {
public:
    /// `count` packs of `grams` each; a count below 1 adds nothing.
    void add(double grams, std::int64_t count = 1);

    std::int64_t count() const { return m_count; }
    /// The mean and the standard deviation (divisor N − 1) of the packs, in grams; 0 without packs.
    double mean() const;
    double standardDeviation() const;
    /// The distinct weights in ascending order with their counts.
    const std::vector<std::pair<double, std::int64_t>>& entries() const;

private:
    mutable std::vector<std::pair<double, std::int64_t>> m_entries;
    mutable bool m_sorted = true;
    std::int64_t m_count = 0;
};

/// Would the lot pass an official check? The inspector draws the plan's samples at random without
/// replacement; the figures come from the lot's own weights.
struct LotReadiness {
    InspectionPlan plan;
    double passProbability = 0.0;     ///< 0–1
    double meanTestProbability = 1.0; ///< the mean test alone passes; 1 without a mean test
    /// The lot's mean − (Qn − λ·s) at the lot's own standard deviation: the margin the mean test expects
    /// (grams; 0 without a mean test).
    double meanMargin = 0.0;
    /// The lowest lot mean (grams) at which the lot, its spread unchanged, passes an inspector's check
    /// with 99 %.
    double minSamplingMean = 0.0;
    /// The lowest lot mean (grams) the filler may aim at, its spread unchanged: it passes the check with
    /// 99 % and keeps the lot's own rules (its mean at least Qn, at most 2.5 % short by more than T,
    /// none short by more than 2T).
    double minTargetMean = 0.0;
    /// The current mean − minTargetMean, grams per pack (negative: the filler must go up).
    double savingPerPack = 0.0;
    std::int64_t draws = 0; ///< samples drawn; 1 when every pack is inspected (the result is exact)
    bool exact = false;
};

/// The figures for `lot` under `regime`'s plan for its size and `limits`. A lot inspected whole gives an
/// exact result; otherwise `draws` (at least 10 000) samples are drawn with a generator seeded by
/// `seed`, so the same lot always gives the same figures. Nothing for an empty lot.
std::optional<LotReadiness> lotReadiness(const LotWeights& lot, const QuantityLimits& limits, Regime regime,
                                         std::int64_t draws = 10000, std::uint64_t seed = 20240901);

} // namespace kelvora
