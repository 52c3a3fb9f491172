#include "data/QueryTableModel.h"

#include "DataTestSupport.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <memory>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

// The grid of the rights editor over three users, checked by Qt's model tester throughout: edits,
// inserts and deletes change rows, never the whole grid, so a view keeps its current cell.
class QueryTableModelTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam(), true, false);
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        TADOQuery add(*m_connection);
        add.SQL.Add(QStringLiteral("insert into users(用户名称,开始) values ('bob', false)"));
        add.ExecSQL();
        add.SQL.Clear();
        add.SQL.Add(QStringLiteral("insert into users(用户名称,开始,用户) values ('carl', true, true)"));
        add.ExecSQL();
        m_query = std::make_unique<TADOQuery>(*m_connection);
        m_query->SQL.Add(QStringLiteral("select  *  from   users"));
        m_query->SQL.Add(QStringLiteral("order  by   用户名称"));
        m_query->Open();
        m_grid = std::make_unique<QueryTableModel>(
            *m_query,
            std::vector<QueryTableModel::ColumnDefinition>{{QStringLiteral("用户名称"), QStringLiteral("用户名称")},
                                                           {QStringLiteral("开始"), QStringLiteral("开始")}});
        m_tester = std::make_unique<QAbstractItemModelTester>(m_grid.get(),
                                                              QAbstractItemModelTester::FailureReportingMode::Fatal);
        m_view = std::make_unique<QItemSelectionModel>(m_grid.get());
        m_resets = std::make_unique<QSignalSpy>(m_grid.get(), &QAbstractItemModel::modelReset);
        m_changes = std::make_unique<QSignalSpy>(m_grid.get(), &QAbstractItemModel::dataChanged);
        m_inserts = std::make_unique<QSignalSpy>(m_grid.get(), &QAbstractItemModel::rowsInserted);
        m_removals = std::make_unique<QSignalSpy>(m_grid.get(), &QAbstractItemModel::rowsRemoved);
        m_moves = std::make_unique<QSignalSpy>(m_grid.get(), &QueryTableModel::currentRowChanged);
    }

    QString name(int row) const { return m_grid->data(m_grid->index(row, 0)).toString(); }
    void selectCell(int row, int column) {
        m_view->setCurrentIndex(m_grid->index(row, column), QItemSelectionModel::ClearAndSelect);
    }
    QStringList names() const {
        QStringList all;
        for (int row = 0; row < m_grid->rowCount(); ++row)
            all << name(row);
        return all;
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
    std::unique_ptr<TADOQuery> m_query;
    std::unique_ptr<QueryTableModel> m_grid;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
    std::unique_ptr<QItemSelectionModel> m_view;
    std::unique_ptr<QSignalSpy> m_resets, m_changes, m_inserts, m_removals, m_moves;
};

