#include "quality/PerformanceCheck.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// N readings of a weight with a known bias whose errors alternate ±spread: the mean error is the bias,
// the standard deviation spread·√(N/(N−1)) for even N.
std::vector<double> readings(double reference, double bias, double spread, int n = 10) {
    std::vector<double> values;
    for (int i = 0; i < n; ++i)
        values.push_back(reference + bias + (i % 2 ? spread : -spread));
    return values;
}

TEST(PerformanceCheckTest, AccuracyClassesAsWritten) {
    EXPECT_EQ(parseAccuracyClass("XIII(1)")->reference, 3);
    EXPECT_EQ(parseAccuracyClass("XIIII(0.5)")->factor, 0.5);
    EXPECT_EQ(parseAccuracyClass("XI(2)")->reference, 1);
    EXPECT_EQ(parseAccuracyClass("XII(0.02)")->factor, 0.02);
    for (const char* bad : {"XIII(3)", "XIII(0.3)", "XIII(5)", "XV(1)", "XIIIII(1)", "XIII", "xiii(1)", "XIII(1) "})
        EXPECT_FALSE(parseAccuracyClass(bad)) << bad;
    EXPECT_EQ(accuracyClassText(*parseAccuracyClass("XIIII(0.5)")), "XIIII(0.5)");
}

TEST(PerformanceCheckTest, TheClassLimitsByLoad) {
    const AccuracyClass xiii{3, 1.0};
    EXPECT_DOUBLE_EQ(maxMeanError(xiii, 500, 1), 0.5); // 500 e: still the first band
    EXPECT_DOUBLE_EQ(maxMeanError(xiii, 501, 1), 1.0);
    EXPECT_DOUBLE_EQ(maxMeanError(xiii, 2001, 1), 1.5);
    EXPECT_DOUBLE_EQ(maxMeanError({4, 1.0}, 60, 1), 1.0); // XIIII: 1 e from 50 e
    EXPECT_DOUBLE_EQ(maxStandardDeviation(xiii, 50), 0.24);
    EXPECT_DOUBLE_EQ(maxStandardDeviation(xiii, 80), 0.24);
    EXPECT_DOUBLE_EQ(maxStandardDeviation(xiii, 500), 0.8);
    EXPECT_DOUBLE_EQ(maxStandardDeviation(xiii, 5000), 4.0);
    EXPECT_DOUBLE_EQ(maxStandardDeviation(xiii, 12000), 8.0);
    EXPECT_NEAR(maxStandardDeviation(xiii, 25000), 13.25, 1e-9);
    EXPECT_DOUBLE_EQ(maxStandardDeviation({3, 0.5}, 500), 0.4);
}

TEST(PerformanceCheckTest, KnownErrorsPassOrFailTheirLimits) {
    const CheckCriteria xiii{AccuracyClass{3, 1.0}, 1.0, std::nullopt};
    const auto good = judgePerformance(readings(500, 0.4, 0.3), 500, xiii);
    EXPECT_NEAR(good.meanError, 0.4, 1e-9);
    EXPECT_NEAR(good.sd, 0.3 * std::sqrt(10.0 / 9.0), 1e-9);
    EXPECT_NEAR(good.largestError, 0.7, 1e-9);
    EXPECT_TRUE(good.passed);
    const auto biased = judgePerformance(readings(500, -0.6, 0.3), 500, xiii);
    EXPECT_FALSE(biased.passed);
    ASSERT_EQ(biased.failures.size(), 1u);
    EXPECT_EQ(biased.failures[0], "平均误差-0.60 g超出±0.50 g");
    EXPECT_FALSE(judgePerformance(readings(500, 0.0, 0.9), 500, xiii).passed); // sd 0.95 > 0.8

    // The T/5 rule: T of a 500 g pack is 15 g, every error within 3 g.
    const CheckCriteria fifth{std::nullopt, 1.0, 15.0};
    EXPECT_TRUE(judgePerformance(readings(500, 1.0, 2.0), 500, fifth).passed);
    const auto wide = judgePerformance(readings(500, 1.0, 2.1), 500, fifth);
    EXPECT_FALSE(wide.passed);
    EXPECT_DOUBLE_EQ(*wide.errorLimit, 3.0);
    EXPECT_THROW(judgePerformance({500}, 500, xiii), std::invalid_argument);
    EXPECT_THROW(judgePerformance(readings(500, 0, 0), 0, xiii), std::invalid_argument);
    EXPECT_THROW(judgePerformance(readings(500, 0, 0), 500, {}), std::invalid_argument);
}

