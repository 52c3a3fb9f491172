#include "quality/AverageQuantity.h"

#include "quality/BatchQuality.h"
#include "quality/NetContentRules.h"

#include <cstdint>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(AverageQuantityTest, ZonesIncludeTheirLowerLimit) {
    AverageQuantityCheck check(*quantityLimits(Regime::Eu, 250));
    EXPECT_EQ(check.zoneOf(250), QuantityZone::AtLeastNominal);
    EXPECT_EQ(check.zoneOf(249.99), QuantityZone::AboveTu1);
    EXPECT_EQ(check.zoneOf(241), QuantityZone::AboveTu1);
    EXPECT_EQ(check.zoneOf(240.999), QuantityZone::AboveTu2);
    EXPECT_EQ(check.zoneOf(232), QuantityZone::AboveTu2);
    EXPECT_EQ(check.zoneOf(231.999), QuantityZone::BelowTu2);
    // 0.232 kg in grams is not exactly 232 in binary; it still lies on TU2.
    EXPECT_EQ(check.zoneOf(0.232 * 1000.0), QuantityZone::AboveTu2);
    EXPECT_EQ(check.zoneOf(0.241 * 1000.0), QuantityZone::AboveTu1);
}

// A batch of 200 packages of 0.25 kg at 0.252 kg, `low` of them at `lowWeight`.
BatchQuality batchWith(int low, double lowWeight, WeightUnit unit = WeightUnit::Kilogram) {
    const double scale = unit == WeightUnit::Kilogram ? 1.0 : 1000.0;
    BatchQuality quality({0.25 * scale, 0.27 * scale, 0.24 * scale, unit});
    for (int i = 0; i < 200; ++i)
        quality.add((i < low ? lowWeight : 0.252) * scale, Verdict::Normal, i);
    return quality;
}

TEST(AverageQuantityTest, TheShareBelowTu1MayBeExactlyTwoAndAHalfPercent) {
    const auto five = batchWith(5, 0.240); // 5 of 200 = 2.5 %
    ASSERT_TRUE(five.quantity());
    EXPECT_EQ(five.quantity()->belowTu1(), 5);
    EXPECT_DOUBLE_EQ(five.quantity()->belowTu1Percent(), 2.5);
    EXPECT_TRUE(five.quantity()->tu1Rule());
    EXPECT_TRUE(five.quantity()->meanRule());
    EXPECT_TRUE(five.quantity()->passes());

    const auto six = batchWith(6, 0.240);
    EXPECT_FALSE(six.quantity()->tu1Rule());
    EXPECT_TRUE(six.quantity()->tu2Rule());
    EXPECT_FALSE(six.quantity()->passes());
}

TEST(AverageQuantityTest, OnePackageExactlyAtTu2IsNoBreachButBelowItIs) {
    const auto at = batchWith(1, 0.232);
    EXPECT_EQ(at.quantity()->zoneCount(QuantityZone::AboveTu2), 1);
    EXPECT_TRUE(at.quantity()->tu2Rule());
    EXPECT_TRUE(at.quantity()->passes());

    const auto below = batchWith(1, 0.2319);
    EXPECT_EQ(below.quantity()->zoneCount(QuantityZone::BelowTu2), 1);
    EXPECT_FALSE(below.quantity()->tu2Rule());
    EXPECT_TRUE(below.quantity()->tu1Rule());
    EXPECT_FALSE(below.quantity()->passes());
}

TEST(AverageQuantityTest, TheMeanRuleAndTheUnit) {
    // 100 packages at 0.252 and 100 at 0.248: mean exactly Qn.
    BatchQuality quality({0.25, 0.27, 0.24});
    for (int i = 0; i < 200; ++i)
        quality.add(i % 2 ? 0.252 : 0.248, Verdict::Normal, i);
    EXPECT_TRUE(quality.quantity()->meanRule());
    quality.add(0.2499, Verdict::Normal, 200);
    EXPECT_FALSE(quality.quantity()->meanRule());
    EXPECT_FALSE(quality.quantity()->passes());

    // The same line weighing in grams gives the same zones and verdicts.
    const auto grams = batchWith(6, 0.240, WeightUnit::Gram);
    ASSERT_TRUE(grams.quantity());
    EXPECT_DOUBLE_EQ(grams.quantity()->limits().tu1, 241);
    EXPECT_EQ(grams.quantity()->belowTu1(), 6);
    EXPECT_FALSE(grams.quantity()->tu1Rule());
    // 250 kg read as grams is 250 g; 250 read as kilograms is beyond the rules.
    EXPECT_FALSE(BatchQuality({250, 260, 240, WeightUnit::Kilogram}).quantity());
    EXPECT_FALSE(AverageQuantityCheck(*quantityLimits(Regime::Eu, 250)).passes()); // nothing weighed yet
}

TEST(AverageQuantityTest, CountsFromAggregatesGiveTheSameVerdicts) {
    AverageQuantityCheck check(*quantityLimits(Regime::Eu, 250));
    const std::int64_t zones[4] = {190, 4, 6, 0};
    check.addCounts(zones, 200 * 250.5);
    EXPECT_EQ(check.count(), 200);
    EXPECT_EQ(check.belowTu1(), 6);
    EXPECT_DOUBLE_EQ(check.mean(), 250.5);
    EXPECT_FALSE(check.tu1Rule());
    EXPECT_TRUE(check.tu2Rule());
}

} // namespace
} // namespace kelvora
