#include "quality/window/StatisticsWindow.h"

#include <cstdio>
#include <string>
#include <vector>

#include <QLabel>
#include <QTableWidget>
#include <QValueAxis>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

std::string timeAt(int second) {
    char text[32];
    std::snprintf(text, sizeof text, "2024-07-15 %02d:%02d:%02d", 8 + second / 3600, second / 60 % 60, second % 60);
    return text;
}

WeighingRecord row(int i, double weight, const char* verdict = "正常") {
    return {"B250", weight, verdict, "张三", timeAt(i * 2)};
}

std::string figure(const StatisticsWindow& window, const char* name) {
    const QString text = window.figuresText();
    for (const QString& line : text.split(u'\n'))
        if (line.startsWith(QString::fromUtf8(name) + u'\t'))
            return line.section(u'\t', 1).toStdString();
    return "(missing)";
}

QVariant passes(const StatisticsWindow& window, const char* mark) {
    return window.findChild<QLabel*>(QString::fromLatin1(mark))->property("passes");
}

const QualitySettings kB250{0.25, 0.26, 0.24};

TEST(StatisticsWindowTest, ShowsTheFiguresAndTheRulesVerdictByVerdict) {
    StatisticsWindow window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("统计分析"));
    ASSERT_NE(window.findChild<QTableWidget*>(QStringLiteral("figuresTable")), nullptr);
    window.startBatch(QStringLiteral("B250"), kB250);
    EXPECT_FALSE(passes(window, "meanRuleMark").isValid()); // nothing weighed: no mark yet
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(window.addRecord(row(i, i < 5 ? 0.240 : 0.252)));
    EXPECT_EQ(figure(window, "产品数"), "200");
    EXPECT_EQ(figure(window, "TU1（g）"), "241.0");
    EXPECT_EQ(figure(window, "TU2（g）"), "232.0");
    EXPECT_EQ(figure(window, "低于TU1"), "5（2.50%）");
    EXPECT_EQ(figure(window, "速度（最近1分钟）"), "30");
    EXPECT_EQ(passes(window, "meanRuleMark"), QVariant(true));
    EXPECT_EQ(passes(window, "tu1RuleMark"), QVariant(true)); // exactly 2.5 %
    EXPECT_EQ(passes(window, "tu2RuleMark"), QVariant(true));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("batchVerdict"))->text(), QStringLiteral("批判定：合格"));

    window.addRecord(row(200, 0.2319, "超低")); // rejected: it never left the line
    EXPECT_EQ(passes(window, "tu2RuleMark"), QVariant(true));
    EXPECT_EQ(figure(window, "超低"), "1");
    window.addRecord(row(201, 0.2319)); // passed: the lot fails
    EXPECT_EQ(passes(window, "tu1RuleMark"), QVariant(false));
    EXPECT_EQ(passes(window, "tu2RuleMark"), QVariant(false));
    EXPECT_EQ(window.findChild<QLabel*>(QStringLiteral("batchVerdict"))->text(), QStringLiteral("批判定：不合格"));
    EXPECT_FALSE(window.addRecord({"B250", 0.25, "?", "张三", timeAt(500)}));
    EXPECT_EQ(figure(window, "产品数"), "202");

    EXPECT_EQ(figure(window, "干扰"), "0");
    window.addDisturbance();
    window.addDisturbance();
    EXPECT_EQ(figure(window, "干扰"), "2") << "runs of readings that were no product";
    EXPECT_EQ(figure(window, "产品数"), "202");
    window.startBatch(QStringLiteral("B250"), kB250);
    EXPECT_EQ(figure(window, "干扰"), "0") << "counted per batch";
}

TEST(StatisticsWindowTest, NamesTheBrokenRuleOfAPoint) {
    StatisticsWindow window;
    window.startBatch(QStringLiteral("B250"), kB250);
    for (int i = 0; i < 100; ++i) // 20 subgroups: the baseline freezes
        window.addRecord(row(i, 0.250 + 0.001 * (i % 5)));
    ASSERT_TRUE(window.batch().chart().limits());
    EXPECT_FALSE(window.freezeBaseline());
    for (int i = 100; i < 105; ++i)
        window.addRecord(row(i, 0.259));
    EXPECT_EQ(window.rulesAt(20), QStringLiteral("1点超出3σ"));
    auto* means = window.findChild<ControlChartView*>(QStringLiteral("meanChart"));
    ASSERT_NE(means, nullptr);
    EXPECT_EQ(means->markedShown(), 0); // drawn a moment later, all new points at once
    window.flushCharts();
    EXPECT_EQ(means->markedShown(), 1);
    const auto bins = window.findChild<HistogramView*>(QStringLiteral("histogramChart"))->bins();
    ASSERT_FALSE(bins.empty());
    EXPECT_NEAR(bins.back().upper, 0.2595, 1e-9);
    EXPECT_EQ(window.rulesAt(3), QString());
    EXPECT_EQ(window.rulesAt(99), QString());
}

