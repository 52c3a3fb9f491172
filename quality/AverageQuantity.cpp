#include "quality/AverageQuantity.h"

#include <cmath>

namespace kelvora {

namespace {

constexpr double kOnLimit = 1e-6; // grams: a weight this close to a limit lies on it

struct Band {
    double upTo;  // grams, upper edge of the band
    double value; // grams, or percent of Qn
    bool percent;
};

constexpr Band kBands[] = {
    {50, 9, true},     {100, 4.5, false},  {200, 4.5, true},    {300, 9, false},  {500, 3, true},
    {1000, 15, false}, {10000, 1.5, true}, {15000, 150, false}, {25000, 1, true},
};

// Up to the next tenth of a gram; the product is first rounded to a millionth of a tenth, so that a
// value such as 4.5 % of 200 g (9.000000000000002 in binary) stays 9.0.
double upToTenth(double grams) {
    const double tenths = std::round(grams * 10.0 * 1e6) / 1e6;
    return std::ceil(tenths) / 10.0;
}

} // namespace

std::optional<double> tolerableNegativeError(double nominalGrams) {
    if (!(nominalGrams >= 5.0 - kOnLimit && nominalGrams <= 25000.0 + kOnLimit))
        return std::nullopt;
    for (const Band& band : kBands) {
        if (nominalGrams <= band.upTo + kOnLimit)
            return band.percent ? upToTenth(nominalGrams * band.value / 100.0) : band.value;
    }
    return std::nullopt;
}

std::optional<QuantityLimits> quantityLimits(double nominalGrams) {
    const auto tne = tolerableNegativeError(nominalGrams);
    if (!tne)
        return std::nullopt;
    return QuantityLimits{nominalGrams, *tne, nominalGrams - *tne, nominalGrams - 2.0 * *tne};
}

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
