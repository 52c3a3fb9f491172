#pragma once

#include <QString>

namespace kelvora {

class TADOConnection;

/// Creating the station's database. The station itself never does this; `kelvora-tool db` does.
namespace database_setup {

/// PostgreSQL: the role that stations log in through. `db init` creates it (NOLOGIN) when missing and
/// grants it SELECT, INSERT, UPDATE and DELETE on the station's tables and only SELECT and INSERT on
/// `audit`, so the audit trail cannot be rewritten through a station's login. Give each station a login
/// of its own in that role, e.g. `CREATE ROLE line1 LOGIN PASSWORD '...' IN ROLE kelvora_station`, and
/// keep the owner's login for `kelvora-tool db`. A user without CREATEROLE gets the tables without it.
inline const QString kStationRole = QStringLiteral("kelvora_station");

/// Creates `XH`, `weight` (with an index on `时间`), `users` and the audit trail `audit` in `target` (a file path or a
/// connection string) and one administrator, "admin" with the initial password and every right; `demo` adds the models
/// of a prepackage line in kg (大米-5kg, 面粉-10kg, 大米-25kg, 白糖-1kg, 面粉-2.5kg), each with its lower limit at the
/// nominal less the tolerable negative error and its upper limit at the nominal plus twice that. An SQLite file is
/// created and must not exist; a PostgreSQL database must exist and hold none of the tables. All or nothing. Throws
/// DatabaseError.
void initDatabase(const QString& target, bool demo);

/// Gives a database made before them the guards of `users` (schema::userGuardStatements) and the audit
/// trail; the station calls it at start. On PostgreSQL the guards are created only when missing (which
/// needs the tables' owner). Throws DatabaseError.
void ensureGuards(TADOConnection& connection);

struct ImportCounts {
    int models = 0;
    int records = 0;
    int users = 0;
};

/// Creates the tables in `target` as initDatabase does (without the administrator) and fills them from
/// the Access file `mdbFile`: values typed by column (an empty number or date is null; text that
/// mdbtools prints empty is empty text) and bound. All or nothing. Throws DatabaseError, also for a damaged
/// file: a table whose rows read differ in number from the count the file states, or a row without 型号
/// (XH, weight), 重量, 检定结果 or 时间 (weight) or 用户名称 (users). `audit` stays empty.
ImportCounts importMdb(const QString& mdbFile, const QString& target);

} // namespace database_setup
} // namespace kelvora
