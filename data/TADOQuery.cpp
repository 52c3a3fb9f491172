#include "data/TADOQuery.h"

#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"
#include "data/PostgresHandle.h"
#include "data/RowStatements.h"
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
    m_table = row_statements::editableTable(SQL.Text());
    m_idColumn = columnIndex(QStringLiteral("id"));
    emit resultChanged();
    emit stateChanged();
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
            row.push_back(valueOf(query, i));
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

QVariant TADOQuery::valueOf(const QSqlQuery& query, int column) const {
    // Times are wall-clock times: PostgreSQL's text, not Qt's reading of it in local time.
    if (m_kinds[column] == schema::ColumnKind::DateTime && m_connection.dialect() == schema::Dialect::Postgres)
        return postgres_handle::serverText(query, column);
    return query.value(column);
}

void TADOQuery::Close() {
    if (!m_active)
        return;
    m_active = false;
    m_editState = State::Browse;
    m_table.reset();
    m_idColumn = -1;
    m_fieldNames.clear();
    m_kinds.clear();
    m_rows.clear();
    m_current = 0;
    emit resultChanged();
    emit stateChanged();
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
    setRecNo(0);
}

void TADOQuery::Next() {
    requireActive();
    setRecNo(std::min(m_current + 1, static_cast<int>(m_rows.size())));
}

void TADOQuery::setRecNo(int row) {
    requireActive();
    if (row != m_current)
        Post();
    const int target = std::clamp(row, 0, static_cast<int>(m_rows.size()));
    if (target == m_current)
        return;
    m_current = target;
    emit currentRowChanged(m_current);
}

bool TADOQuery::Eof() const {
    requireActive();
    return m_current >= static_cast<int>(m_rows.size());
}

TField TADOQuery::field(int row, int column) const {
    QVariant value;
    if (m_editState != State::Browse && row == m_current)
        value = m_buffer[column];
    else if (row >= 0 && row < static_cast<int>(m_rows.size()))
        value = m_rows[row][column];
    return TField(m_fieldNames[column], m_kinds[column], value);
}

TField TADOQuery::FieldByName(const QString& name) const {
    requireActive();
    const int column = columnIndex(name);
    if (column < 0)
        throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    // Past the last row the walk still shows the last row's values.
    return field(std::min(m_current, static_cast<int>(m_rows.size()) - 1), column);
}

int TADOQuery::columnIndex(const QString& name) const {
    for (int i = 0; i < m_fieldNames.size(); ++i)
        if (m_fieldNames[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TADOQuery::State TADOQuery::state() const {
    return m_active ? m_editState : State::Inactive;
}

void TADOQuery::requireModifiable() const {
    requireActive();
    if (!CanModify())
        throw DatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
}

void TADOQuery::Edit() {
    requireModifiable();
    if (m_editState != State::Browse)
        return;
    if (m_current >= static_cast<int>(m_rows.size()))
        throw DatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    m_buffer = m_rows[m_current];
    m_changed.assign(m_fieldNames.size(), false);
    setEditState(State::Edit);
}

void TADOQuery::setEditState(State state) {
    if (state == m_editState)
        return;
    m_editState = state;
    emit stateChanged();
}

void TADOQuery::insertRow(int row, std::vector<QVariant> values) {
    emit rowAboutToBeInserted(row);
    m_rows.insert(m_rows.begin() + row, std::move(values));
    emit rowInserted(row);
}

void TADOQuery::removeRow(int row) {
    emit rowAboutToBeRemoved(row);
    m_rows.erase(m_rows.begin() + row);
    emit rowRemoved(row);
}

void TADOQuery::Insert() {
    requireModifiable();
    Post();
    m_current = std::min(m_current, static_cast<int>(m_rows.size()));
    std::vector<QVariant> empty;
    for (const schema::ColumnKind kind : m_kinds)
        empty.push_back(kind == schema::ColumnKind::YesNo ? QVariant(false) : QVariant());
    m_buffer = empty;
    m_changed.assign(m_fieldNames.size(), false);
    insertRow(m_current, std::move(empty));
    setEditState(State::Insert);
    emit currentRowChanged(m_current);
}

void TADOQuery::SetFieldValue(const QString& name, const QVariant& value) {
    const int column = columnIndex(name);
    if (column < 0)
        throw DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    Edit();
    if (column == m_idColumn)
        throw DatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(m_fieldNames[column]));
    m_buffer[column] = value;
    m_changed[column] = true;
    emit rowChanged(m_current);
}

QSqlQuery TADOQuery::prepared(const QString& sql) {
    m_connection.Open();
    QSqlQuery query(m_connection.database());
    if (!query.prepare(sql))
        throw DatabaseError(query.lastError().text());
    return query;
}

void TADOQuery::changedValues(QStringList& columns, QVariantList& values) const {
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_changed[i]) {
            columns << m_fieldNames[i];
            values << row_statements::storedValue(m_fieldNames[i], m_kinds[i], m_buffer[i]);
        }
    }
}

void TADOQuery::postUpdate() {
    QStringList columns;
    QVariantList values;
    changedValues(columns, values);
    if (columns.isEmpty())
        return;
    QSqlQuery query = prepared(row_statements::update(*m_table, columns));
    for (const QVariant& value : values)
        query.addBindValue(value);
    query.addBindValue(m_buffer[m_idColumn]);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    for (int i = 0; i < m_fieldNames.size(); ++i)
        if (m_changed[i])
            m_buffer[i] = values[columns.indexOf(m_fieldNames[i])];
}

void TADOQuery::postInsert() {
    QStringList columns;
    QVariantList values;
    changedValues(columns, values);
    QSqlQuery insert = prepared(row_statements::insert(*m_table, columns));
    for (const QVariant& value : values)
        insert.addBindValue(value);
    if (!insert.exec() || !insert.next())
        throw DatabaseError(insert.lastError().text());
    const QVariant id = insert.value(0);
    insert.finish();
    // Read the row back: the table fills in what was not set (the initial password of a new user).
    QSqlQuery row = prepared(row_statements::selectRow(*m_table, m_fieldNames));
    row.addBindValue(id);
    if (!row.exec() || !row.next())
        throw DatabaseError(row.lastError().text());
    for (int i = 0; i < m_fieldNames.size(); ++i)
        m_buffer[i] = valueOf(row, i);
}

void TADOQuery::Post() {
    requireActive();
    if (m_editState == State::Browse)
        return;
    try {
        m_editState == State::Insert ? postInsert() : postUpdate();
    } catch (const DatabaseError&) {
        m_connection.closeIfBroken();
        throw;
    }
    m_rows[m_current] = m_buffer;
    setEditState(State::Browse);
    emit rowChanged(m_current);
}

void TADOQuery::Cancel() {
    if (!m_active || m_editState == State::Browse)
        return;
    const bool inserted = m_editState == State::Insert;
    setEditState(State::Browse);
    if (inserted) {
        removeRow(m_current);
        emit currentRowChanged(m_current);
    } else {
        emit rowChanged(m_current);
    }
}

void TADOQuery::Delete() {
    requireModifiable();
    if (m_editState == State::Insert) {
        Cancel(); // the inserted row is not in the table yet
        return;
    }
    Cancel();
    if (m_current >= static_cast<int>(m_rows.size()))
        throw DatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    QSqlQuery query = prepared(row_statements::remove(*m_table));
    query.addBindValue(m_rows[m_current][m_idColumn]);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    removeRow(m_current);
    m_current = std::min(m_current, static_cast<int>(m_rows.size()));
    emit currentRowChanged(m_current);
}

} // namespace kelvora
