#pragma once

namespace kelvora {

/// `kelvora-tool station init DIR [--demo] [--port PATH]` (argv[0] is "station"): prepares a station folder.
/// DIR (created when missing, parents included) receives
///   database.mdb  the tables of `db init` with the administrator ("admin", the initial password); --demo adds
///                 the demo models
///   Option.ini    UTF-8, StationConfig::newStationProfile: the defaults, `ComName` set to PATH when given
///   Backup/       empty, for the initialization's backups
///   帮助文件.pdf   the operator's manual, copied from ../share/kelvora/ beside the running executable
/// A folder that already holds a database.mdb or an Option.ini (in any letter case) is refused, and so is a
/// run whose manual cannot be found: both before anything is written. A failure half-way removes what the
/// command had made. Returns 0 done, 1 refused or failed (message on stderr), 2 usage error.
int runStationCommand(int argc, char** argv);

} // namespace kelvora
