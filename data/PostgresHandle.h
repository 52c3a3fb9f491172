#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace kelvora {

/// The few calls on the libpq result under a Qt PostgreSQL query that Qt does not offer itself.
namespace postgres_handle {

/// The value of `column` in the query's current row as the server sent it, as text ("2024-03-31
/// 02:30:00" for a timestamp); a null value gives a null QVariant. Qt reads a timestamp without time zone
/// as local time, which turns a wall-clock time in a summer-time gap into an invalid value; this reads
/// it unchanged. Throws DatabaseError when the query is not a PostgreSQL query positioned on a row.
QVariant serverText(const QSqlQuery& query, int column);

} // namespace postgres_handle
} // namespace kelvora
