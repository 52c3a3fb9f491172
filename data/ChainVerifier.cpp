#include "data/ChainVerifier.h"

#include "data/DatabaseError.h"
#include "data/PostgresHandle.h"
#include "data/RecordChain.h"
#include "data/TADOConnection.h"

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
    QString link;
    QVariantList fields;
};

// Walks one station's rows in order. A row whose link does not follow is judged when the next row is
// seen: a next row that follows the row before the broken one shows the broken one was inserted;
// otherwise the broken row was edited, or rows before it deleted (a gap in 序号).
class StationWalk {
public:
    StationWalk(ChainVerifier::Report& report, QString table, QString station, QString previousLink,
                std::optional<double> previousNumber)
        : m_report(report), m_table(std::move(table)), m_station(std::move(station)),
          m_previous(std::move(previousLink)), m_previousNumber(previousNumber) {}

    void add(Row row) {
        ++m_report.checked;
        if (m_pending) {
            if (RecordChain::link(m_beforePending, row.fields) == row.link) {
                report(*m_pending, QStringLiteral("inserted (the next row follows the row before it)"));
                m_pending.reset();
                accept(row);
                return;
            }
            judgePending();
        }
        if (RecordChain::link(m_previous, row.fields) == row.link) {
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
        m_previous = row.link;
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
    QString m_table;
    QString m_station;
    QString m_previous;
    std::optional<double> m_previousNumber;
    std::optional<Row> m_pending;
    QString m_beforePending;
    bool m_pendingGap = false;
    double m_gapFrom = 0;
};

void execOrThrow(QSqlQuery& query) {
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
}

QString rangeCondition(const std::optional<QDateTime>& from, const std::optional<QDateTime>& to) {
    QString condition;
    if (from)
        condition += QStringLiteral(" and \"时间\" >= '%1'").arg(timeText(*from));
    if (to)
        condition += QStringLiteral(" and \"时间\" <= '%1'").arg(timeText(*to));
    return condition;
}

// The link and 序号 of the station's last linked row before `number`, for a range that starts later.
std::pair<QString, std::optional<double>> rowBefore(QSqlDatabase& db, const QString& table, const QString& station,
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
        return {QString(), std::nullopt};
    return {query.value(0).toString(), query.value(1).toDouble()};
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
    QSqlQuery count(db);
    count.prepare(QStringLiteral("select count(*) from %1 where \"链\" is null%2").arg(quoted(table), range));
    execOrThrow(count);
    report.withoutLink += count.next() ? count.value(0).toLongLong() : 0;

    QStringList columns{QStringLiteral("\"id\""), QStringLiteral("\"链\"")};
    for (const QString& field : fields)
        columns << quoted(field);
    const int timeColumn = 2 + static_cast<int>(fields.indexOf(QStringLiteral("时间")));
    QSqlQuery rows(db);
    rows.setForwardOnly(true);
    rows.prepare(QStringLiteral("select %1 from %2 where \"链\" is not null%3 order by \"站点\", \"序号\"")
                     .arg(columns.join(u','), quoted(table), range));
    execOrThrow(rows);
    std::optional<StationWalk> walk;
    QString station;
    while (rows.next()) {
        Row row;
        row.id = rows.value(0).toLongLong();
        row.link = rows.value(1).toString();
        for (int i = 2; i < columns.size(); ++i)
            row.fields << (postgres && i == timeColumn ? postgres_handle::serverText(rows, i) : rows.value(i));
        row.number = row.fields[1].toDouble();
        if (!walk || row.fields[0].toString() != station) {
            if (walk)
                walk->finish();
            station = row.fields[0].toString();
            auto [previous, previousNumber] =
                from ? rowBefore(db, table, station, row.number) : std::pair<QString, std::optional<double>>{};
            walk.emplace(report, table, station, previous, previousNumber);
        }
        walk->add(std::move(row));
    }
    if (rows.lastError().isValid())
        throw DatabaseError(rows.lastError().text());
    if (walk)
        walk->finish();
}

} // namespace kelvora
