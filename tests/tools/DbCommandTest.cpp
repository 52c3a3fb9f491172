#include "tools/DbCommand.h"

#include "DataTestSupport.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

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

} // namespace
} // namespace kelvora
