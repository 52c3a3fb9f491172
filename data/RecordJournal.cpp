#include "data/RecordJournal.h"

#include "data/DatabaseError.h"
#include "data/RecordChain.h"
#include "data/SqliteHandle.h"

#include <chrono>
#include <sqlite3.h>

#include <QVariantList>

namespace kelvora {

namespace {

// A statement prepared for one use; finalized whatever happens.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            m_stmt = nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return m_stmt != nullptr; }
    sqlite3_stmt* get() const { return m_stmt; }

    void bind(int index, const std::string& text) {
        sqlite3_bind_text(m_stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int index, std::int64_t value) { sqlite3_bind_int64(m_stmt, index, value); }
    void bind(int index, double value) { sqlite3_bind_double(m_stmt, index, value); }
    void bind(int index, const std::optional<double>& value) {
        value ? bind(index, *value) : static_cast<void>(sqlite3_bind_null(m_stmt, index));
    }
    std::string text(int column) const {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return bytes ? std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                     : std::string();
    }
    std::optional<double> optionalNumber(int column) const {
        if (sqlite3_column_type(m_stmt, column) == SQLITE_NULL)
            return std::nullopt;
        return sqlite3_column_double(m_stmt, column);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

QVariant field(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant();
}

QString chainLink(const std::string& previous, const WeighingRecord& r) {
    const QVariantList fields{QString::fromStdString(r.station),
                              QVariant::fromValue<qint64>(r.seq),
                              QString::fromStdString(r.model),
                              r.weight,
                              QString::fromStdString(r.verdict),
                              QString::fromStdString(r.operatorName),
                              QString::fromStdString(r.time),
                              field(r.standard),
                              field(r.upper),
                              field(r.lower),
                              QString::fromStdString(r.lot)};
    return RecordChain::link(QString::fromStdString(previous), fields);
}

constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS rows (seq INTEGER PRIMARY KEY, station TEXT NOT NULL, "
                                "model TEXT, weight REAL, verdict TEXT, operator TEXT, time TEXT, standard REAL, "
                                "upper REAL, lower REAL, lot TEXT, link TEXT NOT NULL);"
                                "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT);"
                                "CREATE TABLE IF NOT EXISTS cursors (consumer TEXT PRIMARY KEY, seq INTEGER);";

} // namespace

RecordJournal::RecordJournal(const QString& path) : m_path(path) {
    const QByteArray file = path.toUtf8();
    if (sqlite3_open_v2(file.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        const QString message = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("out of memory");
        sqlite3_close(m_db);
        m_db = nullptr;
        throw DatabaseError(QStringLiteral("The journal '%1' cannot be opened: %2").arg(path, message));
    }
    try {
        // Readers commit their cursors in microseconds; an append waits about that long, in short steps.
        sqlite_handle::setBusyWait(m_db, 2000);
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=FULL");
        exec(kSchema);
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

RecordJournal::~RecordJournal() {
    sqlite3_close(m_db);
}

void RecordJournal::exec(const char* sql) const {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
        sqlite3_free(error);
        throw DatabaseError(QStringLiteral("The journal '%1' failed: %2").arg(m_path, message));
    }
}

void RecordJournal::fail(const char* what) const {
    throw DatabaseError(QStringLiteral("The journal '%1' failed (%2): %3")
                            .arg(m_path, QString::fromUtf8(what), QString::fromUtf8(sqlite3_errmsg(m_db))));
}

bool RecordJournal::fresh() const {
    Statement query(m_db, "SELECT (SELECT count(*) FROM rows) + (SELECT count(*) FROM meta WHERE key = 'first')");
    if (!query || sqlite3_step(query.get()) != SQLITE_ROW)
        fail("fresh");
    return sqlite3_column_int64(query.get(), 0) == 0;
}

void RecordJournal::begin(std::int64_t firstSeq, const std::string& previousLink) {
    if (!fresh())
        throw DatabaseError(QStringLiteral("The journal '%1' is in use already.").arg(m_path));
    exec("BEGIN IMMEDIATE");
    try {
        Statement insert(m_db, "INSERT INTO meta (key, value) VALUES ('first', ?1), ('link', ?2)");
        if (!insert)
            fail("begin");
        insert.bind(1, std::to_string(firstSeq));
        insert.bind(2, previousLink);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            fail("begin");
        exec("COMMIT");
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

WeighingRecord RecordJournal::append(const WeighingRecord& record, const std::string& station) {
    exec("BEGIN IMMEDIATE");
    try {
        // The next number and the previous link: the last row's, or the start begin() chose.
        Statement last(m_db, "SELECT seq, link FROM rows ORDER BY seq DESC LIMIT 1");
        Statement start(m_db, "SELECT (SELECT value FROM meta WHERE key = 'first'), "
                              "(SELECT value FROM meta WHERE key = 'link')");
        if (!last || !start)
            fail("append");
        WeighingRecord row = record;
        row.station = station;
        std::string previous;
        if (sqlite3_step(last.get()) == SQLITE_ROW) {
            row.seq = sqlite3_column_int64(last.get(), 0) + 1;
            previous = last.text(1);
        } else if (sqlite3_step(start.get()) == SQLITE_ROW && sqlite3_column_type(start.get(), 0) != SQLITE_NULL) {
            row.seq = sqlite3_column_int64(start.get(), 0);
            previous = start.text(1);
        } else {
            row.seq = 1;
        }
        row.link = chainLink(previous, row).toStdString();
        Statement insert(m_db, "INSERT INTO rows (seq, station, model, weight, verdict, operator, time, standard, "
                               "upper, lower, lot, link) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
        if (!insert)
            fail("append");
        insert.bind(1, row.seq);
        insert.bind(2, row.station);
        insert.bind(3, row.model);
        insert.bind(4, row.weight);
        insert.bind(5, row.verdict);
        insert.bind(6, row.operatorName);
        insert.bind(7, row.time);
        insert.bind(8, row.standard);
        insert.bind(9, row.upper);
        insert.bind(10, row.lower);
        insert.bind(11, row.lot);
        insert.bind(12, row.link);
        if (sqlite3_step(insert.get()) != SQLITE_DONE)
            fail("append");
        exec("COMMIT");
        return row;
    } catch (...) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<WeighingRecord> RecordJournal::rowsAfter(std::int64_t seq, std::size_t limit) const {
    Statement query(m_db, "SELECT seq, station, model, weight, verdict, operator, time, standard, upper, lower, lot, "
                          "link FROM rows WHERE seq > ?1 ORDER BY seq LIMIT ?2");
    if (!query)
        fail("read");
    query.bind(1, seq);
    query.bind(2, static_cast<std::int64_t>(limit));
    std::vector<WeighingRecord> rows;
    int step;
    while ((step = sqlite3_step(query.get())) == SQLITE_ROW) {
        WeighingRecord& r = rows.emplace_back();
        r.seq = sqlite3_column_int64(query.get(), 0);
        r.station = query.text(1);
        r.model = query.text(2);
        r.weight = sqlite3_column_double(query.get(), 3);
        r.verdict = query.text(4);
        r.operatorName = query.text(5);
        r.time = query.text(6);
        r.standard = query.optionalNumber(7);
        r.upper = query.optionalNumber(8);
        r.lower = query.optionalNumber(9);
        r.lot = query.text(10);
        r.link = query.text(11);
    }
    if (step != SQLITE_DONE)
        fail("read");
    return rows;
}

std::int64_t RecordJournal::lastSeq() const {
    Statement query(m_db, "SELECT coalesce((SELECT max(seq) FROM rows), "
                          "(SELECT CAST(value AS INTEGER) - 1 FROM meta WHERE key = 'first'), 0)");
    if (!query || sqlite3_step(query.get()) != SQLITE_ROW)
        fail("read");
    return sqlite3_column_int64(query.get(), 0);
}

std::int64_t RecordJournal::countAfter(std::int64_t seq) const {
    Statement query(m_db, "SELECT count(*) FROM rows WHERE seq > ?1");
    if (!query)
        fail("read");
    query.bind(1, seq);
    if (sqlite3_step(query.get()) != SQLITE_ROW)
        fail("read");
    return sqlite3_column_int64(query.get(), 0);
}

std::int64_t RecordJournal::cursor(const std::string& consumer) const {
    Statement query(m_db, "SELECT seq FROM cursors WHERE consumer = ?1");
    if (!query)
        fail("read");
    query.bind(1, consumer);
    const int step = sqlite3_step(query.get());
    if (step == SQLITE_ROW)
        return sqlite3_column_int64(query.get(), 0);
    if (step != SQLITE_DONE)
        fail("read");
    return 0;
}

void RecordJournal::setCursor(const std::string& consumer, std::int64_t seq) {
    // Per connection: this handle's commits skip the wait for the disk; an append's commit still waits.
    exec("PRAGMA synchronous=NORMAL");
    Statement upsert(m_db, "INSERT INTO cursors (consumer, seq) VALUES (?1, ?2) "
                           "ON CONFLICT (consumer) DO UPDATE SET seq = excluded.seq");
    if (!upsert)
        fail("cursor");
    upsert.bind(1, consumer);
    upsert.bind(2, seq);
    const int step = sqlite3_step(upsert.get());
    exec("PRAGMA synchronous=FULL");
    if (step != SQLITE_DONE)
        fail("cursor");
}

std::int64_t RecordJournal::prune(std::int64_t storedUpTo, const std::string& before) {
    // The last row stays: it carries the numbering and the chain on.
    Statement remove(m_db, "DELETE FROM rows WHERE seq <= ?1 AND seq < (SELECT max(seq) FROM rows) AND time < ?2");
    if (!remove)
        fail("prune");
    remove.bind(1, storedUpTo);
    remove.bind(2, before);
    if (sqlite3_step(remove.get()) != SQLITE_DONE)
        fail("prune");
    return sqlite3_changes64(m_db);
}

std::int64_t RecordJournal::newJournalFirstSeq() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace kelvora
