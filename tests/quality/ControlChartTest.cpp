#include "quality/ControlChart.h"

#include "quality/BatchQuality.h"
#include "quality/Capability.h"
#include "quality/ChartRules.h"
#include "quality/Histogram.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using Rules = std::vector<ChartRule>;

// The series breaks no rule of `set` before its last point and exactly `rule` at it.
void expectOnlyAtEnd(const std::vector<double>& z, RuleSet set, ChartRule rule) {
    for (std::size_t i = 0; i + 1 < z.size(); ++i)
        EXPECT_EQ(rulesBrokenAt(z, i, set), Rules{}) << ruleCaption(rule) << " at point " << i;
    EXPECT_EQ(rulesBrokenAt(z, z.size() - 1, set), Rules{rule}) << ruleCaption(rule);
}

TEST(ControlChartTest, WesternElectricRulesEachAlone) {
    const auto we = RuleSet::WesternElectric;
    expectOnlyAtEnd({0.5, -0.5, 3.01}, we, ChartRule::Beyond3Sigma);
    expectOnlyAtEnd({0.5, -0.5, -3.5}, we, ChartRule::Beyond3Sigma);
    expectOnlyAtEnd({0.2, 2.5, -0.3, 2.1}, we, ChartRule::TwoOfThreeBeyond2);
    expectOnlyAtEnd({-0.2, -2.5, -2.1}, we, ChartRule::TwoOfThreeBeyond2);
    expectOnlyAtEnd({1.5, 1.2, 0.5, 1.8, 1.1}, we, ChartRule::FourOfFiveBeyond1);
    expectOnlyAtEnd({0.5, 0.3, 0.2, 0.9, 0.1, 0.4, 0.6, 0.7}, we, ChartRule::EightOnOneSide);
}

TEST(ControlChartTest, WesternElectricEdges) {
    const auto we = RuleSet::WesternElectric;
    EXPECT_EQ(rulesBrokenAt({3.0}, 0, we), Rules{});                // on the limit is not beyond
    EXPECT_EQ(rulesBrokenAt({2.5, -2.5, 0.1}, 2, we), Rules{});     // beyond 2σ, but on both sides
    EXPECT_EQ(rulesBrokenAt({2.5, 0.1, 2.0}, 2, we), Rules{});      // exactly 2σ does not count
    EXPECT_EQ(rulesBrokenAt({0.1, 2.5, 2.1, 0.1}, 3, we), Rules{}); // flagged at the point that completes it
    // A point beyond 3σ also counts as beyond 2σ.
    EXPECT_EQ(rulesBrokenAt({2.5, 0.1, 3.2}, 2, we), (Rules{ChartRule::Beyond3Sigma, ChartRule::TwoOfThreeBeyond2}));
    EXPECT_EQ(rulesBrokenAt({1.5, 1.2, 0.5, 1.8, -1.1}, 4, we), Rules{});
    EXPECT_EQ(rulesBrokenAt({0.5, 0.3, 0.2, 0.0, 0.1, 0.4, 0.6, 0.7}, 7, we), Rules{}); // the centre breaks the run
    EXPECT_EQ(rulesBrokenAt({0.1}, 5, we), Rules{});                                    // no such point
}

TEST(ControlChartTest, NelsonRulesEachAlone) {
    const auto nelson = RuleSet::Nelson;
    expectOnlyAtEnd({0.5, -0.5, 3.5}, nelson, ChartRule::Beyond3Sigma);
    expectOnlyAtEnd({0.2, 2.5, -0.3, 2.1}, nelson, ChartRule::TwoOfThreeBeyond2);
    expectOnlyAtEnd({1.5, 1.2, 0.5, 1.8, 1.1}, nelson, ChartRule::FourOfFiveBeyond1);
    expectOnlyAtEnd({0.5, 0.3, 0.6, 0.2, 0.7, 0.4, 0.5, 0.3, 0.6}, nelson, ChartRule::NineOnOneSide);
    expectOnlyAtEnd({-0.5, -0.3, -0.1, 0.1, 0.3, 0.5}, nelson, ChartRule::SixTrending);
    expectOnlyAtEnd({0.5, 0.3, 0.1, -0.1, -0.3, -0.5}, nelson, ChartRule::SixTrending);
    std::vector<double> alternating;
    for (int i = 0; i < 14; ++i)
        alternating.push_back(i % 2 ? -0.5 : 0.5);
    expectOnlyAtEnd(alternating, nelson, ChartRule::FourteenAlternating);
    std::vector<double> within;
    for (int i = 0; i < 15; ++i)
        within.push_back(std::vector<double>{0.2, 0.4, -0.3}[i % 3]);
    expectOnlyAtEnd(within, nelson, ChartRule::FifteenWithin1);
    expectOnlyAtEnd({1.5, 1.2, -1.5, -1.8, 1.6, 1.3, -1.4, -1.1}, nelson, ChartRule::EightOutside1);
}

