#include "data/RecordForwarder.h"

#include "data/DatabaseError.h"
#include "data/RecordJournal.h"
#include "data/TADOConnection.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kelvora {

namespace {

// The journal's cursor of what the database holds: a hint for the count of waiting rows before the
// database answers; the database's own last number decides what is sent.
const std::string kCursor = "database";

struct AddedColumn {
    const char* name;
    const char* sqliteType;
    const char* postgresType;
};

constexpr AddedColumn kAddedColumns[] = {
    {"站点", "TEXT", "text"},
    {"序号", "INTEGER", "bigint"},
    {"标准值", "DOUBLE", "double precision"},
    {"上限值", "DOUBLE", "double precision"},
    {"下限值", "DOUBLE", "double precision"},
    {"批号", "TEXT", "text"},
    {"链", "TEXT", "text"},
};

void execOrThrow(QSqlQuery& query, const QString& statement) {
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text());
}

QVariant optional(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<double>());
}

} // namespace

RecordForwarder::RecordForwarder(const QString& journalPath, const QString& target, const std::string& station)
    : m_journalPath(journalPath), m_target(target), m_station(station) {
    // What waits is known before the thread first looks, so nobody is told "all stored" too early.
    try {
        const RecordJournal journal(m_journalPath);
        m_appended = journal.lastSeq();
        const std::vector<WeighingRecord> first = journal.rowsAfter(std::numeric_limits<std::int64_t>::min(), 1);
        if (!first.empty())
            m_floor = first.front().seq - 1;
        if (journal.cursor(kCursor) > 0)
            m_stored = journal.cursor(kCursor);
    } catch (const std::exception& error) {
        failed(error.what());
    }
    m_thread = std::thread([this] { run(); });
}

RecordForwarder::~RecordForwarder() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wakeUp.notify_all();
    // A statement stuck on a frozen server ends with the keep-alives or the server; the rows stay in the
    // journal either way.
    m_thread.join();
}

void RecordForwarder::appended(std::int64_t seq) {
    {
        std::lock_guard lock(m_mutex);
        m_appended = std::max(m_appended, seq);
        if (!m_floor)
            m_floor = seq - 1;
    }
    m_wakeUp.notify_all();
}

RecordForwarder::Status RecordForwarder::status() const {
    std::lock_guard lock(m_mutex);
    Status status;
    const Clock::time_point now = Clock::now();
    const bool stalled = m_busySince != Clock::time_point{} && now - m_busySince >= kStallLimit;
    status.online = !m_failing && !stalled;
    // The journal numbers its rows one after another from its first: all after the stored mark wait.
    status.pending = m_floor ? std::max<std::int64_t>(0, m_appended - std::max(m_stored, *m_floor)) : 0;
    if (!status.online) {
        const Clock::time_point since = m_failing ? m_awaySince : m_busySince;
        status.offlineMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - since).count();
        status.lastError = m_failing ? m_lastError : std::string("数据库无响应");
        status.nameClash = m_failing && m_nameClash;
    }
    return status;
}

bool RecordForwarder::waitStored(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_storedChanged.wait_for(lock, timeout, [this] { return m_stored >= 0 && m_stored >= m_appended; });
}

void RecordForwarder::failed(const std::string& why) {
    std::lock_guard lock(m_mutex);
    if (!m_failing)
        m_awaySince = m_busySince != Clock::time_point{} ? m_busySince : Clock::now();
    m_failing = true;
    m_busySince = {};
    m_lastError = why;
}

void RecordForwarder::sleepFor(std::chrono::milliseconds delay) {
    std::unique_lock lock(m_mutex);
    m_wakeUp.wait_for(lock, delay, [this] { return m_stop; });
}

void RecordForwarder::run() {
    std::unique_ptr<RecordJournal> journal;
    try {
        journal = std::make_unique<RecordJournal>(m_journalPath);
    } catch (const std::exception& error) {
        failed(error.what());
        return;
    }
    TADOConnection connection(m_target);
    std::chrono::milliseconds backoff{1000};
    Clock::time_point gatherUntil{};
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wakeUp.wait_for(lock, std::chrono::seconds(1),
                              [this] { return m_stop || m_failing || !m_connectedOnce || m_appended > m_stored; });
            // Rows coming faster than a commit each are gathered for a moment after a batch that took all
            // there was: a fast line then costs the disk one flush a batch instead of one a row.
            m_wakeUp.wait_until(lock, gatherUntil, [this] { return m_stop; });
            if (m_stop)
                return;
            m_busySince = Clock::now();
        }
        try {
            if (!connection.Connected())
                connect(connection, *journal);
            const std::size_t stored = storeBatch(connection, *journal);
            gatherUntil = stored > 0 && stored < kBatch ? Clock::now() + kGathering : Clock::time_point{};
            backoff = std::chrono::milliseconds(1000);
        } catch (const std::exception& error) {
            connection.Close();
            failed(error.what());
            sleepFor(backoff);
            backoff = std::min<std::chrono::milliseconds>(backoff * 2, std::chrono::seconds(10));
        }
    }
}

void RecordForwarder::connect(TADOConnection& connection, const RecordJournal& journal) {
    connection.Open();
    ensureRecordColumns(connection);
    const std::int64_t last = lastStored(connection, m_station).first;
    if (last > 0)
        checkNumbering(connection, journal, last);
    std::lock_guard lock(m_mutex);
    m_stored = last;
    m_connectedOnce = true;
}

