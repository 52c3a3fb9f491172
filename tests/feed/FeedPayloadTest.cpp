#include "feed/FeedMessages.h"
#include "feed/JsonText.h"
#include "feed/LotFigures.h"

#include <cmath>
#include <limits>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

QJsonObject parsed(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return document.object();
}

WeighingRecord verdict(double weight, const char* judged, const char* time = "2026-05-04 08:00:00",
                       const char* model = "大米-5kg", const char* lot = "") {
    WeighingRecord v(model, weight, judged, "张三", time);
    v.standard = 5.0;
    v.lower = 4.925;
    v.upper = 5.15;
    v.lot = lot;
    return v;
}

TEST(JsonTextTest, EscapesTextAndKeepsNumbersExact) {
    const std::string text = JsonText()
                                 .add("name", "线\"1\"\\\n\x01")
                                 .add("weight", 5.03)
                                 .add("tiny", 1e-300)
                                 .add("bad", std::numeric_limits<double>::quiet_NaN())
                                 .add("inf", std::numeric_limits<double>::infinity())
                                 .add("list", std::vector<double>{})
                                 .text();
    const QJsonObject json = parsed(text);
    EXPECT_EQ(json[u"name"].toString(), QStringLiteral("线\"1\"\\\n\x01"));
    EXPECT_EQ(json[u"weight"].toDouble(), 5.03);
    EXPECT_EQ(json[u"tiny"].toDouble(), 1e-300);
    EXPECT_TRUE(json[u"bad"].isNull());
    EXPECT_TRUE(json[u"inf"].isNull());
    EXPECT_TRUE(json[u"list"].toArray().isEmpty());
}

TEST(FeedMessagesTest, TopicsPayloadsAndPrefix) {
    const FeedMessages messages("kelvora/线1", "线1");
    EXPECT_EQ(messages.topic("verdict"), "kelvora/线1/verdict");
    // A station name with topic wildcards or levels still gives one topic level.
    EXPECT_EQ(FeedMessages::defaultPrefix("A/B+#"), "kelvora/A_B__");

    WeighingRecord v = verdict(5.2, "超高");
    v.seq = 42;
    v.lot = "L7";
    const QJsonObject json = parsed(messages.verdict(v));
    EXPECT_EQ(json[u"seq"].toInteger(), 42);
    EXPECT_EQ(json[u"station"].toString(), QStringLiteral("线1"));
    EXPECT_EQ(json[u"verdict"].toString(), QStringLiteral("超高"));
    EXPECT_EQ(json[u"operator"].toString(), QStringLiteral("张三"));
    EXPECT_EQ(json[u"upper"].toDouble(), 5.15);
    EXPECT_EQ(json[u"lot"].toString(), QStringLiteral("L7"));

    StationStatus status;
    status.running = true;
    status.databaseOnline = false;
    status.count = 9;
    const QJsonObject state = parsed(messages.state(status, "2026-05-04 08:00:00"));
    EXPECT_TRUE(state[u"online"].toBool());
    EXPECT_TRUE(state[u"running"].toBool());
    EXPECT_FALSE(state[u"databaseOnline"].toBool());
    EXPECT_EQ(state[u"count"].toInteger(), 9);
    EXPECT_FALSE(parsed(messages.offline("")).value(u"online").toBool(true));
}

class LotFiguresTest : public ::testing::Test {
protected:
    LotFigures m_figures{QualitySettings{}, 3};
};

TEST_F(LotFiguresTest, EmptyLotHasNoMeanAndNoVerdict) {
    const QJsonObject json = parsed(m_figures.json("线1", "t", 0.0));
    EXPECT_EQ(json[u"count"].toInteger(), 0);
    EXPECT_TRUE(json[u"mean"].isNull());
    EXPECT_TRUE(json[u"lotVerdict"].isNull());
    EXPECT_TRUE(json[u"alerts"].toArray().isEmpty());
}

TEST_F(LotFiguresTest, CountsRejectShareMeanAndLotVerdict) {
    m_figures.add(verdict(5.0, "正常"), 1.0);
    m_figures.add(verdict(5.1, "正常"), 2.0);
    m_figures.add(verdict(5.2, "超高"), 3.0);
    m_figures.add(verdict(4.9, "超低"), 4.0);
    const QJsonObject json = parsed(m_figures.json("线1", "t", 4.0));
    EXPECT_EQ(json[u"count"].toInteger(), 4);
    EXPECT_EQ(json[u"over"].toInteger(), 1);
    EXPECT_EQ(json[u"under"].toInteger(), 1);
    EXPECT_DOUBLE_EQ(json[u"rejectPercent"].toDouble(), 50.0);
    EXPECT_NEAR(json[u"mean"].toDouble(), 5.05, 1e-12);
    EXPECT_NEAR(json[u"meanMinusNominal"].toDouble(), 0.05, 1e-12);
    EXPECT_EQ(json[u"ratePerMinute"].toInteger(), 4);
}

