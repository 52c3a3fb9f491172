#pragma once

#include "quality/ChartRules.h"
#include "quality/RunningStatistics.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace kelvora {

/// The X̄/s chart constants for subgroups of n (2 to 10) values.
struct ChartConstants {
    double a3; ///< X̄ limits: X̿ ± A3·s̄
    double b3; ///< s chart lower limit B3·s̄
    double b4; ///< s chart upper limit B4·s̄
    double c4; ///< σ within the subgroups: s̄ / c4
};
/// Throws std::invalid_argument for n outside 2 to 10.
ChartConstants chartConstants(int n);

/// Centre lines and limits from a frozen baseline.
struct ChartLimits {
    double centre = 0.0; ///< X̿
    double lower = 0.0;  ///< X̿ − A3·s̄
    double upper = 0.0;  ///< X̿ + A3·s̄
    double sBar = 0.0;
    double sLower = 0.0;      ///< B3·s̄
    double sUpper = 0.0;      ///< B4·s̄
    double sigmaMean = 0.0;   ///< σ of a subgroup mean: A3·s̄ / 3
    double sigmaWithin = 0.0; ///< σ of one value: s̄ / c4
    int baselineSubgroups = 0;
};

/// One plotted subgroup.
struct ChartPoint {
    double mean = 0.0;
    double sd = 0.0;
    std::vector<ChartRule> broken; ///< the X̄ chart's rules this point breaks
    bool sBeyond = false;          ///< the s chart's point lies beyond its limits
};

/// An X̄/s chart over subgroups of consecutive values. The limits come from a baseline: the first
/// `baselineSubgroups` subgroups, unless the operator freezes it earlier. Until then no rule is checked;
/// at the freeze every point so far is checked against the new limits, later points as they come.
///
/// A chart that runs for days may keep only its newest points: with `keep` above 0, once the baseline is
/// frozen and 2×`keep` points are held, the oldest `keep` are dropped, so memory stays bounded while the
/// subgroups keep their numbers (subgroups(), firstKept()) and the run rules still see the points before.
class XbarSChart {
public:
    /// The fewest points a bounded chart keeps: as many as the longest run rule looks at.
    static constexpr std::size_t kFewestKept = kLongestRun;

    /// Throws std::invalid_argument for a subgroup size outside 2 to 10, a baseline below 1 or a `keep`
    /// from 1 to kFewestKept − 1. `keep` 0 keeps every point.
    explicit XbarSChart(int subgroupSize = 5, int baselineSubgroups = 20, RuleSet rules = RuleSet::WesternElectric,
                        std::size_t keep = 0);

    /// One value; every subgroupSize-th value completes a subgroup.
    void add(double value);
    /// A complete subgroup given by its mean and standard deviation (from aggregates).
    void addSubgroup(double mean, double sd);
    /// Freezes the baseline on the subgroups so far; false (nothing changes) without subgroups or when
    /// already frozen.
    bool freeze();

    int subgroupSize() const { return m_size; }
    RuleSet ruleSet() const { return m_rules; }
    const std::optional<ChartLimits>& limits() const { return m_limits; }
    /// The kept points: points()[i] is subgroup firstKept() + i (counting from 0).
    const std::vector<ChartPoint>& points() const { return m_points; }
    /// Subgroups completed so far, the dropped ones included.
    std::size_t subgroups() const { return m_dropped + m_points.size(); }
    /// The number of the oldest kept subgroup: how many were dropped.
    std::size_t firstKept() const { return m_dropped; }
    /// Subgroup `subgroup` (counting from 0); nullptr when it was dropped or is not complete yet.
    const ChartPoint* point(std::size_t subgroup) const {
        return subgroup < m_dropped || subgroup >= subgroups() ? nullptr : &m_points[subgroup - m_dropped];
    }
    /// Points that break an X̄ rule or lie beyond the s limits.
    int alarmedPoints() const { return m_alarmed; }

private:
    void check(std::size_t index);
    void dropOldest();
    double zOf(double mean) const;

    int m_size;
    int m_baseline;
    RuleSet m_rules;
    ChartConstants m_constants;
    RunningStatistics m_pending;
    RunningStatistics m_baselineMeans;
    RunningStatistics m_baselineSds;
    std::vector<ChartPoint> m_points;
    std::vector<double> m_z;
    std::optional<ChartLimits> m_limits;
    int m_alarmed = 0;
    std::size_t m_keep;
    std::size_t m_dropped = 0;
};

} // namespace kelvora