TEST(ControlChartTest, NelsonEdges) {
    const auto nelson = RuleSet::Nelson;
    // Eight on one side is no Nelson rule; a flat step ends a trend; all beyond 1σ on one side is rule 2's.
    EXPECT_EQ(rulesBrokenAt({0.5, 0.3, 0.2, 0.9, 0.1, 0.4, 0.6, 0.7}, 7, nelson), Rules{});
    EXPECT_EQ(rulesBrokenAt({-0.5, -0.3, -0.3, 0.1, 0.3, 0.5}, 5, nelson), Rules{});
    const Rules eightHigh = rulesBrokenAt({1.5, 1.2, 1.5, 1.8, 1.6, 1.3, 1.4, 1.1}, 7, nelson);
    EXPECT_EQ(eightHigh, Rules{ChartRule::FourOfFiveBeyond1});
    // Exactly 1σ counts as within.
    std::vector<double> within(15, 1.0);
    for (std::size_t i = 0; i < within.size(); i += 2)
        within[i] = -1.0;
    const Rules withinRules = rulesBrokenAt(within, 14, nelson);
    EXPECT_NE(std::find(withinRules.begin(), withinRules.end(), ChartRule::FifteenWithin1), withinRules.end());
}

TEST(ControlChartTest, ConstantsAndSizes) {
    const ChartConstants five = chartConstants(5);
    EXPECT_DOUBLE_EQ(five.a3, 1.427);
    EXPECT_DOUBLE_EQ(five.b3, 0.0);
    EXPECT_DOUBLE_EQ(five.b4, 2.089);
    EXPECT_DOUBLE_EQ(chartConstants(2).a3, 2.659);
    EXPECT_DOUBLE_EQ(chartConstants(10).b3, 0.284);
    EXPECT_DOUBLE_EQ(chartConstants(10).b4, 1.716);
    EXPECT_THROW(chartConstants(1), std::invalid_argument);
    EXPECT_THROW(chartConstants(11), std::invalid_argument);
    EXPECT_THROW(XbarSChart(5, 0), std::invalid_argument);
}

TEST(ControlChartTest, TheBaselineFreezesAfterTwentySubgroupsAndSetsTheLimits) {
    XbarSChart chart;
    for (int i = 0; i < 19; ++i)
        chart.addSubgroup(i % 2 ? 15.1 : 14.9, i % 2 ? 0.9 : 1.1);
    EXPECT_FALSE(chart.limits());
    chart.addSubgroup(15.1, 0.9);
    ASSERT_TRUE(chart.limits());
    const ChartLimits& limits = *chart.limits();
    EXPECT_EQ(limits.baselineSubgroups, 20);
    EXPECT_NEAR(limits.centre, 15.0, 1e-12);
    EXPECT_NEAR(limits.sBar, 1.0, 1e-12);
    EXPECT_NEAR(limits.upper, 15.0 + 1.427, 1e-12);
    EXPECT_NEAR(limits.lower, 15.0 - 1.427, 1e-12);
    EXPECT_NEAR(limits.sUpper, 2.089, 1e-12);
    EXPECT_NEAR(limits.sigmaWithin, 1.0 / 0.94, 1e-12);
    EXPECT_EQ(chart.alarmedPoints(), 0);

    // Later points do not move the frozen limits; one beyond the upper limit breaks rule 1.
    chart.addSubgroup(15.0 + 1.43, 1.0);
    chart.addSubgroup(15.0, 2.1);
    EXPECT_NEAR(chart.limits()->centre, 15.0, 1e-12);
    EXPECT_EQ(chart.points()[20].broken, Rules{ChartRule::Beyond3Sigma});
    EXPECT_FALSE(chart.points()[20].sBeyond);
    EXPECT_TRUE(chart.points()[21].sBeyond);
    EXPECT_EQ(chart.alarmedPoints(), 2);
    EXPECT_FALSE(chart.freeze());
}

