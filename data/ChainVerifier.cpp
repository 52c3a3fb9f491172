#include "data/ChainVerifier.h"

#include "data/DatabaseError.h"
#include "data/PostgresHandle.h"
#include "data/RecordChain.h"
#include "data/TADOConnection.h"

#include <cstring>
#include <openssl/evp.h>
#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kelvora {

using namespace Qt::StringLiterals;

namespace {

QString quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString timeText(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

struct Row {
    qlonglong id = 0;
    double number = 0;
    QByteArray station;  ///< UTF-8
    bool linked = false; ///< whether the row has 链 (rows stored before the chain have none)
    QByteArray link;
    QByteArray encoded; ///< the fields as RecordChain encodes them
};

// Copies bytes into `to`, reusing its storage: ten million rows need no allocation each.
void copyInto(QByteArray& to, const char* bytes, qsizetype size) {
    to.resize(size);
    if (size > 0)
        std::memcpy(to.data(), bytes, static_cast<size_t>(size));
}

// Whether `stored` is the link of `previous` and `encoded`: RecordChain::linkOf, computed with OpenSSL's
// SHA-256 into a reused buffer, for speed.
class LinkCheck {
public:
    bool follows(const QByteArray& previous, const QByteArray& encoded, const QByteArray& stored) {
        if (stored.size() != 64)
            return false;
        copyInto(m_message, previous.constData(), previous.size());
        m_message += '\n';
        m_message += encoded;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_Digest(m_message.constData(), static_cast<size_t>(m_message.size()), digest, &length, EVP_sha256(),
                       nullptr) != 1)
            throw DatabaseError(QStringLiteral("SHA-256 failed"));
        static constexpr char kHex[] = "0123456789abcdef";
        for (unsigned int i = 0; i < length; ++i)
            if (stored[2 * i] != kHex[digest[i] >> 4] || stored[2 * i + 1] != kHex[digest[i] & 15])
                return false;
        return true;
    }

private:
    QByteArray m_message;
};

// Walks one station's rows in order. A row whose link does not follow is judged when the next row is
// seen: a next row that follows the row before the broken one shows the broken one was inserted;
// otherwise the broken row was edited, or rows before it deleted (a gap in 序号).
class StationWalk {
public:
    StationWalk(ChainVerifier::Report& report, LinkCheck& check, QString table, QString station,
                QByteArray previousLink, std::optional<double> previousNumber)
        : m_report(report), m_check(check), m_table(std::move(table)), m_station(std::move(station)),
          m_previous(std::move(previousLink)), m_previousNumber(previousNumber) {}

    void add(const Row& row) {
        ++m_report.checked;
        if (m_pending) {
            if (m_check.follows(m_beforePending, row.encoded, row.link)) {
                report(*m_pending, QStringLiteral("inserted (the next row follows the row before it)"));
                m_pending.reset();
                accept(row);
                return;
            }
            judgePending();
        }
        if (m_check.follows(m_previous, row.encoded, row.link)) {
            accept(row);
            return;
        }
        m_beforePending = m_previous;
        m_pendingGap = m_previousNumber && row.number > *m_previousNumber + 1;
        m_gapFrom = m_previousNumber.value_or(0) + 1;
        m_pending = row;
        accept(row);
    }

    void finish() {
        if (m_pending)
            judgePending();
    }

private:
    void accept(const Row& row) {
        copyInto(m_previous, row.link.constData(), row.link.size());
        m_previousNumber = row.number;
    }

    void judgePending() {
        const Row& row = *m_pending;
        if (m_pendingGap)
            report(row, QStringLiteral("rows before it deleted (序号 %1 to %2 missing)")
                            .arg(QString::number(m_gapFrom, 'g', 15), QString::number(row.number - 1, 'g', 15)));
        else if (m_beforePending.isEmpty() && row.number > 1)
            report(row, QStringLiteral("edited, or the rows before it deleted"));
        else
            report(row, QStringLiteral("edited (its fields or link do not match)"));
        m_pending.reset();
    }

