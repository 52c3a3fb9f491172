#include "DataTestSupport.h"
#include "data/DatabaseError.h"
#include "data/QueryTableModel.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <memory>

#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

class QueryTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam(), true, true);
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_query = std::make_unique<TADOQuery>(*m_connection);
    }

    void set(std::initializer_list<const char*> lines) {
        m_query->Close();
        m_query->SQL.Clear();
        for (const char* line : lines)
            m_query->SQL.Add(QString::fromUtf8(line));
    }
    int count(std::initializer_list<const char*> lines) {
        set(lines);
        m_query->Open();
        return m_query->RecordCount();
    }
    void exec(std::initializer_list<const char*> lines) {
        set(lines);
        m_query->ExecSQL();
    }
    void param(const char* name, const QString& value) {
        m_query->Parameters.ParamByName(QString::fromUtf8(name)).Value = value;
    }
    void addModel(const QString& name, const QString& standard, const QString& upper, const QString& lower) {
        set({"Insert  Into  XH(型号,标准值,上限值,下限值)  values  (:xh,:A,:B,:C)"});
        param("xh", name);
        param("A", standard);
        param("B", upper);
        param("C", lower);
        m_query->ExecSQL();
    }
    void addRecord(const QString& model, const QString& weight, const QString& verdict, const QString& time) {
        set({"insert into weight(型号,重量,检定结果,操作员,时间) values (:m,:w,:v,:o,:t)"});
        param("m", model);
        param("w", weight);
        param("v", verdict);
        param("o", QStringLiteral("张三"));
        param("t", time);
        m_query->ExecSQL();
    }
    QString text(const char* field) { return m_query->FieldByName(QString::fromUtf8(field)).AsString(); }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
    std::unique_ptr<TADOQuery> m_query;
};

TEST_P(QueryTest, TablesNamesAndTextCompareCaseBlind) {
    EXPECT_EQ(count({"Select  *  From  XH"}), 5);
    EXPECT_EQ(count({"select  *  from  xh  where  型号=\"大米-5KG\""}), 1);
    EXPECT_EQ(text("型号"), QStringLiteral("大米-5kg"));
    EXPECT_EQ(count({"Select  *  From  XH  Where  型号='大米-5kg'"}), 1);
    EXPECT_EQ(count({"select  *  from  users", "where (用户名称='ADMIN')  and  (用户密码='123456')"}), 1);
    EXPECT_EQ(count({"select  *  from  users", "where (用户名称='admin')  and  (用户密码='1234567')"}), 0);
    addRecord(QStringLiteral("A100"), QStringLiteral("15"), QStringLiteral("正常"),
              QStringLiteral("2024-07-01 08:00:00"));
    EXPECT_EQ(count({"select * from Weight where 型号='a100'"}), 1);
}

TEST_P(QueryTest, QuotesInValues) {
    const QString name = QStringLiteral("O'Brien \"q\"");
    addModel(name, QStringLiteral("1.500"), QStringLiteral("1.600"), QStringLiteral("1.400"));
    EXPECT_EQ(count({"Select  *  From  XH  Where  型号='O''Brien \"q\"'"}), 1);
    EXPECT_EQ(text("型号"), name);
    // Between double quotes a name holding a double quote breaks the statement; nothing is touched.
    EXPECT_THROW(count({"select  *  from  xh  where  型号=\"O'Brien \"q\"\""}), DatabaseError);
    EXPECT_THROW(exec({"Delete  From  XH  Where  型号=\"O'Brien \"q\"\""}), DatabaseError);
    EXPECT_THROW(exec({"Delete  From  XH  Where  型号=\"a\"b\""}), DatabaseError);
    EXPECT_EQ(count({"Select  *  From  XH"}), 6);
}

