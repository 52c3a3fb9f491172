#include "data/AuditTrail.h"

#include "DataTestSupport.h"
#include "data/ChainVerifier.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"

#include <thread>

#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

class AuditTrailTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam());
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_connection->Open();
    }

    bool exec(const QString& statement) {
        QSqlQuery query(m_connection->database());
        return query.exec(statement);
    }

    // Each row of the trail as "站点|序号|操作员|事件|对象|旧值|新值|备注", in the order of id.
    QStringList rows() {
        QSqlQuery query(m_connection->database());
        EXPECT_TRUE(query.exec(
            QStringLiteral("select 站点, 序号, 操作员, 事件, 对象, 旧值, 新值, 备注 from audit order by id")));
        QStringList all;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < 8; ++i)
                fields << (i == 1 ? QString::number(query.value(i).toInt()) : query.value(i).toString());
            all << fields.join(u'|');
        }
        return all;
    }

    ChainVerifier::Report verify() { return ChainVerifier(*m_connection).verify(); }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
};

TEST_P(AuditTrailTest, NumbersAndLinksEachStationsRowsOnItsOwn) {
    AuditTrail line1(m_database->connectionString(), QStringLiteral("线1"));
    AuditTrail line2(m_database->connectionString(), QStringLiteral("线2"));
    line1.record(audit_event::kLoginFailed, QStringLiteral("张三"));
    line1.setOperator(QStringLiteral("张三"));
    line1.record(audit_event::kLogin);
    line2.record(audit_event::kSetting, QStringLiteral("[串口] 端口"), QStringLiteral("COM1"), QStringLiteral("COM2"),
                 QStringLiteral("O'Brien \"x\""));
    line1.record(audit_event::kModelChanged, QStringLiteral("A100"), QStringLiteral("上限值=20"),
                 QStringLiteral("上限值=25"));
    EXPECT_EQ(rows(), QStringList({"线1|1||登录失败|张三|||", "线1|2|张三|登录||||",
                                   "线2|1||设置修改|[串口] 端口|COM1|COM2|O'Brien \"x\"",
                                   "线1|3|张三|型号修改|A100|上限值=20|上限值=25|"}));
    const ChainVerifier::Report report = verify();
    EXPECT_TRUE(report.holds());
    EXPECT_EQ(report.checked, 4);
    EXPECT_EQ(line1.lastLink().size(), 64);
    EXPECT_NE(line1.lastLink(), line2.lastLink());
}

TEST_P(AuditTrailTest, RowsCannotBeChangedOrDeleted) {
    AuditTrail trail(m_database->connectionString(), QStringLiteral("线1"));
    trail.record(audit_event::kLogin, QStringLiteral("admin"));
    EXPECT_FALSE(exec(QStringLiteral("update audit set 操作员 = 'x'")));
    EXPECT_FALSE(exec(QStringLiteral("delete from audit")));
    if (GetParam() == Engine::Postgres) {
        EXPECT_FALSE(exec(QStringLiteral("truncate audit")));
        // The stations' role may append and read, and cannot lift the guard.
        ASSERT_TRUE(exec(QStringLiteral("set role kelvora_station")));
        EXPECT_TRUE(exec(QStringLiteral("insert into audit (站点, 序号, 事件) values ('x', 1, 'y')")));
        EXPECT_TRUE(exec(QStringLiteral("select * from audit")));
        EXPECT_TRUE(exec(QStringLiteral("update weight set 重量 = 1")));
        EXPECT_FALSE(exec(QStringLiteral("drop trigger audit_append_only on audit")));
        EXPECT_FALSE(exec(QStringLiteral("alter table audit disable trigger all")));
        ASSERT_TRUE(exec(QStringLiteral("reset role")));
    }
    EXPECT_EQ(rows().size(), GetParam() == Engine::Postgres ? 2 : 1);
    trail.record(audit_event::kLogout); // appending still works after the refusals
    EXPECT_EQ(rows().last(), QStringLiteral("线1|2||退出登录||||"));
}

TEST_P(AuditTrailTest, ADatabaseMadeBeforeTheTrailGetsItOnFirstUse) {
    ASSERT_TRUE(exec(QStringLiteral("drop table audit")));
    AuditTrail trail(m_database->connectionString(), QStringLiteral("线1"));
    trail.record(audit_event::kLogin, QStringLiteral("admin"));
    EXPECT_EQ(rows(), QStringList({"线1|1||登录|admin|||"}));
    EXPECT_FALSE(exec(QStringLiteral("delete from audit"))) << "with its guards";
}

TEST_P(AuditTrailTest, AFailedWriteSaysSoAndTheNextOneWorksAgain) {
    AuditTrail trail(m_database->connectionString(), QStringLiteral("线1"));
    trail.record(audit_event::kLogin);
    ASSERT_TRUE(exec(QStringLiteral("alter table audit rename to audit_away")));
    try {
        trail.record(audit_event::kLogout);
        ADD_FAILURE() << "no error";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("审计记录未能保存"))) << e.message().toStdString();
    }
    ASSERT_TRUE(exec(QStringLiteral("alter table audit_away rename to audit")));
    trail.record(audit_event::kLogout);
    EXPECT_EQ(rows().size(), 2);
    EXPECT_TRUE(verify().holds());
}

TEST_P(AuditTrailTest, TwoProgramsWritingOneStationAtOnceKeepOneUnbrokenChain) {
    // The station and a tool on the same database, each with its own connection, taking turns.
    constexpr int kRows = 60;
    const auto write = [this](const QString& who) {
        AuditTrail trail(m_database->connectionString(), QStringLiteral("线1"));
        trail.setOperator(who);
        for (int i = 0; i < kRows; ++i)
            trail.record(audit_event::kSetting, QStringLiteral("[称重] 阈值"), QString::number(i));
    };
    std::thread tool(write, QStringLiteral("tool"));
    write(QStringLiteral("station"));
    tool.join();
    QSqlQuery query(m_connection->database());
    ASSERT_TRUE(query.exec(QStringLiteral("select count(*), count(distinct 序号), min(序号), max(序号) from audit")));
    ASSERT_TRUE(query.next());
    EXPECT_EQ(query.value(0).toInt(), 2 * kRows);
    EXPECT_EQ(query.value(1).toInt(), 2 * kRows);
    EXPECT_EQ(query.value(2).toInt(), 1);
    EXPECT_EQ(query.value(3).toInt(), 2 * kRows);
    const ChainVerifier::Report report = verify();
    EXPECT_TRUE(report.holds());
    EXPECT_EQ(report.checked, 2 * kRows);
}

INSTANTIATE_TEST_SUITE_P(Engines, AuditTrailTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
