#include "data/RecordJournal.h"
#include "feed/JournalFeedSource.h"
#include "feed/StationFeed.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"

#include <thread>

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;

// The feed on the station's real journal: the station appends through its own handle while the feed
// reads through another on its thread, and the feed's cursor lives in the journal file.
class JournalFeedTest : public ::testing::Test {
protected:
    FeedSettings settings() const {
        FeedSettings s;
        s.broker.host = "127.0.0.1";
        s.broker.port = m_broker.port();
        s.prefix = "kelvora/L1";
        s.station = "L1";
        return s;
    }
    WeighingRecord append(StationFeed* feed, double weight) {
        WeighingRecord row("大米-5kg", weight, "正常", "admin", "2026-05-04 08:00:00");
        row.standard = 5.0;
        row.upper = 5.15;
        row.lower = 4.925;
        row.lot = "A1";
        const WeighingRecord stored = m_journal.append(row, "L1");
        if (feed) {
            feed->verdictAppended(stored);
        }
        return stored;
    }
    std::vector<double> weights() const {
        std::vector<double> result;
        for (const std::string& payload : m_subscriber.payloads("kelvora/L1/verdict")) {
            result.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(payload))[u"weight"].toDouble());
        }
        return result;
    }
    static bool waitUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        return done();
    }

    test::TempDir m_dir;
    QString m_path = QString::fromStdString(m_dir.file("journal.db"));
    RecordJournal m_journal{m_path};
    test::MosquittoBroker m_broker;
    test::MqttSubscriber m_subscriber{m_broker.port(), "kelvora/L1/verdict"};
};

TEST_F(JournalFeedTest, PublishesFromTheJournalAndGoesOnAfterARestart) {
    append(nullptr, 4.0); // history from before the feed was configured: not published
    std::int64_t last = 0;
    {
        JournalFeedSource source(m_path);
        StationFeed feed(settings(), source);
        append(&feed, 5.01);
        last = append(&feed, 5.02).seq;
        ASSERT_TRUE(waitUntil([&] { return feed.publishedUpTo() == last; }));
    }
    EXPECT_EQ(m_journal.cursor(JournalFeedSource::kConsumer), last);
    append(nullptr, 5.03); // weighed while the station's feed was off

    JournalFeedSource source(m_path);
    StationFeed feed(settings(), source);
    append(&feed, 5.04);
    ASSERT_TRUE(m_subscriber.waitForCount("kelvora/L1/verdict", 4));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(weights(), (std::vector<double>{5.01, 5.02, 5.03, 5.04}));
    const QJsonObject first =
        QJsonDocument::fromJson(QByteArray::fromStdString(m_subscriber.payloads("kelvora/L1/verdict")[0])).object();
    EXPECT_EQ(first[u"station"].toString(), QStringLiteral("L1"));
    EXPECT_EQ(first[u"lot"].toString(), QStringLiteral("A1"));
    EXPECT_EQ(first[u"lower"].toDouble(), 4.925);
    EXPECT_EQ(first[u"operator"].toString(), QStringLiteral("admin"));
}

TEST_F(JournalFeedTest, AJournalThatCannotBeOpenedIsReportedNotFatal) {
    JournalFeedSource source(QString::fromStdString(m_dir.file("no-such-folder/journal.db")));
    StationFeed feed(settings(), source);
    EXPECT_TRUE(waitUntil([&] { return !feed.lastError().empty(); }));
    EXPECT_NE(feed.lastError().find("journal"), std::string::npos) << feed.lastError();
}

} // namespace
} // namespace kelvora
