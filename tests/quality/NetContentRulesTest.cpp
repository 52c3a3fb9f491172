#include "quality/NetContentRules.h"

#include "quality/BatchQuality.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

struct Expected {
    double nominal;
    double china;
    double eu; // negative: not covered
};

// Every band edge, a point inside each band, the rounding of each regime, 40 kg and 50 kg.
TEST(NetContentRulesTest, TheShortfallTableOfBothRegimes) {
    const Expected cases[] = {
        {5, 0.5, 0.5},                                                          // 9 % of 5 g = 0.45, up to 0.5
        {33, 3.0, 3.0},                                                         // 2.97 up to 3.0
        {50, 4.5, 4.5},   {75, 4.5, 4.5},    {100, 4.5, 4.5},  {101, 4.6, 4.6}, // 4.545 up to 4.6
        {150, 6.8, 6.8},  {200, 9, 9},       {250, 9, 9},      {300, 9, 9},      {333, 10.0, 10.0}, // 9.99 up to 10.0
        {500, 15, 15},    {750, 15, 15},     {1000, 15, 15},   {1001, 16, 15.1}, // 15.015: China up to the gram above 1
                                                                                 // kg, the EU to 0.1 g
        {1234, 19, 18.6},                                                        // 18.51
        {2500, 38, 37.5}, {10000, 150, 150}, {12000, 150, -1}, {15000, 150, -1}, {15001, 151, -1}, // 150.01 up to 151
        {25000, 250, -1}, {40000, 400, -1},  {50000, 500, -1},
    };
    for (const Expected& c : cases) {
        const auto china = tolerableShortfall(Regime::China, c.nominal);
        ASSERT_TRUE(china) << c.nominal;
        EXPECT_NEAR(*china, c.china, 1e-9) << c.nominal;
        EXPECT_EQ(tolerableShortfall(Regime::Oiml, c.nominal).has_value(), true) << c.nominal;
        const auto eu = tolerableShortfall(Regime::Eu, c.nominal);
        EXPECT_EQ(eu.has_value(), c.eu >= 0) << c.nominal;
        if (eu && c.eu >= 0) {
            EXPECT_NEAR(*eu, c.eu, 1e-9) << c.nominal;
        }
    }
    // OIML rounds as the EU does, to 50 kg.
    EXPECT_NEAR(*tolerableShortfall(Regime::Oiml, 1234), 18.6, 1e-9);
    EXPECT_NEAR(*tolerableShortfall(Regime::Oiml, 40000), 400, 1e-9);
}

TEST(NetContentRulesTest, WhereTheTablesEndAndWhy) {
    EXPECT_FALSE(tolerableShortfall(Regime::China, 0));
    EXPECT_FALSE(tolerableShortfall(Regime::China, -250));
    EXPECT_FALSE(tolerableShortfall(Regime::China, 50001));
    EXPECT_TRUE(tolerableShortfall(Regime::China, 4));
    EXPECT_FALSE(tolerableShortfall(Regime::Eu, 4.9));
    EXPECT_FALSE(tolerableShortfall(Regime::Eu, 10001));
    EXPECT_EQ(notCoveredReason(Regime::Eu, 40000), "标称量不在5 g至10 kg之间（欧盟规则）");
    EXPECT_EQ(notCoveredReason(Regime::China, 60000), "标称量不在0至50 kg之间（中国规则）");
    EXPECT_EQ(notCoveredReason(Regime::China, 40000), "");
    // A 40 kg bag weighed in kg is judged in China and by OIML, not by the EU's rules.
    QualitySettings bag{40, 40.5, 39.8};
    EXPECT_TRUE(BatchQuality(bag).quantity());
    bag.regime = Regime::Eu;
    EXPECT_FALSE(BatchQuality(bag).quantity());
    const auto limits = quantityLimits(Regime::China, 40000);
    EXPECT_DOUBLE_EQ(limits->tu1, 39600);
    EXPECT_DOUBLE_EQ(limits->tu2, 39200);
}

