#pragma once

#include "data/Schema.h"

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelvora {

/// The engine statements that write one row of a result back to its table, found by the row identifier
/// column "id". Names are quoted; values are bound in the order of their placeholders.
namespace row_statements {

/// The table whose rows a statement returns, when they can be written back: a select from one table of
/// the schema (no join, no grouping). nullopt otherwise.
std::optional<QString> editableTable(const QString& statement);

QString update(const QString& table, const QStringList& columns);    ///< columns = ?, ... where id = ?
QString insert(const QString& table, const QStringList& columns);    ///< returning the new row's id
QString remove(const QString& table);                                ///< where id = ?
QString selectRow(const QString& table, const QStringList& columns); ///< the columns of the row with id = ?

/// A value as stored in a column of the given kind: text for a number is converted (a non-number fails
/// with "Data type mismatch"), yes/no becomes a boolean, a date and time becomes "YYYY-MM-DD HH:MM:SS".
QVariant storedValue(const QString& column, schema::ColumnKind kind, const QVariant& value);

} // namespace row_statements
} // namespace kelvora
