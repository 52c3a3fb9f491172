#include "data/ChainVerifier.h"

#include "data/DatabaseError.h"
#include "data/LinkedRowQueue.h"
#include "data/RecordChain.h"
#include "data/TADOConnection.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <openssl/evp.h>
#include <thread>

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

// Whether `stored` is the link of `previous` and `encoded`: RecordChain::linkOf, computed with OpenSSL's
// SHA-256 on a context fetched once, for speed.
class LinkCheck {
public:
    LinkCheck() : m_sha256(EVP_MD_fetch(nullptr, "SHA256", nullptr)), m_context(EVP_MD_CTX_new()) {
        if (!m_sha256 || !m_context)
            throw DatabaseError(QStringLiteral("SHA-256 is not available"));
    }
    ~LinkCheck() {
        EVP_MD_CTX_free(m_context);
        EVP_MD_free(m_sha256);
    }
    LinkCheck(const LinkCheck&) = delete;
    LinkCheck& operator=(const LinkCheck&) = delete;

    bool follows(const std::string& previous, const QByteArray& encoded, const std::string& stored) {
        if (stored.size() != 64)
            return false;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestInit_ex2(m_context, m_sha256, nullptr) != 1 ||
            EVP_DigestUpdate(m_context, previous.data(), previous.size()) != 1 ||
            EVP_DigestUpdate(m_context, "\n", 1) != 1 ||
            EVP_DigestUpdate(m_context, encoded.constData(), static_cast<size_t>(encoded.size())) != 1 ||
            EVP_DigestFinal_ex(m_context, digest, &length) != 1)
            throw DatabaseError(QStringLiteral("SHA-256 failed"));
        static constexpr char kHex[] = "0123456789abcdef";
        for (unsigned int i = 0; i < length; ++i)
            if (stored[2 * i] != kHex[digest[i] >> 4] || stored[2 * i + 1] != kHex[digest[i] & 15])
                return false;
        return true;
    }

private:
    EVP_MD* m_sha256;
    EVP_MD_CTX* m_context;
};

// The fields of a row as RecordChain::encodeFields encodes them. A number's text is kept per column: the
// limits repeat from row to row, and writing a double's shortest form is the dearest step of the encoding.
class RowEncoder {
public:
    const QByteArray& encode(const LinkedRow& row) {
        m_encoded.resize(0);
        m_numbers.resize(row.values.size());
        for (std::size_t i = 0; i < row.values.size(); ++i) {
            const LinkedRow::Value& value = row.values[i];
            switch (value.kind) {
            case LinkedRow::Value::Kind::Null:
                RecordChain::appendNull(m_encoded);
                break;
            case LinkedRow::Value::Kind::Number: {
                NumberText& number = m_numbers[i];
                // Compared bit by bit: -0 and 0 are written differently.
                const auto bits = std::bit_cast<std::uint64_t>(value.number);
                if (!number.valid || number.bits != bits) {
                    number.text.resize(0);
                    RecordChain::appendNumber(number.text, value.number);
                    number.bits = bits;
                    number.valid = true;
                }
                const qsizetype at = m_encoded.size();
                m_encoded.resize(at + number.text.size());
                std::memcpy(m_encoded.data() + at, number.text.constData(), static_cast<size_t>(number.text.size()));
                break;
            }
            case LinkedRow::Value::Kind::Text:
                RecordChain::appendText(m_encoded, value.text.data(), static_cast<qsizetype>(value.text.size()));
            }
        }
        return m_encoded;
    }

private:
    struct NumberText {
        bool valid = false;
        std::uint64_t bits = 0;
        QByteArray text; ///< as appendNumber writes it, length included
    };
    QByteArray m_encoded;
    std::vector<NumberText> m_numbers;
};

// Walks one station's rows in order. A row whose link does not follow is judged when the next row is
// seen: a next row that follows the row before the broken one shows the broken one was inserted;
// otherwise the broken row was edited, or rows before it deleted (a gap in 序号).
class StationWalk {
public:
    StationWalk(ChainVerifier::Report& report, LinkCheck& check, QString table, QString station,
                std::string previousLink, std::optional<double> previousNumber)
        : m_report(report), m_check(check), m_table(std::move(table)), m_station(std::move(station)),
          m_previous(std::move(previousLink)), m_previousNumber(previousNumber) {}

    void add(const LinkedRow& row, const QByteArray& encoded) {
        ++m_report.checked;
        if (m_pending) {
            if (m_check.follows(m_beforePending, encoded, row.link)) {
                report(*m_pending, QStringLiteral("inserted (the next row follows the row before it)"));
                m_pending.reset();
                accept(row);
                return;
            }
            judgePending();
        }
        if (m_check.follows(m_previous, encoded, row.link)) {
            accept(row);
            return;
        }
        m_beforePending = m_previous;
        m_pendingGap = m_previousNumber && row.number > *m_previousNumber + 1;
        m_gapFrom = m_previousNumber.value_or(0) + 1;
        m_pending = Pending{row.id, row.number};
        accept(row);
    }

    void finish() {
        if (m_pending)
            judgePending();
    }

private:
    struct Pending {
        qlonglong id;
        double number;
    };

    void accept(const LinkedRow& row) {
        m_previous = row.link;
        m_previousNumber = row.number;
    }

