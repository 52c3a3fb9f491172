#pragma once

#include "data/TADOConnection.h"
#include "weighing/ProductRecorder.h"

#include <deque>
#include <memory>

#include <QString>

namespace kelvora {

/// Stores judged products as rows of `weight` through a connection of its own to the given database.
/// Each insert is committed (SQLite: BEGIN IMMEDIATE ... COMMIT, durable with synchronous=FULL) before
/// insert() returns; a failure throws DatabaseError and leaves nothing half-written.
class WeightRecordStore : public RecordStore {
public:
    /// An empty string means the main database. The connection opens at the first insert, and again after
    /// a failure, so a database that comes back is used again.
    explicit WeightRecordStore(const QString& connectionString = {});

    void insert(const WeighingRecord& record) override;

    TADOConnection& connection() { return m_connection; }

private:
    TADOConnection m_connection;
};

/// A store on `target` (a file path or connection string; empty: the main database).
std::unique_ptr<WeightRecordStore> openRecordStore(const QString& target = {});

/// The file that keeps rows that could not be stored: "unsaved-records.csv" beside an SQLite database,
/// or in the current directory for PostgreSQL.
QString unsavedRecordsFile(const QString& target = {});

/// Appends rows to unsavedRecordsFile(target) as CSV (UTF-8; a header line when the file is new:
/// 型号,重量,检定结果,操作员,时间), flushed to disk. Nothing is written for no rows. Throws DatabaseError
/// when the file cannot be written.
void appendUnsavedRecords(const QString& target, const std::deque<WeighingRecord>& records);

} // namespace kelvora
