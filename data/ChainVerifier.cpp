#include "data/ChainVerifier.h"

#include "data/ChainCheck.h"
#include "data/DatabaseError.h"
#include "data/LinkedRowQueue.h"
#include "data/SqliteHandle.h"
#include "data/TADOConnection.h"

#include <exception>
#include <map>
#include <memory>
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

using RowBefore = ChainVerifier::RowBefore;

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

// Checks the filled batches in order, on the checking thread.
void checkBatches(LinkedRowQueue& queue, ChainVerifier::Report& report, const QString& table) {
    ChainCheck check(report, table);
    while (std::unique_ptr<LinkedRowQueue::Batch> batch = queue.takeFilled()) {
        auto start = batch->starts.cbegin();
        for (std::size_t i = 0; i < batch->count; ++i) {
            const LinkedRow& row = batch->rows[i];
            if (start != batch->starts.cend() && start->row == i) {
                check.start(QString::fromStdString(row.station), start->previousLink, start->previousNumber);
                ++start;
            }
            check.add(row);
        }
        queue.giveBack(std::move(batch));
    }
    check.finish();
}

// Reads `rows` on this thread while a second one checks them: on two cores, about half the time.
void checkRows(LinkedRowReader& rows, const std::map<std::string, RowBefore>& before, std::size_t rowsPerBatch,
               const QString& table, ChainVerifier::Report& report) {
    LinkedRowQueue queue(3, rowsPerBatch);
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
    const QString select = QStringLiteral("select %1 from %2").arg(columns.join(u','), quoted(table));
    if (!postgres && !from && !to) {
        if (const std::optional<Split> split = findSplit(db, table, select)) {
            verifyHalves(db, table, select, *split, report);
            return;
        }
    }
    const std::map<std::string, RowBefore> before =
        from ? rowsBefore(db, table, range) : std::map<std::string, RowBefore>{};
    LinkedRowReader rows(db, postgres, select + range + QStringLiteral(" order by \"站点\", \"序号\""), timeColumn);
    checkRows(rows, before, m_rowsPerBatch, table, report);
}

std::optional<ChainVerifier::Split> ChainVerifier::findSplit(QSqlDatabase& db, const QString& table,
                                                             const QString& select) const {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("select count(*) from %1").arg(quoted(table))) || !query.next() ||
        query.value(0).toLongLong() < m_splitFrom)
        return std::nullopt;
    const qlonglong middle = query.value(0).toLongLong() / 2;
    if (!query.exec(QStringLiteral("select \"站点\", \"序号\" from %1 order by \"站点\", \"序号\" limit 1 offset %2")
                        .arg(quoted(table))
                        .arg(middle)) ||
        !query.next() || query.value(0).isNull() || query.value(1).isNull())
        return std::nullopt;
    Split split{query.value(0).toString(), query.value(1).toDouble(), std::nullopt};
    query.finish();
    // The second half goes on from the station's row before it, which must not be broken itself: a broken
    // row is judged by the row after it, which the other half holds.
    LinkedRowReader before(db, false,
                           select + QStringLiteral(" where \"链\" is not null and \"站点\" = ? and \"序号\" < ? order "
                                                   "by \"序号\" desc limit 2"),
                           -1, {split.station, split.number});
    LinkedRow last;
    LinkedRow beforeLast;
    if (!before.next(last))
        return split; // the station's first linked row: its chain starts in the second half
    const bool hasBeforeLast = before.next(beforeLast);
    if (hasBeforeLast && !(beforeLast.number < last.number))
        return std::nullopt;
    Report unused;
    if (!ChainCheck(unused, table).follows(hasBeforeLast ? beforeLast.link : std::string(), last))
        return std::nullopt;
    split.previous = RowBefore{last.link, last.number};
    return split;
}

void ChainVerifier::verifyHalves(QSqlDatabase& db, const QString& table, const QString& select, const Split& split,
                                 Report& report) const {
    const QByteArray file = sqlite_handle::fileName(db);
    const QString order = QStringLiteral(" order by \"站点\", \"序号\"");
    // NULLs sort first: a row without a station or a number goes with the first half.
    const QString first =
        select +
        QStringLiteral(" where \"站点\" is null or \"站点\" < ? or (\"站点\" = ? and (\"序号\" is null or "
                       "\"序号\" < ?))") +
        order;
    const QString second = select + QStringLiteral(" where (\"站点\", \"序号\") >= (?, ?)") + order;
    Report firstReport;
    std::exception_ptr firstFailure;
    std::thread firstHalf([&] {
        try {
            LinkedRowReader rows(file, first, {split.station, split.station, split.number});
            checkRows(rows, {}, m_rowsPerBatch, table, firstReport);
        } catch (...) {
            firstFailure = std::current_exception();
        }
    });
    Report secondReport;
    try {
        std::map<std::string, RowBefore> before;
        if (split.previous)
            before[split.station.toStdString()] = *split.previous;
        LinkedRowReader rows(file, second, {split.station, split.number});
        checkRows(rows, before, m_rowsPerBatch, table, secondReport);
    } catch (...) {
        firstHalf.join();
        throw;
    }
    firstHalf.join();
    if (firstFailure)
        std::rethrow_exception(firstFailure);
    for (const Report* half : {&firstReport, &secondReport}) {
        report.checked += half->checked;
        report.withoutLink += half->withoutLink;
        report.breaks.insert(report.breaks.end(), half->breaks.begin(), half->breaks.end());
    }
}

} // namespace kelvora