TEST(ControlChartTest, AnEarlyFreezeChecksTheBaselinePointsToo) {
    XbarSChart chart(6, 20, RuleSet::WesternElectric);
    EXPECT_FALSE(chart.freeze()); // nothing to freeze on
    // Subgroups of six values; the third subgroup's spread is far below B3·s̄.
    const double values[] = {1, 2, 3, 4, 5, 6, 2, 3, 4, 5, 6, 7, 4, 4, 4, 4, 4, 4.001};
    for (double value : values)
        chart.add(value);
    chart.add(100); // pending: a subgroup is complete only at six values
    ASSERT_EQ(chart.points().size(), 3u);
    EXPECT_DOUBLE_EQ(chart.points()[0].mean, 3.5);
    EXPECT_NEAR(chart.points()[0].sd, 1.8708286933869707, 1e-12);
    ASSERT_TRUE(chart.freeze());
    EXPECT_EQ(chart.limits()->baselineSubgroups, 3);
    EXPECT_TRUE(chart.points()[2].sBeyond);
    EXPECT_FALSE(chart.points()[0].sBeyond);
}

TEST(ControlChartTest, AFlatBaselineMakesEveryDepartureBeyondTheLimits) {
    XbarSChart chart(2, 1);
    chart.addSubgroup(15.0, 0.0);
    chart.addSubgroup(15.0, 0.0);
    chart.addSubgroup(15.001, 0.0);
    EXPECT_EQ(chart.points()[1].broken, Rules{});
    EXPECT_EQ(chart.points()[2].broken, Rules{ChartRule::Beyond3Sigma});
}

TEST(ControlChartTest, ABoundedChartDropsItsOldestPointsButKeepsTheirNumbersAndTheRunsAcrossTheDrop) {
    EXPECT_THROW(XbarSChart(2, 2, RuleSet::WesternElectric, XbarSChart::kFewestKept - 1), std::invalid_argument);
    XbarSChart chart(2, 2, RuleSet::WesternElectric, 15);
    chart.addSubgroup(15.1, 1.0);
    chart.addSubgroup(14.9, 1.0); // frozen: centre 15
    for (int i = 2; i < 24; ++i)
        chart.addSubgroup(15.0, 1.0);
    for (int i = 24; i < 29; ++i)
        chart.addSubgroup(15.1, 1.0); // a run above the centre begins
    EXPECT_EQ(chart.points().size(), 29u);
    EXPECT_EQ(chart.firstKept(), 0u);

    chart.addSubgroup(15.1, 1.0); // the 30th point: the oldest 15 go
    EXPECT_EQ(chart.subgroups(), 30u);
    EXPECT_EQ(chart.firstKept(), 15u);
    ASSERT_EQ(chart.points().size(), 15u);
    EXPECT_DOUBLE_EQ(chart.points().front().mean, 15.0); // subgroup 15
    chart.addSubgroup(15.1, 1.0);
    chart.addSubgroup(15.1, 1.0); // the 8th in a row on one side, six of them before the drop
    EXPECT_EQ(chart.points().back().broken, Rules{ChartRule::EightOnOneSide});
    EXPECT_EQ(chart.alarmedPoints(), 1);

    for (int i = 0; i < 1000; ++i)
        chart.addSubgroup(15.0, 1.0);
    EXPECT_EQ(chart.subgroups(), 1032u);
    EXPECT_LT(chart.points().size(), 30u);
    EXPECT_EQ(chart.firstKept() + chart.points().size(), chart.subgroups());
}

