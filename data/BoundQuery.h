#pragma once

#include <QSqlQuery>
#include <QString>
#include <QVariantList>

namespace kelvora {

class TADOConnection;

/// Prepares `statement` (in the engine's own dialect) on the connection's database, binds `values` in
/// order and runs it; the result is read forward only. Throws DatabaseError with the engine's text.
QSqlQuery boundQuery(TADOConnection& connection, const QString& statement, const QVariantList& values = {});

} // namespace kelvora
