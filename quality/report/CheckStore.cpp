#include "quality/report/CheckStore.h"

#include "data/BoundQuery.h"
#include "data/DatabaseError.h"
#include "data/Schema.h"
#include "data/TADOConnection.h"
#include "quality/report/ShiftReport.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kelvora {

namespace {

bool hasChecksTable(TADOConnection& connection) {
    return connection.database().tables().contains(QStringLiteral("checks"), Qt::CaseInsensitive);
}

} // namespace

void ensureChecksTable(TADOConnection& connection) {
    connection.Open();
    if (hasChecksTable(connection))
        return;
    const bool postgres = connection.database().driverName() == QStringLiteral("QPSQL");
    QSqlQuery query(connection.database()); // PostgreSQL prepares no CREATE
    for (const QString& statement :
         schema::checksStatements(postgres ? schema::Dialect::Postgres : schema::Dialect::Sqlite))
        if (!query.exec(statement))
            throw DatabaseError(query.lastError().text());
}

void storeCheck(TADOConnection& connection, const CheckRecord& check) {
    ensureChecksTable(connection);
    boundQuery(connection,
               QStringLiteral("insert into \"checks\" (\"类型\", \"时间\", \"操作员\", \"型号\", \"班次\", \"结果\", "
                              "\"内容\") values (?, ?, ?, ?, ?, ?, ?)"),
               {check.kind, check.time, check.operatorName, check.model, check.shift,
                check.passed ? QStringLiteral("合格") : QStringLiteral("不合格"), check.summary});
}

std::vector<CheckRecord> loadChecks(TADOConnection& connection, const ReportRange& range) {
    connection.Open();
    std::vector<CheckRecord> checks;
    if (!hasChecksTable(connection))
        return checks;
    QSqlQuery query =
        boundQuery(connection,
                   QStringLiteral("select \"类型\", cast(\"时间\" as text), \"操作员\", \"型号\", \"班次\", "
                                  "\"结果\", \"内容\" from \"checks\" where \"时间\" between ? and ? "
                                  "order by \"时间\", \"id\""),
                   {reportTimeText(range.from), reportTimeText(range.to)});
    while (query.next())
        checks.push_back({query.value(0).toString(), query.value(1).toString().left(19), query.value(2).toString(),
                          query.value(3).toString(), query.value(4).toString(),
                          query.value(5).toString() == QStringLiteral("合格"), query.value(6).toString()});
    return checks;
}

bool passingCheckOfShift(TADOConnection& connection, const QString& kind, const QString& shift) {
    connection.Open();
    if (!hasChecksTable(connection))
        return false;
    QSqlQuery query =
        boundQuery(connection,
                   QStringLiteral("select count(*) from \"checks\" where \"类型\" = ? and \"班次\" = ? and "
                                  "\"结果\" = '合格'"),
                   {kind, shift});
    return query.next() && query.value(0).toLongLong() > 0;
}

} // namespace kelvora
