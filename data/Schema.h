#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

namespace kelvora {

/// The tables `XH`, `weight` and `users` as the station uses them.
namespace schema {

enum class ColumnKind { Text, Number, YesNo, DateTime };

struct Column {
    QString name;
    ColumnKind kind;
};

struct Table {
    QString name;
    std::vector<Column> columns;
};

/// The password a new user gets; the login window announces it.
inline const QString kInitialPassword = QStringLiteral("123456");

const std::vector<Table>& tables();
/// The table of that name, compared case-blind.
const Table* findTable(const QString& name);
/// The kind of a column of any table, by name compared case-blind (a name means the same kind in every
/// table that has it).
std::optional<ColumnKind> columnKind(const QString& name);
/// The name as the schema spells it when it names a table or column, else the name unchanged.
QString canonicalName(const QString& name);

enum class Dialect { Sqlite, Postgres };
/// The statements that create the three tables and the index on `weight`.`时间` (text compared case-blind).
QStringList createStatements(Dialect dialect);

} // namespace schema
} // namespace kelvora
