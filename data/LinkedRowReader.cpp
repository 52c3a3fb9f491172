#include "data/LinkedRowReader.h"

#include "data/DatabaseError.h"
#include "data/PostgresHandle.h"
#include "data/RecordChain.h"

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
    switch (field.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Float:
    case QMetaType::Double:
        value.kind = LinkedRow::Value::Kind::Number;
        value.number = field.toDouble();
        return;
    default:
        value.kind = LinkedRow::Value::Kind::Text;
        value.text = RecordChain::fieldText(field).toStdString();
    }
}

} // namespace

LinkedRowReader::LinkedRowReader(QSqlDatabase& db, bool postgres, const QString& sql, int timeColumn)
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

LinkedRowReader::~LinkedRowReader() {
    sqlite3_finalize(m_statement);
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
    if (!m_query.next()) {
        if (m_query.lastError().isValid())
            throw DatabaseError(m_query.lastError().text());
        return false;
    }
    row.id = m_query.value(0).toLongLong();
    row.linked = !m_query.value(1).isNull();
    if (!row.linked)
        return true;
    row.link = m_query.value(1).toString().toStdString();
    row.station = m_query.value(2).toString().toStdString();
    row.number = m_query.value(3).toDouble();
    const int columns = m_query.record().count();
    row.values.resize(static_cast<std::size_t>(columns - 2));
    for (int c = 2; c < columns; ++c)
        setValue(row.values[static_cast<std::size_t>(c - 2)],
                 m_postgres && c == m_timeColumn ? postgres_handle::serverText(m_query, c) : m_query.value(c));
    return true;
}

} // namespace kelvora
