#include "data/ChainVerifier.h"

#include "DataTestSupport.h"
#include "data/TADOConnection.h"
#include "tests/support/LinkedRows.h"

#include <limits>

#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace Qt::StringLiterals;
using test::Engine;
using test::TestDatabase;

std::string describe(const ChainVerifier::Report& report) {
    std::string text =
        std::to_string(report.checked) + " checked, " + std::to_string(report.withoutLink) + " without a link\n";
    for (const ChainVerifier::Break& broken : report.breaks)
        text += QStringLiteral("%1 %2 id %3 序号 %4: %5\n")
                    .arg(broken.table, broken.station)
                    .arg(broken.id)
                    .arg(broken.number)
                    .arg(broken.explanation)
                    .toStdString();
    return text;
}

// Weighing rows of two stations with their links, two older rows without one, and three rows tampered
// with: the rows are read in batches of any size and checked on a second thread, and a break is judged
// by the row after it, which may come in the next batch.
class ChainVerifierTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam());
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_connection->Open();
        exec(u"insert into weight (型号, 重量, 检定结果, 操作员, 时间) values ('A100', 15, '正常', '张三', "
             u"'2024-07-01 07:00:00'), ('A100', 16, '超高', '张三', '2024-07-01 07:00:01')"_s);
        // A database whose weighing rows were first stored without the chain: 序号 may hold 4.5.
        test::addLinkedRows(*m_connection, u"线1"_s, test::sampleLinkedRows(8));
        test::addLinkedRows(*m_connection, u"线2"_s, test::sampleLinkedRows(5));
        exec(u"update weight set 重量 = 99 where 站点 = '线1' and 序号 = 3"_s);
        exec(u"delete from weight where 站点 = '线1' and 序号 = 6"_s);
        exec(u"insert into weight (站点, 序号, 型号, 重量, 检定结果, 操作员, 时间, 链) select 站点, 4.5, 型号, 重量, "
             u"检定结果, 操作员, 时间, 链 from weight where 站点 = '线2' and 序号 = 4"_s);
    }

    void exec(const QString& statement) {
        QSqlQuery query(m_connection->database());
        ASSERT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
};

TEST_P(ChainVerifierTest, NamesEachBreakAlikeWhateverTheBatchSize) {
    const ChainVerifier::Report whole = ChainVerifier(*m_connection).verify();
    EXPECT_EQ(whole.checked, 13);
    EXPECT_EQ(whole.withoutLink, 2);
    ASSERT_EQ(whole.breaks.size(), 3u) << describe(whole);
    EXPECT_EQ(whole.breaks[0].station, u"线1"_s);
    EXPECT_EQ(whole.breaks[0].number, 3);
    EXPECT_TRUE(whole.breaks[0].explanation.startsWith(u"edited"_s));
    EXPECT_EQ(whole.breaks[1].number, 7);
    EXPECT_EQ(whole.breaks[1].explanation, u"rows before it deleted (序号 6 to 6 missing)"_s);
    EXPECT_EQ(whole.breaks[2].station, u"线2"_s);
    EXPECT_EQ(whole.breaks[2].number, 4.5);
    EXPECT_TRUE(whole.breaks[2].explanation.startsWith(u"inserted"_s));
    for (const std::size_t rows : {1, 2, 3, 5})
        EXPECT_EQ(describe(ChainVerifier(*m_connection, rows).verify()), describe(whole)) << rows << " a batch";
}

TEST_P(ChainVerifierTest, HalvesJoinAsOnePassWhereverTheMiddleFalls) {
    // Each pair of unlinked rows of a station that sorts last moves the middle row on by one, across both
    // stations and the broken rows; a middle whose row before it is broken is not split.
    for (int pairs = 0; pairs < 10; ++pairs) {
        const std::string whole =
            describe(ChainVerifier(*m_connection, 2, std::numeric_limits<qlonglong>::max()).verify());
        EXPECT_EQ(describe(ChainVerifier(*m_connection, 2, 1).verify()), whole) << pairs << " pairs added";
        exec(u"insert into weight (站点, 型号, 重量, 检定结果, 操作员, 时间) values ('线9', 'A100', 15, '正常', "
             u"'张三', '2024-07-01 09:00:00'), ('线9', 'A100', 16, '超高', '张三', '2024-07-01 09:00:01')"_s);
    }
}

TEST_P(ChainVerifierTest, ARangeStartsEachStationFromTheRowBeforeIt) {
    const QDateTime from(QDate(2024, 7, 1), QTime(8, 0, 4));
    const ChainVerifier::Report range = ChainVerifier(*m_connection).verify(from, std::nullopt);
    // 线1 4, 5, 7, 8 and 线2 4, 4.5, 5: the edit of 线1 3 lies before the range.
    EXPECT_EQ(range.checked, 7);
    ASSERT_EQ(range.breaks.size(), 2u) << describe(range);
    EXPECT_EQ(range.breaks[0].number, 7);
    EXPECT_EQ(range.breaks[1].number, 4.5);
    for (const std::size_t rows : {1, 2, 4})
        EXPECT_EQ(describe(ChainVerifier(*m_connection, rows).verify(from, std::nullopt)), describe(range))
            << rows << " a batch";
}

INSTANTIATE_TEST_SUITE_P(Engines, ChainVerifierTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
