#include "data/RecordJournal.h"

#include "DataTestSupport.h"
#include "data/DatabaseError.h"
#include "data/JournalBacklog.h"
#include "data/RecordChain.h"
#include "data/RecordForwarder.h"
#include "data/TADOConnection.h"

#include <chrono>
#include <thread>

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;
using test::Engine;
using test::TestDatabase;

WeighingRecord verdict(double weight, const std::string& result = "正常") {
    WeighingRecord r{"A100", weight, result, "张三", "2026-12-11 08:00:00"};
    r.standard = 15.0;
    r.upper = 15.5;
    r.lower = 14.5;
    r.lot = "L-7";
    return r;
}

TEST(RecordJournalTest, NumbersRowsInOrderLinksThemAndKeepsThemAcrossHandles) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("journal.db"));
    {
        RecordJournal journal(path);
        EXPECT_TRUE(journal.fresh());
        journal.begin(41, "ab");
        EXPECT_FALSE(journal.fresh());
        EXPECT_THROW(journal.begin(1, ""), DatabaseError);
        const WeighingRecord first = journal.append(verdict(15.1), "线1");
        const WeighingRecord second = journal.append(verdict(15.6, "超高"), "线1");
        EXPECT_EQ(first.seq, 41);
        EXPECT_EQ(second.seq, 42);
        EXPECT_EQ(first.station, "线1");
        // The chain: each link over the previous one and the row's own fields.
        EXPECT_EQ(first.link,
                  RecordChain::link(QStringLiteral("ab"),
                                    {QStringLiteral("线1"), 41, QStringLiteral("A100"), 15.1, QStringLiteral("正常"),
                                     QStringLiteral("张三"), QStringLiteral("2026-12-11 08:00:00"), 15.0, 15.5, 14.5,
                                     QStringLiteral("L-7")})
                      .toStdString());
        EXPECT_NE(second.link, first.link);
    }
    RecordJournal reopened(path);
    EXPECT_EQ(reopened.lastSeq(), 42);
    const auto rows = reopened.rowsAfter(40, 10);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].verdict, "超高");
    EXPECT_EQ(rows[1].lot, "L-7");
    EXPECT_EQ(rows[1].upper, 15.5);
    EXPECT_EQ(reopened.countAfter(41), 1);
    // The next row links to the last one, as before the reopening.
    const WeighingRecord third = reopened.append(verdict(15.0), "线1");
    EXPECT_EQ(third.seq, 43);
    EXPECT_EQ(third.link,
              RecordChain::link(QString::fromStdString(rows[1].link),
                                {QStringLiteral("线1"), 43, QStringLiteral("A100"), 15.0, QStringLiteral("正常"),
                                 QStringLiteral("张三"), QStringLiteral("2026-12-11 08:00:00"), 15.0, 15.5, 14.5,
                                 QStringLiteral("L-7")})
                  .toStdString());
}

TEST(RecordJournalTest, MissingLimitsStayMissingAndCursorsArePerReader) {
    QTemporaryDir dir;
    RecordJournal journal(dir.filePath(QStringLiteral("journal.db")));
    WeighingRecord bare{"B", 1.0, "超低", "", "2026-12-11 08:00:00"};
    journal.append(bare, "s");
    EXPECT_FALSE(journal.rowsAfter(0, 1).at(0).standard.has_value());
    EXPECT_EQ(journal.cursor("mqtt"), 0);
    journal.setCursor("mqtt", 1);
    journal.setCursor("database", 0);
    EXPECT_EQ(journal.cursor("mqtt"), 1);
    EXPECT_EQ(journal.cursor("database"), 0);
}

TEST(RecordJournalTest, PruneKeepsUnstoredRecentAndTheLastRow) {
    QTemporaryDir dir;
    RecordJournal journal(dir.filePath(QStringLiteral("journal.db")));
    for (const char* time : {"2026-01-01 00:00:00", "2026-01-02 00:00:00", "2026-12-01 00:00:00"}) {
        WeighingRecord r = verdict(15.0);
        r.time = time;
        journal.append(r, "s");
    }
    // Stored up to 3, older than June: rows 1 and 2 go, 3 (the last) stays.
    EXPECT_EQ(journal.prune(3, "2026-06-01 00:00:00"), 2);
    EXPECT_EQ(journal.lastSeq(), 3);
    EXPECT_EQ(journal.append(verdict(15.0), "s").seq, 4);
    // Rows not yet stored are never dropped, however old.
    EXPECT_EQ(journal.prune(0, "2027-01-01 00:00:00"), 0);
}

