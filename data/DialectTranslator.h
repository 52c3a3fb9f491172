#pragma once

#include "data/Schema.h"

#include <memory>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelvora {

/// A statement of the station's dialect, rewritten for one engine. Every literal and parameter became
/// a positional placeholder '?' whose value is in `bindings`.
struct TranslatedStatement {
    struct Binding {
        bool isParameter = false;
        QString value;     ///< the literal's text (dates as "YYYY-MM-DD HH:MM:SS")
        QString parameter; ///< the parameter's name as written after the colon
        QString column;    ///< the column the value is compared with or stored into, if known
        std::optional<schema::ColumnKind> kind;
    };
    QString sql;
    std::vector<Binding> bindings;
    QStringList parameterNames; ///< distinct, in the order of first appearance
};

/// Translates one statement (cached by text and engine; thread-safe):
///  - blanks and line breaks collapse, keywords are lower-cased, names are double-quoted in the schema's
///    spelling ("xh" and "XH" name one table);
///  - '...' and "..." strings and #MM/DD/YYYY HH:MM:SS# dates become bound values, never part of the text;
///  - `select top N ...` becomes `select ... limit N`, `Delete * From T` becomes `delete from T`;
///  - `:name` parameters become placeholders.
/// Throws DatabaseError for text the dialect cannot read.
std::shared_ptr<const TranslatedStatement> translateStatement(const QString& statement, schema::Dialect dialect);

/// The value to bind for a binding: text for a numeric column is converted to the number it writes, and a
/// text that is no number fails with a "Data type mismatch" DatabaseError. A null value stays null.
QVariant bindingValue(const TranslatedStatement::Binding& binding, const QVariant& value);

/// Reads a decimal number: optional blanks, an optional sign, digits with an optional point and an
/// optional exponent, optional blanks. nullopt for anything else.
std::optional<double> parseDecimal(const QString& text);

} // namespace kelvora
