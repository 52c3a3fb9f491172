#pragma once

namespace kelvora {

/// `kelvora-tool db ...` (argv[0] is "db"):
///   db init [--demo] TARGET     create the tables and the administrator in a new database
///   db import-mdb FILE TARGET   create them and fill them from an Access (Jet) file
///   db verify TARGET [--from T] [--to T]
///                               check the hash chains of `audit` and `weight` (rows whose 时间 lies in
///                               [T, T]; T "YYYY-MM-DD HH:MM:SS" or a date); prints each broken link
///                               with the row's id, and 1 when any, else 0
/// TARGET is an SQLite file path or a connection string (Provider=PostgreSQL;Host=...;...).
/// Returns the exit code: 0 done (verify: every chain holds), 1 failed (message on stderr; verify: a
/// broken link), 2 usage error.
int runDbCommand(int argc, char** argv);

} // namespace kelvora
