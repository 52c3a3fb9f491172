#include "data/RowStatements.h"

#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"
#include "data/SqlTokenizer.h"

#include <QDateTime>

namespace kelvora::row_statements {

namespace {

QString quoted(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

QStringList quotedAll(const QStringList& names) {
    QStringList result;
    for (const QString& name : names)
        result << quoted(name);
    return result;
}

bool endsFromClause(const SqlToken& token) {
    return token.isWord("where") || token.isWord("order");
}

} // namespace

std::optional<QString> editableTable(const QString& statement) {
    const std::vector<SqlToken> tokens = tokenizeSql(statement);
    if (tokens.empty() || !tokens.front().isWord("select"))
        return std::nullopt;
    int depth = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const SqlToken& token = tokens[i];
        if (token.isSymbol("("))
            ++depth;
        else if (token.isSymbol(")"))
            --depth;
        if (depth > 0 || !token.isWord("from"))
            continue;
        if (i + 1 >= tokens.size())
            return std::nullopt;
        const SqlToken& name = tokens[i + 1];
        if (name.type != SqlToken::Type::Word && name.type != SqlToken::Type::QuotedName)
            return std::nullopt;
        const schema::Table* table = schema::findTable(name.text);
        if (!table || (i + 2 < tokens.size() && !endsFromClause(tokens[i + 2])))
            return std::nullopt;
        for (const SqlToken& rest : tokens)
            if (rest.isWord("group") || rest.isWord("distinct") || rest.isWord("union"))
                return std::nullopt;
        return table->name;
    }
    return std::nullopt;
}

QString update(const QString& table, const QStringList& columns) {
    QStringList assignments;
    for (const QString& column : columns)
        assignments << quoted(column) + QStringLiteral(" = ?");
    return QStringLiteral("update %1 set %2 where \"id\" = ?")
        .arg(quoted(table), assignments.join(QStringLiteral(", ")));
}

QString insert(const QString& table, const QStringList& columns) {
    if (columns.isEmpty())
        return QStringLiteral("insert into %1 default values returning \"id\"").arg(quoted(table));
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("insert into %1 (%2) values (%3) returning \"id\"")
        .arg(quoted(table), quotedAll(columns).join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

QString remove(const QString& table) {
    return QStringLiteral("delete from %1 where \"id\" = ?").arg(quoted(table));
}

QString selectRow(const QString& table, const QStringList& columns) {
    return QStringLiteral("select %1 from %2 where \"id\" = ?")
        .arg(quotedAll(columns).join(QStringLiteral(", ")), quoted(table));
}

QVariant storedValue(const QString& column, schema::ColumnKind kind, const QVariant& value) {
    if (value.isNull())
        return kind == schema::ColumnKind::YesNo ? QVariant(false) : value;
    switch (kind) {
    case schema::ColumnKind::Number: {
        TranslatedStatement::Binding binding;
        binding.column = column;
        binding.kind = kind;
        return bindingValue(binding, value.typeId() == QMetaType::QString ? value : QVariant(value.toDouble()));
    }
    case schema::ColumnKind::YesNo:
        return value.toBool();
    case schema::ColumnKind::DateTime:
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return value.toString();
    case schema::ColumnKind::Text:
        break;
    }
    return value.toString();
}

} // namespace kelvora::row_statements
