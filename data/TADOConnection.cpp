#include "data/TADOConnection.h"

#include "data/DatabaseError.h"
#include "data/SqliteHandle.h"

#include <atomic>

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace kelvora {

namespace {

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("kelvora-%1").arg(++counter);
}

void execOrThrow(QSqlDatabase& db, const QString& statement) {
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text());
}

} // namespace

TADOConnection::TADOConnection(const QString& connectionString)
    : m_connectionString(connectionString), m_name(nextConnectionName()) {}

TADOConnection::~TADOConnection() {
    Close();
}

QString TADOConnection::effectiveConnectionString() const {
    return m_connectionString.trimmed().isEmpty() ? mainDatabase() : m_connectionString;
}

void TADOConnection::setConnectionString(const QString& connectionString) {
    if (m_open)
        throw DatabaseError(QStringLiteral("Operation is not allowed when the object is open."));
    m_connectionString = connectionString;
}

schema::Dialect TADOConnection::dialect() const {
    return m_open ? m_dialect
                  : (target().engine == ConnectionTarget::Engine::Postgres ? schema::Dialect::Postgres
                                                                           : schema::Dialect::Sqlite);
}

QSqlDatabase TADOConnection::database() const {
    if (!m_open)
        throw DatabaseError(QStringLiteral("Operation is not allowed when the object is closed."));
    return QSqlDatabase::database(m_name, false);
}

void TADOConnection::Open() {
    if (m_open)
        return;
    const ConnectionTarget where = target();
    try {
        if (where.engine == ConnectionTarget::Engine::Postgres)
            openPostgres(where);
        else
            openSqlite(where);
    } catch (...) {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
        throw;
    }
    m_open = true;
}

void TADOConnection::openSqlite(const ConnectionTarget& where) {
    m_dialect = schema::Dialect::Sqlite;
    // Checked here, and mode=rw below: a connection must never create an empty database in its place.
    if (!QFileInfo(where.filePath).isFile())
        throw DatabaseError(QStringLiteral("Could not find file '%1'.").arg(where.filePath));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(where.busyTimeoutMs));
    db.setDatabaseName(QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(where.filePath, "/")) +
                       QStringLiteral("?mode=rw"));
    if (!db.open())
        throw DatabaseError(QStringLiteral("Cannot open '%1': %2").arg(where.filePath, db.lastError().text()));
    try {
        sqlite_handle::disableDoubleQuotedStrings(db);
        sqlite_handle::setBusyWait(db, where.busyTimeoutMs);
        execOrThrow(db, QStringLiteral("PRAGMA journal_mode=WAL"));
        execOrThrow(db, QStringLiteral("PRAGMA synchronous=FULL"));
        execOrThrow(db, QStringLiteral("PRAGMA foreign_keys=ON"));
        // The page cache fills as the database grows; a station runs for weeks, so it stays small and the
        // operating system's file cache does the rest.
        execOrThrow(db, QStringLiteral("PRAGMA cache_size=-%1").arg(kSqliteCacheKiB));
    } catch (const DatabaseError& e) {
        throw DatabaseError(QStringLiteral("Cannot open '%1': %2").arg(where.filePath, e.message()));
    }
}

void TADOConnection::openPostgres(const ConnectionTarget& where) {
    m_dialect = schema::Dialect::Postgres;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    if (!db.isValid())
        throw DatabaseError(QStringLiteral("The PostgreSQL driver is not installed"));
    db.setHostName(where.host);
    db.setPort(where.port);
    db.setDatabaseName(where.database);
    db.setUserName(where.user);
    db.setPassword(where.password);
    // Keep-alives and a send time-out: a server host that stops answering ends the connection in seconds
    // instead of leaving a statement waiting for ever.
    db.setConnectOptions(QStringLiteral("connect_timeout=10;keepalives=1;keepalives_idle=5;keepalives_interval=2;"
                                        "keepalives_count=3;tcp_user_timeout=10000"));
    if (!db.open())
        throw DatabaseError(QStringLiteral("Cannot open %1: %2").arg(where.describe(), db.lastError().text()));
    execOrThrow(db, QStringLiteral("SET lock_timeout = %1").arg(where.busyTimeoutMs));
}

void TADOConnection::Close() {
    if (!m_open)
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_open = false;
}

void TADOConnection::closeIfBroken() {
    if (!m_open)
        return;
    bool answers = false;
    {
        QSqlQuery probe(database());
        answers = probe.exec(QStringLiteral("select 1"));
    }
    if (!answers)
        Close();
}

} // namespace kelvora
