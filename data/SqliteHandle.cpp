#include "data/SqliteHandle.h"

#include "data/DatabaseError.h"

#include <sqlite3.h>

#include <QFile>
#include <QSqlDriver>
#include <QVariant>

namespace kelvora::sqlite_handle {

namespace {

sqlite3* handleOf(const QSqlDatabase& db) {
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw DatabaseError(QStringLiteral("The connection is not an open SQLite connection"));
    sqlite3* h = *static_cast<sqlite3* const*>(handle.constData());
    if (!h)
        throw DatabaseError(QStringLiteral("The connection is not an open SQLite connection"));
    return h;
}

} // namespace

void disableDoubleQuotedStrings(const QSqlDatabase& db) {
    sqlite3* h = handleOf(db);
    if (sqlite3_db_config(h, SQLITE_DBCONFIG_DQS_DML, 0, static_cast<int*>(nullptr)) != SQLITE_OK ||
        sqlite3_db_config(h, SQLITE_DBCONFIG_DQS_DDL, 0, static_cast<int*>(nullptr)) != SQLITE_OK)
        throw DatabaseError(
            QStringLiteral("Cannot configure the SQLite connection: %1").arg(QString::fromUtf8(sqlite3_errmsg(h))));
}

void backup(const QSqlDatabase& db, const QString& file) {
    sqlite3* source = handleOf(db);
    sqlite3* target = nullptr;
    const QByteArray name = QFile::encodeName(file);
    if (sqlite3_open_v2(name.constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString message = target ? QString::fromUtf8(sqlite3_errmsg(target)) : QStringLiteral("out of memory");
        sqlite3_close(target);
        throw DatabaseError(QStringLiteral("Cannot create '%1': %2").arg(file, message));
    }
    // All pages in one step: the copy is one consistent snapshot of the committed database.
    sqlite3_backup* job = sqlite3_backup_init(target, "main", source, "main");
    int rc = SQLITE_ERROR;
    if (job) {
        rc = sqlite3_backup_step(job, -1);
        sqlite3_backup_finish(job);
    }
    // A failed step leaves its message on the destination connection.
    const QString message = QString::fromUtf8(sqlite3_errmsg(target));
    const bool closed = sqlite3_close(target) == SQLITE_OK;
    if (rc != SQLITE_DONE)
        throw DatabaseError(QStringLiteral("Cannot write '%1': %2").arg(file, message));
    if (!closed)
        throw DatabaseError(QStringLiteral("Cannot close '%1'").arg(file));
}

} // namespace kelvora::sqlite_handle
