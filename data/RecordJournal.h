#pragma once

#include "weighing/ProductRecorder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <QString>

struct sqlite3;

namespace kelvora {

/// The station's local journal of verdicts: an SQLite file of its own (WAL, synchronous=FULL), so that a
/// row is on disk before the weighing goes on, whatever the station's database does. Only the station
/// appends; readers (the forwarder to the database, the live feed) open their own handle on the same file
/// and never block an append for longer than their own short commit.
///
/// Each row gets the station's next sequence number and its link in the station's chain (RecordChain over
/// the previous row's link), so the database can refuse a resend by (站点, 序号) and verify the chain.
/// Rows stay in the journal after they are stored; prune() drops old stored ones.
///
/// One handle belongs to one thread. Every failure throws DatabaseError with SQLite's message and the path.
class RecordJournal {
public:
    /// Opens path, creating the file when missing.
    explicit RecordJournal(const QString& path);
    ~RecordJournal();
    RecordJournal(const RecordJournal&) = delete;
    RecordJournal& operator=(const RecordJournal&) = delete;

    /// True while no row was ever appended: the numbering may still be chosen with begin().
    bool fresh() const;
    /// A fresh journal's first row gets firstSeq and links to previousLink (the database's last row of the
    /// station when known). Throws DatabaseError on a journal that is not fresh.
    void begin(std::int64_t firstSeq, const std::string& previousLink);

    /// Appends the row for station `station` and commits it durably; returns it with station, seq and
    /// link set. Throws DatabaseError (a full disk, a read-only file), and then nothing was appended.
    WeighingRecord append(const WeighingRecord& record, const std::string& station);

    /// Up to limit rows with a sequence number above seq, oldest first.
    std::vector<WeighingRecord> rowsAfter(std::int64_t seq, std::size_t limit) const;
    /// The highest sequence number in the journal (0 when empty and never used).
    std::int64_t lastSeq() const;
    /// How many rows have a sequence number above seq.
    std::int64_t countAfter(std::int64_t seq) const;

    /// A reader's position (what it has handled), 0 when it never set one; setCursor commits without
    /// waiting for the disk (a cursor lost in a power cut only repeats work that is safe to repeat).
    std::int64_t cursor(const std::string& consumer) const;
    void setCursor(const std::string& consumer, std::int64_t seq);

    /// Drops the rows with a sequence number up to storedUpTo whose time is before `before`
    /// ("YYYY-MM-DD HH:MM:SS"). Returns how many.
    std::int64_t prune(std::int64_t storedUpTo, const std::string& before);

    /// The first number of a journal made while the database's last number for the station is unknown:
    /// the current time in milliseconds since 1970, larger than any number an earlier journal handed out
    /// at under a thousand rows a second, so no resend is mistaken for a new row.
    static std::int64_t newJournalFirstSeq();

private:
    void exec(const char* sql) const;
    [[noreturn]] void fail(const char* what) const;

    QString m_path;
    sqlite3* m_db = nullptr;
    std::optional<std::string> m_lastLink; // cached after the first append
};

} // namespace kelvora
