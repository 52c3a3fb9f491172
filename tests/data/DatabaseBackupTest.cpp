#include "data/DatabaseBackup.h"

#include "DataTestSupport.h"
#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <set>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

// Files may grow to `bytes` at most while the object lives: a full disk for this process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails with EFBIG
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limited = m_old;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// Another station: a thread with a connection of its own that stores rows, one transaction each, with the
// weights first, first + 1, ... until stopped; it keeps the weights of the rows whose COMMIT succeeded.
class OtherStation {
public:
    OtherStation(const QString& connectionString, int first)
        : m_thread([this, connectionString, first] { run(connectionString, first); }) {}
    ~OtherStation() { stop(); }

    int stored() const { return m_stored.load(); }
    const std::vector<int>& stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_weights;
    }
    QString failure() const { return m_failure; }

private:
    void run(const QString& connectionString, int first) {
        TADOConnection connection(connectionString);
        try {
            connection.Open();
        } catch (const DatabaseError& e) {
            m_failure = e.message();
            return;
        }
        QSqlQuery insert(connection.database());
        insert.prepare(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                                      "values ('B200', ?, '正常', '李四', '2024-07-15 08:00:00')"));
        for (int weight = first; !m_stop; ++weight) {
            insert.addBindValue(weight);
            // A row that waited too long for the lock is not stored; the station keeps it for later.
            if (insert.exec()) {
                m_weights.push_back(weight);
                ++m_stored;
            }
            // A line stores a few rows a second; back to back, SQLite's lock would never come free.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<int> m_stored{0};
    std::vector<int> m_weights;
    QString m_failure;
    std::thread m_thread;
};

class DatabaseBackupTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam(), true, true);
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_station = std::make_unique<QTemporaryDir>();
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        addRecords(3);
    }

    void addRecords(int count) {
        TADOQuery query(*m_connection);
        query.SQL.Add(
            QStringLiteral("insert into weight(型号,重量,检定结果,操作员,时间) values (:m,:w,'正常','张三',:t)"));
        for (int i = 0; i < count; ++i) {
            query.Parameters.ParamByName(QStringLiteral("m")).Value = QStringLiteral("A100");
            query.Parameters.ParamByName(QStringLiteral("w")).Value = QString::number(15 + i);
            query.Parameters.ParamByName(QStringLiteral("t")).Value =
                QStringLiteral("2024-03-31 02:%1:00").arg(10 + i % 50);
            query.ExecSQL();
        }
    }

    // Many rows in one transaction: the backup then takes a while.
    void addManyRecords(int count) {
        QSqlQuery query(m_connection->database());
        ASSERT_TRUE(query.exec(QStringLiteral("BEGIN")));
        ASSERT_TRUE(query.prepare(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"时间\") "
                                                 "values ('A100', ?, '2024-07-15 07:00:00')")));
        for (int i = 0; i < count; ++i) {
            query.addBindValue(i % 100);
            ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
        }
        ASSERT_TRUE(query.exec(QStringLiteral("COMMIT")));
    }

    // The weights of the rows of `weight` that model B200.
    static std::multiset<int> otherStationsWeights(TADOConnection& connection) {
        connection.Open();
        QSqlQuery query(connection.database());
        EXPECT_TRUE(query.exec(QStringLiteral("select \"重量\" from \"weight\" where \"型号\" = 'B200'")));
        std::multiset<int> weights;
        while (query.next())
            weights.insert(query.value(0).toInt());
        return weights;
    }

    static int rows(TADOConnection& connection, const char* table) {
        TADOQuery query(connection);
        query.SQL.Add(QStringLiteral("select * from ") + QString::fromUtf8(table));
        query.Open();
        return query.RecordCount();
    }

    QString backupFolder() const { return m_station->filePath(QStringLiteral("Backup")); }
    QStringList backupFiles() const { return QDir(backupFolder()).entryList(QDir::Files | QDir::Hidden); }
    QString todaysBackup() const {
        return QDir(backupFolder()).filePath(DatabaseBackup::dailyName(QDate::currentDate()));
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<QTemporaryDir> m_station;
    std::unique_ptr<TADOConnection> m_connection;
};