TEST_F(LotFiguresTest, TheNetContentRulesJudgeTheLot) {
    m_figures.add(verdict(5.00, "正常"), 1.0);
    m_figures.add(verdict(5.02, "正常"), 2.0);
    EXPECT_EQ(parsed(m_figures.json("线1", "t", 2.0))[u"lotVerdict"].toString(), QStringLiteral("合格"));
    // Packs in the limits but light on average: the mean rule fails the lot.
    for (int i = 0; i < 4; ++i) {
        m_figures.add(verdict(4.93, "正常"), 3.0 + i);
    }
    EXPECT_EQ(parsed(m_figures.json("线1", "t", 6.0))[u"lotVerdict"].toString(), QStringLiteral("不合格"));
    // A nominal outside the rules' table: no verdict rather than a wrong one.
    LotFigures heavy(QualitySettings{}, 3);
    WeighingRecord sack = verdict(1000.0, "正常");
    sack.standard = 1000.0;
    heavy.add(sack, 1.0);
    EXPECT_TRUE(parsed(heavy.json("线1", "t", 1.0))[u"lotVerdict"].isNull());
}

TEST_F(LotFiguresTest, RateCoversOnlyTheLastMinuteAndRecentWeightsTheLastFifty) {
    for (int i = 0; i < 60; ++i) {
        m_figures.add(verdict(5.0 + i * 0.001, "正常"), i * 2.0); // one every 2 s, up to 118 s
    }
    EXPECT_EQ(m_figures.perMinute(118.0), 30);
    EXPECT_EQ(m_figures.perMinute(300.0), 0); // the line stopped: the rate falls to 0
    const QJsonArray recent = parsed(m_figures.json("线1", "t", 118.0))[u"recent"].toArray();
    ASSERT_EQ(recent.size(), 50);
    EXPECT_NEAR(recent.first().toDouble(), 5.010, 1e-9);
    EXPECT_NEAR(recent.last().toDouble(), 5.059, 1e-9);
}

TEST_F(LotFiguresTest, AnotherLotOrModelStartsAfreshAndUnknownVerdictsAreNotCounted) {
    m_figures.add(verdict(5.0, "正常", "2026-05-04 08:00:00", "大米-5kg", "L1"), 1.0);
    m_figures.add(verdict(5.0, "正常", "2026-05-04 08:00:01", "大米-5kg", "L2"), 2.0);
    EXPECT_EQ(m_figures.count(), 1);
    m_figures.add(verdict(5.0, "正常", "2026-05-04 08:00:02", "面粉-10kg", "L2"), 3.0);
    EXPECT_EQ(m_figures.count(), 1);
    m_figures.add(verdict(5.0, "?"), 4.0);
    m_figures.add(verdict(5.0, "正常", "not a time", "面粉-10kg", "L2"), 5.0);
    EXPECT_EQ(m_figures.count(), 1);
    EXPECT_EQ(parsed(m_figures.json("线1", "t", 5.0))[u"model"].toString(), QStringLiteral("面粉-10kg"));
}

TEST_F(LotFiguresTest, RejectRunAlertsOnceAndStaysOpenUntilTheNextGoodProduct) {
    EXPECT_TRUE(m_figures.add(verdict(5.2, "超高"), 1.0).empty());
    EXPECT_TRUE(m_figures.add(verdict(5.2, "超高"), 2.0).empty());
    const std::vector<StationAlert> raised = m_figures.add(verdict(5.3, "超高"), 3.0);
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_EQ(raised[0].kind, "rejectRun");
    EXPECT_FALSE(raised[0].text.empty());
    EXPECT_TRUE(m_figures.add(verdict(5.2, "超高"), 4.0).empty());
    EXPECT_EQ(m_figures.openAlerts().size(), 1u);
    m_figures.add(verdict(5.0, "正常"), 5.0);
    EXPECT_TRUE(m_figures.openAlerts().empty());
}

TEST(LotFiguresSettingsTest, RefusesSettingsTheQualityLibraryRefuses) {
    QualitySettings settings;
    settings.subgroupSize = 0;
    EXPECT_THROW(LotFigures(settings, 3), std::invalid_argument);
    EXPECT_THROW(LotFigures(QualitySettings{}, 0), std::invalid_argument);
}

} // namespace
} // namespace kelvora
