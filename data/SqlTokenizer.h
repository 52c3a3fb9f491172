#pragma once

#include <vector>

#include <QString>

namespace kelvora {

/// One lexical unit of a statement in the station's dialect.
struct SqlToken {
    enum class Type {
        Word,       ///< keyword or unquoted name: letters, '_', digits, any character from U+0080 on
        QuotedName, ///< [name]
        String,     ///< '...' or "..." (a doubled quote inside stands for one); text holds the value
        Date,       ///< #MM/DD/YYYY HH:MM:SS#; text holds "YYYY-MM-DD HH:MM:SS"
        Number,
        Parameter, ///< :name; text holds the name
        Symbol     ///< operators, parentheses, comma, dot, semicolon
    };
    Type type;
    QString text;

    bool isSymbol(const char* symbol) const { return type == Type::Symbol && text == QLatin1String(symbol); }
    bool isWord(const char* word) const {
        return type == Type::Word && text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
    }
};

/// Splits a statement into tokens; blanks and line breaks only separate them. Throws DatabaseError for
/// an unterminated string, a malformed date or a character the dialect does not know.
std::vector<SqlToken> tokenizeSql(const QString& statement);

} // namespace kelvora
