#pragma once

#include "app/config/StationConfig.h"
#include "data/JournalBacklog.h" // journalFileFor(): where a station's journal lives
#include "weighing/ProductRecorder.h"
#include "weighing/StationHost.h"
#include "weighing/WeighingCore.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <QString>

namespace kelvora {

class RecordForwarder;
class RecordJournal;
class TComm;

/// Where a station's records stand: the database reachable or not, and how many rows wait.
struct RecordingStatus {
    bool recording = false;     ///< startRecording() succeeded
    bool online = true;         ///< the database took the last batch and has not stalled since
    std::int64_t waiting = 0;   ///< rows in the journal not yet in the database
    std::int64_t offlineMs = 0; ///< how long the database has been away
    std::string reason;         ///< why the database is away
    bool nameClash = false;     ///< another station stores rows under this one's name

    /// "数据库离线，N 条待上传" while the database is away ("站点名称重复，N 条待上传" while another station
    /// uses this one's name), otherwise empty.
    std::string offlineText() const;
};

/// The station without its window: the weighing core, the load of Option.ini into it, the port's
/// configuration, the recorder of verdicts, the station's local journal and the forwarder that takes the
/// journal's rows to the database. The station window, `kelvora-tool monitor` and `replay` each drive
/// one through their StationHost: they pass on the operator's commands and the port's data to core() and
/// show what the host is told.
///
/// Every verdict's row is appended to the journal on the weighing path (well under a millisecond) and
/// nothing else of the database runs there: the forwarder stores the rows on a thread of its own, so a
/// database that is refused, frozen, silent or locked never delays a verdict, a lamp or a frame.
class StationRuntime {
public:
    explicit StationRuntime(StationHost& host);
    ~StationRuntime();
    StationRuntime(const StationRuntime&) = delete;
    StationRuntime& operator=(const StationRuntime&) = delete;

    WeighingCore& core() { return m_core; }
    const WeighingCore& core() const { return m_core; }

    /// The window's creation without the window: the core's initial state, then Option.ini at iniPath
    /// (a missing file gives the defaults) into the state, the batch fields, the timers and the status
    /// text. Returns (and keeps) the settings for the port.
    const StationSettings& load(const std::string& iniPath);
    const StationSettings& settings() const { return m_settings; }
    /// Gives comm Comm1's design-time values and the loaded port settings, the port name replaced by
    /// portName.
    void configurePort(TComm& comm, const std::string& portName) const;

    struct RecordingOptions {
        QString target;                        ///< the database; empty: the process's main database
        QString journalPath;                   ///< empty: journal.db beside the database (its folder)
        std::string station;                   ///< the rows' 站点; empty: [站点] 名称 or the host name
        std::string iniPath;                   ///< for [站点] 名称
        std::function<std::string()> timeText; ///< a verdict's local time, "YYYY-MM-DD HH:MM:SS"
        std::function<void(const std::string&)> reportError; ///< shows an error to the operator
    };
    /// Opens the journal (a new one numbers its rows after the database's last for the station, when the
    /// database answers) and starts the forwarder. Throws DatabaseError when the journal cannot be opened.
    void startRecording(RecordingOptions options);
    bool recording() const { return m_recorder != nullptr; }
    /// The station's name in its rows.
    const std::string& station() const { return m_station; }
    /// Called with each row once it is queued for the journal (before it is numbered).
    void setRowListener(ProductRecorder::RowListener listener);
    /// Called with each row once it is in the journal (numbered and linked).
    void setJournaledListener(std::function<void(const WeighingRecord&)> listener);

    /// The lot number (批号) the following rows carry; empty for none.
    void setLot(std::string lot) { m_lot = std::move(lot); }
    const std::string& lot() const { return m_lot; }
    /// A verdict of the product in progress as the host shows it now (model, weight, limits).
    void recordVerdict(const std::string& verdict, const std::string& operatorName);
    /// The product in progress is over: its rows go to the journal.
    void productOver();
    RecordingStatus recordingStatus() const;
    /// Waits at most waitMs until the database holds every row journaled so far (not at all while the
    /// database is away); true when it does.
    bool flushRecords(int waitMs);

    struct FinishReport {
        std::int64_t waiting = 0;    ///< rows left in the journal for the next start
        std::size_t unsavedFile = 0; ///< rows written to unsaved-records.csv
        QString unsavedPath;
    };
    /// The end of the station: the product in progress into the journal, then up to waitMs for the
    /// forwarder to store what waits; the forwarder stops. Rows the journal could not take go to
    /// unsaved-records.csv; when that fails too DatabaseError is thrown and they stay in memory (a later
    /// call tries again).
    FinishReport finishRecording(int waitMs);

private:
    class JournalStore;

    StationHost& m_host;
    WeighingCore m_core;
    StationSettings m_settings;
    std::string m_station;
    std::string m_lot;
    QString m_target;
    std::function<std::string()> m_timeText;
    std::function<void(const WeighingRecord&)> m_journaled;
    std::unique_ptr<RecordJournal> m_journal;
    std::unique_ptr<RecordForwarder> m_forwarder;
    std::unique_ptr<JournalStore> m_store;
    std::unique_ptr<ProductRecorder> m_recorder;
};

} // namespace kelvora
