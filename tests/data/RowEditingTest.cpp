#include "DataTestSupport.h"
#include "data/DatabaseError.h"
#include "data/QueryTableModel.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <memory>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

// Editing rows of a result as the rights editor's grid and navigator do.
class RowEditingTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam(), true, true);
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_editor = std::make_unique<TADOQuery>(*m_connection);
        m_editor->SQL.Add(QStringLiteral("select  *  from   users"));
        m_editor->SQL.Add(QStringLiteral("order  by   用户名称"));
        m_editor->Open();
    }

    // Reads through a query of its own: what the table holds.
    QStringList stored(const char* where) {
        TADOQuery query(*m_connection);
        query.SQL.Add(QStringLiteral("select * from users where ") + QString::fromUtf8(where));
        query.Open();
        QStringList rows;
        for (query.First(); !query.Eof(); query.Next())
            rows << query.FieldByName(QStringLiteral("用户名称")).AsString() + u'|' +
                        query.FieldByName(QStringLiteral("用户密码")).AsString() + u'|' +
                        query.FieldByName(QStringLiteral("开始")).AsString();
        return rows;
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
    std::unique_ptr<TADOQuery> m_editor;
};

TEST_P(RowEditingTest, InsertEditCancelAndDelete) {
    ASSERT_TRUE(m_editor->CanModify());
    m_editor->Insert();
    EXPECT_EQ(m_editor->state(), TADOQuery::State::Insert);
    EXPECT_EQ(m_editor->RecordCount(), 2);
    m_editor->SetFieldValue(QStringLiteral("用户名称"), QStringLiteral("李四"));
    m_editor->SetFieldValue(QStringLiteral("开始"), true);
    m_editor->Post();
    EXPECT_EQ(m_editor->state(), TADOQuery::State::Browse);
    EXPECT_EQ(m_editor->FieldByName(QStringLiteral("用户密码")).AsString(), QStringLiteral("123456"));
    EXPECT_EQ(stored("用户名称 = '李四'"), QStringList({"李四|123456|True"}));

    m_editor->SetFieldValue(QStringLiteral("开始"), false);
    EXPECT_EQ(m_editor->state(), TADOQuery::State::Edit);
    m_editor->Cancel();
    EXPECT_TRUE(m_editor->FieldByName(QStringLiteral("开始")).AsBoolean());
    m_editor->SetFieldValue(QStringLiteral("开始"), QStringLiteral("False"));
    m_editor->Next(); // leaving the row writes it
    EXPECT_EQ(stored("用户名称 = '李四'"), QStringList({"李四|123456|False"}));

    m_editor->First();
    m_editor->Insert();
    m_editor->Cancel();
    EXPECT_EQ(m_editor->RecordCount(), 2);
    m_editor->Delete();
    EXPECT_EQ(m_editor->RecordCount(), 1);
    EXPECT_EQ(stored("1 = 1").size(), 1);
    EXPECT_THROW(m_editor->SetFieldValue(QStringLiteral("id"), 5), DatabaseError);
}

TEST_P(RowEditingTest, AFailedPostKeepsTheEdit) {
    TADOQuery models(*m_connection);
    models.SQL.Add(QStringLiteral("Select  *  From  XH  Where  型号='大米-5kg'"));
    models.Open();
    models.SetFieldValue(QStringLiteral("上限值"), QStringLiteral("abc"));
    EXPECT_THROW(models.Post(), DatabaseError);
    EXPECT_EQ(models.state(), TADOQuery::State::Edit);
    models.SetFieldValue(QStringLiteral("上限值"), QStringLiteral("5.2"));
    models.Post();
    models.Open();
    EXPECT_DOUBLE_EQ(models.FieldByName(QStringLiteral("上限值")).AsFloat(), 5.2);
}

TEST_P(RowEditingTest, OnlyPlainSelectsFromOneTableAreModifiable) {
    TADOQuery query(*m_connection);
    for (const char* statement : {"select count(*) from users", "select * from users, xh", "select 1"}) {
        SCOPED_TRACE(statement);
        query.SQL.Clear();
        query.SQL.Add(QString::fromUtf8(statement));
        query.Open();
        EXPECT_FALSE(query.CanModify());
        EXPECT_THROW(query.Edit(), DatabaseError);
    }
}

TEST_P(RowEditingTest, TheGridWritesCellsAndReportsFailures) {
    QueryTableModel grid(*m_editor, {{QStringLiteral("用户名称"), QStringLiteral("用户名称"), -1},
                                     {QStringLiteral("清零"), QStringLiteral("清零"), -1}});
    QStringList errors;
    grid.setErrorHandler([&](const QString& message) { errors << message; });
    ASSERT_EQ(grid.rowCount(), 1);
    EXPECT_TRUE(grid.flags(grid.index(0, 1)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(grid.setData(grid.index(0, 1), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_TRUE(grid.setData(grid.index(0, 0), QStringLiteral("root"), Qt::EditRole));
    EXPECT_EQ(stored("用户名称 = 'root'"), QStringList({"root|123456|True"}));
    EXPECT_EQ(grid.data(grid.index(0, 1), Qt::CheckStateRole), QVariant(Qt::Unchecked));
    EXPECT_TRUE(errors.isEmpty());

    TADOQuery models(*m_connection);
    models.SQL.Add(QStringLiteral("Select  *  From  XH"));
    models.Open();
    QueryTableModel modelGrid(models);
    modelGrid.setErrorHandler([&](const QString& message) { errors << message; });
    const int upper = static_cast<int>(models.fieldNames().indexOf(QStringLiteral("上限值")));
    EXPECT_FALSE(modelGrid.setData(modelGrid.index(0, upper), QStringLiteral("abc"), Qt::EditRole));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.front().startsWith(QStringLiteral("Data type mismatch")));
    EXPECT_EQ(models.state(), TADOQuery::State::Edit);

    grid.setReadOnly(true);
    EXPECT_FALSE(grid.setData(grid.index(0, 0), QStringLiteral("x"), Qt::EditRole));
}

INSTANTIATE_TEST_SUITE_P(Engines, RowEditingTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
