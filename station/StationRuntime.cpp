#include "station/StationRuntime.h"

#include "data/DatabaseError.h"
#include "data/JournalBacklog.h"
#include "data/RecordForwarder.h"
#include "data/RecordJournal.h"
#include "data/TADOConnection.h"
#include "data/WeightRecordStore.h"
#include "station/PortSetup.h"

#include <exception>

#include <QDir>
#include <QSysInfo>

namespace kelvora {

std::string RecordingStatus::offlineText() const {
    if (!recording || online)
        return {};
    return (nameClash ? "站点名称重复，" : "数据库离线，") + std::to_string(waiting) + " 条待上传";
}

/// The recorder's store: a row goes into the journal and the forwarder is told.
class StationRuntime::JournalStore : public RecordStore {
public:
    JournalStore(StationRuntime& runtime) : m_runtime(runtime) {}
    void insert(const WeighingRecord& record) override {
        const WeighingRecord row = m_runtime.m_journal->append(record, m_runtime.m_station);
        if (m_runtime.m_forwarder)
            m_runtime.m_forwarder->appended(row.seq);
        if (m_runtime.m_journaled)
            m_runtime.m_journaled(row);
    }

private:
    StationRuntime& m_runtime;
};

StationRuntime::StationRuntime(StationHost& host) : m_host(host), m_core(host) {}

StationRuntime::~StationRuntime() = default;

const StationSettings& StationRuntime::load(const std::string& iniPath) {
    m_core.initialize();
    m_settings = StationConfig::loadMainWindow(iniPath, m_core.state());
    m_host.setText(Control::LabeledEdit1, m_settings.batchCountText);
    m_host.setText(Control::LabeledEdit2, m_settings.batchReminderText);
    m_host.setTimerInterval(Timer::Timer2, m_settings.timer2Interval);
    m_host.setTimerInterval(Timer::Timer1, m_settings.timer1Interval);
    m_host.setText(Control::Edit3, m_core.statusText());
    return m_settings;
}

void StationRuntime::configurePort(TComm& comm, const std::string& portName) const {
    configureComm1(comm, m_settings, portName);
}

void StationRuntime::startRecording(RecordingOptions options) {
    m_target = options.target.trimmed().isEmpty() ? mainDatabase() : options.target;
    m_station = options.station;
    if (m_station.empty() && !options.iniPath.empty())
        m_station = StationConfig::stationName(options.iniPath).value_or("");
    if (m_station.empty())
        m_station = QSysInfo::machineHostName().toStdString();
    m_timeText = std::move(options.timeText);
    const QString journalPath = options.journalPath.isEmpty() ? journalFileFor(m_target) : options.journalPath;
    auto journal = std::make_unique<RecordJournal>(journalPath);
    if (journal->fresh()) {
        // A new journal goes on from the database's last number and link for the station; while the
        // database does not answer, from a number no earlier journal can have reached.
        try {
            TADOConnection connection(m_target);
            connection.Open();
            RecordForwarder::ensureRecordColumns(connection);
            const auto [last, link] = RecordForwarder::lastStored(connection, m_station);
            journal->begin(last + 1, link);
        } catch (const DatabaseError&) {
            journal->begin(RecordJournal::newJournalFirstSeq(), "");
        }
    }
    m_journal = std::move(journal);
    m_forwarder = std::make_unique<RecordForwarder>(journalPath, m_target, m_station);
    m_store = std::make_unique<JournalStore>(*this);
    auto report = std::move(options.reportError);
    m_recorder = std::make_unique<ProductRecorder>(*m_store, [report](const std::string& message) {
        if (report)
            report("记录无法写入本地日志：" + message + "\n记录暂存在内存中，退出时写入 unsaved-records.csv。");
    });
}

void StationRuntime::setRowListener(ProductRecorder::RowListener listener) {
    if (m_recorder)
        m_recorder->setRowListener(std::move(listener));
}

void StationRuntime::setJournaledListener(std::function<void(const WeighingRecord&)> listener) {
    m_journaled = std::move(listener);
}

void StationRuntime::recordVerdict(const std::string& verdict, const std::string& operatorName) {
    if (!m_recorder)
        return;
    WeighingRecord record = recordOf(m_host, verdict, operatorName, m_timeText ? m_timeText() : std::string());
    record.lot = m_lot;
    m_recorder->verdict(record);
}

void StationRuntime::productOver() {
    if (m_recorder)
        m_recorder->productOver();
}

bool StationRuntime::flushRecords(int waitMs) {
    if (!m_forwarder)
        return !m_recorder;
    return m_forwarder->status().online && m_forwarder->waitStored(std::chrono::milliseconds(waitMs));
}

RecordingStatus StationRuntime::recordingStatus() const {
    RecordingStatus status;
    if (!m_recorder || !m_forwarder) // not started, or finished
        return status;
    status.recording = true;
    const RecordForwarder::Status forwarding = m_forwarder->status();
    status.online = forwarding.online;
    status.waiting = forwarding.pending;
    status.offlineMs = forwarding.offlineMs;
    status.reason = forwarding.lastError;
    status.nameClash = forwarding.nameClash;
    return status;
}

StationRuntime::FinishReport StationRuntime::finishRecording(int waitMs) {
    FinishReport report;
    if (!m_recorder)
        return report;
    m_recorder->productOver();
    report.unsavedPath = unsavedRecordsFile(m_target);
    report.unsavedFile = m_recorder->unsaved().size();
    // Throws with the rows kept, and the forwarder still running: the station can go on.
    appendUnsavedRecords(m_target, m_recorder->unsaved());
    // Once in the file the rows are kept; a second finish must not append them again.
    m_recorder->forgetUnsaved();
    if (m_forwarder) {
        // A database away is not waited for: its rows are safe in the journal.
        if (m_forwarder->status().online)
            m_forwarder->waitStored(std::chrono::milliseconds(waitMs));
        report.waiting = m_forwarder->status().pending;
        m_forwarder.reset();
    }
    return report;
}

} // namespace kelvora