TEST_P(QueryTableModelTest, AnEditedCellChangesOneRowAndTheViewKeepsItsCell) {
    ASSERT_EQ(names(), QStringList({"admin", "bob", "carl"}));
    selectCell(1, 1);
    ASSERT_TRUE(m_grid->setData(m_grid->index(1, 1), Qt::Checked, Qt::CheckStateRole));
    ASSERT_TRUE(m_grid->setData(m_grid->index(1, 0), QStringLiteral("bobby"), Qt::EditRole));

    EXPECT_EQ(m_resets->count(), 0);
    EXPECT_EQ(m_view->currentIndex(), m_grid->index(1, 1));
    EXPECT_TRUE(m_view->isSelected(m_grid->index(1, 1)));
    ASSERT_GE(m_changes->count(), 2);
    for (const QList<QVariant>& change : *m_changes) {
        EXPECT_EQ(change.at(0).toModelIndex(), m_grid->index(1, 0));
        EXPECT_EQ(change.at(1).toModelIndex(), m_grid->index(1, 1));
    }
    EXPECT_EQ(m_grid->data(m_grid->index(1, 1), Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_EQ(name(1), QStringLiteral("bobby"));

    // Editing another row moves the query's current row there: the grid says so.
    m_moves->clear();
    ASSERT_TRUE(m_grid->setData(m_grid->index(2, 1), Qt::Unchecked, Qt::CheckStateRole));
    ASSERT_EQ(m_moves->count(), 1);
    EXPECT_EQ(m_moves->at(0).at(0).toInt(), 2);
    EXPECT_EQ(m_view->currentIndex(), m_grid->index(1, 1));
    EXPECT_EQ(m_resets->count(), 0);
}

TEST_P(QueryTableModelTest, InsertedAndRemovedRowsMoveTheViewsCellWithTheirRow) {
    selectCell(2, 0); // carl
    m_query->setRecNo(1);
    m_query->Insert(); // before bob
    EXPECT_EQ(m_inserts->count(), 1);
    EXPECT_EQ(m_inserts->at(0).at(1).toInt(), 1);
    EXPECT_EQ(m_moves->count(), 2); // moved to bob, then to the new row in bob's place
    EXPECT_EQ(m_grid->rowCount(), 4);
    EXPECT_EQ(m_view->currentIndex(), m_grid->index(3, 0));
    EXPECT_EQ(name(1), QString());

    m_query->Cancel();
    EXPECT_EQ(m_removals->count(), 1);
    EXPECT_EQ(names(), QStringList({"admin", "bob", "carl"}));
    EXPECT_EQ(m_view->currentIndex(), m_grid->index(2, 0));

    m_query->Insert();
    ASSERT_TRUE(m_grid->setData(m_grid->index(1, 0), QStringLiteral("dora"), Qt::EditRole));
    m_query->Post();
    EXPECT_EQ(names(), QStringList({"admin", "dora", "bob", "carl"}));
    EXPECT_EQ(m_query->FieldByName(QStringLiteral("用户密码")).AsString(), QStringLiteral("123456"));

    m_moves->clear();
    m_query->setRecNo(0);
    m_query->Delete();
    EXPECT_EQ(m_removals->count(), 2);
    EXPECT_EQ(names(), QStringList({"dora", "bob", "carl"}));
    EXPECT_EQ(m_view->currentIndex(), m_grid->index(2, 0));
    EXPECT_EQ(m_moves->count(), 2);
    m_query->setRecNo(0); // already there: no signal
    EXPECT_EQ(m_moves->count(), 2);
    EXPECT_EQ(m_resets->count(), 0);
}

TEST_P(QueryTableModelTest, AFailedWriteChangesNoRowsAndOnlyOpenAndCloseReset) {
    TADOQuery models(*m_connection);
    models.SQL.Add(QStringLiteral("Select  *  From  XH"));
    models.Open();
    models.Insert();
    QueryTableModel modelGrid(models);
    QAbstractItemModelTester tester(&modelGrid, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&modelGrid, &QAbstractItemModel::modelReset);
    QStringList errors;
    modelGrid.setErrorHandler([&](const QString& message) { errors << message; });
    const int upper = static_cast<int>(models.fieldNames().indexOf(QStringLiteral("上限值")));
    EXPECT_FALSE(modelGrid.setData(modelGrid.index(0, upper), QStringLiteral("abc"), Qt::EditRole));
    EXPECT_EQ(errors.size(), 1);
    EXPECT_EQ(modelGrid.rowCount(), 1);
    EXPECT_EQ(resets.count(), 0);
    models.Cancel();
    EXPECT_EQ(modelGrid.rowCount(), 0);

    m_query->Close();
    EXPECT_EQ(m_resets->count(), 1);
    EXPECT_EQ(m_grid->rowCount(), 0);
    m_query->Open();
    EXPECT_EQ(m_resets->count(), 2);
    EXPECT_EQ(m_grid->rowCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, QueryTableModelTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
