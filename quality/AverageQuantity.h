#pragma once

#include <cstdint>
#include <optional>

namespace kelvora {

/// The unit of the line's weights.
enum class WeightUnit { Kilogram, Gram };

/// Grams per unit.
inline double gramsPer(WeightUnit unit) {
    return unit == WeightUnit::Kilogram ? 1000.0 : 1.0;
}

/// The zones of the average-quantity rules for prepackages of nominal quantity Qn.
struct QuantityLimits {
    double nominal = 0.0; ///< Qn, grams
    double tne = 0.0;     ///< tolerable negative error, grams
    double tu1 = 0.0;     ///< Qn − TNE
    double tu2 = 0.0;     ///< Qn − 2·TNE
};

/// Where a package lies: at or above Qn, in [TU1, Qn), in [TU2, TU1), below TU2.
enum class QuantityZone { AtLeastNominal, AboveTu1, AboveTu2, BelowTu2 };

/// The counts of the four zones and the packer's three rules over them.
class AverageQuantityCheck {
public:
    explicit AverageQuantityCheck(const QuantityLimits& limits) : m_limits(limits) {}

    const QuantityLimits& limits() const { return m_limits; }
    /// The zone of a package weighing `grams` (weights a millionth of a gram from a limit count as on it).
    QuantityZone zoneOf(double grams) const;
    void add(double grams);
    /// Counts given whole (from aggregates): packages per zone and the sum of their weights in grams.
    void addCounts(const std::int64_t (&zones)[4], double sumGrams);

    std::int64_t count() const { return m_count; }
    std::int64_t zoneCount(QuantityZone zone) const { return m_zones[static_cast<int>(zone)]; }
    std::int64_t belowTu1() const { return zoneCount(QuantityZone::AboveTu2) + zoneCount(QuantityZone::BelowTu2); }
    /// The mean in grams; 0 without packages.
    double mean() const { return m_count ? m_sumGrams / static_cast<double>(m_count) : 0.0; }
    /// The share below TU1 in %; 0 without packages.
    double belowTu1Percent() const;

    /// Rule 1: the mean is at least Qn.
    bool meanRule() const;
    /// Rule 2: at most 2.5 % of the packages are below TU1.
    bool tu1Rule() const { return belowTu1() * 1000 <= m_count * 25; }
    /// Rule 3: no package is below TU2.
    bool tu2Rule() const { return zoneCount(QuantityZone::BelowTu2) == 0; }
    /// All three rules hold; false for an empty batch (nothing has been shown to comply).
    bool passes() const { return m_count > 0 && meanRule() && tu1Rule() && tu2Rule(); }

private:
    QuantityLimits m_limits;
    std::int64_t m_zones[4] = {0, 0, 0, 0};
    std::int64_t m_count = 0;
    double m_sumGrams = 0.0;
};

} // namespace kelvora
