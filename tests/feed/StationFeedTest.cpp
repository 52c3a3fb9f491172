#include "feed/StationFeed.h"

#include "tests/support/MemoryVerdictJournal.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"

#include <algorithm>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;
using test::MemoryVerdictJournal;
using test::MosquittoBroker;
using test::MqttSubscriber;

QJsonObject parsed(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::vector<std::int64_t> sequence(const MqttSubscriber& subscriber) {
    std::vector<std::int64_t> seqs;
    for (const std::string& payload : subscriber.payloads("plant/L1/verdict")) {
        seqs.push_back(parsed(payload)[u"seq"].toInteger());
    }
    return seqs;
}

std::vector<std::int64_t> oneTo(std::int64_t n) {
    std::vector<std::int64_t> seqs;
    for (std::int64_t i = 1; i <= n; ++i) {
        seqs.push_back(i);
    }
    return seqs;
}

class StationFeedTest : public ::testing::Test {
protected:
    FeedSettings settings() const {
        FeedSettings s;
        s.broker.host = "127.0.0.1";
        s.broker.port = m_broker.port();
        s.broker.clientId = "station-L1";
        s.prefix = "plant/L1";
        s.station = "L1";
        s.figuresInterval = 200ms;
        return s;
    }
    void append(StationFeed& feed, int n, double weight = 5.0) {
        for (int i = 0; i < n; ++i) {
            WeighingRecord v("大米-5kg", weight, "正常", "", "2026-05-04 08:00:00");
            v.standard = 5.0;
            v.lower = 4.925;
            v.upper = 5.15;
            feed.verdictAppended(m_journal.append(v));
        }
    }
    static bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    MosquittoBroker m_broker;
    MemoryVerdictJournal m_journal;
};

TEST_F(StationFeedTest, EveryVerdictArrivesOnceInOrderWithStateAndFigures) {
    MqttSubscriber subscriber(m_broker.port(), "plant/L1/#");
    StationFeed feed(settings(), m_journal);
    ASSERT_TRUE(waitUntil([&] { return feed.connected(); }));
    StationStatus status;
    status.running = true;
    status.model = "大米-5kg";
    feed.stateChanged(status);
    append(feed, 250); // more than the verdicts allowed in flight at once
    ASSERT_TRUE(subscriber.waitForCount("plant/L1/verdict", 250));
    ASSERT_TRUE(waitUntil([&] { return feed.publishedUpTo() == 250; }));
    EXPECT_TRUE(waitUntil([&] { return m_journal.publishedUpTo() == 250; }));
    std::this_thread::sleep_for(300ms); // a late repeat would show now
    EXPECT_EQ(sequence(subscriber), oneTo(250));

    ASSERT_TRUE(subscriber.waitFor([](const auto& all) {
        for (const auto& message : all) {
            if (message.topic == "plant/L1/figures" && parsed(message.payload)[u"count"].toInteger() == 250) {
                return true;
            }
        }
        return false;
    }));
    const std::vector<std::string> states = subscriber.payloads("plant/L1/state");
    ASSERT_FALSE(states.empty());
    EXPECT_TRUE(parsed(states.back())[u"running"].toBool());
    // The same state again publishes nothing.
    feed.stateChanged(status);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(subscriber.payloads("plant/L1/state").size(), states.size());
}

TEST_F(StationFeedTest, VerdictsWhileTheBrokerIsDownArriveAfterItsRestartNoneLostNoneTwice) {
    // An MES with a kept session: the broker queues for it what comes while it is away.
    auto mes = std::make_unique<MqttSubscriber>(m_broker.port(), "plant/L1/verdict", "mes", false);
    StationFeed feed(settings(), m_journal);
    ASSERT_TRUE(waitUntil([&] { return feed.connected(); }));
    append(feed, 20);
    ASSERT_TRUE(mes->waitForCount("plant/L1/verdict", 20));
    m_broker.stop();
    ASSERT_TRUE(waitUntil([&] { return !feed.connected(); }));
    append(feed, 30); // the station goes on weighing
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(feed.publishedUpTo(), 20);
    m_broker.start();
    ASSERT_TRUE(waitUntil([&] { return feed.publishedUpTo() == 50; }, 20s));
    append(feed, 10);
    ASSERT_TRUE(waitUntil([&] { return feed.publishedUpTo() == 60; }));

    // The MES reconnected by itself; what came before it did was queued for it. The broker may hand it
    // a message again whose acknowledgement it had not saved when it stopped: an MES drops repeats by seq.
    ASSERT_TRUE(mes->waitForCount("plant/L1/verdict", 60, 20s));
    std::vector<std::int64_t> seqs;
    for (const std::int64_t seq : sequence(*mes)) {
        if (std::find(seqs.begin(), seqs.end(), seq) == seqs.end()) {
            seqs.push_back(seq);
        }
    }
    EXPECT_EQ(seqs, oneTo(60));
    // The station itself sent each verdict to the broker once.
    const std::string log = m_broker.log();
    std::size_t sent = 0;
    for (std::size_t at = log.find("Received PUBLISH from station-L1"); at != std::string::npos;
         at = log.find("Received PUBLISH from station-L1", at + 1)) {
        sent += log.compare(log.find('\'', at) + 1, 16, "plant/L1/verdict") == 0 ? 1 : 0;
    }
    EXPECT_EQ(sent, 60u);
}

TEST_F(StationFeedTest, ABrokerThatComesLaterGetsTheVerdictsOfTheWait) {
    m_broker.stop();
    StationFeed feed(settings(), m_journal);
    append(feed, 5);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(feed.connected());
    m_broker.start();
    MqttSubscriber subscriber(m_broker.port(), "plant/L1/#");
    ASSERT_TRUE(waitUntil([&] { return feed.publishedUpTo() == 5; }, 20s));
    // The retained figures tell a subscriber that came late what the lot holds.
    EXPECT_TRUE(subscriber.waitFor([](const auto& all) {
        for (const auto& message : all) {
            if (message.topic == "plant/L1/figures" && parsed(message.payload)[u"count"].toInteger() == 5) {
                return true;
            }
        }
        return false;
    }));
}

TEST_F(StationFeedTest, ARestartGoesOnAfterTheLastAcknowledgedVerdictNotWithTheHistory) {
    for (int i = 0; i < 7; ++i) {
        m_journal.append(WeighingRecord{});
    }
    MqttSubscriber subscriber(m_broker.port(), "plant/L1/verdict");
    {
        StationFeed feed(settings(), m_journal); // the first start publishes none of the 7 older ones
        ASSERT_TRUE(waitUntil([&] { return feed.connected(); }));
        append(feed, 3);
        ASSERT_TRUE(waitUntil([&] { return feed.publishedUpTo() == 10; }));
    }
    for (int i = 0; i < 4; ++i) {
        m_journal.append(WeighingRecord{}); // weighed while the feed was off
    }
    StationFeed again(settings(), m_journal);
    ASSERT_TRUE(waitUntil([&] { return again.publishedUpTo() == 14; }));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(sequence(subscriber), (std::vector<std::int64_t>{8, 9, 10, 11, 12, 13, 14}));
}

TEST_F(StationFeedTest, AJournalThatFailsHoldsTheVerdictsBackUntilItWorksAgain) {
    MqttSubscriber subscriber(m_broker.port(), "plant/L1/verdict");
    StationFeed feed(settings(), m_journal);
    append(feed, 1);
    ASSERT_TRUE(subscriber.waitForCount("plant/L1/verdict", 1));
    m_journal.setFailing(true);
    append(feed, 2);
    ASSERT_TRUE(waitUntil([&] { return !feed.lastError().empty(); }));
    EXPECT_EQ(feed.lastError(), "journal.db: disk I/O error");
    m_journal.setFailing(false);
    append(feed, 1);
    ASSERT_TRUE(subscriber.waitForCount("plant/L1/verdict", 4));
    EXPECT_EQ(sequence(subscriber), oneTo(4));
    EXPECT_TRUE(waitUntil([&] { return feed.lastError().empty(); }));
}

TEST_F(StationFeedTest, AStationThatClosesSaysOfflineAndOneThatDiesLeavesItsLastWill) {
    MqttSubscriber subscriber(m_broker.port(), "plant/+/state");
    {
        StationFeed feed(settings(), m_journal);
        feed.stateChanged(StationStatus{});
        ASSERT_TRUE(subscriber.waitForCount("plant/L1/state", 1));
    }
    ASSERT_TRUE(subscriber.waitForCount("plant/L1/state", 2));
    EXPECT_FALSE(parsed(subscriber.payloads("plant/L1/state").back())[u"online"].toBool(true));

    const pid_t child = fork();
    if (child == 0) {
        FeedSettings s = settings();
        s.prefix = "plant/L2";
        s.broker.clientId = "station-L2";
        MemoryVerdictJournal journal;
        auto* feed = new StationFeed(s, journal); // never destroyed: the process dies with it connected
        feed->stateChanged(StationStatus{});
        std::this_thread::sleep_for(1500ms);
        _exit(0);
    }
    ASSERT_TRUE(subscriber.waitForCount("plant/L2/state", 2));
    waitpid(child, nullptr, 0);
    const std::vector<std::string> states = subscriber.payloads("plant/L2/state");
    EXPECT_TRUE(parsed(states.front())[u"online"].toBool());
    EXPECT_FALSE(parsed(states.back())[u"online"].toBool(true));
}

} // namespace
} // namespace kelvora
