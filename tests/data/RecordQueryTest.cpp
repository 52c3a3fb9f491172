#include "data/RecordQuery.h"

#include "DataTestSupport.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <memory>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

const QDate kFrom(2024, 7, 1);
const QTime kFromTime(8, 0, 0);
const QDate kTo(2024, 7, 15);
const QTime kToTime(18, 30, 0);

TEST(RecordQueryStatementTest, TheWindowsTwoLinesWithTheValueBound) {
    const RecordQuery verdict(kFrom, kFromTime, kTo, kToTime, QStringLiteral("检定结果"), QStringLiteral("="),
                              QStringLiteral("超高"));
    EXPECT_EQ(verdict.lines(),
              QStringList({"select  *  from  weight",
                           "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)and "
                           "(检定结果=:value)"}));
    EXPECT_EQ(verdict.value(), QVariant(QStringLiteral("超高")));

    const RecordQuery weight(kFrom, kFromTime, kTo, kToTime, QStringLiteral("重量"), QStringLiteral(">="),
                             QStringLiteral(" 12.5 "));
    EXPECT_TRUE(weight.lines().at(1).endsWith(QStringLiteral("#)and (重量>=:value)")));
    EXPECT_EQ(weight.value(), QVariant(12.5));

    // No field: the range alone, whatever the operator and value say.
    const RecordQuery range(QDate(2009, 1, 2), QTime(3, 4, 5), QDate(2009, 1, 2), QTime(3, 4, 5), QString(),
                            QStringLiteral("or 1=1 --"), QStringLiteral("'"));
    EXPECT_EQ(range.lines().at(1),
              QStringLiteral("where  (时间  between #01/02/2009 03:04:05# and  #01/02/2009 03:04:05#)"));
    EXPECT_FALSE(range.value().isValid());
}

TEST(RecordQueryStatementTest, RefusesFieldsOperatorsAndWeightsOutsideTheLists) {
    const auto refusal = [](const char* field, const char* op, const char* value) {
        try {
            RecordQuery(kFrom, kFromTime, kTo, kToTime, QString::fromUtf8(field), QString::fromUtf8(op),
                        QString::fromUtf8(value));
        } catch (const DatabaseError& e) {
            return e.message();
        }
        return QStringLiteral("accepted");
    };
    for (const char* field : {"重量 = 1 or 1=1", "重量=1)or(1=1", "用户密码", "users.用户密码",
                              "(select 用户密码 from users)", " 重量", "重量 ", "时间", "id", "  "}) {
        SCOPED_TRACE(field);
        EXPECT_EQ(
            refusal(field, "=", "1"),
            QStringLiteral("查询条件的字段“%1”无效，只能是型号、检定结果、操作员或重量").arg(QString::fromUtf8(field)));
    }
    for (const char* op : {"<>", "like", "= 1 or 1 =", "", " =", "=="}) {
        SCOPED_TRACE(op);
        EXPECT_TRUE(refusal("型号", op, "A100").startsWith(QStringLiteral("查询条件的运算符"))) << op;
    }
    EXPECT_EQ(refusal("重量", "=", "超高"), QStringLiteral("'超高' is not a valid floating point value"));
    EXPECT_EQ(refusal("重量", "=", "1 or 1=1"), QStringLiteral("'1 or 1=1' is not a valid floating point value"));
    EXPECT_EQ(refusal("重量", "<", ""), QStringLiteral("'' is not a valid floating point value"));
    EXPECT_EQ(refusal("型号", "=", "x' or '1'='1"), QStringLiteral("accepted"));
    EXPECT_EQ(RecordQuery::fields(), QStringList({"型号", "检定结果", "操作员", "重量"}));
    EXPECT_EQ(RecordQuery::operators(), QStringList({"=", ">", "<", ">=", "<="}));
    EXPECT_THROW(RecordQuery(QDate(), kFromTime, kTo, kToTime, QString(), QString(), QString()), DatabaseError);
}

class RecordQueryTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam(), true, true);
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_query = std::make_unique<TADOQuery>(*m_connection);
        add("A100", "15.2", "正常", "O'Neil", "2024-07-01 07:59:59");
        add("A100", "21.5", "超高", "张三", "2024-07-01 08:00:00");
        add("B250", "12.5", "正常", "O'Neil", "2024-07-10 12:00:00");
        add("B250", "11.0", "超低", "张三", "2024-07-15 18:30:00");
        add("A100", "25.0", "超高", "张三", "2024-07-15 18:30:01");
    }

    void add(const char* model, const char* weight, const char* verdict, const char* operatorName, const char* time) {
        TADOQuery insert(*m_connection);
        insert.SQL.Add(QStringLiteral("insert into weight(型号,重量,检定结果,操作员,时间) values (:m,:w,:v,:o,:t)"));
        insert.Parameters.ParamByName(QStringLiteral("m")).Value = QString::fromUtf8(model);
        insert.Parameters.ParamByName(QStringLiteral("w")).Value = QString::fromUtf8(weight);
        insert.Parameters.ParamByName(QStringLiteral("v")).Value = QString::fromUtf8(verdict);
        insert.Parameters.ParamByName(QStringLiteral("o")).Value = QString::fromUtf8(operatorName);
        insert.Parameters.ParamByName(QStringLiteral("t")).Value = QString::fromUtf8(time);
        insert.ExecSQL();
    }

    int run(const char* field, const char* op, const char* value) {
        return RecordQuery::run(*m_query, kFrom, kFromTime, kTo, kToTime, QString::fromUtf8(field),
                                QString::fromUtf8(op), QString::fromUtf8(value));
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
    std::unique_ptr<TADOQuery> m_query;
};

TEST_P(RecordQueryTest, RangeAndConditionsOnEveryColumn) {
    EXPECT_EQ(run("", "=", "超高"), 3); // both ends included
    EXPECT_EQ(run("检定结果", "=", "超高"), 1);
    EXPECT_EQ(m_query->FieldByName(QStringLiteral("重量")).AsFloat(), 21.5);
    EXPECT_EQ(run("重量", ">=", "12.5"), 2);
    EXPECT_EQ(run("重量", "<", "12.5"), 1);
    EXPECT_EQ(run("重量", "<=", "1.25e1"), 2);
    EXPECT_EQ(run("重量", ">", "-1"), 3);
    EXPECT_EQ(run("型号", "=", "b250"), 2);     // text compares case-blind
    EXPECT_EQ(run("操作员", "=", "O'Neil"), 1); // a quote in the value matches the stored text
    EXPECT_EQ(run("操作员", "<", "张"), 1);
    // An equal start and end ask for that one second.
    EXPECT_EQ(RecordQuery::run(*m_query, kTo, kToTime, kTo, kToTime, QString(), QString(), QString()), 1);
}

TEST_P(RecordQueryTest, InjectionsAreRefusedOrMatchNothingAndLeaveTheGridEmpty) {
    ASSERT_EQ(run("", "", ""), 3);
    EXPECT_THROW(run("重量 = 1 or 1=1", "=", "1"), DatabaseError);
    EXPECT_FALSE(m_query->Active()); // a refused query leaves the grid empty
    ASSERT_EQ(run("", "", ""), 3);
    EXPECT_THROW(run("(select 用户密码 from users)", "=", "123456"), DatabaseError);
    EXPECT_FALSE(m_query->Active());
    EXPECT_THROW(run("重量", "=", "1 or 1=1"), DatabaseError);
    EXPECT_THROW(run("型号", "= 型号 or 1 =", "1"), DatabaseError);
    // In a text column an injection attempt is only a value.
    EXPECT_EQ(run("型号", "=", "x' or '1'='1"), 0);
    EXPECT_EQ(run("检定结果", "=", "超高') or ('1'='1"), 0);
    EXPECT_EQ(run("型号", ">", "\" or 1=1 --"), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordQueryTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
