#pragma once

#include "data/Schema.h"

#include <optional>

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace kelvora {

/// One column of a query's current row. A null value reads as empty text, as 0 or as false.
class TField {
public:
    TField(QString name, schema::ColumnKind kind, QVariant value)
        : m_name(std::move(name)), m_kind(kind), m_value(std::move(value)) {}

    const QString& FieldName() const { return m_name; }
    schema::ColumnKind kind() const { return m_kind; }
    const QVariant& Value() const { return m_value; }
    bool IsNull() const { return m_value.isNull(); }

    /// Text of any kind: numbers in their shortest exact form, times as "YYYY-MM-DD HH:MM:SS", yes/no as
    /// "True"/"False".
    QString AsString() const;
    /// Numbers, and text that writes a number; other text fails with "'%s' is not a valid floating point
    /// value", other kinds with "Cannot access field '%s' as type Float".
    double AsFloat() const;
    /// Yes/no columns; text counts as yes when it begins with T, t, Y or y. Other kinds fail with
    /// "Cannot access field '%s' as type Boolean".
    bool AsBoolean() const;

private:
    QString m_name;
    schema::ColumnKind m_kind;
    QVariant m_value;
};

/// A stored time "YYYY-MM-DD HH:MM:SS", a wall-clock time, as a QDateTime in UTC (which has no
/// summer-time gaps, so every such time reads unchanged); nullopt for any other text.
std::optional<QDateTime> parseStoredTime(const QString& text);

} // namespace kelvora