TEST(NetContentRulesTest, RegimeNames) {
    EXPECT_EQ(parseRegime("中国"), Regime::China);
    EXPECT_EQ(parseRegime("EU"), Regime::Eu);
    EXPECT_EQ(parseRegime("欧盟"), Regime::Eu);
    EXPECT_EQ(parseRegime("Oiml"), Regime::Oiml);
    EXPECT_FALSE(parseRegime("美国"));
    EXPECT_FALSE(parseRegime(""));
    for (Regime r : {Regime::China, Regime::Eu, Regime::Oiml}) {
        EXPECT_EQ(parseRegime(regimeName(r)), r);
        EXPECT_EQ(parseRegime(regimeKey(r)), r);
    }
}

TEST(NetContentRulesTest, ChinasPlansByLotSize) {
    const struct {
        std::int64_t lot, sample;
        double lambda;
        std::int64_t allowed;
    } cases[] = {{1, 1, 0, 0},        {10, 10, 0, 0},       {11, 10, 1.028, 0},    {50, 10, 1.028, 0},
                 {51, 13, 0.848, 1},  {99, 13, 0.848, 1},   {100, 50, 0.379, 3},   {500, 50, 0.379, 3},
                 {501, 80, 0.295, 5}, {3200, 80, 0.295, 5}, {3201, 125, 0.234, 7}, {1000000, 125, 0.234, 7}};
    for (const auto& c : cases) {
        const InspectionPlan plan = inspectionPlan(Regime::China, c.lot);
        EXPECT_EQ(plan.first, c.sample) << c.lot;
        EXPECT_EQ(plan.second, 0) << c.lot;
        EXPECT_EQ(plan.accept1, c.allowed) << c.lot;
        EXPECT_EQ(plan.meanTest, c.lambda > 0) << c.lot;
        EXPECT_DOUBLE_EQ(plan.lambda, c.lambda) << c.lot;
        EXPECT_EQ(plan.wholeLot, c.lot <= 10) << c.lot;
    }
}

TEST(NetContentRulesTest, TheEusDoublePlansAndMeanTest) {
    const InspectionPlan small = inspectionPlan(Regime::Eu, 100);
    EXPECT_EQ((std::vector<std::int64_t>{small.first, small.accept1, small.reject1, small.second, small.accept2}),
              (std::vector<std::int64_t>{30, 1, 3, 30, 4}));
    EXPECT_EQ(small.meanSample, 30);
    EXPECT_DOUBLE_EQ(small.lambda, 0.503);
    const InspectionPlan middle = inspectionPlan(Regime::Eu, 501);
    EXPECT_EQ((std::vector<std::int64_t>{middle.first, middle.accept1, middle.reject1, middle.accept2}),
              (std::vector<std::int64_t>{50, 2, 5, 6}));
    EXPECT_EQ(middle.meanSample, 50);
    EXPECT_DOUBLE_EQ(middle.lambda, 0.379);
    const InspectionPlan large = inspectionPlan(Regime::Eu, 3201);
    EXPECT_EQ((std::vector<std::int64_t>{large.first, large.accept1, large.reject1, large.accept2}),
              (std::vector<std::int64_t>{80, 3, 7, 8}));
    // Below 100 packs every one is inspected, 2.5 % of them may be short by more than T.
    const InspectionPlan tiny = inspectionPlan(Regime::Eu, 99);
    EXPECT_TRUE(tiny.wholeLot);
    EXPECT_EQ(tiny.accept1, 2);
    EXPECT_EQ(inspectionPlan(Regime::Oiml, 3201).first, 125);
}

TEST(NetContentRulesTest, OnlyPacksThatLeftTheLineAreJudged) {
    BatchQuality batch({250, 260, 245, WeightUnit::Gram});
    for (int i = 0; i < 100; ++i)
        batch.add(251, Verdict::Normal, i);
    batch.add(200, Verdict::Under, 100); // below TU2, rejected as it must be
    ASSERT_TRUE(batch.quantity());
    EXPECT_EQ(batch.quantity()->count(), 100);
    EXPECT_TRUE(batch.quantity()->passes());
    EXPECT_EQ(batch.shipped().count(), 100);
    EXPECT_EQ(batch.statistics().count(), 101);
    batch.add(200, Verdict::Normal, 101); // the same pack passed: the lot fails
    EXPECT_FALSE(batch.quantity()->tu2Rule());
}

} // namespace
} // namespace kelvora
