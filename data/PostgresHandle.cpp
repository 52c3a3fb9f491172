#include "data/PostgresHandle.h"

#include "data/DatabaseError.h"

#include <libpq-fe.h>

#include <QSqlResult>

namespace kelvora::postgres_handle {

QVariant serverText(const QSqlQuery& query, int column) {
    const QVariant handle = query.result() ? query.result()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "pg_result*") != 0)
        throw DatabaseError(QStringLiteral("The query is not a PostgreSQL query"));
    const PGresult* result = *static_cast<PGresult* const*>(handle.constData());
    // A forward-only query fetches one row per result (libpq's single-row mode); otherwise the result
    // holds every row and the query's position indexes it.
    const int row = result && PQntuples(result) == 1 ? 0 : query.at();
    if (!result || row < 0 || row >= PQntuples(result) || column < 0 || column >= PQnfields(result))
        throw DatabaseError(QStringLiteral("The PostgreSQL query stands on no row"));
    if (PQgetisnull(result, row, column))
        return QVariant(QMetaType::fromType<QString>());
    return QString::fromUtf8(PQgetvalue(result, row, column), PQgetlength(result, row, column));
}

} // namespace kelvora::postgres_handle
