#include "quality/ControlChart.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace kelvora {

ChartConstants chartConstants(int n) {
    // The standard constants for X̄/s charts (ASTM E2587, table of control chart factors).
    static const ChartConstants table[] = {
        {2.659, 0.000, 3.267, 0.7979}, {1.954, 0.000, 2.568, 0.8862}, {1.628, 0.000, 2.266, 0.9213},
        {1.427, 0.000, 2.089, 0.9400}, {1.287, 0.030, 1.970, 0.9515}, {1.182, 0.118, 1.882, 0.9594},
        {1.099, 0.185, 1.815, 0.9650}, {1.032, 0.239, 1.761, 0.9693}, {0.975, 0.284, 1.716, 0.9727},
    };
    if (n < 2 || n > 10)
        throw std::invalid_argument("the subgroup size must be 2 to 10");
    return table[n - 2];
}

XbarSChart::XbarSChart(int subgroupSize, int baselineSubgroups, RuleSet rules, std::size_t keep)
    : m_size(subgroupSize), m_baseline(baselineSubgroups), m_rules(rules), m_constants(chartConstants(subgroupSize)),
      m_keep(keep) {
    if (baselineSubgroups < 1)
        throw std::invalid_argument("the baseline needs at least one subgroup");
    if (keep > 0 && keep < kFewestKept)
        throw std::invalid_argument("a bounded chart must keep at least " + std::to_string(kFewestKept) + " points");
}

void XbarSChart::add(double value) {
    m_pending.add(value);
    if (m_pending.count() == m_size) {
        addSubgroup(m_pending.mean(), m_pending.standardDeviation());
        m_pending = RunningStatistics();
    }
}

void XbarSChart::addSubgroup(double mean, double sd) {
    m_points.push_back({mean, sd, {}, false});
    if (m_limits) {
        m_z.push_back(zOf(mean));
        check(m_points.size() - 1);
        dropOldest();
        return;
    }
    m_baselineMeans.add(mean);
    m_baselineSds.add(sd);
    if (static_cast<int>(m_points.size()) >= m_baseline)
        freeze();
}

bool XbarSChart::freeze() {
    if (m_limits || m_points.empty())
        return false;
    ChartLimits limits;
    limits.centre = m_baselineMeans.mean();
    limits.sBar = m_baselineSds.mean();
    limits.lower = limits.centre - m_constants.a3 * limits.sBar;
    limits.upper = limits.centre + m_constants.a3 * limits.sBar;
    // B3 is 0 for subgroups of 2 to 5: the limit is 0 whatever s̄ (0·∞ would be NaN).
    limits.sLower = m_constants.b3 > 0.0 ? m_constants.b3 * limits.sBar : 0.0;
    limits.sUpper = m_constants.b4 * limits.sBar;
    limits.sigmaMean = m_constants.a3 * limits.sBar / 3.0;
    limits.sigmaWithin = limits.sBar / m_constants.c4;
    limits.baselineSubgroups = static_cast<int>(m_points.size());
    m_limits = limits;
    for (std::size_t i = 0; i < m_points.size(); ++i) {
        m_z.push_back(zOf(m_points[i].mean));
        check(i);
    }
    dropOldest();
    return true;
}

double XbarSChart::zOf(double mean) const {
    const double deviation = mean - m_limits->centre;
    if (m_limits->sigmaMean > 0.0)
        return deviation / m_limits->sigmaMean;
    // Without spread in the baseline every departure from the centre is beyond any limit.
    return deviation == 0.0 ? 0.0 : std::copysign(std::numeric_limits<double>::infinity(), deviation);
}

void XbarSChart::check(std::size_t index) {
    ChartPoint& point = m_points[index];
    point.broken = rulesBrokenAt(m_z, index, m_rules);
    point.sBeyond = point.sd < m_limits->sLower || point.sd > m_limits->sUpper;
    if (!point.broken.empty() || point.sBeyond)
        ++m_alarmed;
}

void XbarSChart::dropOldest() {
    // Dropping half at a time keeps the cost per point constant; before the freeze nothing is dropped,
    // since the freeze checks every point of the baseline.
    if (m_keep == 0 || m_points.size() < 2 * m_keep)
        return;
    const auto drop = static_cast<std::ptrdiff_t>(m_points.size() - m_keep);
    m_points.erase(m_points.begin(), m_points.begin() + drop);
    m_z.erase(m_z.begin(), m_z.begin() + drop);
    m_dropped += static_cast<std::size_t>(drop);
}

} // namespace kelvora
