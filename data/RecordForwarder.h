#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <QString>

class QSqlQuery;

namespace kelvora {

class RecordJournal;
struct WeighingRecord;
class TADOConnection;

/// Stores the journal's rows in the station's database, oldest first, in batches of up to kBatch rows,
/// on a thread of its own, so that nothing the database does (refused, frozen, silent, locked) ever holds
/// up the weighing. Each row is stored exactly once: the database's table `weight` has a unique key on
/// (站点, 序号), the forwarder asks it for the station's last stored number whenever it (re)connects and
/// sends only what follows, and a resend of a row already there is ignored.
///
/// A failed connection or batch closes the connection and tries again after 1, 2, 4 ... up to 10 s. A
/// number the database holds with another link than the journal's row is another station's of the same
/// name: nothing more is stored (nameClash) rather than rows skipped or dropped.
class RecordForwarder {
public:
    static constexpr std::size_t kBatch = 500;
    /// After a batch smaller than kBatch the next one starts this long after it at the earliest.
    static constexpr std::chrono::milliseconds kGathering{10};
    /// A batch or connection attempt running this long counts as a database away.
    static constexpr std::chrono::seconds kStallLimit{5};

    struct Status {
        bool online = true;         ///< the last attempt succeeded and none has stalled since
        std::int64_t pending = 0;   ///< rows in the journal not yet stored
        std::int64_t offlineMs = 0; ///< how long the database has been away (0 when online)
        std::string lastError;      ///< why, when it is away
        /// Another station stores rows under this station's name: its rows wait in the journal, refused.
        bool nameClash = false;
    };

    /// journalPath: the station's journal; target: the database (a file path or a connection string);
    /// station: this station's name (its rows' 站点). Starts the thread.
    RecordForwarder(const QString& journalPath, const QString& target, const std::string& station);
    /// Stops the thread; rows not yet stored stay in the journal for the next start.
    ~RecordForwarder();
    RecordForwarder(const RecordForwarder&) = delete;
    RecordForwarder& operator=(const RecordForwarder&) = delete;

    /// A row with number seq was appended: store it soon.
    void appended(std::int64_t seq);
    Status status() const;
    /// Waits at most timeout until every row appended so far is stored; true when they are.
    bool waitStored(std::chrono::milliseconds timeout);

    /// Adds the columns a verdict's row carries beyond the original five (站点, 序号, 标准值, 上限值, 下限值,
    /// 批号, 链) to table `weight` when missing, and the unique key on (站点, 序号). Throws DatabaseError.
    static void ensureRecordColumns(TADOConnection& connection);
    /// The station's last stored number and its chain link (0 and "" for none). Throws DatabaseError.
    static std::pair<std::int64_t, std::string> lastStored(TADOConnection& connection, const std::string& station);

private:
    using Clock = std::chrono::steady_clock;
    void run();
    void connect(TADOConnection& connection, const RecordJournal& journal);
    /// At a (re)connection: the database's last number `last` for this station is one of this journal's
    /// rows, or throws DatabaseError (nameClash) when another station's row holds it.
    void checkNumbering(TADOConnection& connection, const RecordJournal& journal, std::int64_t last);
    /// Returns how many rows it stored.
    std::size_t storeBatch(TADOConnection& connection, RecordJournal& journal);
    void failed(const std::string& why);
    /// The row the unique key refused: a resend of this station's own (same link), or throws DatabaseError
    /// for another station's of the same name.
    void checkRefused(QSqlQuery& query, const WeighingRecord& row);
    void sleepFor(std::chrono::milliseconds delay);

    const QString m_journalPath;
    const QString m_target;
    const std::string m_station;

    mutable std::mutex m_mutex;
    std::condition_variable m_wakeUp;
    std::condition_variable m_storedChanged;
    bool m_stop = false;
    std::int64_t m_appended = 0;  // the highest number appended
    std::int64_t m_stored = -1;   // the highest number the database holds (-1: unknown)
    bool m_connectedOnce = false; // the first connection is made at once, rows or not
    // The number before the journal's first row (none while it is empty).
    std::optional<std::int64_t> m_floor;
    bool m_failing = false;
    Clock::time_point m_busySince{}; // an attempt in progress since (epoch: none)
    Clock::time_point m_awaySince{}; // the first failure or stall of the current outage
    std::string m_lastError;
    bool m_nameClash = false;
    std::thread m_thread;
};

} // namespace kelvora
