#include "quality/BatchQuality.h"
#include "quality/BatchStatistics.h"
#include "quality/ControlChart.h"
#include "quality/Histogram.h"
#include "quality/RunningStatistics.h"

#include <cfloat>
#include <chrono>
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// NIST StRD univariate summary statistics, the "NumAcc" sets: values with a large common offset whose
// certified mean and standard deviation a naive sum of squares gets wrong.
struct CertifiedSet {
    const char* name;
    std::vector<double> values;
    double mean;
    double sd;
};

// NumAcc2 to NumAcc4: the first value, then 500 pairs of the two others (1001 values).
std::vector<double> alternating(double first, double low, double high) {
    std::vector<double> values{first};
    for (int i = 0; i < 500; ++i) {
        values.push_back(low);
        values.push_back(high);
    }
    return values;
}

TEST(StatisticsTest, MatchesTheCertifiedValuesOfTheNumAccSets) {
    const CertifiedSet sets[] = {
        {"NumAcc1", {10000001, 10000003, 10000002}, 10000002.0, 1.0},
        {"NumAcc2", alternating(1.2, 1.1, 1.3), 1.2, 0.1},
        {"NumAcc3", alternating(1000000.2, 1000000.1, 1000000.3), 1000000.2, 0.1},
        {"NumAcc4", alternating(10000000.2, 10000000.1, 10000000.3), 10000000.2, 0.1},
    };
    for (const CertifiedSet& set : sets) {
        RunningStatistics statistics;
        for (double value : set.values)
            statistics.add(value);
        EXPECT_EQ(statistics.count(), static_cast<std::int64_t>(set.values.size())) << set.name;
        // Relative errors: 13 digits for the mean, 8 for the deviation (the data hold at most 9
        // significant digits beyond the offset of NumAcc4).
        EXPECT_NEAR(statistics.mean(), set.mean, set.mean * 1e-13) << set.name;
        EXPECT_NEAR(statistics.standardDeviation(), set.sd, set.sd * 1e-8) << set.name;
    }
}

TEST(StatisticsTest, FewValuesAndExtremes) {
    RunningStatistics statistics;
    EXPECT_EQ(statistics.standardDeviation(), 0.0);
    EXPECT_EQ(statistics.minimum(), 0.0);
    statistics.add(-3.5);
    EXPECT_EQ(statistics.variance(), 0.0);
    EXPECT_EQ(statistics.minimum(), -3.5);
    EXPECT_EQ(statistics.maximum(), -3.5);
    statistics.add(7.0);
    statistics.add(1.0);
    EXPECT_DOUBLE_EQ(statistics.sum(), 4.5);
    EXPECT_DOUBLE_EQ(statistics.mean(), 1.5);
    EXPECT_DOUBLE_EQ(statistics.variance(), ((5.0 * 5.0) + (5.5 * 5.5) + (0.5 * 0.5)) / 2.0);
    EXPECT_EQ(statistics.minimum(), -3.5);
    EXPECT_EQ(statistics.maximum(), 7.0);
}

// Finite readings of any size (a decoder that once took "1e18 " for a weight) give finite figures.
TEST(StatisticsTest, HugeValuesGiveFiniteFigures) {
    RunningStatistics spread;
    for (double value : {15.0, 15.0, 1e160})
        spread.add(value);
    EXPECT_NEAR(spread.standardDeviation(), 1e160 / std::sqrt(3.0), 1e147);
    EXPECT_NEAR(spread.mean(), 1e160 / 3.0, 1e147);
    RunningStatistics edge;
    for (double value : {DBL_MAX, -DBL_MAX / 2, DBL_MAX / 4})
        edge.add(value);
    EXPECT_TRUE(std::isfinite(edge.mean()));
    EXPECT_TRUE(std::isfinite(edge.standardDeviation()));
    EXPECT_NEAR(edge.mean(), DBL_MAX * 0.25, DBL_MAX * 1e-12);
    RunningStatistics equal;
    for (int i = 0; i < 4; ++i)
        equal.add(4.86e307);
    EXPECT_EQ(equal.mean(), 4.86e307);
    EXPECT_EQ(equal.standardDeviation(), 0.0);
}

TEST(StatisticsTest, TheSChartsLowerLimitStaysZeroForSmallSubgroups) {
    XbarSChart chart(2, 1);
    chart.add(1e300);
    chart.add(-1e300);
    ASSERT_TRUE(chart.limits());
    EXPECT_EQ(chart.limits()->sLower, 0.0);
    EXPECT_FALSE(std::isnan(chart.limits()->sUpper));
}

