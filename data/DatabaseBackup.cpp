#include "data/DatabaseBackup.h"

#include "data/ConnectionTarget.h"
#include "data/FileSync.h"
#include "data/PostgresHandle.h"
#include "data/Schema.h"
#include "data/SqliteHandle.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <atomic>

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

private:
    QString m_target;
    QString m_path;
    bool m_placed = false;
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

void writeCopy(QSqlDatabase& source, const QString& file) {
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
    QSqlDatabase source = connection.database();
    QSqlQuery transaction(source);
    exec(transaction, QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    try {
        writeCopy(source, file);
    } catch (...) {
        QSqlQuery(source).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
    exec(transaction, QStringLiteral("COMMIT"));
}

} // namespace

void DatabaseBackup::backupTo(TADOConnection& connection, const QString& targetPath) {
    const QString target = QFileInfo(targetPath).absoluteFilePath();
    try {
        const QString folder = QFileInfo(target).absolutePath();
        if (!QFileInfo(folder).isDir())
            throw DatabaseError(QStringLiteral("the folder '%1' does not exist").arg(folder));
        connection.Open();
        TemporaryCopy copy(target);
        if (connection.dialect() == schema::Dialect::Sqlite)
            sqlite_handle::backup(connection.database(), copy.path());
        else
            copyPostgres(connection, copy.path());
        copy.place();
    } catch (const DatabaseError& e) {
        throw DatabaseError(QStringLiteral("The backup '%1' was not made: %2").arg(target, e.message()));
    }
}

QString DatabaseBackup::dailyName(const QDate& date) {
    return QStringLiteral("DataBase") + date.toString(QStringLiteral("yy-MM-dd")) + QStringLiteral(".mdb");
}

QString DatabaseBackup::initialize(TADOConnection& connection, const QString& stationDir) {
    const QString path =
        resolveCaseBlind(QDir(stationDir).filePath(QStringLiteral("Backup/") + dailyName(QDate::currentDate())));
    try {
        backupTo(connection, path);
    } catch (const DatabaseError& e) {
        throw BackupError(QStringLiteral("数据库备份失败，没有删除任何记录。\n") + e.message());
    }
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("Delete  *  From  Weight"));
    query.ExecSQL();
    return path;
}

} // namespace kelvora
