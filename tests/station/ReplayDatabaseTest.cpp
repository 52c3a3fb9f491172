#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "station/DatabaseRecording.h"
#include "station/ReplayHost.h"
#include "tests/support/TestPaths.h"

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

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

// Files of this process may not grow past a limit while it lives (writes beyond it fail as on a full
// disk); the signal such a write raises is ignored meanwhile.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_previous;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_handler)(int) = nullptr;
};

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
    host.runtime().load(samples + "Option.ini");
    DatabaseRecording recording(database.toStdString(), host, [] { return std::string("2026-12-09 08:00:00"); });
    std::ifstream script(samples + "toledo-shift.txt", std::ios::binary);
    StationScript reader(script);
    host.run(reader);
    const StationRuntime::FinishReport report = recording.finish();
    EXPECT_EQ(report.waiting, 0);
    EXPECT_EQ(report.unsavedFile, 0u);

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

TEST_F(ReplayDatabase, RowsTheDatabaseRefusesWaitInTheJournalAndGoUpAtTheNextStart) {
    test::TempDir dir;
    const QString database = QString::fromStdString(dir.file("station.db"));
    database_setup::initDatabase(database, false);
    const std::string samples = test::sourceDir() + "/tools/samples/";
    auto dropTable = [&](const char* statement) {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"dropper"_s);
        other.setDatabaseName(database);
        ASSERT_TRUE(other.open());
        ASSERT_TRUE(QSqlQuery(QString::fromUtf8(statement), other).isActive());
        other.close();
        QSqlDatabase::removeDatabase(u"dropper"_s);
    };
    std::int64_t waiting = 0;
    {
        std::ostringstream trace;
        ReplayHost host(trace);
        host.runtime().load(samples + "Option.ini");
        DatabaseRecording recording(database.toStdString(), host, [] { return std::string("2026-12-09 08:00:00"); });
        dropTable("alter table weight rename to weight_away");
        std::ifstream script(samples + "toledo-shift.txt", std::ios::binary);
        StationScript reader(script);
        host.run(reader);
        const StationRuntime::FinishReport report = recording.finish(200);
        waiting = report.waiting;
        EXPECT_GT(waiting, 0);
        EXPECT_EQ(report.unsavedFile, 0u);
        EXPECT_FALSE(std::ifstream(dir.file("unsaved-records.csv")).good()) << "the journal holds them";
        // The journal is no error of the weighing: nothing shows in the trace.
        EXPECT_EQ(trace.str().find("\"ev\":\"error\""), std::string::npos);
    }
    dropTable("alter table weight_away rename to weight");
    const int before = countRows(database, "正常") + countRows(database, "超高") + countRows(database, "超低");
    std::ostringstream trace;
    ReplayHost host(trace);
    DatabaseRecording next(database.toStdString(), host, [] { return std::string(); });
    EXPECT_EQ(next.finish().waiting, 0);
    const int after = countRows(database, "正常") + countRows(database, "超高") + countRows(database, "超低");
    EXPECT_EQ(after - before, waiting);
}

TEST_F(ReplayDatabase, RowsTheJournalCannotTakeGoToTheFileOnceAndTheOperatorIsTold) {
    test::TempDir dir;
    const QString database = QString::fromStdString(dir.file("station.db"));
    database_setup::initDatabase(database, false);
    const std::string samples = test::sourceDir() + "/tools/samples/";
    std::ostringstream trace;
    ReplayHost host(trace);
    host.runtime().load(samples + "Option.ini");
    DatabaseRecording recording(database.toStdString(), host, [] { return std::string("2026-12-09 08:00:00"); });
    {
        // A full disk: no file of this process may grow past 64 KiB, so the journal's log soon cannot.
        FileSizeLimit full(64 * 1024);
        std::ifstream script(samples + "toledo-shift.txt", std::ios::binary);
        StationScript reader(script);
        host.run(reader);
        const StationRuntime::FinishReport report = recording.finish(0);
        ASSERT_GT(report.unsavedFile, 0u);
        EXPECT_EQ(QString::fromStdString(dir.file("unsaved-records.csv")), report.unsavedPath);
    }
    // Told once, in Chinese, when the first row could not be written.
    const std::string text = trace.str();
    const std::size_t first = text.find("记录无法写入本地日志");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("记录无法写入本地日志", first + 1), std::string::npos);
    auto lines = [&] {
        std::ifstream csv(dir.file("unsaved-records.csv"));
        std::size_t count = 0;
        for (std::string line; std::getline(csv, line);)
            ++count;
        return count;
    };
    const std::size_t afterFirst = lines();
    EXPECT_GE(afterFirst, 2u);
    // A second finish appends nothing.
    EXPECT_EQ(recording.finish(0).unsavedFile, 0u);
    EXPECT_EQ(lines(), afterFirst);
}