TEST(StatisticsWindowTest, LoadingADayShowsWhatFeedingItDoes) {
    std::vector<WeighingRecord> rows;
    for (int i = 0; i < 3000; ++i)
        rows.push_back(row(i, 0.245 + 0.001 * ((i * 7) % 13), i % 13 == 0 ? "超低" : "正常"));
    StatisticsWindow fed, loaded;
    fed.startBatch(QStringLiteral("B250"), kB250);
    loaded.startBatch(QStringLiteral("B250"), kB250);
    for (const auto& r : rows)
        fed.addRecord(r);
    EXPECT_EQ(loaded.loadRecords(rows), rows.size());
    EXPECT_EQ(loaded.figuresText(), fed.figuresText());
    EXPECT_EQ(figure(loaded, "产品数"), "3000");

    // An early freeze by the operator, and a model beyond the rules.
    StatisticsWindow early;
    early.startBatch(QStringLiteral("C"), {60.0, 60.6, 59.4, WeightUnit::Kilogram});
    EXPECT_FALSE(early.freezeBaseline());
    for (int i = 0; i < 10; ++i)
        early.addRecord({"C", 30.0 + 0.01 * (i % 3), "正常", "", timeAt(i)});
    EXPECT_TRUE(early.freezeBaseline());
    EXPECT_EQ(early.batch().chart().limits()->baselineSubgroups, 2);
    EXPECT_EQ(figure(early, "TU1（g）"), "不适用"); // 60 kg is beyond the rules
    EXPECT_EQ(early.findChild<QLabel*>(QStringLiteral("batchVerdict"))->text(),
              QStringLiteral("批判定：不适用（标称量不在0至50 kg之间（中国规则））"));
    EXPECT_FALSE(passes(early, "meanRuleMark").isValid());
}

TEST(StatisticsWindowTest, ALongBatchKeepsNumberingItsSubgroupsAfterTheOldestAreDropped) {
    StatisticsWindow window;
    window.startBatch(QStringLiteral("B250"), {0.25, 0.26, 0.24, WeightUnit::Kilogram, 0.001, 2, 20});
    const int subgroups = 2 * static_cast<int>(BatchQuality::kChartKept) + 100;
    for (int i = 0; i < 2 * subgroups; ++i)
        ASSERT_TRUE(window.addRecord(row(i, i % 2 ? 0.251 : 0.250)));
    ASSERT_GT(window.batch().chart().firstKept(), 0u);
    window.addRecord(row(2 * subgroups, 0.259));
    window.addRecord(row(2 * subgroups + 1, 0.259));
    EXPECT_EQ(window.rulesAt(static_cast<std::size_t>(subgroups)), QStringLiteral("1点超出3σ"));
    EXPECT_EQ(window.rulesAt(5), QString()); // dropped long ago
    ASSERT_FALSE(window.alerts().isEmpty());
    EXPECT_TRUE(window.alerts().back().endsWith(QStringLiteral("均值图第%1组：1点超出3σ").arg(subgroups + 1)))
        << window.alerts().back().toStdString();
    window.flushCharts();
    EXPECT_EQ(window.findChild<ControlChartView*>(QStringLiteral("meanChart"))->markedShown(), 1);
}

