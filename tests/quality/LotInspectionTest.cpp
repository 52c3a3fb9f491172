#include "quality/LotInspection.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

const QuantityLimits k500g = *quantityLimits(Regime::China, 500); // T 15 g: TU1 485, TU2 470

// ln C(n, k)
double logChoose(double n, double k) {
    return std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1);
}

// P(X = k) for X the short packs among `drawn` of `lot` packs, `shortPacks` of them short.
double hypergeometric(std::int64_t lot, std::int64_t shortPacks, std::int64_t drawn, std::int64_t k) {
    if (k < 0 || k > shortPacks || drawn - k > lot - shortPacks)
        return 0.0;
    return std::exp(logChoose(static_cast<double>(shortPacks), static_cast<double>(k)) +
                    logChoose(static_cast<double>(lot - shortPacks), static_cast<double>(drawn - k)) -
                    logChoose(static_cast<double>(lot), static_cast<double>(drawn)));
}

// A lot of `size` packs at 510 g, `shortPacks` of them at 478 g (short by more than T, not by 2T); its
// mean stays so high that the mean test always passes and only the count decides.
LotWeights shortLot(std::int64_t size, std::int64_t shortPacks) {
    LotWeights lot;
    lot.add(510, size - shortPacks);
    lot.add(478, shortPacks);
    return lot;
}

TEST(LotInspectionTest, TheCountTestAgreesWithTheHypergeometricDistribution) {
    // China, 1000 packs: 80 drawn, at most 5 short.
    for (std::int64_t shortPacks : {20, 60, 100}) {
        double exact = 0.0;
        for (std::int64_t k = 0; k <= 5; ++k)
            exact += hypergeometric(1000, shortPacks, 80, k);
        const auto readiness = lotReadiness(shortLot(1000, shortPacks), k500g, Regime::China);
        ASSERT_TRUE(readiness);
        EXPECT_FALSE(readiness->exact);
        EXPECT_EQ(readiness->draws, 10000);
        EXPECT_NEAR(readiness->passProbability, exact, 0.02) << shortPacks;
    }
    // A lot too large to hold pack by pack is drawn from through its counts: 125 drawn, at most 7 short.
    double exact = 0.0;
    for (std::int64_t k = 0; k <= 7; ++k)
        exact += hypergeometric(5'000'000, 400'000, 125, k);
    EXPECT_NEAR(lotReadiness(shortLot(5'000'000, 400'000), k500g, Regime::China)->passProbability, exact, 0.02);
}

TEST(LotInspectionTest, TheEuDoublePlanAgreesWithItsTwoStages) {
    // 400 packs: 30 drawn, accepted with at most 1 short, rejected with 3; else 30 more, at most 4 in all.
    const std::int64_t lot = 400, shortPacks = 24;
    double exact = 0.0;
    for (std::int64_t d1 = 0; d1 <= 2; ++d1) {
        const double first = hypergeometric(lot, shortPacks, 30, d1);
        if (d1 <= 1) {
            exact += first;
            continue;
        }
        for (std::int64_t d2 = 0; d1 + d2 <= 4; ++d2)
            exact += first * hypergeometric(lot - 30, shortPacks - d1, 30, d2);
    }
    const auto readiness = lotReadiness(shortLot(lot, shortPacks), k500g, Regime::Eu);
    EXPECT_NEAR(readiness->passProbability, exact, 0.02);
}

TEST(LotInspectionTest, TheMeanTestOfALotCentredOnQnPassesWithTheLevelOfItsT) {
    // Normal weights whose mean is exactly Qn: (q̄ − Qn)·√n/s is Student's t with n − 1 degrees of
    // freedom, so q̄ ≥ Qn − λ·s with λ = t0.995(n−1)/√n holds with 99.5 %.
    std::mt19937_64 generator(7);
    std::normal_distribution<double> weight(0.0, 2.0);
    std::vector<double> weights(100000);
    double sum = 0.0;
    for (double& w : weights)
        sum += (w = weight(generator));
    LotWeights lot;
    for (double w : weights)
        lot.add(500.0 + w - sum / static_cast<double>(weights.size()));
    const auto readiness = lotReadiness(lot, k500g, Regime::China);
    EXPECT_EQ(readiness->plan.first, 125);
    EXPECT_NEAR(readiness->meanTestProbability, 0.995, 0.003);
    EXPECT_NEAR(readiness->passProbability, 0.995, 0.003); // no pack is anywhere near TU1
    EXPECT_NEAR(readiness->meanMargin, 0.234 * 2.0, 0.01);
}

TEST(LotInspectionTest, TheLowestTargetPassesWith99PercentAndNotMuchBelow) {
    std::mt19937_64 generator(11);
    std::normal_distribution<double> weight(506.0, 4.0);
    LotWeights lot;
    for (int i = 0; i < 20000; ++i)
        lot.add(std::round(weight(generator) * 10.0) / 10.0);
    const auto readiness = lotReadiness(lot, k500g, Regime::China);
    EXPECT_GT(readiness->passProbability, 0.99);
    EXPECT_GT(readiness->savingPerPack, 0.5);
    EXPECT_NEAR(readiness->minTargetMean, lot.mean() - readiness->savingPerPack, 1e-9);
    // The sampling alone would allow a mean below Qn; the lot's own rules do not.
    EXPECT_LT(readiness->minSamplingMean, 500.0);
    EXPECT_NEAR(readiness->minTargetMean, 500.0, 1e-5);
    // The same lot moved to the sampling's lowest mean passes with 99 %; a gram lower it does not.
    const auto moved = [&](double target) {
        LotWeights shifted;
        for (const auto& [grams, count] : lot.entries())
            shifted.add(grams + target - lot.mean(), count);
        return lotReadiness(shifted, k500g, Regime::China)->passProbability;
    };
    EXPECT_GE(moved(readiness->minSamplingMean + 1e-6), 0.99);
    EXPECT_LT(moved(readiness->minSamplingMean - 1.0), 0.99);
}

TEST(LotInspectionTest, SmallLotsAreJudgedExactly) {
    LotWeights eight;
    eight.add(505, 7);
    eight.add(484, 1); // short by more than T: China allows none in a lot of up to 10
    const auto failing = lotReadiness(eight, k500g, Regime::China);
    EXPECT_TRUE(failing->exact);
    EXPECT_EQ(failing->draws, 1);
    EXPECT_EQ(failing->passProbability, 0.0);
    EXPECT_NEAR(failing->minSamplingMean, eight.mean() + 1.0, 1e-5); // the short pack must reach 485 g
    LotWeights even;
    even.add(500, 8); // exactly Qn, no spread
    EXPECT_EQ(lotReadiness(even, k500g, Regime::China)->passProbability, 1.0);
    EXPECT_NEAR(lotReadiness(even, k500g, Regime::Eu)->minTargetMean, 500.0, 1e-5);
    EXPECT_FALSE(lotReadiness(LotWeights{}, k500g, Regime::China));
}

TEST(LotInspectionTest, APackShortByTwiceTFailsEverySampleItIsIn) {
    // One pack below TU2 among 20 (China: 10 drawn): the lot fails exactly when it is drawn, 1 in 2.
    LotWeights lot;
    lot.add(505, 19);
    lot.add(460, 1);
    EXPECT_NEAR(lotReadiness(lot, k500g, Regime::China)->passProbability, 0.5, 0.02);
}

} // namespace
} // namespace kelvora
