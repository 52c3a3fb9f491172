#pragma once

#include "station/StationRuntime.h"
#include "station/TraceHost.h"

#include <functional>
#include <string>

namespace kelvora {

/// Stores a windowless station's verdicts through its runtime: each row goes to the station's journal
/// (journal.db beside an SQLite database, in the current directory for a server) and from there to the
/// database; a row the journal cannot take shows in the trace as an error, and what is left of those at
/// the end goes to unsaved-records.csv.
class DatabaseRecording {
public:
    /// Opens the database at target (a file path or a connection string) once to check it, then starts
    /// the host's recording; throws DatabaseError when it cannot. timeText gives the local time of a
    /// verdict, "YYYY-MM-DD HH:MM:SS"; iniPath (optional) names the station ([站点] 名称).
    DatabaseRecording(const std::string& target, TraceHost& host, std::function<std::string()> timeText,
                      const std::string& iniPath = {});
    DatabaseRecording(const DatabaseRecording&) = delete;
    DatabaseRecording& operator=(const DatabaseRecording&) = delete;

    /// Ends the recording: the product in progress into the journal, up to waitMs for the database to
    /// take what waits, and the rows the journal could not take into unsaved-records.csv (throws
    /// DatabaseError when that fails too, keeping them).
    StationRuntime::FinishReport finish(int waitMs = 10000);
    /// finish(), telling on standard error, after `program: `, how many rows wait in the journal for the
    /// next start and how many went to the file, or why they could not. True when every row is in the
    /// database.
    bool finishAndReport(const std::string& program, int waitMs = 10000);

private:
    TraceHost& m_host;
};

} // namespace kelvora
