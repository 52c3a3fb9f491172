#include "data/SqliteHandle.h"

#include "data/DatabaseError.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <sqlite3.h>
#include <thread>

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

// The time-out rides in the handler's argument; the start of the wait is kept per thread, as a wait runs on
// the thread of the statement that waits.
int waitBriefly(void* timeoutMs, int attempt) {
    using Clock = std::chrono::steady_clock;
    thread_local Clock::time_point waitingSince;
    const Clock::time_point now = Clock::now();
    if (attempt == 0)
        waitingSince = now;
    const auto limit = std::chrono::milliseconds(reinterpret_cast<std::intptr_t>(timeoutMs));
    if (now - waitingSince >= limit)
        return 0;
    std::this_thread::sleep_for(std::chrono::microseconds(std::min(100 + 50 * attempt, 1000)));
    return 1;
}

} // namespace

void setBusyWait(const QSqlDatabase& db, int timeoutMs) {
    setBusyWait(handleOf(db), timeoutMs);
}

void setBusyWait(sqlite3* handle, int timeoutMs) {
    void* timeout = reinterpret_cast<void*>(static_cast<std::intptr_t>(std::max(timeoutMs, 0)));
    if (sqlite3_busy_handler(handle, waitBriefly, timeout) != SQLITE_OK)
        throw DatabaseError(QStringLiteral("Cannot configure the SQLite connection: %1")
                                .arg(QString::fromUtf8(sqlite3_errmsg(handle))));
}

QByteArray fileName(const QSqlDatabase& db) {
    return QByteArray(sqlite3_db_filename(handleOf(db), "main"));
}

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