TEST_P(QueryTest, AnEmptyLiteralIsEmptyTextNotNull) {
    exec({"insert into weight (型号, 检定结果) values ('', '')"});
    EXPECT_EQ(count({"select  *  from  weight", "where (型号='')  and  (检定结果='')"}), 1);
    EXPECT_EQ(count({"select  *  from  weight  where  型号 is null"}), 0);
}

TEST_P(QueryTest, TextForNumericColumnsIsConvertedOrRefused) {
    addModel(QStringLiteral("N1"), QStringLiteral("16.000"), QStringLiteral(" 20.5 "), QStringLiteral("1e1"));
    ASSERT_EQ(count({"select  *  from  xh  where  型号=\"N1\""}), 1);
    EXPECT_DOUBLE_EQ(m_query->FieldByName(QStringLiteral("上限值")).AsFloat(), 20.5);
    EXPECT_DOUBLE_EQ(m_query->FieldByName(QStringLiteral("下限值")).AsFloat(), 10.0);

    try {
        addModel(QStringLiteral("N2"), QStringLiteral("16"), QStringLiteral("abc"), QStringLiteral("1"));
        ADD_FAILURE() << "a text that is no number was stored";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Data type mismatch"))) << e.what();
    }
    EXPECT_EQ(count({"select  *  from  xh  where  型号=\"N2\""}), 0);

    // An edit left empty sends "" for its column: refused, the stored values stay.
    EXPECT_THROW(exec({"Update  XH    Set  标准值=\"\",上限值=\"21.000\",下限值=\"12.000\" Where  型号=\"N1\""}),
                 DatabaseError);
    exec({"Update  XH    Set  标准值=\"17.000\",上限值=\"21.000\",下限值=\"12.000\" Where  型号=\"n1\""});
    ASSERT_EQ(count({"select  *  from  xh  where  型号=\"N1\""}), 1);
    EXPECT_EQ(text("标准值"), QStringLiteral("17"));
    EXPECT_EQ(text("上限值"), QStringLiteral("21"));
}

TEST_P(QueryTest, TimeRangeIncludesBothEndsAndCountsExactly) {
    exec({"Delete  *  From  Weight"});
    addRecord("A100", "15.2", "正常", "2024-07-01 07:59:59");
    addRecord("A100", "21.5", "超高", "2024-07-01 08:00:00");
    addRecord("A100", "12.5", "正常", "2024-07-10 12:00:00");
    addRecord("A100", "11.0", "超低", "2024-07-15 18:30:00");
    addRecord("A100", "25.0", "超高", "2024-07-15 18:30:01");
    const char* range = "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)";
    EXPECT_EQ(count({"select  *  from  weight", range}), 3);
    EXPECT_EQ(count({"select  *  from  weight",
                     "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)and (检定结果='超高')"}),
              1);
    EXPECT_EQ(text("时间"), QStringLiteral("2024-07-01 08:00:00"));
    EXPECT_EQ(count({"select  *  from  weight",
                     "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)and (重量>=12.5)"}),
              2);
    EXPECT_EQ(count({"select  *  from  weight",
                     "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)and (重量>='12.5')"}),
              2);
    // A bare non-number for the weight names no column: the statement fails and the query stays closed.
    EXPECT_THROW(count({"select  *  from  weight",
                        "where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)and (重量=超高)"}),
                 DatabaseError);
    EXPECT_FALSE(m_query->Active());
}

