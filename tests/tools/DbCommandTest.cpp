#include "tools/DbCommand.h"

#include "DataTestSupport.h"
#include "data/AuditTrail.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "tests/support/LinkedRows.h"

#include <cstdio>

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace Qt::StringLiterals;

using test::Engine;
using test::TestDatabase;

int db(std::vector<std::string> args) {
    args.insert(args.begin(), "db");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return runDbCommand(static_cast<int>(args.size()), argv.data());
}

std::string str(const QString& text) {
    return text.toStdString();
}

class DbCommandTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam(), false);
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_query = std::make_unique<TADOQuery>(*m_connection);
    }

    int count(const char* line1, const char* line2 = nullptr) {
        m_query->Close();
        m_query->SQL.Clear();
        m_query->SQL.Add(QString::fromUtf8(line1));
        if (line2)
            m_query->SQL.Add(QString::fromUtf8(line2));
        m_query->Open();
        return m_query->RecordCount();
    }
    QString text(const char* field) { return m_query->FieldByName(QString::fromUtf8(field)).AsString(); }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
    std::unique_ptr<TADOQuery> m_query;
};

TEST_P(DbCommandTest, InitCreatesTheTablesOnceAndAnAdministrator) {
    ASSERT_EQ(db({"init", "--demo", str(m_database->target())}), 0);
    EXPECT_EQ(count("Select  *  From  XH"), 5);
    ASSERT_EQ(count("select  *  from  users", "where (用户名称='Admin')  and  (用户密码='123456')"), 1);
    for (const char* right : {"用户", "开始", "继续", "结束", "查询", "设置", "初始化", "清零"})
        EXPECT_TRUE(m_query->FieldByName(QString::fromUtf8(right)).AsBoolean()) << right;
    EXPECT_EQ(count("select   top  20   *  from  weight"), 0);

    // A user added without a password gets the initial one.
    m_query->Close();
    m_query->SQL.Clear();
    m_query->SQL.Add(QStringLiteral("insert into users(用户名称) values ('new')"));
    m_query->ExecSQL();
    ASSERT_EQ(count("select  *  from  users", "where (用户名称='new')  and  (用户密码='123456')"), 1);
    EXPECT_FALSE(m_query->FieldByName(QStringLiteral("开始")).AsBoolean());

    m_connection->Close();
    EXPECT_EQ(db({"init", str(m_database->target())}), 1); // refuses an existing database
    EXPECT_EQ(count("Select  *  From  XH"), 5);
}

TEST_P(DbCommandTest, ImportsAnAccessFileWithTypedValues) {
    ASSERT_EQ(db({"import-mdb", str(test::jetTestFile()), str(m_database->target())}), 0);
    EXPECT_EQ(count("Select  *  From  XH"), 5);
    ASSERT_EQ(count("Select  *  From  XH  Where  型号='O''Brien \"quoted\"'"), 1);
    EXPECT_DOUBLE_EQ(m_query->FieldByName(QStringLiteral("标准值")).AsFloat(), 1.5);
    ASSERT_EQ(count("select  *  from  xh  where  型号=\"空值\""), 1);
    EXPECT_TRUE(m_query->FieldByName(QStringLiteral("标准值")).IsNull());
    EXPECT_EQ(text("上限值"), QStringLiteral("10"));

    // Both ends of the range are records of the file.
    EXPECT_EQ(
        count("select  *  from  weight", "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)"),
        12);
    EXPECT_EQ(count("select  *  from  weight",
                    "where  (时间  between #07/01/2024 08:00:01# and  #07/15/2024 18:29:59#)and (检定结果='超高')"),
              3);
    ASSERT_EQ(count("select  *  from  weight",
                    "where  (时间  between #07/01/2024 08:00:00# and  #07/01/2024 08:00:00#)and (重量>=15.234)"),
              1);
    EXPECT_EQ(text("重量"), QStringLiteral("15.234"));
    EXPECT_EQ(text("操作员"), QStringLiteral("张三"));
    ASSERT_EQ(count("select * from weight where 时间 = #07/02/2024 12:00:00#"), 1);
    EXPECT_EQ(text("操作员"), QString());

    ASSERT_EQ(count("select  *  from  users", "where (用户名称='张三')  and  (用户密码='abc''1')"), 1);
    EXPECT_FALSE(m_query->FieldByName(QStringLiteral("用户")).AsBoolean());
    EXPECT_TRUE(m_query->FieldByName(QStringLiteral("清零")).AsBoolean());
    EXPECT_EQ(count("select  *  from   users", "order  by   用户名称"), 3);

    m_connection->Close();
    EXPECT_EQ(db({"import-mdb", str(test::jetTestFile()), str(m_database->target())}), 1);
    EXPECT_EQ(count("Select  *  From  XH"), 5);
}

