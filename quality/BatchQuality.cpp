#include "quality/BatchQuality.h"

#include <cstdio>

namespace kelvora {

BatchQuality::BatchQuality(const QualitySettings& settings)
    : m_settings(settings), m_chart(settings.subgroupSize, settings.baselineSubgroups, settings.rules, kChartKept),
      m_histogram(settings.division) {
    if (const auto limits = quantityLimits(settings.regime, settings.nominal * gramsPer(settings.unit)))
        m_quantity.emplace(*limits);
}

void BatchQuality::add(double weight, Verdict verdict, double timeSeconds) {
    m_statistics.add(weight, verdict, timeSeconds);
    if (m_quantity && verdict == Verdict::Normal) {
        m_quantity->add(weight * gramsPer(m_settings.unit));
        m_shipped.add(weight * gramsPer(m_settings.unit));
    }
    m_chart.add(weight);
    m_histogram.add(weight);
}

bool BatchQuality::add(const WeighingRecord& record) {
    const auto verdict = parseVerdict(record.verdict);
    const auto time = secondsOfTimeText(record.time);
    if (!verdict || !time)
        return false;
    add(record.weight, *verdict, *time);
    return true;
}

std::optional<LotReadiness> BatchQuality::readiness() const {
    if (!m_quantity)
        return std::nullopt;
    return lotReadiness(m_shipped, m_quantity->limits(), m_settings.regime);
}

double BatchQuality::sigma() const {
    const auto& limits = m_chart.limits();
    return limits ? limits->sigmaWithin : m_statistics.weights().standardDeviation();
}

Capability BatchQuality::capability() const {
    const std::optional<double> upper =
        m_settings.upper > m_settings.lower ? std::optional<double>(m_settings.upper) : std::nullopt;
    return kelvora::capability(m_statistics.weights().mean(), sigma(), m_settings.lower, upper);
}

std::optional<double> BatchQuality::cplTu1() const {
    if (!m_quantity)
        return std::nullopt;
    const double tu1 = m_quantity->limits().tu1 / gramsPer(m_settings.unit);
    return kelvora::capability(m_statistics.weights().mean(), sigma(), tu1, std::nullopt).cpl;
}

std::optional<double> secondsOfTimeText(const std::string& text) {
    int y, mo, d, h, mi, s, used = 0;
    if (text.size() != 19 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 || used != 19)
        return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
        return std::nullopt;
    // Days from the civil date (H. Hinnant's algorithm).
    const int yy = y - (mo <= 2 ? 1 : 0);
    const int era = (yy >= 0 ? yy : yy - 399) / 400;
    const int yoe = yy - era * 400;
    const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = static_cast<long long>(era) * 146097 + doe - 719468;
    return static_cast<double>(days * 86400 + h * 3600 + mi * 60 + s);
}

} // namespace kelvora