    void report(const Row& row, const QString& explanation) {
        m_report.breaks.push_back({m_table, m_station, row.id, row.number, explanation});
    }

    ChainVerifier::Report& m_report;
    LinkCheck& m_check;
    QString m_table;
    QString m_station;
    QByteArray m_previous;
    std::optional<double> m_previousNumber;
    std::optional<Row> m_pending;
    QByteArray m_beforePending;
    bool m_pendingGap = false;
    double m_gapFrom = 0;
};

void execOrThrow(QSqlQuery& query) {
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
}

// " where ..." for the rows in the range; empty without one.
QString rangeCondition(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to) {
    QStringList conditions;
    if (from)
        conditions << QStringLiteral("\"时间\" >= '%1'").arg(timeText(*from));
    if (to)
        conditions << QStringLiteral("\"时间\" <= '%1'").arg(timeText(*to));
    return conditions.isEmpty() ? QString() : QStringLiteral(" where ") + conditions.join(QStringLiteral(" and "));
}

// The link and 序号 of the station's last linked row before `number`, for a range that starts later.
std::pair<QByteArray, std::optional<double>> rowBefore(QSqlDatabase& db, const QString& table, const QString& station,
                                                       double number) {
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("select \"链\", \"序号\" from %1 where \"站点\" = ? and \"序号\" < ? and \"链\" is not "
                       "null order by \"序号\" desc limit 1")
            .arg(quoted(table)));
    query.addBindValue(station);
    query.addBindValue(number);
    execOrThrow(query);
    if (!query.next())
        return {QByteArray(), std::nullopt};
    return {query.value(0).toString().toLatin1(), query.value(1).toDouble()};
}

// The rows of a select of id, 链 and the linked fields (站点 and 序号 first), one at a time. SQLite is
// read through its own interface: ten million rows are checked without a QVariant for each value.
class RowReader {
public:
    RowReader(QSqlDatabase& db, bool postgres, const QString& sql, int timeColumn)
        : m_query(db), m_postgres(postgres), m_timeColumn(timeColumn) {
        const QVariant handle = db.driver()->handle();
        if (!postgres && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
            sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.data());
            if (sqlite3_prepare_v2(sqlite, sql.toUtf8().constData(), -1, &m_statement, nullptr) != SQLITE_OK)
                throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(sqlite)));
            return;
        }
        m_query.setForwardOnly(true);
        if (!m_query.exec(sql))
            throw DatabaseError(m_query.lastError().text());
    }
    ~RowReader() { sqlite3_finalize(m_statement); }
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    bool next(Row& row) { return m_statement ? nextSqlite(row) : nextQuery(row); }

private:
    bool nextSqlite(Row& row) {
        const int step = sqlite3_step(m_statement);
        if (step == SQLITE_DONE)
            return false;
        if (step != SQLITE_ROW)
            throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement))));
        row.id = sqlite3_column_int64(m_statement, 0);
        row.linked = sqlite3_column_type(m_statement, 1) != SQLITE_NULL;
        if (!row.linked)
            return true;
        copyInto(row.link, reinterpret_cast<const char*>(sqlite3_column_text(m_statement, 1)),
                 sqlite3_column_bytes(m_statement, 1));
        copyInto(row.station, reinterpret_cast<const char*>(sqlite3_column_text(m_statement, 2)),
                 sqlite3_column_bytes(m_statement, 2));
        row.number = sqlite3_column_double(m_statement, 3);
        row.encoded.resize(0);
        const int columns = sqlite3_column_count(m_statement);
        for (int c = 2; c < columns; ++c) {
            switch (sqlite3_column_type(m_statement, c)) {
            case SQLITE_NULL:
                RecordChain::appendNull(row.encoded);
                break;
            case SQLITE_INTEGER:
            case SQLITE_FLOAT:
                RecordChain::appendNumber(row.encoded, sqlite3_column_double(m_statement, c));
                break;
            default:
                RecordChain::appendText(row.encoded, reinterpret_cast<const char*>(sqlite3_column_text(m_statement, c)),
                                        sqlite3_column_bytes(m_statement, c));
            }
        }
        return true;
    }

    bool nextQuery(Row& row) {
        if (!m_query.next()) {
            if (m_query.lastError().isValid())
                throw DatabaseError(m_query.lastError().text());
            return false;
        }
        row.id = m_query.value(0).toLongLong();
        row.linked = !m_query.value(1).isNull();
        if (!row.linked)
            return true;
        row.link = m_query.value(1).toString().toLatin1();
        row.station = m_query.value(2).toString().toUtf8();
        row.number = m_query.value(3).toDouble();
        QVariantList fields;
        for (int c = 2; c < m_query.record().count(); ++c)
            fields << (m_postgres && c == m_timeColumn ? postgres_handle::serverText(m_query, c) : m_query.value(c));
        row.encoded = RecordChain::encodeFields(fields);
        return true;
    }

    QSqlQuery m_query;
    bool m_postgres;
    int m_timeColumn;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace

