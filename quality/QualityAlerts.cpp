#include "quality/QualityAlerts.h"

#include "quality/ChartRules.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace kelvora {

namespace {

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

} // namespace

QualityAlerts::QualityAlerts(int rejectRun) : m_rejectRun(rejectRun) {
    if (rejectRun < 1)
        throw std::invalid_argument("the run of rejects that alerts must be at least 1, not " +
                                    std::to_string(rejectRun));
}

std::vector<QualityAlert> QualityAlerts::check(const BatchQuality& batch, double weight, Verdict verdict,
                                               const std::string& time) {
    std::vector<QualityAlert> alerts;
    m_rejects = verdict == Verdict::Normal ? 0 : m_rejects + 1;
    if (m_rejects == m_rejectRun)
        alerts.push_back({AlertKind::RejectRun, time, "连续" + std::to_string(m_rejectRun) + "件超出公差"});
    if (const auto& quantity = batch.quantity()) {
        const double grams = weight * gramsPer(batch.settings().unit);
        // The checkweigher must reject it; one that passed is in the lot.
        if (verdict == Verdict::Normal && quantity->zoneOf(grams) == QuantityZone::BelowTu2)
            alerts.push_back(
                {AlertKind::BelowTu2, time,
                 "净含量" + fixed(grams, 1) + " g低于TU2（" + fixed(quantity->limits().tu2, 1) + " g）却判为正常"});
        const bool exceeded = !quantity->tu1Rule();
        if (exceeded && !m_tu1ShareExceeded)
            alerts.push_back(
                {AlertKind::Tu1Share, time, "低于TU1的比例" + fixed(quantity->belowTu1Percent(), 2) + "%超过2.5%"});
        m_tu1ShareExceeded = exceeded;
    }
    const XbarSChart& chart = batch.chart();
    // Numbered from the chart's first subgroup, dropped ones included.
    for (m_pointsSeen = std::max(m_pointsSeen, chart.firstKept()); m_pointsSeen < chart.subgroups(); ++m_pointsSeen) {
        for (ChartRule rule : chart.point(m_pointsSeen)->broken)
            alerts.push_back({AlertKind::ChartRule, time,
                              "均值图第" + std::to_string(m_pointsSeen + 1) + "组：" + ruleCaption(rule)});
    }
    return alerts;
}

} // namespace kelvora
