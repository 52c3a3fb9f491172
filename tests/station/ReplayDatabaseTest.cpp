#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "station/DatabaseRecording.h"
#include "station/ReplayHost.h"
#include "station/StationLoad.h"
#include "tests/support/TestPaths.h"

#include <fstream>
#include <sstream>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using namespace kelvora;
using namespace Qt::StringLiterals;

namespace {

int countRows(const QString& database, const QString& verdict) {
    TADOConnection connection(database);
    TADOQuery query(connection);
    query.SQL.Add("select count(*) as n from weight where 检定结果=:v");
    query.Parameters.ParamByName("v").Value = verdict;
    query.Open();
    return static_cast<int>(query.FieldByName("n").AsFloat());
}

// The SQL drivers want an application object.
class ReplayDatabase : public ::testing::Test {
protected:
    int argc = 1;
    char name[19] = "ReplayDatabaseTest";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
};

} // namespace

TEST_F(ReplayDatabase, EveryVerdictIsOnTheRecordAndTheCountedRowsEqualTheCount) {
    test::TempDir dir;
    const QString database = QString::fromStdString(dir.file("station.db"));
    database_setup::initDatabase(database, false);

    const std::string samples = test::sourceDir() + "/tools/samples/";
    std::ostringstream trace;
    ReplayHost host(trace);
    loadStation(host, samples + "Option.ini");
    DatabaseRecording recording(database.toStdString(), host, [] { return std::string("2026-12-09 08:00:00"); });
    std::ifstream script(samples + "toledo-shift.txt", std::ios::binary);
    StationScript reader(script);
    host.run(reader);
    EXPECT_EQ(recording.finish(), 0u);

    EXPECT_EQ(countRows(database, "正常"), host.core().state().ProductCount);
    // Every reject that lit a lamp is stored; only a level stretch judged again at the same weight is one
    // row.
    const int overRows = countRows(database, "超高");
    EXPECT_GT(overRows, 0);
    EXPECT_LE(overRows, static_cast<int>(host.summary().verdicts.at("超高")));
    EXPECT_EQ(countRows(database, "超低"), static_cast<int>(host.summary().verdicts.at("超低")));
    EXPECT_EQ(trace.str().find("\"ev\":\"error\""), std::string::npos);
}

TEST_F(ReplayDatabase, AMissingDatabaseIsRefusedAtOnce) {
    test::TempDir dir;
    std::ostringstream trace;
    ReplayHost host(trace);
    EXPECT_THROW(DatabaseRecording(dir.file("missing.db"), host, [] { return std::string(); }), std::exception);
    EXPECT_FALSE(std::ifstream(dir.file("missing.db")).good()) << "and never created";
}

TEST_F(ReplayDatabase, RowsThatCouldNotBeStoredGoToTheFileOnceEvenWhenFinishedTwice) {
    test::TempDir dir;
    const QString database = QString::fromStdString(dir.file("station.db"));
    database_setup::initDatabase(database, false);

    const std::string samples = test::sourceDir() + "/tools/samples/";
    std::ostringstream trace;
    ReplayHost host(trace);
    loadStation(host, samples + "Option.ini");
    DatabaseRecording recording(database.toStdString(), host, [] { return std::string("2026-12-09 08:00:00"); });
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"dropper"_s);
        other.setDatabaseName(database);
        ASSERT_TRUE(other.open());
        ASSERT_TRUE(QSqlQuery(u"drop table weight"_s, other).isActive());
        other.close();
    }
    QSqlDatabase::removeDatabase(u"dropper"_s);
    std::ifstream script(samples + "toledo-shift.txt", std::ios::binary);
    StationScript reader(script);
    host.run(reader);

    const std::size_t unsaved = recording.finish();
    ASSERT_GT(unsaved, 0u);
    auto lines = [&] {
        std::ifstream csv(dir.file("unsaved-records.csv"));
        std::size_t count = 0;
        for (std::string line; std::getline(csv, line);) {
            ++count;
        }
        return count;
    };
    const std::size_t afterFirst = lines();
    EXPECT_GE(afterFirst, unsaved);
    EXPECT_EQ(recording.finish(), 0u);
    EXPECT_EQ(lines(), afterFirst);
}