// The records hold wall-clock times: a range in Berlin's spring gap or autumn fold finds the rows of
// exactly those wall-clock times, and they read back unchanged.
TEST_P(QueryTest, TimeRangeInASummerTimeChangeMatchesTheWallClock) {
    test::ScopedTimeZone berlin("Europe/Berlin");
    exec({"Delete  *  From  Weight"});
    addRecord("A100", "15", "正常", "2024-03-31 01:59:59");
    addRecord("A100", "16", "正常", "2024-03-31 02:30:00");
    addRecord("A100", "17", "正常", "2024-03-31 02:45:10");
    addRecord("A100", "18", "正常", "2024-03-31 03:00:00");
    addRecord("A100", "19", "正常", "2024-10-27 02:30:00");
    EXPECT_EQ(count({"select  *  from  weight", "where  (时间  between #03/31/2024 02:30:00# and  #03/31/2024 "
                                                "02:59:59#)"}),
              2);
    EXPECT_EQ(text("时间"), QStringLiteral("2024-03-31 02:30:00"));
    QueryTableModel grid(*m_query,
                         {{QStringLiteral("时间"), QStringLiteral("时间"), -1, QStringLiteral("yyyy/M/d H:mm:ss")}});
    EXPECT_EQ(grid.data(grid.index(1, 0)).toString(), QStringLiteral("2024/3/31 2:45:10"));
    EXPECT_EQ(count({"select  *  from  weight", "where  (时间  between #03/31/2024 02:00:00# and  #03/31/2024 "
                                                "03:00:00#)"}),
              3);
    EXPECT_EQ(count({"select  *  from  weight", "where  (时间  between #10/27/2024 02:30:00# and  #10/27/2024 "
                                                "02:30:00#)"}),
              1);
    EXPECT_EQ(text("时间"), QStringLiteral("2024-10-27 02:30:00"));
}

TEST_P(QueryTest, TopAndWalkAndDeleteAll) {
    for (int i = 0; i < 25; ++i)
        addRecord("B250", QString::number(250 + i), "正常",
                  QStringLiteral("2024-07-02 10:00:%1").arg(i, 2, 10, QChar('0')));
    EXPECT_EQ(count({"select   top  20   *  from  weight"}), 20);
    int walked = 0;
    for (m_query->First(); !m_query->Eof(); m_query->Next())
        ++walked;
    EXPECT_EQ(walked, 20);
    exec({"Delete  *  From  Weight"});
    EXPECT_EQ(count({"select   top  20   *  from  weight"}), 0);
    EXPECT_TRUE(m_query->Eof());
    EXPECT_EQ(text("型号"), QString()); // an empty result reads as nulls
    EXPECT_EQ(count({"Select  *  From  XH"}), 5);
}

TEST_P(QueryTest, FieldRulesAndMessages) {
    set({"insert into weight(型号) values (:m)"});
    param("m", QStringLiteral("Yes"));
    m_query->ExecSQL();
    ASSERT_EQ(count({"select * from weight"}), 1);
    EXPECT_EQ(text("重量"), QString());
    EXPECT_EQ(m_query->FieldByName(QStringLiteral("重量")).AsFloat(), 0.0);
    EXPECT_EQ(text("时间"), QString());
    EXPECT_TRUE(m_query->FieldByName(QStringLiteral("型号")).AsBoolean());
    EXPECT_FALSE(m_query->FieldByName(QStringLiteral("操作员")).AsBoolean());
    const auto message = [&](auto&& call) {
        try {
            call();
        } catch (const DatabaseError& e) {
            return e.message();
        }
        return QStringLiteral("no error");
    };
    EXPECT_EQ(message([&] { m_query->FieldByName(QStringLiteral("用户")); }), QStringLiteral("Field '用户' not found"));
    EXPECT_EQ(message([&] { m_query->FieldByName(QStringLiteral("重量")).AsBoolean(); }),
              QStringLiteral("Cannot access field '重量' as type Boolean"));
    EXPECT_EQ(message([&] { m_query->FieldByName(QStringLiteral("时间")).AsFloat(); }),
              QStringLiteral("Cannot access field '时间' as type Float"));
    EXPECT_EQ(message([&] { m_query->FieldByName(QStringLiteral("型号")).AsFloat(); }),
              QStringLiteral("'Yes' is not a valid floating point value"));

    ASSERT_EQ(count({"select  *  from  users"}), 1);
    EXPECT_TRUE(m_query->FieldByName(QStringLiteral("清零")).AsBoolean());
    EXPECT_EQ(text("初始化"), QStringLiteral("True"));
    EXPECT_EQ(text("用户密码"), QStringLiteral("123456"));
}