TEST(RecordJournalTest, AnUnwritableJournalRefusesTheRowAndSaysWhere) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/folder/journal.db"));
    try {
        RecordJournal journal(path);
        FAIL() << "opened a journal in a missing folder";
    } catch (const DatabaseError& error) {
        EXPECT_NE(std::string(error.what()).find("journal.db"), std::string::npos) << error.what();
    }
}

class RecordForwarderTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam());
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_journalPath = m_dir.filePath(QStringLiteral("journal.db"));
    }

    std::vector<std::pair<std::int64_t, double>> stored(const std::string& station) {
        TADOConnection connection(m_database->connectionString());
        connection.Open();
        QSqlQuery query(connection.database());
        query.prepare(QStringLiteral("SELECT \"序号\", \"重量\" FROM \"weight\" WHERE \"站点\" = ? ORDER BY \"序号\""));
        query.addBindValue(QString::fromStdString(station));
        EXPECT_TRUE(query.exec());
        std::vector<std::pair<std::int64_t, double>> rows;
        while (query.next())
            rows.emplace_back(query.value(0).toLongLong(), query.value(1).toDouble());
        return rows;
    }

    std::optional<TestDatabase> m_database;
    QTemporaryDir m_dir;
    QString m_journalPath;
};

TEST_P(RecordForwarderTest, StoresEveryJournaledRowOnceAndResumesAfterARestart) {
    RecordJournal journal(m_journalPath);
    for (int i = 0; i < 3; ++i)
        journal.append(verdict(15.0 + i / 10.0), "线1");
    {
        RecordForwarder forwarder(m_journalPath, m_database->connectionString(), "线1");
        EXPECT_TRUE(forwarder.waitStored(10s));
        forwarder.appended(journal.append(verdict(15.3), "线1").seq);
        EXPECT_TRUE(forwarder.waitStored(10s));
        EXPECT_TRUE(forwarder.status().online);
        EXPECT_EQ(forwarder.status().pending, 0);
    }
    // Rows journaled while no forwarder runs go up at the next start, after the ones stored.
    journal.append(verdict(15.4), "线1");
    RecordForwarder again(m_journalPath, m_database->connectionString(), "线1");
    EXPECT_TRUE(again.waitStored(10s));
    const auto rows = stored("线1");
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].first, static_cast<std::int64_t>(i + 1));
        EXPECT_DOUBLE_EQ(rows[i].second, 15.0 + static_cast<double>(i) / 10.0);
    }
}

TEST_P(RecordForwarderTest, AResendAfterALostReplyIsIgnoredByTheUniqueKey) {
    RecordJournal journal(m_journalPath);
    const WeighingRecord row = journal.append(verdict(15.0), "线2");
    {
        RecordForwarder forwarder(m_journalPath, m_database->connectionString(), "线2");
        ASSERT_TRUE(forwarder.waitStored(10s));
    }
    // The database holds the row, the journal's hint says it does not: the forwarder asks the database.
    journal.setCursor("database", 0);
    journal.append(verdict(15.1), "线2");
    RecordForwarder forwarder(m_journalPath, m_database->connectionString(), "线2");
    ASSERT_TRUE(forwarder.waitStored(10s));
    EXPECT_EQ(stored("线2").size(), 2u);
    // And the unique key itself refuses a second copy.
    TADOConnection connection(m_database->connectionString());
    connection.Open();
    QSqlQuery insert(connection.database());
    insert.prepare(QStringLiteral("INSERT INTO \"weight\" (\"型号\", \"站点\", \"序号\") VALUES ('x', ?, ?)"));
    insert.addBindValue(QStringLiteral("线2"));
    insert.addBindValue(QVariant::fromValue<qint64>(row.seq));
    EXPECT_FALSE(insert.exec());
}

