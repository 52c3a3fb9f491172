#include "data/BoundQuery.h"

#include "data/DatabaseError.h"
#include "data/TADOConnection.h"

#include <QSqlError>

namespace kelvora {

QSqlQuery boundQuery(TADOConnection& connection, const QString& statement, const QVariantList& values) {
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw DatabaseError(query.lastError().text());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    return query;
}

} // namespace kelvora