std::size_t RecordForwarder::storeBatch(TADOConnection& connection, RecordJournal& journal) {
    std::int64_t stored;
    {
        std::lock_guard lock(m_mutex);
        stored = m_stored;
    }
    const std::vector<WeighingRecord> rows = journal.rowsAfter(stored, kBatch);
    if (!rows.empty()) {
        QSqlDatabase db = connection.database();
        const bool sqlite = connection.dialect() == schema::Dialect::Sqlite;
        QSqlQuery query(db);
        QSqlQuery check(db);
        execOrThrow(query, sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
        try {
            // A row already there (its commit's reply was lost) is left as it is.
            if (!query.prepare(QStringLiteral(
                    "INSERT INTO \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\", \"站点\", "
                    "\"序号\", "
                    "\"标准值\", \"上限值\", \"下限值\", \"批号\", \"链\") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                    "ON CONFLICT DO NOTHING")))
                throw DatabaseError(query.lastError().text());
            for (const WeighingRecord& r : rows) {
                query.addBindValue(QString::fromStdString(r.model));
                query.addBindValue(r.weight);
                query.addBindValue(QString::fromStdString(r.verdict));
                query.addBindValue(QString::fromStdString(r.operatorName));
                query.addBindValue(QString::fromStdString(r.time));
                query.addBindValue(QString::fromStdString(r.station));
                query.addBindValue(QVariant::fromValue<qint64>(r.seq));
                query.addBindValue(optional(r.standard));
                query.addBindValue(optional(r.upper));
                query.addBindValue(optional(r.lower));
                query.addBindValue(QString::fromStdString(r.lot));
                query.addBindValue(QString::fromStdString(r.link));
                if (!query.exec())
                    throw DatabaseError(query.lastError().text());
                if (query.numRowsAffected() == 0)
                    checkRefused(check, r);
            }
            execOrThrow(query, QStringLiteral("COMMIT"));
        } catch (...) {
            QSqlQuery rollback(db);
            rollback.exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        journal.setCursor(kCursor, rows.back().seq);
    }
    std::lock_guard lock(m_mutex);
    if (!rows.empty())
        m_stored = rows.back().seq;
    m_failing = false;
    m_nameClash = false;
    m_busySince = {};
    m_lastError.clear();
    m_storedChanged.notify_all();
    return rows.size();
}

void RecordForwarder::checkRefused(QSqlQuery& query, const WeighingRecord& row) {
    query.prepare(QStringLiteral("SELECT \"链\" FROM \"weight\" WHERE \"站点\" = ? AND \"序号\" = ?"));
    query.addBindValue(QString::fromStdString(row.station));
    query.addBindValue(QVariant::fromValue<qint64>(row.seq));
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    if (!query.next() || query.value(0).toString().toStdString() == row.link)
        return; // stored before, its commit's reply lost
    {
        std::lock_guard lock(m_mutex);
        m_nameClash = true;
    }
    throw DatabaseError(
        QStringLiteral("另一台工作站也在使用站点名称“%1”：数据库中序号 %2 已是它的记录。本站的记录保存在本地"
                       "日志中，没有上传，也不会丢失。请在 Option.ini 的 [站点] 名称 中为每台工作站设置不同"
                       "的名称。")
            .arg(QString::fromStdString(row.station))
            .arg(row.seq));
}

void RecordForwarder::checkNumbering(TADOConnection& connection, const RecordJournal& journal, std::int64_t last) {
    // The journal's rows are numbered one after another: its row at the database's last number (or its
    // own last, when it is behind) must be the very row the database holds there.
    const std::int64_t seq = std::min(last, journal.lastSeq());
    const std::vector<WeighingRecord> rows = journal.rowsAfter(seq - 1, 1);
    if (rows.empty() || rows.front().seq != seq)
        return;
    QSqlQuery query(connection.database());
    checkRefused(query, rows.front());
}

std::pair<std::int64_t, std::string> RecordForwarder::lastStored(TADOConnection& connection,
                                                                 const std::string& station) {
    QSqlQuery query(connection.database());
    query.prepare(QStringLiteral("SELECT \"序号\", \"链\" FROM \"weight\" WHERE \"站点\" = ? AND \"序号\" IS NOT NULL "
                                 "ORDER BY \"序号\" DESC LIMIT 1"));
    query.addBindValue(QString::fromStdString(station));
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    if (!query.next())
        return {0, std::string()};
    return {query.value(0).toLongLong(), query.value(1).toString().toStdString()};
}

void RecordForwarder::ensureRecordColumns(TADOConnection& connection) {
    QSqlDatabase db = connection.database();
    const bool sqlite = connection.dialect() == schema::Dialect::Sqlite;
    const QSqlRecord existing = db.record(QStringLiteral("weight"));
    if (existing.isEmpty())
        throw DatabaseError(QStringLiteral("The database has no table 'weight'."));
    QSqlQuery query(db);
    for (const AddedColumn& column : kAddedColumns) {
        const QString name = QString::fromUtf8(column.name);
        if (existing.contains(name))
            continue;
        // Two stations starting at once may both add it: the second one's failure is no failure.
        if (!query.exec(QStringLiteral("ALTER TABLE \"weight\" ADD COLUMN \"%1\" %2")
                            .arg(name, QString::fromUtf8(sqlite ? column.sqliteType : column.postgresType))) &&
            !db.record(QStringLiteral("weight")).contains(name))
            throw DatabaseError(query.lastError().text());
    }
    if (!query.exec(QStringLiteral(
            "CREATE UNIQUE INDEX IF NOT EXISTS \"weight_站点_序号\" ON \"weight\" (\"站点\", \"序号\")")))
        throw DatabaseError(query.lastError().text());
}

} // namespace kelvora