TEST(DatabaseBackupNameTest, TwoDigitYearMonthAndDay) {
    EXPECT_EQ(DatabaseBackup::dailyName(QDate(2024, 7, 15)), QStringLiteral("DataBase24-07-15.mdb"));
    EXPECT_EQ(DatabaseBackup::dailyName(QDate(2009, 1, 2)), QStringLiteral("DataBase09-01-02.mdb"));
}

TEST_P(DatabaseBackupTest, InitializeBacksUpEveryTableThenClearsTheRecords) {
    test::ScopedTimeZone berlin("Europe/Berlin"); // the records lie in the spring gap
    ASSERT_TRUE(QDir(m_station->path()).mkdir(QStringLiteral("Backup")));
    const QString path = DatabaseBackup::initialize(*m_connection, m_station->path());
    EXPECT_EQ(path, todaysBackup());
    EXPECT_EQ(backupFiles(), QStringList({DatabaseBackup::dailyName(QDate::currentDate())}));
    EXPECT_EQ(rows(*m_connection, "weight"), 0);
    EXPECT_EQ(rows(*m_connection, "xh"), 5);
    EXPECT_EQ(rows(*m_connection, "users"), 1);

    TADOConnection backup(path);
    EXPECT_EQ(rows(backup, "xh"), 5);
    EXPECT_EQ(rows(backup, "users"), 1);
    TADOQuery records(backup);
    records.SQL.Add(QStringLiteral("select * from weight where 时间 between #03/31/2024 02:10:00# and #03/31/2024 "
                                   "02:12:00#"));
    records.Open();
    ASSERT_EQ(records.RecordCount(), 3);
    EXPECT_EQ(records.FieldByName(QStringLiteral("时间")).AsString(), QStringLiteral("2024-03-31 02:10:00"));
    EXPECT_EQ(records.FieldByName(QStringLiteral("重量")).AsFloat(), 15.0);
    EXPECT_EQ(records.FieldByName(QStringLiteral("操作员")).AsString(), QStringLiteral("张三"));
    TADOQuery admin(backup);
    admin.SQL.Add(QStringLiteral("select * from users where 用户名称='ADMIN' and 用户密码='123456'"));
    admin.Open();
    ASSERT_EQ(admin.RecordCount(), 1);
    EXPECT_TRUE(admin.FieldByName(QStringLiteral("初始化")).AsBoolean());
    EXPECT_FALSE(admin.FieldByName(QStringLiteral("id")).IsNull());
}

TEST_P(DatabaseBackupTest, FurtherRunsOnOneDayKeepEveryBackupUnderTheNextFreeName) {
    ASSERT_TRUE(QDir(m_station->path()).mkdir(QStringLiteral("backup"))); // found case-blind
    const QDate today = QDate::currentDate();
    const QString first = DatabaseBackup::initialize(*m_connection, m_station->path());
    EXPECT_TRUE(first.endsWith(QStringLiteral("/backup/") + DatabaseBackup::dailyName(today))) << first.toStdString();
    addRecords(2);
    const QString second = DatabaseBackup::initialize(*m_connection, m_station->path());
    EXPECT_TRUE(second.endsWith(QStringLiteral("/backup/") + DatabaseBackup::dailyName(today, 2)))
        << second.toStdString();
    // A name taken in another spelling is taken.
    QFile taken(m_station->filePath(QStringLiteral("backup/") + DatabaseBackup::dailyName(today, 3).toUpper()));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly) && taken.write("someone's file") > 0);
    taken.close();
    addRecords(1);
    const QString fourth = DatabaseBackup::initialize(*m_connection, m_station->path());
    EXPECT_TRUE(fourth.endsWith(DatabaseBackup::dailyName(today, 4))) << fourth.toStdString();

    EXPECT_EQ(QDir(m_station->filePath(QStringLiteral("backup"))).entryList(QDir::Files | QDir::Hidden).size(), 4);
    TADOConnection one(first), two(second), four(fourth);
    EXPECT_EQ(rows(one, "weight"), 3);
    EXPECT_EQ(rows(two, "weight"), 2);
    EXPECT_EQ(rows(four, "weight"), 1);
    ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
    EXPECT_EQ(taken.readAll(), QByteArray("someone's file"));
    EXPECT_EQ(rows(*m_connection, "weight"), 0);
}

