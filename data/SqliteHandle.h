#pragma once

#include <QSqlDatabase>
#include <QString>

struct sqlite3;

namespace kelvora {

/// The few calls on the SQLite handle under an open Qt connection that Qt does not offer itself.
namespace sqlite_handle {

/// Switches off the fallback that takes a double-quoted name that names no column for a string, for
/// statements and for schema changes. Throws DatabaseError.
void disableDoubleQuotedStrings(const QSqlDatabase& db);

/// Waits for another connection's lock in short steps (0.1 ms, growing to 1 ms) for up to `timeoutMs`,
/// in place of SQLite's own wait (1, 2, 5 … 100 ms): with two writers (the forwarder and the audit trail,
/// or two programs) taking turns in commits of a fraction of a millisecond, the one that waited would
/// otherwise sleep through many of the other's commits and fall behind. Throws DatabaseError.
void setBusyWait(const QSqlDatabase& db, int timeoutMs);
/// The same on a handle of SQLite's own (the journal's).
void setBusyWait(sqlite3* handle, int timeoutMs);

/// The file of the main database, as SQLite names it. Throws DatabaseError.
QByteArray fileName(const QSqlDatabase& db);

/// Online backup of the main database (committed work only) into the SQLite file `file`, which is
/// created or overwritten; other connections may keep using the database meanwhile. Throws DatabaseError
/// with SQLite's message.
void backup(const QSqlDatabase& db, const QString& file);

} // namespace sqlite_handle
} // namespace kelvora
