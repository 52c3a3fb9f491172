#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kelvora {

/// The few calls on the SQLite handle under an open Qt connection that Qt does not offer itself.
namespace sqlite_handle {

/// Switches off the fallback that takes a double-quoted name that names no column for a string, for
/// statements and for schema changes. Throws DatabaseError.
void disableDoubleQuotedStrings(const QSqlDatabase& db);

/// Online backup of the main database (committed work only) into the SQLite file `file`, which is
/// created or overwritten; other connections may keep using the database meanwhile. Throws DatabaseError
/// with SQLite's message.
void backup(const QSqlDatabase& db, const QString& file);

} // namespace sqlite_handle
} // namespace kelvora
