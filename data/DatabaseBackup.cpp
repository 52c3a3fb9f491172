#include "data/DatabaseBackup.h"

#include "data/ConnectionTarget.h"
#include "data/FileSync.h"
#include "data/PostgresHandle.h"
#include "data/Schema.h"
#include "data/SqliteHandle.h"
#include "data/TADOConnection.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>

namespace kelvora {

namespace {

QString quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

void exec(QSqlQuery& query, const QString& statement) {
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text());
}

// A unique file beside the target that is removed again unless it was moved into the target's place.
class TemporaryCopy {
public:
    explicit TemporaryCopy(const QString& target) : m_target(target) {
        QTemporaryFile file(target + QStringLiteral(".XXXXXX.partial"));
        file.setAutoRemove(false);
        if (!file.open())
            throw DatabaseError(QStringLiteral("Cannot create a file in '%1': %2")
                                    .arg(QFileInfo(target).absolutePath(), file.errorString()));
        m_path = file.fileName();
    }
    ~TemporaryCopy() {
        if (m_placed)
            return;
        for (const QString& suffix :
             {QString(), QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(m_path + suffix);
    }
    TemporaryCopy(const TemporaryCopy&) = delete;
    TemporaryCopy& operator=(const TemporaryCopy&) = delete;

    const QString& path() const { return m_path; }

    void place() {
        file_sync::syncFile(m_path);
        file_sync::replaceFile(m_path, m_target);
        m_placed = true;
        file_sync::syncDirectory(QFileInfo(m_target).absolutePath());
    }

    /// Moves the copy to the first of candidate(1), candidate(2), ... that does not exist, never over an
    /// existing file (also not over one another process places meanwhile); returns that path.
    QString placeNew(const std::function<QString(int)>& candidate) {
        file_sync::syncFile(m_path);
        for (int number = 1;; ++number) {
            const QString target = candidate(number);
            if (QFileInfo::exists(target) || !moveUnlessTaken(m_path, target))
                continue;
            m_placed = true;
            file_sync::syncDirectory(QFileInfo(target).absolutePath());
            return target;
        }
    }

private:
    // False when `to` exists. A file system without the no-replace rename has the check before the call.
    static bool moveUnlessTaken(const QString& from, const QString& to) {
        const QByteArray source = QFile::encodeName(from);
        const QByteArray target = QFile::encodeName(to);
        if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EEXIST)
            return false;
        if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
            file_sync::replaceFile(from, to);
            return true;
        }
        throw DatabaseError(
            QStringLiteral("Cannot move '%1' to '%2': %3").arg(from, to, QString::fromLocal8Bit(std::strerror(errno))));
    }

    QString m_target;
    QString m_path;
    bool m_placed = false;
};

// One transaction on the connection, rolled back unless committed.
class Transaction {
public:
    Transaction(QSqlDatabase db, const QString& begin) : m_db(std::move(db)) {
        QSqlQuery query(m_db);
        exec(query, begin);
    }
    ~Transaction() {
        if (!m_committed)
            QSqlQuery(m_db).exec(QStringLiteral("ROLLBACK"));
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit() {
        QSqlQuery query(m_db);
        exec(query, QStringLiteral("COMMIT"));
        m_committed = true;
    }

private:
    QSqlDatabase m_db;
    bool m_committed = false;
};

// Copies one table, row by row, from the source query's snapshot into the SQLite copy.
void copyTable(QSqlDatabase& source, QSqlDatabase& copy, const schema::Table& table) {
    QStringList columns{QStringLiteral("id")};
    QStringList marks{QStringLiteral("?")};
    for (const schema::Column& column : table.columns) {
        columns << column.name;
        marks << QStringLiteral("?");
    }
    QStringList names;
    for (const QString& column : columns)
        names << quoted(column);
    QSqlQuery read(source);
    read.setForwardOnly(true);
    exec(read,
         QStringLiteral("select %1 from %2 order by \"id\"").arg(names.join(QStringLiteral(", ")), quoted(table.name)));
    QSqlQuery write(copy);
    if (!write.prepare(
            QStringLiteral("insert into %1 (%2) values (%3)")
                .arg(quoted(table.name), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))))
        throw DatabaseError(write.lastError().text());
    while (read.next()) {
        for (int i = 0; i < columns.size(); ++i) {
            // Times are wall-clock times: the server's text, never Qt's local-time reading of it.
            const bool time = i > 0 && table.columns[i - 1].kind == schema::ColumnKind::DateTime;
            write.bindValue(i, time ? postgres_handle::serverText(read, i) : read.value(i));
        }
        if (!write.exec())
            throw DatabaseError(write.lastError().text());
    }
    if (read.lastError().isValid())
        throw DatabaseError(read.lastError().text());
}

void fillCopy(QSqlDatabase& source, const QString& file, const QString& name) {
    QSqlDatabase copy = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    copy.setDatabaseName(file);
    if (!copy.open())
        throw DatabaseError(copy.lastError().text());
    QSqlQuery query(copy);
    // A scratch file until it is complete: no journal, and flushed once at the end. A failed write (a
    // full disk) still fails the COMMIT, which writes every page.
    exec(query, QStringLiteral("PRAGMA journal_mode=OFF"));
    exec(query, QStringLiteral("PRAGMA synchronous=OFF"));
    exec(query, QStringLiteral("BEGIN"));
    for (const QString& statement : schema::createStatements(schema::Dialect::Sqlite))
        exec(query, statement);
    for (const schema::Table& table : schema::tables())
        copyTable(source, copy, table);
    exec(query, QStringLiteral("COMMIT"));
}

void writeCopy(QSqlDatabase source, const QString& file) {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("kelvora-backup-%1").arg(++counter);
    try {
        fillCopy(source, file, name);
    } catch (...) {
        QSqlDatabase::removeDatabase(name);
        throw;
    }
    QSqlDatabase::removeDatabase(name);
}

void copyPostgres(TADOConnection& connection, const QString& file) {
    Transaction transaction(connection.database(), QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    writeCopy(connection.database(), file);
    transaction.commit();
}

// The highest row identifier of `weight` in what the open transaction sees; nullopt for no rows.
std::optional<qint64> highestRecordId(const QSqlDatabase& db) {
    QSqlQuery query(db);
    exec(query, QStringLiteral("select max(\"id\") from \"weight\""));
    if (!query.next() || query.value(0).isNull())
        return std::nullopt;
    return query.value(0).toLongLong();
}

void deleteRecordsUpTo(const QSqlDatabase& db, qint64 last) {
    QSqlQuery query(db);
    if (!query.prepare(QStringLiteral("delete from \"weight\" where \"id\" <= ?")))
        throw DatabaseError(query.lastError().text());
    query.addBindValue(last);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
}

QString notMade(const QString& target, const QString& reason) {
    return QStringLiteral("The backup '%1' was not made: %2").arg(target, reason);
}

void requireFolder(const QString& target) {
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir())
        throw DatabaseError(QStringLiteral("the folder '%1' does not exist").arg(folder));
}

} // namespace