TEST_P(RecordForwarderTest, ADatabaseAwaySaysSoAndCountsTheWaitingRows) {
    RecordJournal journal(m_journalPath);
    // A target that cannot be opened: a missing SQLite file, a PostgreSQL database that does not exist.
    const QString away = GetParam() == Engine::Sqlite
                             ? m_dir.filePath(QStringLiteral("gone.mdb"))
                             : QString(m_database->connectionString())
                                   .replace(QStringLiteral("Database="), QStringLiteral("Database=gone_"));
    RecordForwarder forwarder(m_journalPath, away, "线3");
    for (int i = 0; i < 4; ++i)
        forwarder.appended(journal.append(verdict(15.0), "线3").seq);
    RecordForwarder::Status status;
    for (int i = 0; i < 100 && (status = forwarder.status()).online; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(status.online);
    EXPECT_EQ(status.pending, 4);
    EXPECT_FALSE(status.lastError.empty());
    EXPECT_FALSE(forwarder.waitStored(100ms));
}

TEST_P(RecordForwarderTest, TwoStationsOfOneNameRefuseTheClashingRowsInsteadOfDroppingThem) {
    // Two station folders whose [站点] 名称 is the same (or empty on one host): numbered alike.
    RecordJournal mine(m_journalPath);
    const QString otherPath = m_dir.filePath(QStringLiteral("other.db"));
    RecordJournal other(otherPath);
    other.append(verdict(14.0), "线4");
    {
        RecordForwarder forwarder(otherPath, m_database->connectionString(), "线4");
        ASSERT_TRUE(forwarder.waitStored(10s));
    }
    mine.append(verdict(15.0), "线4"); // numbered as if the other station's row were not there
    mine.append(verdict(15.1), "线4");
    RecordForwarder forwarder(m_journalPath, m_database->connectionString(), "线4");
    forwarder.appended(2);
    RecordForwarder::Status status;
    for (int i = 0; i < 100 && (status = forwarder.status()).online; ++i)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(status.online);
    EXPECT_TRUE(status.nameClash);
    EXPECT_NE(status.lastError.find("线4"), std::string::npos) << status.lastError;
    EXPECT_EQ(status.pending, 2);
    EXPECT_EQ(stored("线4"), (std::vector<std::pair<std::int64_t, double>>{{1, 14.0}})) << "nothing of ours dropped";
    EXPECT_EQ(mine.rowsAfter(0, 10).size(), 2u);
}

TEST_P(RecordForwarderTest, AClashWhileBothStationsRunIsRefusedToo) {
    RecordJournal mine(m_journalPath);
    const QString otherPath = m_dir.filePath(QStringLiteral("other.db"));
    RecordJournal other(otherPath);
    RecordForwarder forwarder(m_journalPath, m_database->connectionString(), "线5");
    forwarder.appended(mine.append(verdict(15.0), "线5").seq);
    ASSERT_TRUE(forwarder.waitStored(10s));
    // The other station numbers after the same first row and stores its second first.
    other.begin(2, mine.rowsAfter(0, 1).front().link);
    {
        RecordForwarder second(otherPath, m_database->connectionString(), "线5");
        second.appended(other.append(verdict(14.0), "线5").seq);
        ASSERT_TRUE(second.waitStored(10s));
    }
    forwarder.appended(mine.append(verdict(15.1), "线5").seq);
    EXPECT_FALSE(forwarder.waitStored(2s));
    EXPECT_TRUE(forwarder.status().nameClash);
    EXPECT_EQ(stored("线5"), (std::vector<std::pair<std::int64_t, double>>{{1, 15.0}, {2, 14.0}}));
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordForwarderTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora

namespace kelvora {
namespace {

TEST(JournalBacklogTest, CountsTheJournalsRowsTheDatabaseDoesNotHoldAndNeverMakesAJournal) {
    const auto database = TestDatabase::create(Engine::Sqlite);
    TADOConnection connection(database->connectionString());
    const QString journalPath = journalFileFor(database->target());
    EXPECT_EQ(QFileInfo(journalPath).dir(), QFileInfo(database->target()).dir());
    EXPECT_EQ(journalBacklog(connection), 0);
    EXPECT_FALSE(QFileInfo::exists(journalPath)) << "looking made no journal";
    {
        RecordJournal journal(journalPath);
        for (int i = 0; i < 3; ++i)
            journal.append(verdict(15.0), "线1");
    }
    EXPECT_EQ(journalBacklog(connection), 3);
    EXPECT_EQ(journalBacklogNotice(3), QStringLiteral("另有 3 条记录在本地日志中等待上传，未计入本结果。"));
    {
        RecordForwarder forwarder(journalPath, database->connectionString(), "线1");
        ASSERT_TRUE(forwarder.waitStored(10s));
    }
    EXPECT_EQ(journalBacklog(connection), 0);
    EXPECT_TRUE(journalBacklogNotice(0).isEmpty());
}

} // namespace
} // namespace kelvora
