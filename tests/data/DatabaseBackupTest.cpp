#include "data/DatabaseBackup.h"

#include "DataTestSupport.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <csignal>
#include <memory>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
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

TEST_P(DatabaseBackupTest, ASecondRunOnOneDayReplacesThatDaysFile) {
    ASSERT_TRUE(QDir(m_station->path()).mkdir(QStringLiteral("backup"))); // found case-blind
    const QString first = DatabaseBackup::initialize(*m_connection, m_station->path());
    addRecords(2);
    const QString second = DatabaseBackup::initialize(*m_connection, m_station->path());
    EXPECT_EQ(first, second);
    EXPECT_TRUE(second.contains(QStringLiteral("/backup/DataBase")));
    EXPECT_EQ(QDir(m_station->filePath(QStringLiteral("backup"))).entryList(QDir::Files | QDir::Hidden).size(), 1);
    TADOConnection backup(second);
    EXPECT_EQ(rows(backup, "weight"), 2);
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

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseBackupTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

} // namespace
} // namespace kelvora
