#include "DataTestSupport.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "data/WeightRecordStore.h"

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

WeighingRecord record(const std::string& model, double weight, const std::string& verdict, const std::string& time) {
    return {model, weight, verdict, "张三", time};
}

class RecordStoreTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam());
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
    }

    // The stored rows, each as "model|weight|verdict|operator|time", read through a connection of its own.
    QStringList storedRows() {
        TADOConnection connection(m_database->connectionString());
        TADOQuery query(connection);
        query.SQL.Add(QStringLiteral("select * from weight"));
        query.Open();
        QStringList rows;
        for (query.First(); !query.Eof(); query.Next()) {
            QStringList fields;
            for (const char* name : {"型号", "重量", "检定结果", "操作员", "时间"})
                fields << query.FieldByName(QString::fromUtf8(name)).AsString();
            rows << fields.join(u'|');
        }
        return rows;
    }

    std::optional<TestDatabase> m_database;
};

TEST_P(RecordStoreTest, EachInsertIsCommittedAtOnce) {
    const auto store = openRecordStore(m_database->target());
    store->insert(record("A100", 15.234, "正常", "2024-07-01 08:00:00"));
    store->insert(record("O'Brien \"q\"", 0.1 + 0.2, "超高", "2024-07-01 08:00:01"));
    EXPECT_EQ(storedRows(), QStringList({"A100|15.234|正常|张三|2024-07-01 08:00:00",
                                         "O'Brien \"q\"|0.30000000000000004|超高|张三|2024-07-01 08:00:01"}));
}

TEST_P(RecordStoreTest, ARecordSurvivesAKilledProcess) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        try {
            openRecordStore(m_database->target())->insert(record("B250", 251.5, "正常", "2024-07-02 09:00:00"));
        } catch (...) {
            ::_exit(3);
        }
        const char done = 'x';
        (void)!::write(ready[1], &done, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char done = 0;
    const bool inserted = ::read(ready[0], &done, 1) == 1;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ASSERT_TRUE(inserted) << "the child could not insert";
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(storedRows(), QStringList({"B250|251.5|正常|张三|2024-07-02 09:00:00"}));
}

TEST_P(RecordStoreTest, UnsavedRecordsGoToACsvFile) {
    const QString file = unsavedRecordsFile(m_database->target());
    if (GetParam() == Engine::Sqlite)
        EXPECT_EQ(QFileInfo(file).absolutePath(), m_database->folder());
    else
        EXPECT_EQ(QFileInfo(file).absolutePath(), QDir::currentPath());
    QFile::remove(file);
    appendUnsavedRecords(m_database->target(), {});
    EXPECT_FALSE(QFileInfo::exists(file));
    appendUnsavedRecords(m_database->target(), {record("A,1", 12.5, "超低", "2024-07-01 08:00:00")});
    appendUnsavedRecords(m_database->target(), {record("say \"hi\"", 16, "正常", "2024-07-01 08:00:01"),
                                                record("C12", 12.25, "超高", "2024-07-01 08:00:02")});
    QFile csv(file);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(csv.readAll()), QStringLiteral("型号,重量,检定结果,操作员,时间\n"
                                                               "\"A,1\",12.5,超低,张三,2024-07-01 08:00:00\n"
                                                               "\"say \"\"hi\"\"\",16,正常,张三,2024-07-01 08:00:01\n"
                                                               "C12,12.25,超高,张三,2024-07-01 08:00:02\n"));
    csv.close();
    QFile::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Engines, RecordStoreTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

TEST(RecordStoreFailureTest, AFailingInsertThrowsAndTheStoreRecovers) {
    auto database = *TestDatabase::create(Engine::Sqlite);
    const QString moved = database.target() + QStringLiteral(".away");
    WeightRecordStore store(database.target());
    store.insert(record("A100", 15, "正常", "2024-07-01 08:00:00"));
    store.connection().Close();
    ASSERT_TRUE(QFile::rename(database.target(), moved));
    try {
        store.insert(record("A100", 17, "正常", "2024-07-01 08:00:02"));
        ADD_FAILURE() << "stored into a missing file";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("The weighing record could not be stored"))) << e.what();
        EXPECT_TRUE(e.message().contains(QStringLiteral("Could not find file"))) << e.what();
    }
    EXPECT_FALSE(QFileInfo::exists(database.target())); // never created in its place
    ASSERT_TRUE(QFile::rename(moved, database.target()));
    store.insert(record("A100", 18, "正常", "2024-07-01 08:00:03"));
    TADOConnection connection(database.target());
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("select * from weight where 重量 >= 17"));
    query.Open();
    EXPECT_EQ(query.RecordCount(), 1);
}

// The recorder keeps the rows that a failing store refuses and writes them once the database is back;
// what is still unsaved at the end goes to the CSV file beside the database.
TEST(RecordStoreFailureTest, TheRecorderLosesNoRowThroughAnOutage) {
    auto database = *TestDatabase::create(Engine::Sqlite);
    const QString moved = database.target() + QStringLiteral(".away");
    WeightRecordStore store(database.target());
    std::vector<std::string> errors;
    ProductRecorder recorder(store, [&](const std::string& message) { errors.push_back(message); });
    const auto product = [&](double weight, const char* time) {
        recorder.verdict(record("A100", weight, "正常", time));
        recorder.productOver();
    };
    product(15, "2024-07-01 08:00:00");
    store.connection().Close();
    ASSERT_TRUE(QFile::rename(database.target(), moved));
    product(16, "2024-07-01 08:00:01");
    product(17, "2024-07-01 08:00:02");
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(recorder.unsaved().size(), 2u);
    ASSERT_TRUE(QFile::rename(moved, database.target()));
    product(18, "2024-07-01 08:00:03");
    EXPECT_TRUE(recorder.unsaved().empty());
    store.connection().Close();
    ASSERT_TRUE(QFile::rename(database.target(), moved));
    product(19, "2024-07-01 08:00:04");
    appendUnsavedRecords(database.target(), recorder.unsaved());
    ASSERT_TRUE(QFile::rename(moved, database.target()));

    TADOConnection connection(database.target());
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("select * from weight"));
    query.Open();
    EXPECT_EQ(query.RecordCount(), 4);
    QFile csv(unsavedRecordsFile(database.target()));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(csv.readAll()).endsWith(QStringLiteral("A100,19,正常,张三,2024-07-01 08:00:04\n")));
}

} // namespace
} // namespace kelvora