void DatabaseBackup::backupTo(TADOConnection& connection, const QString& targetPath) {
    const QString target = QFileInfo(targetPath).absoluteFilePath();
    try {
        requireFolder(target);
        connection.Open();
        TemporaryCopy copy(target);
        if (connection.dialect() == schema::Dialect::Sqlite)
            sqlite_handle::backup(connection.database(), copy.path());
        else
            copyPostgres(connection, copy.path());
        copy.place();
    } catch (const DatabaseError& e) {
        // A connection cut under it is opened anew by the next attempt.
        connection.closeIfBroken();
        throw DatabaseError(notMade(target, e.message()));
    }
}

QString DatabaseBackup::dailyName(const QDate& date, int number) {
    const QString day = date.toString(QStringLiteral("yy-MM-dd"));
    return QStringLiteral("DataBase") + day + (number > 1 ? QStringLiteral("-%1").arg(number) : QString()) +
           QStringLiteral(".mdb");
}

QString DatabaseBackup::initialize(TADOConnection& connection, const QString& stationDir) {
    const QDate today = QDate::currentDate();
    const QString folder = QDir(stationDir).filePath(QStringLiteral("Backup"));
    const auto candidate = [&](int number) {
        return resolveCaseBlind(QDir(folder).filePath(dailyName(today, number)));
    };
    const QString first = candidate(1);
    // The rows deleted are the rows copied: the deletion runs in the transaction that saw what the copy
    // holds, so rows other connections commit meanwhile are neither lost nor deleted unseen.
    //  - SQLite: a fresh connection takes the write lock first; SQLite copies no source that is in a write
    //    transaction, so a second fresh connection copies the database, which cannot change meanwhile.
    //  - PostgreSQL: the copy and the deletion share one REPEATABLE READ snapshot.
    TADOConnection writer(connection.ConnectionString());
    TADOConnection* deleting = &connection;
    std::optional<Transaction> transaction;
    QString path;
    std::optional<qint64> last;
    try {
        requireFolder(first);
        connection.Open();
        const bool sqlite = connection.dialect() == schema::Dialect::Sqlite;
        if (sqlite)
            deleting = &writer;
        deleting->Open();
        transaction.emplace(deleting->database(), sqlite ? QStringLiteral("BEGIN IMMEDIATE")
                                                         : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ"));
        TemporaryCopy copy(first);
        if (sqlite) {
            TADOConnection reader(connection.ConnectionString());
            reader.Open();
            sqlite_handle::backup(reader.database(), copy.path());
        } else {
            writeCopy(connection.database(), copy.path());
        }
        last = highestRecordId(deleting->database());
        path = copy.placeNew(candidate);
    } catch (const DatabaseError& e) {
        transaction.reset();
        connection.closeIfBroken();
        throw BackupError(QStringLiteral("数据库备份失败，没有删除任何记录。\n") + notMade(first, e.message()));
    }
    try {
        if (last)
            deleteRecordsUpTo(deleting->database(), *last);
        transaction->commit();
    } catch (const DatabaseError& e) {
        connection.closeIfBroken();
        throw DatabaseError(
            QStringLiteral("没有删除任何记录，备份已存放在%1。\n%2").arg(QDir::toNativeSeparators(path), e.message()));
    }
    return path;
}

} // namespace kelvora
