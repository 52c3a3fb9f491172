#pragma once

#include <optional>

#include <QString>

namespace kelvora {

/// Where a connection goes: an SQLite file or a PostgreSQL database.
struct ConnectionTarget {
    enum class Engine { Sqlite, Postgres };

    Engine engine = Engine::Sqlite;
    QString filePath; ///< SQLite: absolute path of the file
    QString host;     ///< PostgreSQL: host name, or the directory of the server's Unix socket
    int port = 5432;
    QString database;
    QString user;
    QString password;
    int busyTimeoutMs = 5000; ///< how long a statement waits for another connection's lock

    /// A short description for messages (never holds the password).
    QString describe() const;
    /// The directory for files kept beside the database: the SQLite file's folder, otherwise the current
    /// directory.
    QString companionDirectory() const;
};

/// Reads a target. Accepted forms:
///  - a connection string of `Key=Value;` pairs (keys case-blind, a value may be double-quoted):
///    `Provider=PostgreSQL;Host=...;Port=...;Database=...;User ID=...;Password=...`, or for SQLite
///    `Data Source=FILE;` (any other provider, the Jet one included, means an SQLite file);
///    an optional `Busy Timeout=MS`;
///  - anything without '=' is a file path.
/// Relative file paths are made absolute against the current directory and resolved case-blind
/// (see resolveCaseBlind). Throws DatabaseError for a malformed string or a PostgreSQL string without a
/// database.
ConnectionTarget parseConnectionTarget(const QString& text);

/// The path with each component that does not exist as written replaced by the single entry of its
/// folder that matches it case-blind ("database.mdb" finds "DataBase.mdb"). Components that match
/// nothing are kept as written. The result is absolute.
QString resolveCaseBlind(const QString& path);

/// The main connection's connection string from Option.ini's `数据库`/`连接` value: that value when given
/// and not blank, otherwise the file "database.mdb" in the current directory. A file is resolved to its
/// absolute, case-blind matched path now, so a later change of directory cannot switch files. Throws
/// DatabaseError for a malformed value.
QString mainConnectionString(const std::optional<QString>& configured);

/// The process-wide main connection string. Every connection that is not told otherwise (the record
/// query window's, the initialization's backup) uses it, so they all work on one database.
/// Until it is set, it is mainConnectionString(std::nullopt) taken at the first call.
QString mainDatabase();
void setMainDatabase(const QString& connectionString);

} // namespace kelvora