TEST(DatabaseBackupNameTest, FurtherBackupsOfADayAreNumberedFromTwo) {
    EXPECT_EQ(DatabaseBackup::dailyName(QDate(2024, 7, 15), 1), QStringLiteral("DataBase24-07-15.mdb"));
    EXPECT_EQ(DatabaseBackup::dailyName(QDate(2024, 7, 15), 2), QStringLiteral("DataBase24-07-15-2.mdb"));
    EXPECT_EQ(DatabaseBackup::dailyName(QDate(2024, 7, 15), 13), QStringLiteral("DataBase24-07-15-13.mdb"));
}

// Another station stores rows while the initialization runs, again and again: each of its rows ends up
// in exactly one place, one of the backups or the database.
TEST_P(DatabaseBackupTest, RowsStoredMeanwhileAreInTheBackupOrStillInTheDatabase) {
    ASSERT_TRUE(QDir(m_station->path()).mkdir(QStringLiteral("Backup")));
    m_connection->Open();
    OtherStation other(m_database->connectionString(), 100000);
    QStringList backups;
    int during = 0;
    for (int run = 0; run < 3; ++run) {
        addManyRecords(GetParam() == Engine::Postgres ? 6000 : 40000);
        while (other.stored() < 20 * (run + 1) && other.failure().isEmpty())
            std::this_thread::yield();
        const int before = other.stored();
        backups << DatabaseBackup::initialize(*m_connection, m_station->path());
        during += other.stored() - before;
    }
    const std::vector<int> stored = other.stop();
    ASSERT_TRUE(other.failure().isEmpty()) << other.failure().toStdString();
    ASSERT_GT(stored.size(), 60u);
    if (GetParam() == Engine::Postgres) { // SQLite's writer waits for the lock instead
        EXPECT_GT(during, 0) << "no row was stored while a backup was being read";
    }

    std::multiset<int> found = otherStationsWeights(*m_connection);
    for (const QString& path : backups) {
        TADOConnection backup(path);
        found.merge(otherStationsWeights(backup));
    }
    std::vector<int> lost;
    for (int weight : stored)
        if (!found.contains(weight))
            lost.push_back(weight);
    EXPECT_TRUE(lost.empty()) << lost.size() << " of " << stored.size() << " rows lost, the first " << lost.front();
    EXPECT_EQ(found.size(), stored.size()) << "rows in two places";
}

TEST_P(DatabaseBackupTest, AConnectionCutUnderTheStationIsOpenedAgainByTheNextInitialization) {
    if (GetParam() != Engine::Postgres)
        GTEST_SKIP() << "a server's connection is what gets cut";
    ASSERT_TRUE(QDir(m_station->path()).mkdir(QStringLiteral("Backup")));
    m_connection->Open();
    QSqlQuery own(m_connection->database());
    ASSERT_TRUE(own.exec(QStringLiteral("select pg_backend_pid()")) && own.next());
    const qint64 backend = own.value(0).toLongLong();
    {
        TADOConnection other(m_database->connectionString());
        other.Open();
        QSqlQuery cut(other.database());
        ASSERT_TRUE(cut.exec(QStringLiteral("select pg_terminate_backend(%1)").arg(backend)));
    }
    // The first attempt meets the cut connection and says why; the next one opens it anew.
    try {
        DatabaseBackup::initialize(*m_connection, m_station->path());
    } catch (const std::exception& error) {
        EXPECT_GT(std::string(error.what()).size(), std::string("数据库备份失败，没有删除任何记录。\n").size())
            << error.what();
    }
    EXPECT_NO_THROW(DatabaseBackup::initialize(*m_connection, m_station->path()));
    EXPECT_EQ(rows(*m_connection, "weight"), 0);
}

