#include "data/LinkedRowReader.h"

#include "data/DatabaseError.h"
#include "data/PostgresHandle.h"
#include "data/RecordChain.h"
#include "data/SqliteHandle.h"

#include <sqlite3.h>

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QVariant>

namespace kelvora {

namespace {

// Copies bytes into `to`, reusing its storage.
void copyInto(std::string& to, const void* bytes, int size) {
    to.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
}

void setValue(LinkedRow::Value& value, const QVariant& field) {
    if (field.isNull()) {
        value.kind = LinkedRow::Value::Kind::Null;
        return;
    }
    if (RecordChain::isNumber(field)) {
        value.kind = LinkedRow::Value::Kind::Number;
        value.number = field.toDouble();
        return;
    }
    value.kind = LinkedRow::Value::Kind::Text;
    value.text = RecordChain::fieldText(field).toStdString();
}

} // namespace

LinkedRowReader::LinkedRowReader(QSqlDatabase& db, bool postgres, const QString& sql, int timeColumn,
                                 const QVariantList& bindings)
    : m_postgres(postgres), m_timeColumn(timeColumn) {
    const QVariant handle = db.driver()->handle();
    if (!postgres && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        prepare(*static_cast<sqlite3* const*>(handle.data()), sql, bindings);
        return;
    }
    QSqlQuery& query = m_query.emplace(db);
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant& value : bindings)
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
}

LinkedRowReader::LinkedRowReader(const QByteArray& file, const QString& sql, const QVariantList& bindings)
    : m_postgres(false), m_timeColumn(-1) {
    if (sqlite3_open_v2(file.constData(), &m_own, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const QString message = m_own ? QString::fromUtf8(sqlite3_errmsg(m_own)) : QStringLiteral("out of memory");
        sqlite3_close(m_own);
        throw DatabaseError(QStringLiteral("Cannot open '%1': %2").arg(QString::fromUtf8(file), message));
    }
    try {
        sqlite_handle::setBusyWait(m_own, 5000);
        prepare(m_own, sql, bindings);
    } catch (...) {
        sqlite3_close(m_own);
        throw;
    }
}

void LinkedRowReader::prepare(sqlite3* handle, const QString& sql, const QVariantList& bindings) {
    if (sqlite3_prepare_v2(handle, sql.toUtf8().constData(), -1, &m_statement, nullptr) != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(handle)));
    for (int i = 0; i < bindings.size(); ++i) {
        const QVariant& value = bindings[i];
        if (value.typeId() == QMetaType::Double)
            sqlite3_bind_double(m_statement, i + 1, value.toDouble());
        else
            sqlite3_bind_text(m_statement, i + 1, value.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    }
}

LinkedRowReader::~LinkedRowReader() {
    sqlite3_finalize(m_statement);
    sqlite3_close(m_own);
}

bool LinkedRowReader::next(LinkedRow& row) {
    return m_statement ? nextSqlite(row) : nextQuery(row);
}

bool LinkedRowReader::nextSqlite(LinkedRow& row) {
    const int step = sqlite3_step(m_statement);
    if (step == SQLITE_DONE)
        return false;
    if (step != SQLITE_ROW)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_statement))));
    row.id = sqlite3_column_int64(m_statement, 0);
    row.linked = sqlite3_column_type(m_statement, 1) != SQLITE_NULL;
    if (!row.linked)
        return true;
    // As blobs: the bytes as stored (UTF-8), without the copy a terminating zero may cost.
    copyInto(row.link, sqlite3_column_blob(m_statement, 1), sqlite3_column_bytes(m_statement, 1));
    const int columns = sqlite3_column_count(m_statement);
    row.values.resize(static_cast<std::size_t>(columns - 2));
    for (int c = 2; c < columns; ++c) {
        LinkedRow::Value& value = row.values[static_cast<std::size_t>(c - 2)];
        switch (sqlite3_column_type(m_statement, c)) {
        case SQLITE_NULL:
            value.kind = LinkedRow::Value::Kind::Null;
            break;
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            value.kind = LinkedRow::Value::Kind::Number;
            value.number = sqlite3_column_double(m_statement, c);
            break;
        default:
            value.kind = LinkedRow::Value::Kind::Text;
            copyInto(value.text, sqlite3_column_blob(m_statement, c), sqlite3_column_bytes(m_statement, c));
        }
    }
    // 站点 as text and 序号 as a number, however they were stored.
    const LinkedRow::Value& station = row.values[0];
    if (station.kind == LinkedRow::Value::Kind::Text)
        row.station = station.text;
    else
        copyInto(row.station, sqlite3_column_text(m_statement, 2), sqlite3_column_bytes(m_statement, 2));
    const LinkedRow::Value& number = row.values[1];
    row.number = number.kind == LinkedRow::Value::Kind::Number ? number.number : sqlite3_column_double(m_statement, 3);
    return true;
}

bool LinkedRowReader::nextQuery(LinkedRow& row) {
    QSqlQuery& query = *m_query;
    if (!query.next()) {
        if (query.lastError().isValid())
            throw DatabaseError(query.lastError().text());
        return false;
    }
    row.id = query.value(0).toLongLong();
    row.linked = !query.value(1).isNull();
    if (!row.linked)
        return true;
    row.link = query.value(1).toString().toStdString();
    row.station = query.value(2).toString().toStdString();
    row.number = query.value(3).toDouble();
    const int columns = query.record().count();
    row.values.resize(static_cast<std::size_t>(columns - 2));
    for (int c = 2; c < columns; ++c)
        setValue(row.values[static_cast<std::size_t>(c - 2)],
                 m_postgres && c == m_timeColumn ? postgres_handle::serverText(query, c) : query.value(c));
    return true;
}

} // namespace kelvora
