#include "data/TADOQuery.h"

#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"
#include "data/SqlTokenizer.h"
#include "data/TADOConnection.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kelvora {

namespace {

// The kind of a column: the schema's, for the station's own columns; otherwise what the engine says.
schema::ColumnKind kindOf(const QSqlField& field) {
    if (const auto known = schema::columnKind(field.name()))
        return *known;
    switch (field.metaType().id()) {
    case QMetaType::Bool:
        return schema::ColumnKind::YesNo;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return schema::ColumnKind::Number;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return schema::ColumnKind::DateTime;
    default:
        return schema::ColumnKind::Text;
    }
}

bool returnsRows(const QString& statement) {
    const std::vector<SqlToken> tokens = tokenizeSql(statement);
    for (const SqlToken& token : tokens) {
        if (token.isSymbol("("))
            continue;
        return token.isWord("select");
    }
    return false;
}

} // namespace

TADOQuery::TADOQuery(TADOConnection& connection, QObject* parent) : QObject(parent), m_connection(connection) {}

void TADOQuery::Open() {
    Close();
    if (!returnsRows(SQL.Text()))
        throw DatabaseError(QStringLiteral("CommandText does not return a result set"));
    run(true);
    m_active = true;
    m_current = 0;
    emit resultChanged();
}

void TADOQuery::ExecSQL() {
    Close();
    run(false);
}

int TADOQuery::run(bool wantRows) {
    m_connection.Open();
    try {
        return send(wantRows);
    } catch (const DatabaseError&) {
        m_connection.closeIfBroken();
        throw;
    }
}

int TADOQuery::send(bool wantRows) {
    const auto statement = translateStatement(SQL.Text(), m_connection.dialect());
    QSqlQuery query(m_connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(statement->sql))
        throw DatabaseError(query.lastError().text());
    for (const TranslatedStatement::Binding& binding : statement->bindings) {
        QVariant value = binding.value;
        if (binding.isParameter) {
            const TParameter* parameter = Parameters.FindParam(binding.parameter);
            if (!parameter || !parameter->Value.isValid())
                throw DatabaseError(QStringLiteral("Parameter '%1' has no value").arg(binding.parameter));
            value = parameter->Value;
        }
        query.addBindValue(bindingValue(binding, value));
    }
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    if (!wantRows)
        return query.numRowsAffected();
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) {
        m_fieldNames << record.fieldName(i);
        m_kinds.push_back(kindOf(record.field(i)));
    }
    while (query.next()) {
        std::vector<QVariant> row;
        row.reserve(record.count());
        for (int i = 0; i < record.count(); ++i)
            row.push_back(query.value(i));
        m_rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        m_fieldNames.clear();
        m_kinds.clear();
        m_rows.clear();
        throw DatabaseError(query.lastError().text());
    }
    return static_cast<int>(m_rows.size());
}

void TADOQuery::Close() {
    if (!m_active)
        return;
    m_active = false;
    m_fieldNames.clear();
    m_kinds.clear();
    m_rows.clear();
    m_current = 0;
    emit resultChanged();
}

void TADOQuery::requireActive() const {
    if (!m_active)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

int TADOQuery::RecordCount() const {
    requireActive();
    return static_cast<int>(m_rows.size());
}

void TADOQuery::First() {
    requireActive();
    m_current = 0;
}

void TADOQuery::Next() {
    requireActive();
    if (m_current < static_cast<int>(m_rows.size()))
        ++m_current;
}

bool TADOQuery::Eof() const {
    requireActive();
    return m_current >= static_cast<int>(m_rows.size());
}

TField TADOQuery::field(int row, int column) const {
    const QVariant value = row >= 0 && row < static_cast<int>(m_rows.size()) ? m_rows[row][column] : QVariant();
    return TField(m_fieldNames[column], m_kinds[column], value);
}

TField TADOQuery::FieldByName(const QString& name) const {
    requireActive();
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_fieldNames[i].compare(name, Qt::CaseInsensitive) == 0) {
            // Past the last row the walk still shows the last row's values.
            const int row = std::min(m_current, static_cast<int>(m_rows.size()) - 1);
            return field(row, i);
        }
    }
    throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
}

} // namespace kelvora