TEST(StatisticsTest, TheHistogramIsBoundedWhateverTheWeights) {
    Histogram histogram(0.001);
    const auto start = std::chrono::steady_clock::now();
    for (double weight : {-1.0, 1e10, 1e18, -1e300, 0.25, std::nan("")})
        histogram.add(weight);
    EXPECT_EQ(histogram.divisionIndex(1e300), Histogram::kOutermost);
    EXPECT_EQ(histogram.divisionIndex(-1e300), -Histogram::kOutermost);
    for (std::size_t most : {std::size_t{1}, std::size_t{2}, std::size_t{40}, std::size_t{1} << 40}) {
        const auto bins = histogram.bins(most);
        ASSERT_FALSE(bins.empty()) << most;
        EXPECT_LE(bins.size(), std::min(most, Histogram::kMostBins)) << most;
        std::int64_t counted = 0;
        for (const auto& bin : bins)
            counted += bin.count;
        EXPECT_EQ(counted, 6) << most;
    }
    // Weights on both sides of zero fit one bin, and a small range keeps bins on whole multiples.
    Histogram two(1.0);
    two.add(-1.0);
    two.add(1.0);
    ASSERT_EQ(two.bins(1).size(), 1u);
    EXPECT_EQ(two.bins(1)[0].count, 2);
    Histogram small(1.0);
    for (double w : {10.0, 11.0, 12.0, 13.0, 14.0, 15.0})
        small.add(w);
    const auto three = small.bins(3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_DOUBLE_EQ(three[0].lower, 9.5);
    EXPECT_DOUBLE_EQ(three[0].upper, 11.5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)); // once took 33 s
}

TEST(StatisticsTest, CountsVerdictsGiveawayAndThroughput) {
    BatchStatistics batch;
    EXPECT_EQ(batch.giveaway(250), 0.0);
    EXPECT_EQ(batch.perMinuteBatch(), 0.0);
    // One product every 2 s for 3 minutes: 91 products, 30 in the last minute.
    for (int i = 0; i <= 90; ++i)
        batch.add(i % 10 == 0 ? 262.0 : (i % 10 == 1 ? 240.0 : 252.0),
                  i % 10 == 0 ? Verdict::Over : (i % 10 == 1 ? Verdict::Under : Verdict::Normal), 1000.0 + 2.0 * i);
    EXPECT_EQ(batch.count(), 91);
    EXPECT_EQ(batch.over(), 10);
    EXPECT_EQ(batch.under(), 9);
    EXPECT_EQ(batch.normal(), 72);
    EXPECT_EQ(batch.perMinuteLastMinute(), 30); // the product exactly 60 s before the last is outside
    EXPECT_DOUBLE_EQ(batch.perMinuteBatch(), 30.0);
    const double mean = (10 * 262.0 + 9 * 240.0 + 72 * 252.0) / 91;
    EXPECT_DOUBLE_EQ(batch.weights().mean(), mean);
    EXPECT_DOUBLE_EQ(batch.giveaway(250), mean - 250);
    EXPECT_DOUBLE_EQ(batch.giveawayPercent(250), (mean - 250) / 2.5);
    EXPECT_EQ(batch.giveawayPercent(0), 0.0);

    // A pause of more than a minute empties the last minute but for the new product.
    batch.add(250.0, Verdict::Normal, 1180.0 + 61.0);
    EXPECT_EQ(batch.perMinuteLastMinute(), 1);
}

TEST(StatisticsTest, ReadsStoredRows) {
    BatchQuality quality({0.25, 0.26, 0.24, WeightUnit::Kilogram});
    EXPECT_TRUE(quality.add(WeighingRecord{"A", 0.251, "正常", "张三", "2024-07-15 14:05:09"}));
    EXPECT_TRUE(quality.add(WeighingRecord{"A", 0.239, "超低", "张三", "2024-07-15 14:05:39"}));
    EXPECT_FALSE(quality.add(WeighingRecord{"A", 0.25, "正常?", "张三", "2024-07-15 14:06:00"}));
    EXPECT_FALSE(quality.add(WeighingRecord{"A", 0.25, "正常", "张三", "2024-07-15 14:06"}));
    EXPECT_FALSE(quality.add(WeighingRecord{"A", 0.25, "正常", "张三", "2024-13-15 14:06:00"}));
    EXPECT_EQ(quality.statistics().count(), 2);
    EXPECT_EQ(quality.statistics().under(), 1);
    EXPECT_DOUBLE_EQ(quality.statistics().perMinuteBatch(), 2.0);

    EXPECT_EQ(secondsOfTimeText("1970-01-01 00:00:00"), 0.0);
    EXPECT_EQ(secondsOfTimeText("2024-07-15 14:05:09"), 1721052309.0);
    EXPECT_EQ(*secondsOfTimeText("2024-03-01 00:00:00") - *secondsOfTimeText("2024-02-28 00:00:00"), 2 * 86400.0);
}

} // namespace
} // namespace kelvora