TEST(ControlChartTest, AChartKeepsItsWholeBaselineUntilTheFreeze) {
    XbarSChart chart(2, 100, RuleSet::WesternElectric, 15);
    for (int i = 0; i < 60; ++i)
        chart.addSubgroup(i == 3 ? 20.0 : 15.0 + (i % 2 ? 0.1 : -0.1), 1.0);
    EXPECT_EQ(chart.points().size(), 60u); // nothing is checked yet, so nothing may go
    ASSERT_TRUE(chart.freeze());
    EXPECT_EQ(chart.alarmedPoints(), 1); // the freeze checked point 3 before the chart shrank
    EXPECT_EQ(chart.firstKept(), 45u);
    EXPECT_EQ(chart.points().size(), 15u);
}

TEST(ControlChartTest, CapabilityIndices) {
    const Capability both = capability(15, 1, 12, 20);
    EXPECT_DOUBLE_EQ(*both.cp, 8.0 / 6.0);
    EXPECT_DOUBLE_EQ(*both.cpl, 1.0);
    EXPECT_DOUBLE_EQ(*both.cpu, 5.0 / 3.0);
    EXPECT_DOUBLE_EQ(*both.cpk, 1.0);
    const Capability lowerOnly = capability(15, 1, 12, std::nullopt);
    EXPECT_DOUBLE_EQ(*lowerOnly.cpl, 1.0);
    EXPECT_FALSE(lowerOnly.cp);
    EXPECT_FALSE(lowerOnly.cpk);
    EXPECT_FALSE(capability(15, 0, 12, 20).cpl);

    // A batch: σ is the batch's until the baseline freezes, then s̄/c4; an upper limit not above the
    // lower one leaves CPL alone.
    BatchQuality quality({0.25, 0.24, 0.24, WeightUnit::Kilogram, 0.001, 2, 2});
    quality.add(0.250, Verdict::Normal, 0);
    quality.add(0.252, Verdict::Normal, 1);
    EXPECT_DOUBLE_EQ(quality.sigma(), quality.statistics().weights().standardDeviation());
    quality.add(0.251, Verdict::Normal, 2);
    quality.add(0.255, Verdict::Normal, 3);
    ASSERT_TRUE(quality.chart().limits());
    EXPECT_DOUBLE_EQ(quality.sigma(), quality.chart().limits()->sigmaWithin);
    const Capability batch = quality.capability();
    EXPECT_FALSE(batch.cp);
    EXPECT_NEAR(*batch.cpl, (0.252 - 0.24) / (3 * quality.sigma()), 1e-9);
    EXPECT_NEAR(*quality.cplTu1(), (0.252 - 0.241) / (3 * quality.sigma()), 1e-9);
}

TEST(ControlChartTest, HistogramBinsOfWholeDivisions) {
    Histogram histogram(0.001);
    for (double weight : {15.000, 15.001, 15.0012, 15.004})
        histogram.add(weight);
    const auto fine = histogram.bins();
    ASSERT_EQ(fine.size(), 5u);
    EXPECT_NEAR(fine[0].lower, 14.9995, 1e-9);
    EXPECT_NEAR(fine[0].upper, 15.0005, 1e-9);
    EXPECT_EQ(fine[1].count, 2);
    EXPECT_EQ(fine[2].count, 0);
    EXPECT_EQ(fine[4].count, 1);

    const auto coarse = histogram.bins(2); // three divisions a bin
    ASSERT_EQ(coarse.size(), 2u);
    EXPECT_NEAR(coarse[0].upper - coarse[0].lower, 0.003, 1e-9);
    EXPECT_EQ(coarse[0].count, 3);
    EXPECT_EQ(coarse[1].count, 1);

    Histogram aroundZero(0.002);
    aroundZero.addCount(-3, 2);
    aroundZero.addCount(2, 1);
    const auto bins = aroundZero.bins(3);
    ASSERT_LE(bins.size(), 3u);
    std::int64_t total = 0;
    for (const auto& bin : bins)
        total += bin.count;
    EXPECT_EQ(total, 3);
    EXPECT_NEAR(bins.front().lower, -0.007, 1e-9);
    EXPECT_TRUE(Histogram(0.5).bins().empty());
    EXPECT_THROW(Histogram(0.0), std::invalid_argument);
}

} // namespace
} // namespace kelvora