// The output of `db verify` and its exit code.
std::pair<int, std::string> verify(std::vector<std::string> args) {
    args.insert(args.begin(), "verify");
    ::testing::internal::CaptureStdout();
    const int code = db(args);
    std::fflush(stdout);
    return {code, ::testing::internal::GetCapturedStdout()};
}

TEST_P(DbCommandTest, VerifyNamesEachRowEditedDeletedOrInsertedInTheAuditTrail) {
    ASSERT_EQ(db({"init", str(m_database->target())}), 0);
    {
        AuditTrail trail(m_database->connectionString(), QStringLiteral("线1"));
        AuditTrail other(m_database->connectionString(), QStringLiteral("线2"));
        for (int i = 1; i <= 6; ++i)
            trail.record(audit_event::kSetting, QStringLiteral("[称重] 阈值"), QString::number(i),
                         QString::number(i + 1));
        other.record(audit_event::kLogin, QStringLiteral("admin"));
    }
    auto [code, out] = verify({str(m_database->target())});
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("7 rows checked, 0 rows without a link skipped, 0 broken links"), std::string::npos) << out;

    // Whoever rewrites the trail must first remove its guards.
    m_connection->Open();
    const bool sqlite = GetParam() == Engine::Sqlite;
    QSqlQuery sql(m_connection->database());
    const QStringList tamper{
        sqlite ? u"drop trigger audit_no_update"_s : u"drop trigger audit_append_only on audit"_s,
        sqlite ? u"drop trigger audit_no_delete"_s : u"select 1"_s,
        u"update audit set 新值 = '99' where 站点 = '线1' and 序号 = 2"_s,
        u"delete from audit where 站点 = '线1' and 序号 = 4"_s,
        u"insert into audit (时间, 站点, 序号, 操作员, 事件, 链) select 时间, 站点, 5.5, 'x', 'y', 链 from audit "
        u"where 站点 = '线1' and 序号 = 5"_s};
    for (const QString& statement : tamper)
        ASSERT_TRUE(sql.exec(statement)) << str(statement);
    std::tie(code, out) = verify({str(m_database->target())});
    EXPECT_EQ(code, 1) << out;
    const auto idOf = [&](const char* number) {
        sql.exec(u"select id from audit where 站点 = '线1' and 序号 = %1"_s.arg(QLatin1StringView(number)));
        return sql.next() ? sql.value(0).toLongLong() : -1;
    };
    EXPECT_NE(out.find(str(u"station 线1, id %1, 序号 2: edited"_s.arg(idOf("2")))), std::string::npos) << out;
    EXPECT_NE(
        out.find(str(u"station 线1, id %1, 序号 5: rows before it deleted (序号 4 to 4 missing)"_s.arg(idOf("5")))),
        std::string::npos)
        << out;
    EXPECT_NE(out.find(str(u"station 线1, id %1, 序号 5.5: inserted"_s.arg(idOf("5.5")))), std::string::npos) << out;
    EXPECT_NE(out.find("3 broken links"), std::string::npos) << out;

    // A range that ends before the edit holds.
    sql.exec(u"select min(时间) from audit"_s);
    EXPECT_EQ(verify({str(m_database->target()), "--to", "2000-01-01"}).first, 0);
    EXPECT_EQ(verify({str(m_database->target()), "--from", "yesterday"}).first, 2);
}

