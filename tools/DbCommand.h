#pragma once

namespace kelvora {

/// `kelvora-tool db ...` (argv[0] is "db"):
///   db init [--demo] TARGET     create the tables and the administrator in a new database
///   db import-mdb FILE TARGET   create them and fill them from an Access (Jet) file
/// TARGET is an SQLite file path or a connection string (Provider=PostgreSQL;Host=...;...).
/// Returns the exit code: 0 done, 1 failed (message on stderr), 2 usage error.
int runDbCommand(int argc, char** argv);

} // namespace kelvora