// The station's own judgement: above the upper limit 超高, below the lower 超低.
Verdict judged(const QualitySettings& s, double weight) {
    return weight > s.upper ? Verdict::Over : (weight < s.lower ? Verdict::Under : Verdict::Normal);
}

ChallengeRun runChallenge(const QualitySettings& station, bool alarms = true) {
    ChallengeRun run(challengePacks(station));
    for (const ChallengePack& pack : run.packs()) {
        const Verdict verdict = judged(station, pack.weight);
        run.addVerdict(verdict);
        if (verdict != Verdict::Normal && alarms)
            run.addAlarmFrame();
    }
    return run;
}

TEST(PerformanceCheckTest, TheChallengeTestCatchesAStationWhoseLimitsAreWrong) {
    // 500 g in kg, T 15 g: TU1 0.485, TU2 0.470.
    QualitySettings right{0.5, 0.52, 0.49};
    const auto packs = challengePacks(right);
    ASSERT_EQ(packs.size(), 4u);
    EXPECT_DOUBLE_EQ(packs[0].weight, 0.49);
    EXPECT_NEAR(packs[1].weight, 0.484, 1e-12);
    EXPECT_NEAR(packs[2].weight, 0.469, 1e-12);
    EXPECT_NEAR(packs[3].weight, 0.521, 1e-12);
    EXPECT_TRUE(runChallenge(right).passed());

    QualitySettings wrong = right;
    wrong.lower = 0.48; // below TU1: a pack short by more than T goes through
    const ChallengeRun caught = runChallenge(wrong);
    EXPECT_FALSE(caught.passed());
    EXPECT_EQ(caught.failures(), std::vector<std::string>{"短缺超过T：判为正常，应为超低"});

    const ChallengeRun silent = runChallenge(right, false);
    EXPECT_FALSE(silent.passed());
    EXPECT_EQ(silent.failures().size(), 3u); // three rejects without their alarm frame

    ChallengeRun half(challengePacks(right));
    half.addVerdict(Verdict::Normal);
    EXPECT_FALSE(half.passed());
    EXPECT_EQ(half.failures().back(), "还有3件测试包未通过");
    QualitySettings noUpper{0.5, 0.0, 0.49};
    EXPECT_EQ(challengePacks(noUpper).size(), 3u);
    EXPECT_TRUE(challengePacks(QualitySettings{60, 61, 59}).empty()); // 60 kg: no rules
}

TEST(PerformanceCheckTest, AlarmFramesAreFoundInTheBytesSent) {
    AlarmFrameWatch watch;
    const std::string alarm = "\x02+00000050000000\r", plain = "\x02+00000010000000\r";
    EXPECT_EQ(watch.add(reinterpret_cast<const std::uint8_t*>(alarm.data()), 5), 0);
    EXPECT_EQ(watch.add(reinterpret_cast<const std::uint8_t*>(alarm.data()) + 5, alarm.size() - 5), 1);
    EXPECT_EQ(watch.add(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size()), 0);
    const std::string noise = "XYZ\r" + alarm.substr(0, 9) + alarm + "\x02+0000004\r";
    EXPECT_EQ(watch.add(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size()), 1);
}

} // namespace
} // namespace kelvora
