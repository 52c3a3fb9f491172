#include "quality/AverageQuantity.h"

#include <cmath>

namespace kelvora {

namespace {

constexpr double kOnLimit = 1e-6; // grams: a weight this close to a limit lies on it

} // namespace

QuantityZone AverageQuantityCheck::zoneOf(double grams) const {
    if (grams + kOnLimit >= m_limits.nominal)
        return QuantityZone::AtLeastNominal;
    if (grams + kOnLimit >= m_limits.tu1)
        return QuantityZone::AboveTu1;
    if (grams + kOnLimit >= m_limits.tu2)
        return QuantityZone::AboveTu2;
    return QuantityZone::BelowTu2;
}

void AverageQuantityCheck::add(double grams) {
    ++m_zones[static_cast<int>(zoneOf(grams))];
    ++m_count;
    m_sumGrams += grams;
}

void AverageQuantityCheck::addCounts(const std::int64_t (&zones)[4], double sumGrams) {
    for (int i = 0; i < 4; ++i) {
        m_zones[i] += zones[i];
        m_count += zones[i];
    }
    m_sumGrams += sumGrams;
}

double AverageQuantityCheck::belowTu1Percent() const {
    return m_count ? static_cast<double>(belowTu1()) * 100.0 / static_cast<double>(m_count) : 0.0;
}

bool AverageQuantityCheck::meanRule() const {
    return m_count > 0 && mean() + kOnLimit >= m_limits.nominal;
}

} // namespace kelvora
