#include "quality/BatchStatistics.h"

namespace kelvora {

void BatchStatistics::add(double weight, Verdict verdict, double timeSeconds) {
    if (count() == 0)
        m_firstTime = timeSeconds;
    m_lastTime = timeSeconds;
    m_weights.add(weight);
    switch (verdict) {
    case Verdict::Over:
        ++m_over;
        break;
    case Verdict::Normal:
        ++m_normal;
        break;
    case Verdict::Under:
        ++m_under;
        break;
    }
    m_lastMinute.push_back(timeSeconds);
    while (m_lastMinute.front() <= timeSeconds - 60.0)
        m_lastMinute.pop_front();
}

double BatchStatistics::giveawayPercent(double nominal) const {
    return nominal == 0.0 ? 0.0 : giveaway(nominal) / nominal * 100.0;
}

double BatchStatistics::perMinuteBatch() const {
    const double span = m_lastTime - m_firstTime;
    return span > 0.0 ? static_cast<double>(count() - 1) * 60.0 / span : 0.0;
}

} // namespace kelvora