const QStringList& ChainVerifier::weightFields() {
    static const QStringList fields{u"站点"_s, u"序号"_s,   u"型号"_s,   u"重量"_s,   u"检定结果"_s, u"操作员"_s,
                                    u"时间"_s, u"标准值"_s, u"上限值"_s, u"下限值"_s, u"批号"_s};
    return fields;
}

const QStringList& ChainVerifier::auditFields() {
    static const QStringList fields{u"站点"_s, u"序号"_s, u"时间"_s, u"操作员"_s, u"事件"_s,
                                    u"对象"_s, u"旧值"_s, u"新值"_s, u"备注"_s};
    return fields;
}

QString ChainVerifier::lastWeightLink(TADOConnection& connection, const QString& station) {
    connection.Open();
    QSqlDatabase db = connection.database();
    if (!db.record(u"weight"_s).contains(u"链"_s))
        return {};
    QSqlQuery query(db);
    query.prepare(u"select \"链\" from \"weight\" where \"站点\" = ? and \"链\" is not null order by \"序号\" desc "
                  u"limit 1"_s);
    query.addBindValue(station);
    execOrThrow(query);
    return query.next() ? query.value(0).toString() : QString();
}

ChainVerifier::Report ChainVerifier::verify(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to) {
    Report report;
    verifyTable(QStringLiteral("audit"), auditFields(), from, to, report);
    verifyTable(QStringLiteral("weight"), weightFields(), from, to, report);
    return report;
}

void ChainVerifier::verifyTable(const QString& table, const QStringList& fields, const std::optional<QDateTime>& from,
                                const std::optional<QDateTime>& to, Report& report) {
    m_connection.Open();
    QSqlDatabase db = m_connection.database();
    if (!db.record(table).contains(QStringLiteral("链")))
        return;
    const bool postgres = m_connection.dialect() == schema::Dialect::Postgres;
    const QString range = rangeCondition(from, to);
    QStringList columns{QStringLiteral("\"id\""), QStringLiteral("\"链\"")};
    for (const QString& field : fields)
        columns << quoted(field);
    const int timeColumn = 2 + static_cast<int>(fields.indexOf(QStringLiteral("时间")));
    RowReader rows(
        db, postgres,
        QStringLiteral("select %1 from %2%3 order by \"站点\", \"序号\"").arg(columns.join(u','), quoted(table), range),
        timeColumn);
    std::optional<StationWalk> walk;
    QByteArray station;
    Row row;
    LinkCheck check;
    // One pass: the rows without a link (older rows, which have no station either) are counted on the way.
    while (rows.next(row)) {
        if (!row.linked) {
            ++report.withoutLink;
            continue;
        }
        if (!walk || row.station != station) {
            if (walk)
                walk->finish();
            station = row.station;
            const QString name = QString::fromUtf8(station);
            auto [previous, previousNumber] =
                from ? rowBefore(db, table, name, row.number) : std::pair<QByteArray, std::optional<double>>{};
            walk.emplace(report, check, table, name, previous, previousNumber);
        }
        walk->add(row);
    }
    if (walk)
        walk->finish();
}

} // namespace kelvora
