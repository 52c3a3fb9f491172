#pragma once

#include "data/WeightRecordStore.h"
#include "station/TraceHost.h"
#include "weighing/ProductRecorder.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace kelvora {

/// Stores a windowless station's verdicts in a database, one row per product: the station's recorder is
/// set on the host, a failing insert shows in the trace as an error and the row waits for the next one,
/// and what is still unsaved at the end goes to unsaved-records.csv.
class DatabaseRecording {
public:
    /// Opens the database at target (a file path or a connection string); throws DatabaseError when it
    /// cannot. timeText gives the local time of a verdict, "YYYY-MM-DD HH:MM:SS".
    DatabaseRecording(const std::string& target, TraceHost& host, std::function<std::string()> timeText);
    ~DatabaseRecording();
    DatabaseRecording(const DatabaseRecording&) = delete;
    DatabaseRecording& operator=(const DatabaseRecording&) = delete;

    /// Writes the product in progress, then appends the rows that could not be stored to the CSV file
    /// (throws DatabaseError when that fails too, keeping them queued). Returns how many rows went to the
    /// file; a second call appends only what was left unsaved since.
    std::size_t finish();
    /// finish(), telling on standard error, after `program: `, how many rows went to the file or why they
    /// could not. True when every row is in the database.
    bool finishAndReport(const std::string& program);

private:
    QString m_target;
    TraceHost& m_host;
    std::unique_ptr<WeightRecordStore> m_store;
    std::unique_ptr<ProductRecorder> m_recorder;
};

} // namespace kelvora
