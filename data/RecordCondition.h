#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace kelvora {

/// The condition line of the record query: a time range and at most one comparison on a column of
/// `weight`, safe against whatever the operator types.
class RecordCondition {
public:
    /// The columns a condition may name and the comparisons it may use, as the query window lists them.
    static const QStringList& fields();
    static const QStringList& operators();
    /// The name of the parameter that carries the value of a 重量 condition.
    static QString weightParameter();

    /// "where  (时间  between #start# and  #end#)" and, when `field` is not empty,
    /// "and (" field operator value ")": a text value quoted (inner quotes doubled, sent as a bound value),
    /// a 重量 value as the parameter weightParameter() holding the number. Throws DatabaseError when the
    /// field is not one of fields() (compared exactly, untrimmed) or the operator not one of operators(),
    /// and ConversionError ("'%s' is not a valid floating point value") when a 重量 value is no number.
    RecordCondition(const QDateTime& start, const QDateTime& end, const QString& field, const QString& op,
                    const QString& value);

    const QString& line() const { return m_line; }
    /// The number of a 重量 condition, for weightParameter().
    const std::optional<double>& weight() const { return m_weight; }

    /// The "#MM/DD/YYYY HH:MM:SS#" text of a time, whatever the system's separators.
    static QString dateLiteral(const QDateTime& time);

private:
    QString m_line;
    std::optional<double> m_weight;
};

} // namespace kelvora
