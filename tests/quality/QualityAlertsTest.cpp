#include "quality/QualityAlerts.h"

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// A 250 g pack weighed in grams: TU1 241 g, TU2 232 g; the limits 245 to 260 g.
QualitySettings packOf250g(int subgroupSize = 5, int baseline = 20, double lower = 245.0) {
    QualitySettings s;
    s.nominal = 250.0;
    s.upper = 260.0;
    s.lower = lower;
    s.unit = WeightUnit::Gram;
    s.division = 1.0;
    s.subgroupSize = subgroupSize;
    s.baselineSubgroups = baseline;
    return s;
}

class Line {
public:
    explicit Line(const QualitySettings& settings, int rejectRun = 3) : batch(settings), alerts(rejectRun) {}

    /// One package, judged by the batch's limits; the kinds of the alerts it raises.
    std::vector<AlertKind> weigh(double grams) {
        const QualitySettings& s = batch.settings();
        const Verdict verdict = grams > s.upper ? Verdict::Over : (grams < s.lower ? Verdict::Under : Verdict::Normal);
        std::vector<AlertKind> kinds;
        for (const QualityAlert& alert : alertsOf(grams, verdict, "2026-12-10 08:00:00"))
            kinds.push_back(alert.kind);
        return kinds;
    }

    std::vector<QualityAlert> alertsOf(double grams, Verdict verdict, const std::string& time) {
        batch.add(grams, verdict, seconds++);
        return alerts.check(batch, grams, verdict, time);
    }

    BatchQuality batch;
    QualityAlerts alerts;
    double seconds = 0.0;
};

using Kinds = std::vector<AlertKind>;

TEST(QualityAlertsTest, ARunOfRejectsAlertsAtItsNthProductAndAgainAfterAGoodOne) {
    Line line(packOf250g(), 3);
    EXPECT_EQ(line.weigh(262.0), Kinds{});
    EXPECT_EQ(line.weigh(244.0), Kinds{}); // over and under both count as rejects
    EXPECT_EQ(line.weigh(263.0), Kinds{AlertKind::RejectRun});
    EXPECT_EQ(line.weigh(264.0), Kinds{}); // the run goes on: no new alert
    EXPECT_EQ(line.weigh(250.0), Kinds{});
    EXPECT_EQ(line.weigh(262.0), Kinds{});
    EXPECT_EQ(line.weigh(262.0), Kinds{});
    EXPECT_EQ(line.weigh(262.0), Kinds{AlertKind::RejectRun});

    Line single(packOf250g(), 1);
    EXPECT_EQ(single.weigh(262.0), Kinds{AlertKind::RejectRun});
    EXPECT_THROW(QualityAlerts(0), std::invalid_argument);
}

TEST(QualityAlertsTest, APackageBelowTu2AlertsOnlyWhenItLeftTheLine) {
    Line line(packOf250g(), 100);
    for (int i = 0; i < 100; ++i)
        line.weigh(250.0); // enough good packs that the TU1 share stays under 2.5 %
    EXPECT_TRUE(line.alertsOf(232.0, Verdict::Normal, "2026-12-10 08:01:01").empty());
    // Rejected, as it must be: nothing to alert.
    EXPECT_TRUE(line.alertsOf(231.9, Verdict::Under, "2026-12-10 08:01:02").empty());
    // Limits set wrong: the pack passed.
    const std::vector<QualityAlert> alerts = line.alertsOf(231.9, Verdict::Normal, "2026-12-10 08:01:03");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].kind, AlertKind::BelowTu2);
    EXPECT_EQ(alerts[0].time, "2026-12-10 08:01:03");
    EXPECT_EQ(alerts[0].text, "净含量231.9 g低于TU2（232.0 g）却判为正常");
}

TEST(QualityAlertsTest, TheTu1ShareAlertsWhenItPasses2Point5PercentNotWhileItStaysAbove) {
    Line line(packOf250g(5, 20, 235.0), 100); // a lower limit below TU1 lets short packs through
    for (int i = 0; i < 39; ++i)
        line.weigh(250.0);
    EXPECT_EQ(line.weigh(240.0), Kinds{});                    // 1 of 40: exactly 2.5 %, the rule still holds
    EXPECT_EQ(line.weigh(240.0), Kinds{AlertKind::Tu1Share}); // 2 of 41
    EXPECT_EQ(line.weigh(240.0), Kinds{});
    for (int i = 0; i < 78; ++i)
        line.weigh(250.0); // 3 of 120: back to 2.5 %
    EXPECT_EQ(line.weigh(240.0), Kinds{AlertKind::Tu1Share});
    // Above 50 kg the rules do not apply and nothing about them alerts.
    QualitySettings huge = packOf250g(5, 20, 0.0);
    huge.nominal = 60000.0;
    Line large(huge, 100);
    EXPECT_EQ(large.weigh(0.5), Kinds{});
}

TEST(QualityAlertsTest, ABrokenRunRuleAlertsOnceForItsPoint) {
    Line line(packOf250g(2, 3), 100);
    for (double grams : {249.0, 251.0, 250.0, 252.0, 248.0, 250.0})
        EXPECT_EQ(line.weigh(grams), Kinds{}); // the baseline: three subgroups, frozen at the third
    ASSERT_TRUE(line.batch.chart().limits().has_value());
    EXPECT_EQ(line.weigh(258.0), Kinds{});
    const std::vector<QualityAlert> alerts = line.alertsOf(258.0, Verdict::Normal, "t");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].kind, AlertKind::ChartRule);
    EXPECT_EQ(alerts[0].text, "均值图第4组：1点超出3σ");
    EXPECT_EQ(line.weigh(250.0), Kinds{});
}

TEST(QualityAlertsTest, AChartAlertNumbersItsSubgroupFromTheBatchStartAfterOldPointsAreDropped) {
    Line line(packOf250g(2, 3), 100);
    for (double grams : {249.0, 251.0, 250.0, 252.0, 248.0, 250.0})
        line.weigh(grams);
    const int subgroups = 2 * static_cast<int>(BatchQuality::kChartKept) + 7;
    for (int i = 0; i < 2 * subgroups; ++i)
        ASSERT_EQ(line.weigh(250.0), Kinds{}) << i;
    ASSERT_GT(line.batch.chart().firstKept(), 0u);
    line.weigh(258.0);
    const std::vector<QualityAlert> alerts = line.alertsOf(258.0, Verdict::Normal, "t");
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].text, "均值图第" + std::to_string(3 + subgroups + 1) + "组：1点超出3σ");
}

} // namespace
} // namespace kelvora
