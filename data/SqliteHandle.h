#pragma once

#include <QSqlDatabase>
#include <QString>

namespace kelvora {

/// The few calls on the SQLite handle under an open Qt connection that Qt does not offer itself.
namespace sqlite_handle {

/// Switches off the fallback that takes a double-quoted name that names no column for a string, for
/// statements and for schema changes. Throws DatabaseError.
void disableDoubleQuotedStrings(const QSqlDatabase& db);

/// Online backup of the main database into `file` (written to a temporary file, flushed, then renamed
/// over `file`). Throws DatabaseError.
void backup(const QSqlDatabase& db, const QString& file);

} // namespace sqlite_handle
} // namespace kelvora