TEST_P(QueryTest, StatementsOpenAClosedConnection) {
    EXPECT_FALSE(m_connection->Connected());
    EXPECT_EQ(count({"Select  *  From  XH"}), 5);
    m_connection->Close();
    exec({"Delete  From  XH  Where  型号=\"大米-5kg\""});
    EXPECT_TRUE(m_connection->Connected());
    EXPECT_EQ(count({"Select  *  From  XH"}), 4);
}

TEST_P(QueryTest, ALostConnectionIsOpenedAgainByTheNextStatement) {
    if (GetParam() != Engine::Postgres)
        GTEST_SKIP() << "a lost server connection concerns PostgreSQL";
    EXPECT_EQ(count({"Select  *  From  XH"}), 5);
    TADOConnection killer(m_database->connectionString());
    killer.Open();
    {
        QSqlQuery pid(m_connection->database());
        ASSERT_TRUE(pid.exec(QStringLiteral("select pg_backend_pid()")) && pid.next());
        QSqlQuery kill(killer.database());
        ASSERT_TRUE(kill.exec(QStringLiteral("select pg_terminate_backend(%1)").arg(pid.value(0).toInt())));
    }
    EXPECT_THROW(count({"Select  *  From  XH"}), DatabaseError);
    EXPECT_FALSE(m_connection->Connected());
    EXPECT_EQ(count({"Select  *  From  XH"}), 5);
}

TEST_P(QueryTest, OpenRefusesAStatementWithoutRowsAndDoesNotRunIt) {
    EXPECT_THROW(count({"Delete  From  XH"}), DatabaseError);
    EXPECT_FALSE(m_query->Active());
    EXPECT_THROW(m_query->RecordCount(), DatabaseError);
    EXPECT_EQ(count({"Select  *  From  XH"}), 5);
}

TEST_P(QueryTest, ParametersByName) {
    set({"Insert  Into  XH(型号,标准值,上限值,下限值)  values  (:xh,:A,:B,:C)"});
    EXPECT_EQ(m_query->Parameters.Count(), 4);
    m_query->Parameters.ParamByName(QStringLiteral("XH")).Value = QStringLiteral("P1");
    EXPECT_THROW(m_query->Parameters.ParamByName(QStringLiteral("D")), DatabaseError);
    EXPECT_THROW(m_query->ExecSQL(), DatabaseError); // A, B and C have no value
    EXPECT_EQ(count({"select  *  from  xh  where  型号=\"P1\""}), 0);
}

TEST_P(QueryTest, GridFollowsTheQuery) {
    addRecord("A100", "15.236", "正常", "2024-07-01 08:00:00");
    set({"select   top  20   *  from  weight"});
    QueryTableModel grid(*m_query,
                         {{QStringLiteral("型号"), QStringLiteral("型号"), -1},
                          {QStringLiteral("重量"), QStringLiteral("重量"), 2},
                          {QStringLiteral("时间"), QStringLiteral("时间"), -1, QStringLiteral("yyyy/M/d H:mm:ss")}});
    EXPECT_EQ(grid.rowCount(), 0);
    m_query->Open();
    ASSERT_EQ(grid.rowCount(), 1);
    ASSERT_EQ(grid.columnCount(), 3);
    EXPECT_EQ(grid.data(grid.index(0, 1)).toString(), QStringLiteral("15.24"));
    EXPECT_EQ(grid.data(grid.index(0, 2)).toString(), QStringLiteral("2024/7/1 8:00:00"));
    EXPECT_EQ(grid.headerData(0, Qt::Horizontal).toString(), QStringLiteral("型号"));
    m_query->Close();
    EXPECT_EQ(grid.rowCount(), 0);
    m_query->Open();
    EXPECT_EQ(grid.rowCount(), 1);
    m_query.reset();
    EXPECT_EQ(grid.rowCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, QueryTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
