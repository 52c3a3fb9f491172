#include "data/AuditTrail.h"

#include "data/DatabaseError.h"
#include "data/RecordChain.h"
#include "data/Schema.h"

#include <memory>

#include <QCoreApplication>
#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>

namespace kelvora {

using namespace Qt::StringLiterals;

namespace {

void execOrThrow(QSqlQuery& query, const QString& statement) {
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text());
}

// Never destroyed by the exit handlers: its connection must go before Qt's database registry does, so the
// trail is closed with the application (qAddPostRoutine) or by unconfigure().
std::unique_ptr<AuditTrail>& sharedTrail() {
    static auto* trail = new std::unique_ptr<AuditTrail>;
    return *trail;
}

} // namespace

AuditTrail::AuditTrail(const QString& connectionString, const QString& station)
    : m_connection(connectionString),
      m_station(station.trimmed().isEmpty() ? QSysInfo::machineHostName() : station.trimmed()) {}

AuditTrail* AuditTrail::configured() {
    return sharedTrail().get();
}

void AuditTrail::configure(const QString& connectionString, const QString& station) {
    const QString user = sharedTrail() ? sharedTrail()->operatorName() : QString();
    sharedTrail() = std::make_unique<AuditTrail>(connectionString, station);
    sharedTrail()->setOperator(user);
    static const bool closedWithTheApplication = [] {
        qAddPostRoutine(unconfigure);
        return true;
    }();
    (void)closedWithTheApplication;
}

void AuditTrail::unconfigure() {
    sharedTrail().reset();
}

void AuditTrail::write(const QString& event, const QString& object, const QString& oldValue, const QString& newValue,
                       const QString& note) {
    if (AuditTrail* trail = configured())
        trail->record(event, object, oldValue, newValue, note);
}

QString AuditTrail::lastLink() {
    m_connection.Open();
    QSqlQuery query(m_connection.database());
    query.prepare(QStringLiteral("select \"链\" from \"audit\" where \"站点\" = ? order by \"序号\" desc limit 1"));
    query.addBindValue(m_station);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    return query.next() ? query.value(0).toString() : QString();
}

void AuditTrail::record(const QString& event, const QString& object, const QString& oldValue, const QString& newValue,
                        const QString& note) {
    record(std::vector<Event>{{event, object, oldValue, newValue, note}});
}

void AuditTrail::record(const std::vector<Event>& events) {
    record(events, QDateTime::currentDateTime());
}

void AuditTrail::record(const std::vector<Event>& events, const QDateTime& when) {
    const QString time = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    // Empty text is stored as empty text, never as null: the link is computed over what is read back.
    const auto text = [](const QString& value) { return value.isNull() ? QString(u""_s) : value; };
    std::vector<QVariantList> rows;
    for (const Event& e : events)
        rows.push_back({time, m_station, QVariant(), text(m_operator), text(e.event), text(e.object), text(e.oldValue),
                        text(e.newValue), text(e.note)});
    try {
        append(rows);
    } catch (const DatabaseError& e) {
        m_connection.Close();
        throw DatabaseError(QStringLiteral("审计记录未能保存: %1").arg(e.message()));
    }
}

// Each row in the order of schema::auditTable() without 链; 序号 is filled in here, under the lock that
// keeps the station's rows in one line.
void AuditTrail::append(const std::vector<QVariantList>& rows) {
    m_connection.Open();
    QSqlDatabase db = m_connection.database();
    const bool sqlite = m_connection.dialect() == schema::Dialect::Sqlite;
    QSqlQuery query(db);
    if (!m_tableChecked) {
        // Only a database made before the trail lacks it; a station's PostgreSQL role could not create it.
        if (!db.tables().contains(QStringLiteral("audit"), Qt::CaseInsensitive))
            for (const QString& statement : schema::auditStatements(m_connection.dialect()))
                execOrThrow(query, statement);
        m_tableChecked = true;
    }
    execOrThrow(query, sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    try {
        if (!sqlite) {
            // Two writers of one station (the station and a tool) take turns; others are not held up.
            query.prepare(QStringLiteral("select pg_advisory_xact_lock(hashtext(?))"));
            query.addBindValue(QString(QStringLiteral("audit:") + m_station));
            if (!query.exec())
                throw DatabaseError(query.lastError().text());
        }
        query.prepare(QStringLiteral("select \"序号\", \"链\" from \"audit\" where \"站点\" = ? order by \"序号\" desc "
                                     "limit 1"));
        query.addBindValue(m_station);
        if (!query.exec())
            throw DatabaseError(query.lastError().text());
        const bool any = query.next();
        qlonglong number = any ? query.value(0).toLongLong() : 0;
        QString previous = any ? query.value(1).toString() : QString();
        query.prepare(
            QStringLiteral("insert into \"audit\" (\"时间\", \"站点\", \"序号\", \"操作员\", \"事件\", \"对象\", "
                           "\"旧值\", \"新值\", \"备注\", \"链\") values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        for (QVariantList row : rows) {
            row[2] = double(++number);
            QVariantList fields{row[1], row[2], row[0]};
            fields += row.mid(3);
            previous = RecordChain::link(previous, fields);
            row << previous;
            for (int i = 0; i < row.size(); ++i)
                query.bindValue(i, row[i]);
            if (!query.exec())
                throw DatabaseError(query.lastError().text());
        }
        execOrThrow(query, QStringLiteral("COMMIT"));
    } catch (...) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        throw;
    }
}

} // namespace kelvora
