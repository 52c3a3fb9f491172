#pragma once

#include "quality/ChartRules.h"
#include "quality/RunningStatistics.h"

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
class XbarSChart {
public:
    /// Throws std::invalid_argument for a subgroup size outside 2 to 10 or a baseline below 1.
    explicit XbarSChart(int subgroupSize = 5, int baselineSubgroups = 20, RuleSet rules = RuleSet::WesternElectric);

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
    const std::vector<ChartPoint>& points() const { return m_points; }
    /// Points that break an X̄ rule or lie beyond the s limits.
    int alarmedPoints() const { return m_alarmed; }

private:
    void check(std::size_t index);
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
};

} // namespace kelvora