TEST_P(DatabaseBackupTest, WithoutABackupFolderNothingIsDeleted) {
    try {
        DatabaseBackup::initialize(*m_connection, m_station->path());
        ADD_FAILURE() << "no backup folder, yet the initialization went on";
    } catch (const BackupError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("数据库备份失败，没有删除任何记录。"))) << e.what();
        EXPECT_TRUE(e.message().contains(QStringLiteral("does not exist"))) << e.what();
        EXPECT_TRUE(e.message().contains(backupFolder())) << e.what();
    }
    EXPECT_EQ(rows(*m_connection, "weight"), 3);
    EXPECT_EQ(QDir(m_station->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST_P(DatabaseBackupTest, AFullDiskLeavesNoPartialFileAndTheOldBackupIntact) {
    ASSERT_TRUE(QDir(m_station->path()).mkdir(QStringLiteral("Backup")));
    addRecords(500);
    QFile old(todaysBackup());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("yesterday's run") > 0);
    old.close();
    {
        FileSizeLimit disk(16 * 1024);
        EXPECT_THROW(DatabaseBackup::initialize(*m_connection, m_station->path()), BackupError);
    }
    EXPECT_EQ(rows(*m_connection, "weight"), 503);
    EXPECT_EQ(backupFiles(), QStringList({DatabaseBackup::dailyName(QDate::currentDate())}));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("yesterday's run"));

    // A target that cannot be replaced (a folder of that name) fails after the copy was written.
    const QString blocked = QDir(backupFolder()).filePath(QStringLiteral("blocked.mdb"));
    ASSERT_TRUE(QDir().mkpath(blocked + QStringLiteral("/inside")));
    EXPECT_THROW(DatabaseBackup::backupTo(*m_connection, blocked), DatabaseError);
    EXPECT_EQ(backupFiles(), QStringList({DatabaseBackup::dailyName(QDate::currentDate())}));
}

TEST_P(DatabaseBackupTest, TheCopyHoldsCommittedWorkOnly) {
    TADOConnection other(m_database->connectionString());
    other.Open();
    QSqlQuery pending(other.database());
    ASSERT_TRUE(pending.exec(QStringLiteral("BEGIN")));
    ASSERT_TRUE(pending.exec(QStringLiteral("DELETE FROM \"weight\"")));
    const QString file = m_station->filePath(QStringLiteral("copy.mdb"));
    DatabaseBackup::backupTo(*m_connection, file);
    ASSERT_TRUE(pending.exec(QStringLiteral("ROLLBACK")));
    TADOConnection backup(file);
    EXPECT_EQ(rows(backup, "weight"), 3);
}

TEST(DatabaseBackupSqliteTest, AnUnreadableSourceIsReportedAndLeavesNothing) {
    QTemporaryDir dir;
    QFile garbage(dir.filePath(QStringLiteral("database.mdb")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(8192, 'x')) > 0);
    garbage.close();
    TADOConnection connection(garbage.fileName());
    const QString target = dir.filePath(QStringLiteral("copy.mdb"));
    try {
        DatabaseBackup::backupTo(connection, target);
        ADD_FAILURE() << "a file that is no database was backed up";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("The backup '%1' was not made: ").arg(target))) << e.what();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"database.mdb"}));
}

TEST(DatabaseBackupSqliteTest, RowsStillInTheWriteAheadLogAreInTheCopyWhichStandsOnItsOwn) {
    const auto count = [](const QString& path) {
        TADOConnection connection(path);
        connection.Open();
        QSqlQuery query(connection.database());
        return query.exec(QStringLiteral("select count(*) from \"weight\"")) && query.next() ? query.value(0).toInt()
                                                                                             : -1;
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(path, false);
    TADOConnection station(path);
    station.Open();
    QSqlQuery query(station.database());
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
    EXPECT_EQ(query.value(0).toString(), QStringLiteral("wal"));
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(query.exec(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", "
                                              "\"时间\") values ('A100', %1, '正常', '张三', '2024-07-15 08:00:00')")
                                   .arg(i)));
    ASSERT_GT(QFileInfo(path + QStringLiteral("-wal")).size(), 0) << "the rows wait in the log, not yet in the file";

    const QString copy = dir.filePath(QStringLiteral("copy.mdb"));
    DatabaseBackup::backupTo(station, copy);
    EXPECT_FALSE(QFileInfo::exists(copy + QStringLiteral("-wal")));
    // Carried elsewhere as the one file it is.
    QTemporaryDir elsewhere;
    const QString moved = elsewhere.filePath(QStringLiteral("DataBase.mdb"));
    ASSERT_TRUE(QFile::copy(copy, moved));
    EXPECT_EQ(count(moved), 50);
    EXPECT_EQ(count(path), 50);
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseBackupTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