    void judgePending() {
        const Pending& row = *m_pending;
        if (m_pendingGap)
            report(row, QStringLiteral("rows before it deleted (序号 %1 to %2 missing)")
                            .arg(QString::number(m_gapFrom, 'g', 15), QString::number(row.number - 1, 'g', 15)));
        else if (m_beforePending.empty() && row.number > 1)
            report(row, QStringLiteral("edited, or the rows before it deleted"));
        else
            report(row, QStringLiteral("edited (its fields or link do not match)"));
        m_pending.reset();
    }

    void report(const Pending& row, const QString& explanation) {
        m_report.breaks.push_back({m_table, m_station, row.id, row.number, explanation});
    }

    ChainVerifier::Report& m_report;
    LinkCheck& m_check;
    QString m_table;
    QString m_station;
    std::string m_previous;
    std::optional<double> m_previousNumber;
    std::optional<Pending> m_pending;
    std::string m_beforePending;
    bool m_pendingGap = false;
    double m_gapFrom = 0;
};

// The last linked row of a station before a range.
struct RowBefore {
    std::string link;
    std::optional<double> number;
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

// Where each station's rows in a range starting at `range`'s lower end pick up: the link and 序号 of its last
// linked row before its first one in the range. Read before the rows themselves: a connection streaming a
// query's rows (PostgreSQL) cannot answer another meanwhile.
std::map<std::string, RowBefore> rowsBefore(QSqlDatabase& db, const QString& table, const QString& range) {
    QSqlQuery first(db);
    first.setForwardOnly(true);
    if (!first.exec(QStringLiteral("select \"站点\", min(\"序号\") from %1%2 and \"链\" is not null group by \"站点\"")
                        .arg(quoted(table), range)))
        throw DatabaseError(first.lastError().text());
    std::vector<std::pair<QString, double>> stations;
    while (first.next())
        stations.emplace_back(first.value(0).toString(), first.value(1).toDouble());
    std::map<std::string, RowBefore> before;
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("select \"链\", \"序号\" from %1 where \"站点\" = ? and \"序号\" < ? and \"链\" is not "
                       "null order by \"序号\" desc limit 1")
            .arg(quoted(table)));
    for (const auto& [station, number] : stations) {
        query.addBindValue(station);
        query.addBindValue(number);
        execOrThrow(query);
        if (query.next())
            before[station.toStdString()] = {query.value(0).toString().toStdString(), query.value(1).toDouble()};
    }
    return before;
}

// Checks the filled batches in order, on the checking thread.
void checkBatches(LinkedRowQueue& queue, ChainVerifier::Report& report, const QString& table) {
    LinkCheck check;
    RowEncoder encoder;
    std::optional<StationWalk> walk;
    while (std::unique_ptr<LinkedRowQueue::Batch> batch = queue.takeFilled()) {
        auto start = batch->starts.cbegin();
        for (std::size_t i = 0; i < batch->count; ++i) {
            const LinkedRow& row = batch->rows[i];
            if (start != batch->starts.cend() && start->row == i) {
                if (walk)
                    walk->finish();
                walk.emplace(report, check, table, QString::fromStdString(row.station), start->previousLink,
                             start->previousNumber);
                ++start;
            }
            walk->add(row, encoder.encode(row));
        }
        queue.giveBack(std::move(batch));
    }
    if (walk)
        walk->finish();
}

// Reads every row into batches for the checking thread, marking each station's first row with what
// `before` gives for it. Returns the rows without a link (older rows, which have no station either).
qlonglong readBatches(LinkedRowReader& rows, LinkedRowQueue& queue, const std::map<std::string, RowBefore>& before) {
    qlonglong withoutLink = 0;
    std::string station;
    bool first = true;
    std::unique_ptr<LinkedRowQueue::Batch> batch = queue.takeFree();
    while (batch && rows.next(batch->rows[batch->count])) {
        const LinkedRow& row = batch->rows[batch->count];
        if (!row.linked) {
            ++withoutLink;
            continue;
        }
        if (first || row.station != station) {
            first = false;
            station = row.station;
            const auto found = before.find(station);
            batch->starts.push_back(
                found == before.end()
                    ? LinkedRowQueue::Batch::StationStart{batch->count, {}, std::nullopt}
                    : LinkedRowQueue::Batch::StationStart{batch->count, found->second.link, found->second.number});
        }
        if (++batch->count == batch->rows.size()) {
            queue.giveFilled(std::move(batch));
            batch = queue.takeFree();
        }
    }
    if (batch && batch->count > 0)
        queue.giveFilled(std::move(batch));
    queue.finish();
    return withoutLink;
}

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
    const std::map<std::string, RowBefore> before =
        from ? rowsBefore(db, table, range) : std::map<std::string, RowBefore>{};
    LinkedRowReader rows(
        db, postgres,
        QStringLiteral("select %1 from %2%3 order by \"站点\", \"序号\"").arg(columns.join(u','), quoted(table), range),
        timeColumn);
    // The connection's thread reads while a second one hashes and judges: on two cores, about half the time.
    LinkedRowQueue queue(3, m_rowsPerBatch);
    std::exception_ptr checkFailure;
    std::thread checker([&] {
        try {
            checkBatches(queue, report, table);
        } catch (...) {
            checkFailure = std::current_exception();
            queue.abort();
        }
    });
    qlonglong withoutLink = 0;
    try {
        withoutLink = readBatches(rows, queue, before);
    } catch (...) {
        queue.abort();
        checker.join();
        throw;
    }
    checker.join();
    if (checkFailure)
        std::rethrow_exception(checkFailure);
    report.withoutLink += withoutLink;
}

} // namespace kelvora
