#include "data/Schema.h"

namespace kelvora::schema {

namespace {

QString quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QString typeName(ColumnKind kind, Dialect dialect) {
    const bool pg = dialect == Dialect::Postgres;
    switch (kind) {
    case ColumnKind::Text:
        return pg ? QStringLiteral("citext") : QStringLiteral("TEXT COLLATE NOCASE");
    case ColumnKind::Number:
        return pg ? QStringLiteral("double precision") : QStringLiteral("DOUBLE");
    case ColumnKind::YesNo:
        return pg ? QStringLiteral("boolean NOT NULL DEFAULT false") : QStringLiteral("BOOLEAN NOT NULL DEFAULT 0");
    case ColumnKind::DateTime:
        return pg ? QStringLiteral("timestamp(0)") : QStringLiteral("DATETIME");
    }
    return {};
}

// "name (columns)" of a CREATE TABLE statement.
QString tableBody(const Table& table, Dialect dialect) {
    // A row identifier lets a grid edit one row of a table whose other columns may repeat; no statement
    // of the station names it.
    QStringList columns{dialect == Dialect::Postgres ? QStringLiteral("\"id\" bigserial PRIMARY KEY")
                                                     : QStringLiteral("\"id\" INTEGER PRIMARY KEY")};
    for (const Column& column : table.columns) {
        QString definition = quoted(column.name) + u' ' + typeName(column.kind, dialect);
        if (column.name == QStringLiteral("用户密码"))
            definition += QStringLiteral(" DEFAULT '%1'").arg(kInitialPassword);
        columns << definition;
    }
    return QStringLiteral("%1 (%2)").arg(quoted(table.name), columns.join(QStringLiteral(", ")));
}

} // namespace

const std::vector<Table>& tables() {
    using K = ColumnKind;
    static const std::vector<Table> all = {
        {QStringLiteral("XH"),
         {{QStringLiteral("型号"), K::Text},
          {QStringLiteral("标准值"), K::Number},
          {QStringLiteral("上限值"), K::Number},
          {QStringLiteral("下限值"), K::Number}}},
        {QStringLiteral("weight"),
         {{QStringLiteral("型号"), K::Text},
          {QStringLiteral("重量"), K::Number},
          {QStringLiteral("检定结果"), K::Text},
          {QStringLiteral("操作员"), K::Text},
          {QStringLiteral("时间"), K::DateTime}}},
        {QStringLiteral("users"),
         {{QStringLiteral("用户名称"), K::Text},
          {QStringLiteral("用户密码"), K::Text},
          {QStringLiteral("用户"), K::YesNo},
          {QStringLiteral("开始"), K::YesNo},
          {QStringLiteral("继续"), K::YesNo},
          {QStringLiteral("结束"), K::YesNo},
          {QStringLiteral("查询"), K::YesNo},
          {QStringLiteral("设置"), K::YesNo},
          {QStringLiteral("初始化"), K::YesNo},
          {QStringLiteral("清零"), K::YesNo}}},
    };
    return all;
}

const Table* findTable(const QString& name) {
    for (const Table& table : tables())
        if (table.name.compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

std::optional<ColumnKind> columnKind(const QString& name) {
    for (const Table& table : tables())
        for (const Column& column : table.columns)
            if (column.name.compare(name, Qt::CaseInsensitive) == 0)
                return column.kind;
    return std::nullopt;
}

QString canonicalName(const QString& name) {
    if (const Table* table = findTable(name))
        return table->name;
    for (const Table& table : tables())
        for (const Column& column : table.columns)
            if (column.name.compare(name, Qt::CaseInsensitive) == 0)
                return column.name;
    return name;
}

QStringList createStatements(Dialect dialect) {
    QStringList statements;
    if (dialect == Dialect::Postgres)
        statements << QStringLiteral("CREATE EXTENSION IF NOT EXISTS citext");
    for (const Table& table : tables())
        statements << QStringLiteral("CREATE TABLE %1").arg(tableBody(table, dialect));
    statements << QStringLiteral("CREATE INDEX \"weight_时间\" ON \"weight\" (\"时间\")");
    return statements + auditStatements(dialect) + userGuardStatements(dialect) + checksStatements(dialect);
}

QStringList userGuardStatements(Dialect dialect) {
    const QString noName = QStringLiteral("用户名称不能为空");
    const QString lastManager = QStringLiteral("至少要保留一个有“用户”权限的用户");
    const QString othersManage =
        QStringLiteral("EXISTS (SELECT 1 FROM \"users\" WHERE \"用户\" AND \"id\" <> OLD.\"id\")");
    if (dialect == Dialect::Sqlite) {
        const QString trigger = QStringLiteral("CREATE TRIGGER IF NOT EXISTS \"%1\" BEFORE %2 ON \"users\" WHEN %3 "
                                               "BEGIN SELECT RAISE(ABORT, '%4'); END");
        const QString nameEmpty = QStringLiteral("trim(coalesce(NEW.\"用户名称\", '')) = ''");
        return {trigger.arg(QStringLiteral("users_name_insert"), QStringLiteral("INSERT"), nameEmpty, noName),
                trigger.arg(QStringLiteral("users_name_update"), QStringLiteral("UPDATE"), nameEmpty, noName),
                trigger.arg(QStringLiteral("users_manager_update"), QStringLiteral("UPDATE"),
                            QStringLiteral("OLD.\"用户\" AND NOT NEW.\"用户\" AND NOT ") + othersManage, lastManager),
                trigger.arg(QStringLiteral("users_manager_delete"), QStringLiteral("DELETE"),
                            QStringLiteral("OLD.\"用户\" AND NOT ") + othersManage, lastManager)};
    }
    return {
        QStringLiteral("CREATE OR REPLACE FUNCTION \"users_guard\"() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                       "IF TG_OP <> 'DELETE' AND btrim(coalesce(NEW.\"用户名称\", '')) = '' THEN "
                       "RAISE EXCEPTION '%1'; END IF; "
                       "IF TG_OP <> 'INSERT' AND OLD.\"用户\" AND (TG_OP = 'DELETE' OR NOT NEW.\"用户\") AND NOT %3 "
                       "THEN RAISE EXCEPTION '%2'; END IF; "
                       "IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$")
            .arg(noName, lastManager, othersManage),
        QStringLiteral("CREATE OR REPLACE TRIGGER \"users_guard\" BEFORE INSERT OR UPDATE OR DELETE ON \"users\" "
                       "FOR EACH ROW EXECUTE FUNCTION \"users_guard\"()")};
}

const Table& auditTable() {
    using K = ColumnKind;
    static const Table audit{QStringLiteral("audit"),
                             {{QStringLiteral("时间"), K::DateTime},
                              {QStringLiteral("站点"), K::Text},
                              {QStringLiteral("序号"), K::Number},
                              {QStringLiteral("操作员"), K::Text},
                              {QStringLiteral("事件"), K::Text},
                              {QStringLiteral("对象"), K::Text},
                              {QStringLiteral("旧值"), K::Text},
                              {QStringLiteral("新值"), K::Text},
                              {QStringLiteral("备注"), K::Text},
                              {QStringLiteral("链"), K::Text}}};
    return audit;
}

const Table& checksTable() {
    using K = ColumnKind;
    static const Table checks{QStringLiteral("checks"),
                              {{QStringLiteral("类型"), K::Text},
                               {QStringLiteral("时间"), K::DateTime},
                               {QStringLiteral("操作员"), K::Text},
                               {QStringLiteral("型号"), K::Text},
                               {QStringLiteral("班次"), K::Text},
                               {QStringLiteral("结果"), K::Text},
                               {QStringLiteral("内容"), K::Text}}};
    return checks;
}

QStringList checksStatements(Dialect dialect) {
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS %1").arg(tableBody(checksTable(), dialect))};
}

QStringList auditStatements(Dialect dialect) {
    QStringList statements{QStringLiteral("CREATE TABLE IF NOT EXISTS %1").arg(tableBody(auditTable(), dialect)),
                           QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS \"audit_站点_序号\" ON \"audit\" "
                                          "(\"站点\", \"序号\")")};
    if (dialect == Dialect::Sqlite) {
        for (const char* change : {"UPDATE", "DELETE"})
            statements << QStringLiteral("CREATE TRIGGER IF NOT EXISTS \"audit_no_%1\" BEFORE %1 ON \"audit\" "
                                         "BEGIN SELECT RAISE(ABORT, '审计追踪只能追加'); END")
                              .arg(QLatin1StringView(change));
        return statements;
    }
    statements << QStringLiteral("CREATE OR REPLACE FUNCTION \"audit_append_only\"() RETURNS trigger LANGUAGE "
                                 "plpgsql AS $$BEGIN RAISE EXCEPTION '审计追踪只能追加'; END$$")
               << QStringLiteral("CREATE OR REPLACE TRIGGER \"audit_append_only\" BEFORE UPDATE OR DELETE OR "
                                 "TRUNCATE ON \"audit\" FOR EACH STATEMENT EXECUTE FUNCTION "
                                 "\"audit_append_only\"()");
    return statements;
}

} // namespace kelvora::schema
