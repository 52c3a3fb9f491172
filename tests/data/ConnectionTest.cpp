#include "DataTestSupport.h"
#include "data/ConnectionTarget.h"
#include "data/DatabaseBackup.h"
#include "data/DatabaseError.h"
#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

int countModels(TADOConnection& connection) {
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("Select  *  From  XH"));
    query.Open();
    return query.RecordCount();
}

// Runs the body with the current directory switched, and switches back.
template <typename F> void inDirectory(const QString& dir, F&& body) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir));
    body();
    QDir::setCurrent(previous);
}

TEST(ConnectionTest, AMissingFileIsAnErrorAndIsNeverCreated) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database.mdb"));
    TADOConnection connection(QStringLiteral("Data Source=%1;").arg(path));
    try {
        connection.Open();
        ADD_FAILURE() << "opened a missing file";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Could not find file '%1'.").arg(path));
    }
    EXPECT_FALSE(connection.Connected());
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("Select  *  From  XH"));
    EXPECT_THROW(query.Open(), DatabaseError);
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(ConnectionTest, AFileThatIsNoDatabaseIsRefused) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database.mdb"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    TADOConnection connection(QStringLiteral("Data Source=%1;").arg(path));
    EXPECT_THROW(countModels(connection), DatabaseError);
}

TEST(ConnectionTest, FileNamesResolveCaseBlindAndOnceForEveryConnection) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Line")));
    const QString real = dir.filePath(QStringLiteral("Line/DataBase.mdb"));
    database_setup::initDatabase(real, true);
    EXPECT_EQ(resolveCaseBlind(dir.filePath(QStringLiteral("line/database.mdb"))), real);
    EXPECT_EQ(resolveCaseBlind(dir.filePath(QStringLiteral("line/other.mdb"))),
              dir.filePath(QStringLiteral("Line/other.mdb")));

    QString main;
    inDirectory(dir.filePath(QStringLiteral("Line")), [&] { main = mainConnectionString(std::nullopt); });
    EXPECT_EQ(parseConnectionTarget(main).filePath, real);
    setMainDatabase(main);
    // Another directory later changes nothing: the query window's and the backup's connections follow the
    // main one.
    inDirectory(QDir::tempPath(), [&] {
        TADOConnection queryWindow;
        EXPECT_EQ(countModels(queryWindow), 5);
        DatabaseBackup::backupTo(queryWindow, dir.filePath(QStringLiteral("backup.mdb")));
    });
    TADOConnection backup(dir.filePath(QStringLiteral("backup.mdb")));
    EXPECT_EQ(countModels(backup), 5);

    const QString pg =
        QStringLiteral("Provider=PostgreSQL;Host=db1;Port=5433;Database=line;User ID=st;Password=\"a;b\"");
    EXPECT_EQ(mainConnectionString(QStringLiteral("  ") + pg), pg);
    EXPECT_EQ(mainConnectionString(QStringLiteral("  ")).left(12), QStringLiteral("Data Source="));
    inDirectory(dir.path(), [&] {
        const QString configured =
            mainConnectionString(QStringLiteral("Data Source=line/DATABASE.mdb;Busy Timeout=50"));
        EXPECT_EQ(parseConnectionTarget(configured).filePath, real);
        EXPECT_EQ(parseConnectionTarget(configured).busyTimeoutMs, 50);
    });
    EXPECT_THROW(mainConnectionString(QStringLiteral("Provider=PostgreSQL;Host=x")), DatabaseError);
}

TEST(ConnectionTest, ReadsConnectionStrings) {
    const ConnectionTarget pg = parseConnectionTarget(QStringLiteral(
        "provider=PostgreSQL; Host=db1 ;Port=5433;Database=线体;User ID=st;Password=\"a;b\";Busy Timeout=250"));
    EXPECT_EQ(pg.engine, ConnectionTarget::Engine::Postgres);
    EXPECT_EQ(pg.host, QStringLiteral("db1"));
    EXPECT_EQ(pg.port, 5433);
    EXPECT_EQ(pg.database, QStringLiteral("线体"));
    EXPECT_EQ(pg.user, QStringLiteral("st"));
    EXPECT_EQ(pg.password, QStringLiteral("a;b"));
    EXPECT_EQ(pg.busyTimeoutMs, 250);
    EXPECT_FALSE(pg.describe().contains(QStringLiteral("a;b")));

    const ConnectionTarget jet = parseConnectionTarget(QStringLiteral(
        "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=/x/database.mdb;Mode=Share Deny None;"
        "Extended Properties=\"\";Jet OLEDB:Engine Type=5"));
    EXPECT_EQ(jet.engine, ConnectionTarget::Engine::Sqlite);
    EXPECT_EQ(jet.filePath, QStringLiteral("/x/database.mdb"));

    for (const char* bad : {"Provider=PostgreSQL;Host=x", "Mode=Share Deny None",
                            "Provider=PostgreSQL;Database=x;Port=abc", "Data Source=\"/x", ""}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(parseConnectionTarget(QString::fromUtf8(bad)), DatabaseError);
    }
}

TEST(ConnectionTest, SqliteRunsDurableAndStrict) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(path, false);
    TADOConnection connection(path);
    connection.Open();
    QSqlQuery query(connection.database());
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA journal_mode")) && query.next());
    EXPECT_EQ(query.value(0).toString(), QStringLiteral("wal"));
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA synchronous")) && query.next());
    EXPECT_EQ(query.value(0).toInt(), 2); // FULL
    ASSERT_TRUE(query.exec(QStringLiteral("PRAGMA cache_size")) && query.next());
    EXPECT_EQ(query.value(0).toInt(), -TADOConnection::kSqliteCacheKiB); // bounded, whatever the file grows to
    // A double-quoted word that names no column is an error, never a string.
    EXPECT_FALSE(query.exec(QStringLiteral("select * from \"XH\" where \"型号\" = \"A100\"")));
    EXPECT_THROW(connection.setConnectionString(path), DatabaseError);
}

TEST(ConnectionTest, ALockedFileFailsWithTheEnginesMessage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(path, true);
    {
        QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
        holder.setDatabaseName(path);
        ASSERT_TRUE(holder.open());
        QSqlQuery lock(holder);
        ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN EXCLUSIVE")));

        TADOConnection connection(QStringLiteral("Data Source=%1;Busy Timeout=100").arg(path));
        TADOQuery query(connection);
        query.SQL.Add(QStringLiteral("Delete  From  XH  Where  型号=\"大米-5kg\""));
        try {
            query.ExecSQL();
            ADD_FAILURE() << "wrote into a locked database";
        } catch (const DatabaseError& e) {
            EXPECT_TRUE(e.message().contains(QStringLiteral("locked"))) << e.what();
        }
        ASSERT_TRUE(lock.exec(QStringLiteral("ROLLBACK")));
        query.ExecSQL(); // the lock is gone: the same connection works again
        EXPECT_EQ(countModels(connection), 4);
        holder.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
}

} // namespace
} // namespace kelvora