TEST_P(DbCommandTest, VerifyChecksWeighingRowsPerStationAndSkipsRowsWithoutALink) {
    ASSERT_EQ(db({"init", str(m_database->target())}), 0);
    m_connection->Open();
    QSqlQuery sql(m_connection->database());
    ASSERT_TRUE(sql.exec(u"insert into weight (型号, 重量, 检定结果, 操作员, 时间) values "
                         u"('A100', 15, '正常', '张三', '2024-07-01 07:00:00')"_s));
    test::addLinkedRows(*m_connection, u"线1"_s, test::sampleLinkedRows(3));
    auto [code, out] = verify({str(m_database->target())});
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("3 rows checked, 1 rows without a link skipped"), std::string::npos) << out;

    ASSERT_TRUE(sql.exec(u"update weight set 上限值 = 25 where 序号 = 2"_s));
    std::tie(code, out) = verify({str(m_database->target())});
    EXPECT_EQ(code, 1);
    EXPECT_NE(out.find("weight: station 线1, id 3, 序号 2: edited"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Engines, DbCommandTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

TEST(DbCommandUsageTest, BadArgumentsAndBadFilesLeaveNothingBehind) {
    QTemporaryDir dir;
    const std::string target = str(dir.filePath(QStringLiteral("new.mdb")));
    EXPECT_EQ(db({}), 2);
    EXPECT_EQ(db({"init"}), 2);
    EXPECT_EQ(db({"init", "--demo", "--fast", target}), 2);
    EXPECT_EQ(db({"import-mdb", target}), 2);
    EXPECT_EQ(db({"drop", target}), 2);
    EXPECT_EQ(db({"verify"}), 2);
    EXPECT_EQ(db({"verify", target, "--from"}), 2);
    EXPECT_EQ(db({"verify", str(dir.filePath(QStringLiteral("missing.mdb")))}), 1);
    EXPECT_EQ(db({"init", str(dir.filePath(QStringLiteral("no/such/folder.mdb")))}), 1);
    EXPECT_EQ(db({"import-mdb", str(dir.filePath(QStringLiteral("missing.mdb"))), target}), 1);
    const QString notAccess = dir.filePath(QStringLiteral("text.mdb"));
    QFile file(notAccess);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not an Access file\n");
    file.close();
    EXPECT_EQ(db({"import-mdb", str(notAccess), target}), 1);
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target)));
}

// Bytes changed in the shipped file as a disk or a copy damages it: mdb-export then still succeeds with
// fewer rows or with empty fields.
TEST(DbCommandUsageTest, ADamagedAccessFileIsRefusedNotImportedInPart) {
    struct Damage {
        const char* what;
        std::vector<std::pair<qint64, char>> bytes;
    };
    const std::vector<Damage> damages{
        {"users: no row read of 3", {{131281, char(216)}}},
        {"users: the file states 64515 rows", {{131089, char(252)}}},
        {"XH: every 型号 empty", {{126500, char(7)}, {98367, char(22)}}},
    };
    QFile original(test::jetTestFile());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    QTemporaryDir dir;
    for (const Damage& damage : damages) {
        QByteArray copy = bytes;
        for (const auto& [offset, value] : damage.bytes)
            copy[offset] = value;
        const QString file = dir.filePath(QStringLiteral("damaged.mdb"));
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(copy);
        out.close();
        const std::string target = str(dir.filePath(QStringLiteral("new.db")));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(db({"import-mdb", str(file), target}), 1) << damage.what;
        const std::string error = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(error.find("The Access file is damaged"), std::string::npos) << damage.what << ": " << error;
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(target))) << damage.what;
    }
}

} // namespace
} // namespace kelvora
