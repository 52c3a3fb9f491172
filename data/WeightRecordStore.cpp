#include "data/WeightRecordStore.h"

#include "data/DatabaseError.h"
#include "data/FileSync.h"

#include <charconv>

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>

namespace kelvora {

namespace {

QString targetString(const QString& target) {
    return target.trimmed().isEmpty() ? mainDatabase() : target;
}

void execOrThrow(QSqlQuery& query, const QString& statement) {
    if (!query.exec(statement))
        throw DatabaseError(query.lastError().text());
}

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    return u'"' + QString(text).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString number(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace

WeightRecordStore::WeightRecordStore(const QString& connectionString) : m_connection(connectionString) {}

void WeightRecordStore::insert(const WeighingRecord& record) {
    try {
        m_connection.Open();
        QSqlDatabase db = m_connection.database();
        const bool sqlite = m_connection.dialect() == schema::Dialect::Sqlite;
        QSqlQuery query(db);
        // BEGIN IMMEDIATE takes the write lock now, so a busy database fails here, before any row work.
        execOrThrow(query, sqlite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
        try {
            if (!query.prepare(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", "
                                              "\"时间\") values (?, ?, ?, ?, ?)")))
                throw DatabaseError(query.lastError().text());
            query.addBindValue(QString::fromStdString(record.model));
            query.addBindValue(record.weight);
            query.addBindValue(QString::fromStdString(record.verdict));
            query.addBindValue(QString::fromStdString(record.operatorName));
            query.addBindValue(QString::fromStdString(record.time));
            if (!query.exec())
                throw DatabaseError(query.lastError().text());
            execOrThrow(query, QStringLiteral("COMMIT"));
        } catch (...) {
            QSqlQuery rollback(db);
            rollback.exec(QStringLiteral("ROLLBACK"));
            throw;
        }
    } catch (const DatabaseError& e) {
        // A connection that failed is opened anew next time: the file may have been replaced or the
        // server restarted.
        m_connection.Close();
        throw DatabaseError(QStringLiteral("The weighing record could not be stored: %1").arg(e.message()));
    }
}

std::unique_ptr<WeightRecordStore> openRecordStore(const QString& target) {
    auto store = std::make_unique<WeightRecordStore>(targetString(target));
    store->connection().Open();
    return store;
}

QString unsavedRecordsFile(const QString& target) {
    return QDir(parseConnectionTarget(targetString(target)).companionDirectory())
        .filePath(QStringLiteral("unsaved-records.csv"));
}

void appendUnsavedRecords(const QString& target, const std::deque<WeighingRecord>& records) {
    if (records.empty())
        return;
    const QString path = unsavedRecordsFile(target);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        throw DatabaseError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    QString text;
    if (file.size() == 0)
        text += QStringLiteral("型号,重量,检定结果,操作员,时间\n");
    for (const WeighingRecord& r : records) {
        text += csvField(QString::fromStdString(r.model)) + u',' + number(r.weight) + u',' +
                csvField(QString::fromStdString(r.verdict)) + u',' + csvField(QString::fromStdString(r.operatorName)) +
                u',' + csvField(QString::fromStdString(r.time)) + u'\n';
    }
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size() || !file.flush())
        throw DatabaseError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    file.close();
    file_sync::syncFile(path);
}

} // namespace kelvora
