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
/// The statements that create the three tables and the index on `weight`.`时间` (text compared case-blind),
/// followed by auditStatements(), userGuardStatements() and checksStatements().
QStringList createStatements(Dialect dialect);

/// The audit trail `audit`: 时间, 站点, 序号 (per station, from 1), 操作员, 事件, 对象, 旧值, 新值, 备注 and 链
/// (the row's RecordChain link). Kept apart from tables(): a database made before it gets it on first use.
const Table& auditTable();
/// Creates `audit` and its index on (站点, 序号) when missing, and the guards that make it append-only:
/// SQLite triggers, and a PostgreSQL trigger, that refuse every UPDATE and DELETE ("审计追踪只能追加").
/// Safe to run again on a database that has them.
QStringList auditStatements(Dialect dialect);
/// The checkweigher's checks `checks`: 类型 (性能检查 or 剔除检查), 时间, 操作员, 型号, 班次 (its shift's start),
/// 结果 (合格 or 不合格) and 内容 (the figures and readings).
const Table& checksTable();
/// Creates `checks` when missing.
QStringList checksStatements(Dialect dialect);

/// The guards of `users` that keep the station manageable, whatever client writes: a row without a user
/// name ("用户名称不能为空") and an UPDATE or DELETE that would leave no user with the right 用户
/// ("至少要保留一个有“用户”权限的用户") are refused. SQLite triggers, or a PostgreSQL trigger function;
/// safe to run again (PostgreSQL replaces the function, which needs the table's owner).
QStringList userGuardStatements(Dialect dialect);

} // namespace schema
} // namespace kelvora
