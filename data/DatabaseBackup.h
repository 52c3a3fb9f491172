#pragma once

#include "data/DatabaseError.h"

#include <QDate>
#include <QString>

namespace kelvora {

class TADOConnection;

/// The initialization's failure before anything was deleted: the backup could not be made. Its message is
/// the whole text for the operator's notice box (what failed, and that no record was deleted).
class BackupError : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

/// Dated backups of the station's database and the initialization that starts a fresh record period.
class DatabaseBackup {
public:
    /// A consistent online copy of the connection's database as an SQLite file at `targetPath` (opened
    /// first when closed; other connections may go on working meanwhile):
    ///  - SQLite: SQLite's online backup of the committed database;
    ///  - PostgreSQL: the tables XH, weight and users (their row identifiers included) as they stood,
    ///    read in one REPEATABLE READ READ ONLY transaction.
    /// The copy is written to a temporary file in the target's folder, flushed to disk, then renamed over
    /// `targetPath` (an existing file is replaced) and the folder flushed. On any failure (missing folder,
    /// full disk, unreadable source) it throws DatabaseError naming what failed; the temporary file is
    /// removed and `targetPath` is left as it was.
    static void backupTo(TADOConnection& connection, const QString& targetPath);

    /// The name of a day's backup: "DataBase<yy-MM-dd>.mdb" for the first (2024-07-15 gives
    /// "DataBase24-07-15.mdb"), "DataBase24-07-15-2.mdb", "-3", ... for the further ones.
    static QString dailyName(const QDate& date, int number = 1);

    /// The initialization: backs the connection's database up into a new file in `stationDir`/Backup/ (the
    /// folder is not created; names are matched case-blind, as on the station's original platform), then
    /// deletes from `weight` the rows that backup holds, in the transaction the backup was read in:
    ///  - SQLite: BEGIN IMMEDIATE first; other connections' writes wait for the COMMIT;
    ///  - PostgreSQL: one REPEATABLE READ transaction; the deletion sees the backup's snapshot, so rows
    ///    other stations commit while the backup is taken stay in the database.
    /// The file is dailyName(today), or the first free further name of the day: an existing backup is
    /// never replaced. Returns the backup's full path for the success message. Throws BackupError when
    /// the backup is not made (nothing is then deleted), and DatabaseError naming the backup and with the
    /// engine's message when the deletion fails (the backup is then in place and nothing was deleted).
    static QString initialize(TADOConnection& connection, const QString& stationDir);
};

} // namespace kelvora
