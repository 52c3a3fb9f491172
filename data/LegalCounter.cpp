#include "data/LegalCounter.h"

#include "data/AuditTrail.h"
#include "data/BoundQuery.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

QString timeText(const QDateTime& time) {
    return time.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

bool hasTable(TADOConnection& connection, const QString& table) {
    return connection.database().tables().contains(table, Qt::CaseInsensitive);
}

} // namespace

int LegalCounter::count(TADOConnection& connection, const QString& station, const QStringList& keys,
                        const std::optional<QDateTime>& from, const std::optional<QDateTime>& until) {
    connection.Open();
    if (!hasTable(connection, u"audit"_s))
        return 0;
    QStringList marks;
    for (qsizetype i = 0; i < keys.size(); ++i)
        marks << u"?"_s;
    QString statement = u"select count(*) from \"audit\" where \"站点\" = ? and (\"事件\" in (?, ?, ?)"_s;
    if (!keys.isEmpty())
        statement += u" or (\"事件\" in (?, ?) and \"对象\" in (%1))"_s.arg(marks.join(u','));
    statement += u')';
    QVariantList values{station, audit_event::kModelAdded, audit_event::kModelChanged, audit_event::kModelDeleted};
    if (!keys.isEmpty()) {
        values << audit_event::kSetting << audit_event::kSettingOutside;
        for (const QString& key : keys)
            values << key;
    }
    if (from) {
        statement += u" and \"时间\" >= ?"_s;
        values << timeText(*from);
    }
    if (until) {
        statement += u" and \"时间\" <= ?"_s;
        values << timeText(*until);
    }
    QSqlQuery query = boundQuery(connection, statement, values);
    if (!query.next())
        throw DatabaseError(query.lastError().text());
    return query.value(0).toInt();
}

QStringList LegalCounter::stations(TADOConnection& connection, const QDateTime& from, const QDateTime& to) {
    connection.Open();
    QStringList names;
    if (connection.database().record(u"weight"_s).contains(u"站点"_s)) {
        QSqlQuery query = boundQuery(connection,
                                     u"select distinct \"站点\" from \"weight\" where \"时间\" between ? and ? and "
                                     u"\"站点\" is not null and \"站点\" <> '' order by \"站点\""_s,
                                     {timeText(from), timeText(to)});
        while (query.next())
            names << query.value(0).toString();
    }
    if (!names.isEmpty() || !hasTable(connection, u"audit"_s))
        return names;
    QSqlQuery query = boundQuery(connection, u"select distinct \"站点\" from \"audit\" order by \"站点\""_s, {});
    while (query.next())
        names << query.value(0).toString();
    return names;
}

} // namespace kelvora
