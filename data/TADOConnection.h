#pragma once

#include "data/ConnectionTarget.h"
#include "data/Schema.h"

#include <QSqlDatabase>
#include <QString>

namespace kelvora {

/// A connection to the station's database (`ADO1`). SQLite files are opened in WAL mode with
/// synchronous=FULL, a busy time-out (waited in short steps: sqlite_handle::setBusyWait), a page cache of
/// kSqliteCacheKiB and without the double-quoted-literal fallback; a missing file is an error and is never created.
/// PostgreSQL targets use the QPSQL driver.
///
/// All calls belong to the thread that created the connection.
class TADOConnection {
public:
    static constexpr int kSqliteCacheKiB = 512;

    /// A closed connection; an empty string means the process's main database (see mainDatabase()).
    explicit TADOConnection(const QString& connectionString = {});
    ~TADOConnection();
    TADOConnection(const TADOConnection&) = delete;
    TADOConnection& operator=(const TADOConnection&) = delete;

    /// Opens the database; does nothing when open. Throws DatabaseError with the engine's message.
    void Open();
    /// Closes the connection and releases the file; does nothing when closed.
    void Close();
    bool Connected() const { return m_open; }
    void setConnected(bool connected) { connected ? Open() : Close(); }

    QString ConnectionString() const { return m_connectionString; }
    /// Throws DatabaseError while the connection is open.
    void setConnectionString(const QString& connectionString);

    /// Where the connection string points; throws DatabaseError for a malformed string.
    ConnectionTarget target() const { return parseConnectionTarget(effectiveConnectionString()); }
    schema::Dialect dialect() const;
    /// The open Qt connection; throws DatabaseError when closed.
    QSqlDatabase database() const;

    /// After a failed statement: closes the connection when it no longer answers (a restarted server, a
    /// dropped network), so that the next statement opens it anew.
    void closeIfBroken();

private:
    QString effectiveConnectionString() const;
    void openSqlite(const ConnectionTarget& target);
    void openPostgres(const ConnectionTarget& target);

    QString m_connectionString;
    QString m_name;
    schema::Dialect m_dialect = schema::Dialect::Sqlite;
    bool m_open = false;
};

} // namespace kelvora