TEST(StatisticsWindowTest, TheLiveLotEndsWithItsShiftAndSaysWhetherItWouldPassAnInspection) {
    StatisticsWindow window;
    window.setStation(nullptr, QualitySettings{}, {}, {0, 8 * 60 + 30, 16 * 60}, 3);
    window.startBatch(QStringLiteral("B250"), kB250);
    // From 08:00:00 every 2 s: the shift of 08:30 starts at row 900.
    for (int i = 0; i < 900; ++i)
        window.addRecord(row(i, 0.251 + 0.001 * (i % 3)));
    EXPECT_EQ(figure(window, "产品数"), "900");
    window.flushCharts();
    const QString sentence = window.readinessText();
    EXPECT_TRUE(sentence.startsWith(QStringLiteral("官方抽检（中国，抽样80件）：通过概率100.0%")))
        << sentence.toStdString();
    EXPECT_TRUE(sentence.contains(QStringLiteral("每包少给"))) << sentence.toStdString();
    window.addRecord(row(900, 0.252));
    EXPECT_EQ(figure(window, "产品数"), "1") << "a new lot at the new shift";
    EXPECT_EQ(window.batch().settings().nominal, 0.25);

    // A lot whose packs run short: the inspector would fail it, the filler must go up.
    StatisticsWindow low;
    low.startBatch(QStringLiteral("B250"), kB250);
    for (int i = 0; i < 200; ++i)
        low.addRecord(row(i, i % 10 == 0 ? 0.240 : 0.2495));
    low.flushCharts();
    EXPECT_LT(low.findChild<QLabel*>(QStringLiteral("inspectionReadiness"))->property("passProbability").toDouble(),
              0.5);
    EXPECT_TRUE(low.readinessText().contains(QStringLiteral("须提高"))) << low.readinessText().toStdString();
}

TEST(StatisticsWindowTest, OpensBesideTheLampsAndFitsASmallScreen) {
    const QRect screen(0, 0, 1366, 728);
    // Lamps on the main window's left: the window takes the right.
    const QRect right = StatisticsWindow::placeBeside(screen, QRect(0, 100, 300, 300), {1280, 720}, {640, 480});
    EXPECT_FALSE(right.intersects(QRect(0, 100, 300, 300)));
    EXPECT_TRUE(screen.contains(right));
    EXPECT_EQ(right.width(), 1066);
    // Lamps on the right: the window ends where they begin.
    const QRect left = StatisticsWindow::placeBeside(screen, QRect(1000, 0, 366, 200), {1280, 720}, {640, 480});
    EXPECT_FALSE(left.intersects(QRect(1000, 0, 366, 200)));
    EXPECT_EQ(left.right(), 999);
    // Nothing to avoid: the preferred size, on the screen.
    EXPECT_EQ(StatisticsWindow::placeBeside(screen, {}, {1280, 720}, {640, 480}).size(), QSize(1280, 720));
    // The window itself goes down to a 1366×768 screen less its task bar.
    StatisticsWindow window;
    EXPECT_LE(window.minimumSizeHint().width(), 1366);
    EXPECT_LE(window.minimumSizeHint().height(), 728);
    EXPECT_LE(window.width(), 1366);
    EXPECT_LE(window.height(), 728);
}

TEST(StatisticsWindowTest, TheHistogramCountsInWholeSteps) {
    for (std::int64_t highest : {1, 2, 4, 5, 6, 9, 11, 37, 1000, 4999})
        EXPECT_LE(highest, 5 * Histogram::countStep(highest)) << highest;
    EXPECT_EQ(Histogram::countStep(1), 1);
    EXPECT_EQ(Histogram::countStep(6), 2);
    EXPECT_EQ(Histogram::countStep(11), 5);
    EXPECT_EQ(Histogram::countStep(37), 10);
    HistogramView view;
    Histogram histogram(1.0);
    view.show(histogram); // empty: 0 to 1, never 0,0,0,0,1
    EXPECT_EQ(view.countAxis()->max(), 1.0);
    EXPECT_EQ(view.countAxis()->tickInterval(), 1.0);
    for (int i = 0; i < 7; ++i)
        histogram.add(5.0);
    view.show(histogram);
    EXPECT_EQ(view.countAxis()->max(), 8.0);
    EXPECT_EQ(view.countAxis()->tickInterval(), 2.0);
}

TEST(StatisticsWindowTest, WhatWaitsForTheDrawingStaysWithinTheWindow) {
    ControlChartView chart(QStringLiteral("趋势图"), 10);
    for (int x = 0; x < 10'000; ++x)
        chart.append(x, 1.0 + (x % 3), x == 5 || x == 9'995);
    EXPECT_LE(chart.waiting(), 20);
    chart.flush();
    EXPECT_EQ(chart.waiting(), 0);
    EXPECT_EQ(chart.markedShown(), 1) << "only the newest window's mark is shown";
}

} // namespace
} // namespace kelvora
